#pragma once

#include <QProcessEnvironment>
#include <QString>
#include <QStringList>

namespace nimbuscope {

/// Where the hive files live.
struct RegistryPaths {
    QString currentUserHive;  // .../HKEY_CURRENT_USER.reg
    QString localMachineHive; // .../HKEY_LOCAL_MACHINE.reg
    QString classesRootHive;  // .../HKEY_CLASSES_ROOT.reg
};

/// The folders the program uses, worked out once at start from the environment and the
/// program's own location, then passed to whoever needs one. Nothing else reads the
/// environment for a folder.
struct Folders {
    QString home;           // $HOME
    QString configHome;     // $XDG_CONFIG_HOME, else ~/.config
    QStringList configDirs; // $XDG_CONFIG_DIRS (":"-separated), else /etc/xdg
    QString runtimeDir;     // $XDG_RUNTIME_DIR, else <temp>/nimbuscope-<uid>
    QString temp;           // $TMPDIR, else /tmp
    QString programDir;     // the folder of the running executable
    QString dataDir;        // radar site list, pictures: see dataFolderFor

    /// Reads HOME, XDG_CONFIG_HOME, XDG_CONFIG_DIRS, XDG_RUNTIME_DIR and TMPDIR from `env`;
    /// relative XDG paths are ignored, as the XDG rules say. `uid` names the private
    /// fallback runtime folder.
    static Folders fromEnvironment(const QProcessEnvironment& env, const QString& programDir,
                                   uint uid);

    /// The installed data folder `<prefix>/share/nimbuscope` beside the program's
    /// `<prefix>/bin`, when it exists; otherwise the source tree's data folder, so that a
    /// program run in place from the build tree finds its files.
    static QString dataFolderFor(const QString& programDir);

    /// The registry hive files: HKEY_CURRENT_USER under the config home, the machine-wide
    /// roots under the first config folder, each in "nimbuscope/registry/".
    RegistryPaths registryPaths() const;
};

} // namespace nimbuscope
