// Runs the built saver program itself, in a private world on the offscreen platform.
#include "platform/InstanceLocks.h"

#include "common/TestWorld.h"

#include <QThread>

#include <QElapsedTimer>
#include <QProcess>
#include <QProcessEnvironment>

#include <gtest/gtest.h>

using namespace nimbuscope::test;

namespace {

constexpr int kQuickEndMs = 5000;

struct SaverRun {
    bool finished = false;
    QProcess::ExitStatus exitStatus = QProcess::CrashExit;
    int exitCode = -1;
    QByteArray errors;
};

SaverRun runSaver(const QStringList& arguments) {
    QProcess saver;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment(); // the TestWorld's
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    saver.setProcessEnvironment(env);
    saver.start(QStringLiteral(NIMBUSCOPE_SAVER_PROGRAM), arguments);
    SaverRun run;
    run.finished = saver.waitForFinished(kQuickEndMs);
    if (!run.finished) {
        saver.kill();
        saver.waitForFinished();
        return run;
    }
    run.exitStatus = saver.exitStatus();
    run.exitCode = saver.exitCode();
    run.errors = saver.readAllStandardError();
    return run;
}

} // namespace

TEST(SaverProgram, SwitchesItDoesNotKnowEndItAtOnceWithStatusZero) {
    TestWorld world;
    const QStringList rows[] = {{"-s"}, {" /s"}, {"s"}, {"/x", "1234"}, {"--saver"}};
    for (const QStringList& args : rows) {
        SCOPED_TRACE(args.join(QLatin1Char('|')).toStdString());
        const SaverRun run = runSaver(args);
        ASSERT_TRUE(run.finished);
        EXPECT_EQ(run.exitStatus, QProcess::NormalExit);
        EXPECT_EQ(run.exitCode, 0) << run.errors.toStdString();
    }
}

TEST(SaverProgram, EveryModeLoadsTheSettingsAndEndsCleanly) {
    TestWorld world;
    const QStringList rows[] = {{"/p", "1234"}, {"/c"}, {"/a"}};
    for (const QStringList& args : rows) {
        SCOPED_TRACE(args.join(QLatin1Char('|')).toStdString());
        const SaverRun run = runSaver(args);
        ASSERT_TRUE(run.finished);
        EXPECT_EQ(run.exitStatus, QProcess::NormalExit);
        EXPECT_EQ(run.exitCode, 0) << run.errors.toStdString();
    }
    // Loading the settings stored the default location mode in the private hive.
    EXPECT_TRUE(world.readFile(QStringLiteral("etc-xdg/nimbuscope/registry/HKEY_LOCAL_MACHINE.reg"))
                    .contains("locationMode"));
}

// The saver window stays until the user ends it; while it is up, a second saver start ends
// at once.
TEST(SaverProgram, SaverStaysUpAndASecondStartEndsAtOnce) {
    TestWorld world;
    QProcess saver;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    saver.setProcessEnvironment(env);
    saver.start(QStringLiteral(NIMBUSCOPE_SAVER_PROGRAM), {QStringLiteral("/s")});
    ASSERT_TRUE(saver.waitForStarted());

    nimbuscope::FileInstanceLocks locks(world.runtimeDir());
    QElapsedTimer waited;
    waited.start();
    while (!locks.isHeld(QStringLiteral("NimbuscopePlayback")) && waited.elapsed() < kQuickEndMs) {
        QThread::msleep(20);
    }
    EXPECT_TRUE(locks.isHeld(QStringLiteral("NimbuscopePlayback")));

    const SaverRun second = runSaver({QStringLiteral("/s")});
    EXPECT_TRUE(second.finished);
    EXPECT_EQ(second.exitCode, 0);
    EXPECT_EQ(saver.state(), QProcess::Running);
    saver.kill();
    saver.waitForFinished();
}
