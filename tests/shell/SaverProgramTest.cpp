// Runs the built saver program itself, in a private world on the offscreen platform.
#include "platform/InstanceLocks.h"

#include "common/TestWorld.h"

#include <QElapsedTimer>
#include <QProcess>
#include <QThread>

#include <algorithm>
#include <array>
#include <functional>

#include <gtest/gtest.h>

using namespace nimbuscope::test;

namespace {

constexpr int kQuickEndMs = 5000;

const QString kSaver = QStringLiteral(NIMBUSCOPE_SAVER_PROGRAM);

/// Starts `program` on the offscreen platform in the TestWorld's folders.
void start(QProcess& process, const QString& program, const QStringList& arguments) {
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment(); // the TestWorld's
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    process.setProcessEnvironment(env);
    process.start(program, arguments);
    process.waitForStarted();
}

bool waitFor(const std::function<bool()>& done) {
    QElapsedTimer waited;
    waited.start();
    while (!done() && waited.elapsed() < kQuickEndMs) {
        QThread::msleep(20);
    }
    return done();
}

} // namespace

// While a window is up a second start of its own mode ends at once; a saver still starts
// beside the setup dialog or a preview.
TEST(SaverProgram, ARunningModeRefusesOnlyASecondStartOfItself) {
    TestWorld world;
    nimbuscope::FileInstanceLocks locks(world.runtimeDir());
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
        QProcess second;
        start(first, kSaver, row.first);
        EXPECT_TRUE(waitFor([&] { return locks.isHeld(QLatin1String(row.caption)); }));
        start(second, kSaver, row.second);
        // A copy that is let through is still up 1.5 s after its start.
        EXPECT_EQ(second.waitForFinished(row.secondRefused ? kQuickEndMs : 1500),
                  row.secondRefused);
        EXPECT_EQ(second.exitCode(), 0);
        EXPECT_EQ(first.state(), QProcess::Running);
        for (QProcess* p : {&second, &first}) {
            p->kill();
            p->waitForFinished();
        }
    }
}

// Savers started at the same instant: whatever their order, exactly one stays.
TEST(SaverProgram, SimultaneousStartsLeaveExactlyOneSaver) {
    TestWorld world;
    for (int round = 0; round < 20; ++round) {
        SCOPED_TRACE(round);
        // Each copy waits in a shell for the end of its input, so that all start together.
        std::array<QProcess, 3> copies;
        for (QProcess& copy : copies) {
            start(copy, QStringLiteral("/bin/sh"),
                  {QStringLiteral("-c"), QStringLiteral("read -r go; exec \"$0\" /s"), kSaver});
        }
        for (QProcess& copy : copies) {
            copy.closeWriteChannel();
        }
        const auto running = [&] {
            return std::count_if(copies.begin(), copies.end(), [](QProcess& p) {
                p.waitForFinished(0);
                return p.state() != QProcess::NotRunning;
            });
        };
        waitFor([&] { return running() <= 1; });
        QThread::msleep(300); // the one left must be past its start-up, not merely slower to end
        EXPECT_EQ(running(), 1);
        for (QProcess& copy : copies) {
            copy.kill();
            copy.waitForFinished();
        }
    }
}
