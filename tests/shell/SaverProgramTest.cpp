// Runs the built saver program itself, in a private world on the offscreen platform.
#include "platform/InstanceLocks.h"

#include "common/TestWorld.h"

#include <QElapsedTimer>
#include <QProcess>
#include <QProcessEnvironment>
#include <QThread>

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
    const QStringList rows[] = {{}, {"/s"}, {"/p", "1234"}, {"/a"}};
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

// The setup dialog stays open until the user leaves it; while it is open a second start in
// setup mode ends at once.
TEST(SaverProgram, SetupModeKeepsItsDialogOpenAndRefusesASecondOne) {
    TestWorld world;
    QProcess setup;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    setup.setProcessEnvironment(env);
    setup.start(QStringLiteral(NIMBUSCOPE_SAVER_PROGRAM), {QStringLiteral("/c")});
    ASSERT_TRUE(setup.waitForStarted());

    nimbuscope::FileInstanceLocks locks(world.runtimeDir());
    const QString caption = QStringLiteral("Nimbuscope Setup");
    QElapsedTimer waited;
    waited.start();
    while (!locks.isHeld(caption) && waited.elapsed() < kQuickEndMs) {
        QThread::msleep(20);
    }
    EXPECT_TRUE(locks.isHeld(caption));
    EXPECT_EQ(setup.state(), QProcess::Running);

    const SaverRun second = runSaver({QStringLiteral("/c")});
    EXPECT_TRUE(second.finished);
    EXPECT_EQ(second.exitCode, 0);

    setup.kill();
    setup.waitForFinished();
}
