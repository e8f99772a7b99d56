// Writes `count` distinct values into one user hive file, one write at a time, so that a
// test can run two of these at once against the same hive.
#include "platform/RegistryApi.h"

#include <cstdio>
#include <cstdlib>

using namespace nimbuscope;

int main(int argc, char** argv) {
    if (argc != 4) {
        std::fprintf(stderr, "usage: registry_writer <hive file> <prefix> <count>\n");
        return 2;
    }
    const QString hive = QString::fromLocal8Bit(argv[1]);
    const QString prefix = QString::fromLocal8Bit(argv[2]);
    const int count = std::atoi(argv[3]);
    const auto registry = makeFileRegistry(
        {hive, hive + QStringLiteral(".machine"), hive + QStringLiteral(".classes")});
    for (int i = 0; i < count; ++i) {
        RegistryApi::Handle key = 0;
        if (registry->createKey(HKEY_CURRENT_USER,
                                QStringLiteral("Software\\Calderwick\\Nimbuscope"),
                                regaccess::AllAccess, key) != regstatus::Success) {
            return 1;
        }
        const QByteArray data(reinterpret_cast<const char*>(&i), sizeof i);
        const long status =
            registry->setValue(key, prefix + u'-' + QString::number(i), REG_DWORD, data);
        registry->closeKey(key);
        if (status != regstatus::Success) {
            return 1;
        }
    }
    return 0;
}
