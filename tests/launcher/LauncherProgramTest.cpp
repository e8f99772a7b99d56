// The built launcher with the built saver and a real hive file.
#include "launcher/FrmLaunch.h"
#include "platform/Folders.h"
#include "platform/InstanceLocks.h"

#include "common/RegistryValue.h"
#include "common/TestWorld.h"

#include <QElapsedTimer>
#include <QFileInfo>
#include <QProcess>
#include <QThread>

#include <gtest/gtest.h>

using namespace nimbuscope;
using namespace nimbuscope::test;

namespace {

const QString kOtherSaver = QStringLiteral("/usr/lib/xscreen/other-saver");
constexpr int kPatienceMs = 10000;

cRegistry desktopValue(RegistryApi& api, const char* name) {
    return registryValue(api, HKEY_CURRENT_USER, QString::fromLatin1(FrmLaunch::kDesktopKey),
                         QString::fromLatin1(name));
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

TEST(LauncherProgram, StartsTheInstalledSaverBesideItAndRestoresTheChoice) {
    TestWorld world;
    const QString bin = QFileInfo(QStringLiteral(NIMBUSCOPE_LAUNCHER_PROGRAM)).absolutePath();
    const auto registry = makeFileRegistry(
        Folders::fromEnvironment(QProcessEnvironment::systemEnvironment(), bin, 1000)
            .registryPaths());
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
