// The hive file parser over arbitrary file bytes. What it accepts must be written back and
// read again to the same hive, or a save would change settings nobody touched.
#include "FuzzSupport.h"

#include "registry/RegistryHiveFormat.h"

using namespace nimbuscope;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const QString root = QStringLiteral("HKEY_CURRENT_USER");
    HiveParseError error;
    const std::optional<RegistryHive> hive = parseHive(fuzz::bytesOf(data, size), root, &error);
    if (!hive) {
        return 0;
    }
    const std::optional<RegistryHive> again = parseHive(writeHive(*hive), root);
    if (!again || !(*again == *hive)) {
        abort();
    }
    return 0;
}
