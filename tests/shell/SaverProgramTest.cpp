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

// Unknown switches end at once; preview without a window to embed in and the password
// change end cleanly after loading the settings.
TEST(SaverProgram, QuickModesLoadTheSettingsAndEndWithStatusZero) {
    TestWorld world;
    const QStringList rows[] = {{"-s"}, {"/x", "1234"}, {"/p", "1234"}, {"/a"}};
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

// The saver window and the setup dialog stay until the user leaves them; while one is up, a
// second start of its mode ends at once.
TEST(SaverProgram, AWindowStaysUpAndASecondStartOfItsModeEndsAtOnce) {
    TestWorld world;
    const struct {
        QStringList args;
        const char* caption;
    } rows[] = {{{QStringLiteral("/s")}, "NimbuscopePlayback"},
                {{QStringLiteral("/c")}, "Nimbuscope Setup"}};
    for (const auto& row : rows) {
        SCOPED_TRACE(row.args.join(QLatin1Char('|')).toStdString());
        QProcess first;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        first.setProcessEnvironment(env);
        first.start(QStringLiteral(NIMBUSCOPE_SAVER_PROGRAM), row.args);
        ASSERT_TRUE(first.waitForStarted());

        nimbuscope::FileInstanceLocks locks(world.runtimeDir());
        const QString caption = QLatin1String(row.caption);
        QElapsedTimer waited;
        waited.start();
        while (!locks.isHeld(caption) && waited.elapsed() < kQuickEndMs) {
            QThread::msleep(20);
        }
        EXPECT_TRUE(locks.isHeld(caption));

        const SaverRun second = runSaver(row.args);
        EXPECT_TRUE(second.finished);
        EXPECT_EQ(second.exitCode, 0);
        EXPECT_EQ(first.state(), QProcess::Running);
        first.kill();
        first.waitForFinished();
    }
}
