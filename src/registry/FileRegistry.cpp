#include "registry/FileHiveStore.h"
#include "registry/HiveRegistry.h"

namespace nimbuscope {

std::unique_ptr<RegistryApi> makeFileRegistry(const RegistryPaths& paths) {
    auto registry = std::make_unique<HiveRegistry>();
    registry->addRoot(HKEY_CURRENT_USER,
                      std::make_unique<FileHiveStore>(paths.currentUserHive,
                                                      rootKeyName(HKEY_CURRENT_USER), true));
    registry->addRoot(HKEY_LOCAL_MACHINE,
                      std::make_unique<FileHiveStore>(paths.localMachineHive,
                                                      rootKeyName(HKEY_LOCAL_MACHINE), false));
    registry->addRoot(HKEY_CLASSES_ROOT,
                      std::make_unique<FileHiveStore>(paths.classesRootHive,
                                                      rootKeyName(HKEY_CLASSES_ROOT), false));
    return registry;
}

} // namespace nimbuscope
