// The launcher with real processes, a real hive file and the real clock.
#include "launcher/FrmLaunch.h"
#include "launcher/ScreenSaverHost.h"
#include "platform/Folders.h"
#include "platform/InstanceLocks.h"
#include "platform/ProgramStarter.h"
#include "settings/cRegistry.h"
#include "support/Clock.h"

#include "common/FakeClock.h"
#include "common/FakeDialogs.h"
#include "common/FakeProcessEnd.h"
#include "common/TestWorld.h"

#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QThread>

#include <gtest/gtest.h>

using namespace nimbuscope;
using namespace nimbuscope::test;

namespace {

const QString kOtherSaver = QStringLiteral("/usr/lib/xscreen/other-saver");
constexpr int kPatienceMs = 10000;

// Stands in for the saver: records its arguments and the choice the hive held when it ran.
constexpr const char* kStandInSaver = R"(#!/bin/sh
printf '%s\n' "$@" > "$0.args"
grep -F '"SCRNSAVE.EXE"' "$XDG_CONFIG_HOME/nimbuscope/registry/HKEY_CURRENT_USER.reg" > "$0.tmp"
mv "$0.tmp" "$0.seen"
)";

cRegistry desktopValue(RegistryApi& api, const char* name) {
    cRegistry reg(api);
    reg.setClassKey(HKEY_CURRENT_USER);
    reg.setSectionKey(QString::fromLatin1(FrmLaunch::kDesktopKey));
    reg.setValueKey(QString::fromLatin1(name));
    reg.setValueType(REG_SZ);
    return reg;
}

Folders worldFolders(const QString& programDir) {
    return Folders::fromEnvironment(QProcessEnvironment::systemEnvironment(), programDir, 1000);
}

bool waitForFile(const QString& path) {
    QElapsedTimer waited;
    waited.start();
    while (!QFileInfo::exists(path)) {
        if (waited.elapsed() > kPatienceMs) {
            return false;
        }
        QThread::msleep(20);
    }
    return true;
}

} // namespace

TEST(LauncherWithRealProcesses, TheSaverSeesItselfChosenAndTheOtherChoiceComesBackAfterTwoSeconds) {
    TestWorld world;
    const QString bin = world.root() + QStringLiteral("/bin");
    const QString saver = world.writeFile(QStringLiteral("bin/nimbuscope"), kStandInSaver);
    QFile::setPermissions(saver, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);

    const auto registry = makeFileRegistry(worldFolders(bin).registryPaths());
    desktopValue(*registry, FrmLaunch::kSaverValue).setValue(kOtherSaver);
    SystemClock clock;
    FakePlatform platform;
    QProcessStarter programs;
    RegistryScreenSaverHost host(*registry, programs);
    FakeDialogs dialogs;
    FakeProcessEnd processEnd;
    FrmLaunch form({platform, *registry, clock, programs, host, dialogs, processEnd, bin});

    QElapsedTimer elapsed;
    elapsed.start();
    EXPECT_EQ(endStatusOf([&] { form.Form_Load(); }), 0);
    EXPECT_GE(elapsed.elapsed(), FrmLaunch::kStartWaitMs - 50);
    EXPECT_TRUE(dialogs.messages.isEmpty());
    EXPECT_EQ(desktopValue(*registry, FrmLaunch::kSaverValue).value().toString(), kOtherSaver);

    ASSERT_TRUE(waitForFile(saver + QStringLiteral(".seen")));
    EXPECT_EQ(world.readFile(saver + QStringLiteral(".args")), QByteArray("/s\n"));
    EXPECT_TRUE(world.readFile(saver + QStringLiteral(".seen")).contains(saver.toUtf8()));
}

TEST(LauncherProgram, StartsTheInstalledSaverBesideItAndRestoresTheChoice) {
    TestWorld world;
    const QString bin = QFileInfo(QStringLiteral(NIMBUSCOPE_LAUNCHER_PROGRAM)).absolutePath();
    const auto registry = makeFileRegistry(worldFolders(bin).registryPaths());
    desktopValue(*registry, FrmLaunch::kSaverValue).setValue(kOtherSaver);
    // The saver finds a saver window open and ends right after loading its settings: a
    // saver that stayed up would outlive the test.
    FileInstanceLocks locks(world.runtimeDir());
    const auto openWindow = locks.acquire(QStringLiteral("NimbuscopePlayback"));

    QProcess launcher;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment(); // the TestWorld's
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    launcher.setProcessEnvironment(env);
    launcher.start(QStringLiteral(NIMBUSCOPE_LAUNCHER_PROGRAM), {});
    ASSERT_TRUE(launcher.waitForFinished(kPatienceMs));
    EXPECT_EQ(launcher.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(launcher.exitCode(), 0) << launcher.readAllStandardError().toStdString();

    EXPECT_EQ(desktopValue(*registry, FrmLaunch::kSaverValue).value().toString(), kOtherSaver);
    EXPECT_EQ(desktopValue(*registry, FrmLaunch::kActiveValue).value().toString(),
              QStringLiteral("1"));
    // The saver ran in this world: loading its settings stored the default location mode.
    EXPECT_TRUE(waitForFile(world.configDir() +
                            QStringLiteral("/nimbuscope/registry/HKEY_LOCAL_MACHINE.reg")));
}
