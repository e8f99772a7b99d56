#include "display/QtSaverTimer.h"

#include <QElapsedTimer>
#include <QEventLoop>
#include <QThread>
#include <QTimer>
#include <gtest/gtest.h>

#include <functional>
#include <vector>

using namespace nimbuscope;

namespace {

// Real time, kept short. Only lower bounds of elapsed time are asserted: a loaded machine
// makes timers late, never early.
constexpr int kPatienceMs = 5000;
/// What a precise timer may be early by, through rounding to whole milliseconds.
constexpr qint64 kEarlyMs = 2;

void runFor(int ms) {
    QEventLoop loop;
    QTimer::singleShot(ms, Qt::PreciseTimer, &loop, &QEventLoop::quit);
    loop.exec();
}

/// Runs the event loop until `done` holds or the patience runs out; whether it held.
bool runUntil(const std::function<bool()>& done) {
    QElapsedTimer waited;
    waited.start();
    while (!done() && waited.elapsed() < kPatienceMs) {
        runFor(1);
    }
    return done();
}

TEST(QtSaverTimerTest, ATouchedTickCountsFromTheTouchAndNeverOverlapsTheNext) {
    QtSaverTimer timer(20, true);
    QElapsedTimer clock;
    clock.start();
    std::vector<qint64> starts;
    std::vector<qint64> ends;
    qint64 setAt = 0;
    timer.setHandler([&] {
        starts.push_back(clock.elapsed());
        if (starts.size() == 1) {
            // A frame's hold is set before the frame is drawn; the drawing is part of it.
            setAt = clock.elapsed();
            timer.setInterval(40);
            QThread::msleep(60);
        }
        ends.push_back(clock.elapsed());
    });
    ASSERT_TRUE(runUntil([&] { return starts.size() >= 3; }));
    timer.setEnabled(false);
    EXPECT_GE(starts[1], ends[0]) << "ticks never overlap";
    EXPECT_GE(starts[1] - setAt, 40 - kEarlyMs);
    // Due while the tick still ran, the next one follows its return at once: counting from
    // the return would wait the whole 40 ms more.
    EXPECT_LT(starts[1] - ends[0], 30);
    EXPECT_GE(starts[2] - starts[1], 40 - kEarlyMs) << "then the pace of the new interval";
}

TEST(QtSaverTimerTest, NestedEventLoopInATickDoesNotReenterIt) {
    QtSaverTimer timer(5, true);
    int ticks = 0;
    int ticksDuringNestedLoop = -1;
    timer.setHandler([&] {
        if (++ticks == 1) {
            // As the frame presentation does: set the pace, then wait in a message box.
            timer.setInterval(5);
            runFor(80);
            ticksDuringNestedLoop = ticks - 1;
        }
    });
    ASSERT_TRUE(runUntil([&] { return ticks >= 3; }));
    EXPECT_EQ(ticksDuringNestedLoop, 0);
}

TEST(QtSaverTimerTest, HandlerMayEndItsOwnTimer) {
    auto timer = std::make_unique<QtSaverTimer>(5, true);
    int ticks = 0;
    timer->setHandler([&] {
        ++ticks;
        timer.reset();
    });
    ASSERT_TRUE(runUntil([&] { return ticks >= 1; }));
    runFor(30);
    EXPECT_EQ(ticks, 1);
    EXPECT_EQ(timer, nullptr);
}

} // namespace
