#include "platform/Folders.h"

#include <QDir>
#include <QFileInfo>

namespace nimbuscope {

namespace {

constexpr const char* kRegistrySubfolder = "/nimbuscope/registry/";

QString absoluteOr(const QString& value, const QString& fallback) {
    return (!value.isEmpty() && QDir::isAbsolutePath(value)) ? value : fallback;
}

QString withoutTrailingSlash(QString path) {
    while (path.size() > 1 && path.endsWith(QLatin1Char('/'))) {
        path.chop(1);
    }
    return path;
}

} // namespace

Folders Folders::fromEnvironment(const QProcessEnvironment& env, const QString& programDir,
                                 uint uid) {
    Folders f;
    f.home = env.value(QStringLiteral("HOME"));
    f.configHome = withoutTrailingSlash(absoluteOr(env.value(QStringLiteral("XDG_CONFIG_HOME")),
                                                   f.home + QStringLiteral("/.config")));
    const QStringList dirs =
        env.value(QStringLiteral("XDG_CONFIG_DIRS")).split(QLatin1Char(':'), Qt::SkipEmptyParts);
    for (const QString& d : dirs) {
        if (QDir::isAbsolutePath(d)) {
            f.configDirs.append(withoutTrailingSlash(d));
        }
    }
    if (f.configDirs.isEmpty()) {
        f.configDirs.append(QStringLiteral("/etc/xdg"));
    }
    f.temp = withoutTrailingSlash(
        absoluteOr(env.value(QStringLiteral("TMPDIR")), QStringLiteral("/tmp")));
    f.runtimeDir = withoutTrailingSlash(
        absoluteOr(env.value(QStringLiteral("XDG_RUNTIME_DIR")),
                   f.temp + QStringLiteral("/nimbuscope-") + QString::number(uid)));
    f.programDir = withoutTrailingSlash(programDir);
    f.dataDir = dataFolderFor(f.programDir);
    return f;
}

QString Folders::dataFolderFor(const QString& programDir) {
    const QString installed =
        QDir::cleanPath(programDir + QStringLiteral("/" NIMBUSCOPE_BIN_TO_DATA_DIR));
    if (QFileInfo(installed).isDir()) {
        return installed;
    }
    return QStringLiteral(NIMBUSCOPE_SOURCE_DATA_DIR);
}

RegistryPaths Folders::registryPaths() const {
    const QString user = configHome + QLatin1String(kRegistrySubfolder);
    const QString machine = configDirs.value(0) + QLatin1String(kRegistrySubfolder);
    RegistryPaths paths;
    paths.currentUserHive = user + QStringLiteral("HKEY_CURRENT_USER.reg");
    paths.localMachineHive = machine + QStringLiteral("HKEY_LOCAL_MACHINE.reg");
    paths.classesRootHive = machine + QStringLiteral("HKEY_CLASSES_ROOT.reg");
    return paths;
}

} // namespace nimbuscope
