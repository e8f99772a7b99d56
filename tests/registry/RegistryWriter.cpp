// Writes `count` distinct values into one user hive file, one write at a time, so that a
// test can run two of these at once against the same hive. A count of 0 writes until the
// process is killed, over a small ring of names (value i under "<prefix>-<i mod 16>"), and
// prints each i once its write has returned, so that a kill test knows what was saved.
#include "registry/RegistryApi.h"

#include <cstdio>
#include <cstdlib>

using namespace nimbuscope;

namespace {

constexpr int kRingNames = 16;

} // namespace

int main(int argc, char** argv) {
    if (argc != 4) {
        std::fprintf(stderr, "usage: registry_writer <hive file> <prefix> <count>\n");
        return 2;
    }
    const QString hive = QString::fromLocal8Bit(argv[1]);
    const QString prefix = QString::fromLocal8Bit(argv[2]);
    const int count = std::atoi(argv[3]);
    const bool endless = count == 0;
    const auto registry = makeFileRegistry(
        {hive, hive + QStringLiteral(".machine"), hive + QStringLiteral(".classes")});
    for (int i = 0; endless || i < count; ++i) {
        RegistryApi::Handle key = 0;
        if (registry->createKey(HKEY_CURRENT_USER,
                                QStringLiteral("Software\\Calderwick\\Nimbuscope"),
                                regaccess::AllAccess, key) != regstatus::Success) {
            return 1;
        }
        const QByteArray data(reinterpret_cast<const char*>(&i), sizeof i);
        const int name = endless ? i % kRingNames : i;
        const long status =
            registry->setValue(key, prefix + u'-' + QString::number(name), REG_DWORD, data);
        registry->closeKey(key);
        if (status != regstatus::Success) {
            return 1;
        }
        if (endless) {
            std::printf("%d\n", i);
            std::fflush(stdout);
        }
    }
    return 0;
}
