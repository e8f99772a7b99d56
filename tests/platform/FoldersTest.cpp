#include "platform/Folders.h"

#include "common/TestWorld.h"

#include <QDir>

#include <gtest/gtest.h>

using namespace nimbuscope;
using namespace nimbuscope::test;

namespace {

QProcessEnvironment environment(std::initializer_list<std::pair<const char*, const char*>> vars) {
    QProcessEnvironment env;
    for (const auto& [name, value] : vars) {
        env.insert(QString::fromLatin1(name), QString::fromUtf8(value));
    }
    return env;
}

} // namespace

TEST(Folders, EnvironmentValuesAreTakenWhenAbsoluteAndPlaceTheHives) {
    const Folders f =
        Folders::fromEnvironment(environment({{"HOME", "/home/ann"},
                                              {"XDG_CONFIG_HOME", "/cfg/"},
                                              {"XDG_CONFIG_DIRS", ":relative:/etc/one/::/etc/two"},
                                              {"XDG_RUNTIME_DIR", "/run/user/1000"},
                                              {"TMPDIR", "/var/tmp/"}}),
                                 QStringLiteral("/opt/nimbuscope/bin/"), 1000);
    EXPECT_EQ(f.configHome, QStringLiteral("/cfg"));
    EXPECT_EQ(f.configDirs, QStringList({"/etc/one", "/etc/two"}));
    EXPECT_EQ(f.runtimeDir, QStringLiteral("/run/user/1000"));
    EXPECT_EQ(f.temp, QStringLiteral("/var/tmp"));
    EXPECT_EQ(f.programDir, QStringLiteral("/opt/nimbuscope/bin"));
    // The hives lie under the config folders, the machine's under the first.
    const RegistryPaths paths = f.registryPaths();
    EXPECT_EQ(paths.currentUserHive,
              QStringLiteral("/cfg/nimbuscope/registry/HKEY_CURRENT_USER.reg"));
    EXPECT_EQ(paths.localMachineHive,
              QStringLiteral("/etc/one/nimbuscope/registry/HKEY_LOCAL_MACHINE.reg"));
}

TEST(Folders, MissingOrRelativeValuesFallBackToTheDefaults) {
    const QProcessEnvironment rows[] = {
        environment({{"HOME", "/home/ann"}}),
        environment({{"HOME", "/home/ann"},
                     {"XDG_CONFIG_HOME", "cfg"},
                     {"XDG_CONFIG_DIRS", "etc:also/relative"},
                     {"XDG_RUNTIME_DIR", ""},
                     {"TMPDIR", "tmp"}}),
    };
    for (const QProcessEnvironment& env : rows) {
        const Folders f = Folders::fromEnvironment(env, QStringLiteral("/usr/bin"), 1234);
        EXPECT_EQ(f.configHome, QStringLiteral("/home/ann/.config"));
        EXPECT_EQ(f.configDirs, QStringList({"/etc/xdg"}));
        EXPECT_EQ(f.temp, QStringLiteral("/tmp"));
        EXPECT_EQ(f.runtimeDir, QStringLiteral("/tmp/nimbuscope-1234"));
    }
}

TEST(Folders, DataComesFromTheInstallationBesideTheProgramElseFromTheSourceTree) {
    TestWorld world;
    const QString bin = world.root() + QStringLiteral("/prefix/bin");
    ASSERT_TRUE(QDir().mkpath(bin));
    EXPECT_EQ(Folders::dataFolderFor(bin), QStringLiteral(NIMBUSCOPE_SOURCE_DATA_DIR));

    const QString installed = world.root() + QStringLiteral("/prefix/share/nimbuscope");
    ASSERT_TRUE(QDir().mkpath(installed));
    EXPECT_EQ(Folders::dataFolderFor(bin), installed);
    EXPECT_EQ(Folders::fromEnvironment({}, bin + QLatin1Char('/'), 1).dataDir, installed);
}
