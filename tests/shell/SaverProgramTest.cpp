// Runs the built saver program itself, in a private world on the offscreen platform.
#include "platform/InstanceLocks.h"

#include "common/TestWorld.h"

#include <QElapsedTimer>
#include <QProcess>
#include <QProcessEnvironment>
#include <QThread>

#include <algorithm>
#include <array>

#include <gtest/gtest.h>

using namespace nimbuscope::test;

namespace {

constexpr int kQuickEndMs = 5000;
// Longer than a copy takes from its start to its single-instance step.
constexpr unsigned long kSettleMs = 300;
// A copy that is let through is still up this long after its start.
constexpr int kStaysUpMs = 1500;

struct SaverRun {
    bool finished = false;
    QProcess::ExitStatus exitStatus = QProcess::CrashExit;
    int exitCode = -1;
    QByteArray errors;
};

/// Starts `process` (the saver with `arguments` unless it names a program already) on the
/// offscreen platform in the TestWorld's folders.
QProcess* startProgram(QProcess& process, const QStringList& arguments = {}) {
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment(); // the TestWorld's
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    process.setProcessEnvironment(env);
    if (process.program().isEmpty()) {
        process.setProgram(QStringLiteral(NIMBUSCOPE_SAVER_PROGRAM));
        process.setArguments(arguments);
    }
    process.start();
    return &process;
}

bool waitForHold(const TestWorld& world, const QString& name) {
    nimbuscope::FileInstanceLocks locks(world.runtimeDir());
    QElapsedTimer waited;
    waited.start();
    while (!locks.isHeld(name) && waited.elapsed() < kQuickEndMs) {
        QThread::msleep(20);
    }
    return locks.isHeld(name);
}

SaverRun runSaver(const QStringList& arguments) {
    QProcess saver;
    startProgram(saver, arguments);
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

// A window stays until the user leaves it; while it is up, a second start of its own mode
// ends at once, and a start of another mode is not hindered.
TEST(SaverProgram, ARunningModeRefusesOnlyASecondStartOfItself) {
    TestWorld world;
    const struct {
        QStringList first;
        const char* caption;
        QStringList second;
        bool secondRefused;
    } rows[] = {{{"/s"}, "NimbuscopePlayback", {"/s"}, true},
                {{"/c"}, "Nimbuscope Setup", {"/c"}, true},
                {{"/c"}, "Nimbuscope Setup", {"/s"}, false},
                {{"/p", "0"}, "NimbuscopePreview", {"/s"}, false}};
    for (const auto& row : rows) {
        SCOPED_TRACE((row.first + row.second).join(QLatin1Char('|')).toStdString());
        QProcess first;
        ASSERT_TRUE(startProgram(first, row.first)->waitForStarted());
        EXPECT_TRUE(waitForHold(world, QLatin1String(row.caption)));

        QProcess second;
        startProgram(second, row.second);
        EXPECT_EQ(second.waitForFinished(row.secondRefused ? kQuickEndMs : kStaysUpMs),
                  row.secondRefused);
        if (row.secondRefused) {
            EXPECT_EQ(second.exitCode(), 0);
        }
        second.kill();
        second.waitForFinished();
        EXPECT_EQ(first.state(), QProcess::Running);
        first.kill();
        first.waitForFinished();
    }
}

// Savers started at the same instant: whatever their order, exactly one stays.
TEST(SaverProgram, SimultaneousStartsLeaveExactlyOneSaver) {
    TestWorld world;
    constexpr int kRounds = 20;
    constexpr int kCopies = 3;
    for (int round = 0; round < kRounds; ++round) {
        SCOPED_TRACE(round);
        // Each copy waits in a shell for the end of its input, so that all start together.
        std::array<QProcess, kCopies> copies;
        for (QProcess& copy : copies) {
            copy.setProgram(QStringLiteral("/bin/sh"));
            copy.setArguments({QStringLiteral("-c"), QStringLiteral("read -r go; exec \"$0\" /s"),
                               QStringLiteral(NIMBUSCOPE_SAVER_PROGRAM)});
            startProgram(copy);
            copy.waitForStarted();
        }
        for (QProcess& copy : copies) {
            copy.closeWriteChannel();
        }
        QElapsedTimer waited;
        waited.start();
        const auto running = [&] {
            return std::count_if(copies.begin(), copies.end(), [](QProcess& p) {
                p.waitForFinished(0);
                return p.state() != QProcess::NotRunning;
            });
        };
        while (running() > 1 && waited.elapsed() < kQuickEndMs) {
            QThread::msleep(20);
        }
        // The one left must be past its start-up, not merely slower to end.
        QThread::msleep(kSettleMs);
        EXPECT_EQ(running(), 1);
        for (QProcess& copy : copies) {
            copy.kill();
            copy.waitForFinished();
        }
    }
}
