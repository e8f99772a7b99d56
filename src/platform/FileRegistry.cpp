#include "platform/FileHiveStore.h"
#include "platform/HiveRegistry.h"

#include <QDir>

namespace nimbuscope {

namespace {

constexpr char kRegistryFolder[] = "/nimbuscope/registry/";
constexpr char kDefaultConfigDir[] = "/etc/xdg";

QString hiveFileName(qint32 root) {
    return rootKeyName(root) + QStringLiteral(".reg");
}

} // namespace

RegistryPaths RegistryPaths::fromEnvironment() {
    QString configHome = QString::fromLocal8Bit(qgetenv("XDG_CONFIG_HOME"));
    if (configHome.isEmpty()) {
        configHome = QString::fromLocal8Bit(qgetenv("HOME")) + QStringLiteral("/.config");
    }
    QString configDir =
        QString::fromLocal8Bit(qgetenv("XDG_CONFIG_DIRS")).split(u':', Qt::SkipEmptyParts).value(0);
    if (configDir.isEmpty()) {
        configDir = QLatin1String(kDefaultConfigDir);
    }
    const QString userFolder = configHome + QLatin1String(kRegistryFolder);
    const QString machineFolder = configDir + QLatin1String(kRegistryFolder);
    return {userFolder + hiveFileName(HKEY_CURRENT_USER),
            machineFolder + hiveFileName(HKEY_LOCAL_MACHINE),
            machineFolder + hiveFileName(HKEY_CLASSES_ROOT)};
}

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
