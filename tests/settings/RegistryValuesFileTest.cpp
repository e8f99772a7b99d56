#include "settings/RegistryValues.h"

#include "platform/Folders.h"
#include "registry/RegistryApi.h"
#include "support/Log.h"

#include "common/FakeClock.h"
#include "common/TestWorld.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcessEnvironment>
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

using namespace nimbuscope;
using namespace nimbuscope::test;

namespace {

/// The settings over real hive files in a private set of folders.
class RegistryValuesFileTest : public ::testing::Test {
protected:
    RegistryValuesFileTest() : log(clock, platform) { log.setFolder(world.root()); }

    QByteArray userHive() const { return world.readFile(paths.currentUserHive); }

    TestWorld world;
    FakeClock clock;
    FakePlatform platform;
    Log log;
    // The hives where the programs look for them, in this test's folders.
    RegistryPaths paths =
        Folders::fromEnvironment(QProcessEnvironment::systemEnvironment(), {}, ::geteuid())
            .registryPaths();
    std::unique_ptr<RegistryApi> registry = makeFileRegistry(paths);
};

} // namespace

TEST_F(RegistryValuesFileTest, AnUnwritableMachineFolderSendsSettingsToTheUserHive) {
    // Taking the write bits off is enough also for the superuser: the store goes by them.
    const QByteArray folder = QFile::encodeName(world.configDir());
    ASSERT_EQ(::chmod(folder.constData(), 0555), 0);
    RegistryValues store(*registry, platform, log, world.root());
    store.loadRegistryValues();
    store.saveZipCode(QStringLiteral("68102"));
    EXPECT_FALSE(store.HKLMisWriteable());
    EXPECT_TRUE(QDir(world.configDir()).isEmpty()) << "nothing is created under the machine root";
    EXPECT_TRUE(userHive().contains("\"zipcode\"=\"68102\"")) << userHive().constData();
    EXPECT_TRUE(userHive().contains("\"locationMode\"=dword:00000001"));
    EXPECT_FALSE(userHive().contains("testtmp"));
    EXPECT_TRUE(store.takeFailedSave().isEmpty());

    // A save the hive refuses is told once, with the hive's file.
    const QByteArray userFolder = QFile::encodeName(QFileInfo(paths.currentUserHive).path());
    ASSERT_EQ(::chmod(userFolder.constData(), 0555), 0);
    store.saveZipCode(QStringLiteral("12345"));
    EXPECT_EQ(store.takeFailedSave(), paths.currentUserHive);
    EXPECT_TRUE(store.takeFailedSave().isEmpty());
    ::chmod(userFolder.constData(), 0755);
    ::chmod(folder.constData(), 0755);
    EXPECT_EQ(registry->openHandleCount(), 0);
}

TEST_F(RegistryValuesFileTest, AWritableMachineHiveKeepsTheSettingsButNeverTheWriteTest) {
    RegistryValues store(*registry, platform, log, world.root());
    store.loadRegistryValues();
    store.saveCityState(QStringLiteral("Omaha, NE"));

    EXPECT_TRUE(store.HKLMisWriteable());
    const QByteArray machineHive = world.readFile(paths.localMachineHive);
    EXPECT_TRUE(machineHive.contains("\"cityState\"=\"Omaha, NE\"")) << machineHive.constData();
    EXPECT_FALSE(machineHive.contains("testtmp"));
    EXPECT_FALSE(QFileInfo::exists(paths.currentUserHive)) << "the user hive is not touched";

    // A second name holds the file, so a rewrite cannot hand its inode number on.
    const QByteArray kept = QFile::encodeName(world.root() + QStringLiteral("/kept.reg"));
    ASSERT_EQ(::link(QFile::encodeName(paths.localMachineHive).constData(), kept.constData()), 0);
    const auto otherProcess = makeFileRegistry(paths);
    RegistryValues later(*otherProcess, platform, log, world.root());
    later.loadRegistryValues();
    EXPECT_EQ(later.getCityState(), "Omaha, NE") << "a new process reads what was saved";
    struct stat before {};
    struct stat after {};
    ::stat(kept.constData(), &before);
    ::stat(QFile::encodeName(paths.localMachineHive).constData(), &after);
    EXPECT_EQ(after.st_ino, before.st_ino) << "a start with nothing to store rewrites nothing";
}
