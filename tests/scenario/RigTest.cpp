// The rig's own rules: scenarios are only as good as the timers and network they run on.
#include "ScriptedNetwork.h"
#include "VirtualTimers.h"

#include <gtest/gtest.h>

using namespace nimbuscope;
using namespace nimbuscope::test;

namespace {

struct TimerBench {
    FakeClock clock;
    VirtualTimers timers{clock};
    QList<QString> fired;

    std::unique_ptr<SaverTimer> make(const QString& name, int ms, bool enabled) {
        auto t = timers.create(ms, enabled);
        t->setHandler([this, name] { fired.append(name); });
        return t;
    }
    /// Fires the next due timer, as the rig does; false when none counts down.
    bool step() {
        VirtualTimer* next = timers.nextDue();
        if (next == nullptr) {
            return false;
        }
        timers.advanceTo(*next->dueMs());
        next->tick();
        return true;
    }
};

} // namespace

TEST(VirtualTimers, DueTimerFiresFirstAndTiesGoToTheOneScheduledFirst) {
    TimerBench b;
    auto slow = b.make(QStringLiteral("slow"), 300, true);
    auto fast = b.make(QStringLiteral("fast"), 100, true);
    auto alsoSlow = b.make(QStringLiteral("alsoSlow"), 300, true);
    while (b.fired.size() < 5 && b.step()) {
    }
    // At 300 ms all three are due; the fast one was scheduled last (at 200 ms).
    EXPECT_EQ(b.fired, (QList<QString>{"fast", "fast", "slow", "alsoSlow", "fast"}));
}

TEST(VirtualTimers, EnablingAnEnabledTimerKeepsItsCountdownSettingTheIntervalRestartsIt) {
    TimerBench b;
    auto t = b.make(QStringLiteral("t"), 1000, true);
    b.timers.advanceTo(600);
    t->setEnabled(true);
    EXPECT_EQ(static_cast<VirtualTimer&>(*t).dueMs(), 1000);
    t->setInterval(1000);
    EXPECT_EQ(static_cast<VirtualTimer&>(*t).dueMs(), 1600);
    t->setInterval(0);
    EXPECT_FALSE(static_cast<VirtualTimer&>(*t).dueMs().has_value());
}

TEST(VirtualTimers, TheTicksOwnTimeAddsUpAndAClockSetBackDoesNotMoveTimers) {
    TimerBench b;
    auto t = b.timers.create(500, true);
    t->setHandler([&] { b.clock.sleep(120); }); // a tick that takes 120 ms
    b.step();
    EXPECT_EQ(b.timers.nowMs(), 620);
    EXPECT_EQ(static_cast<VirtualTimer&>(*t).dueMs(), 1120);

    b.clock.advanceSeconds(-3600);
    EXPECT_EQ(b.timers.nowMs(), 620);
    b.step();
    EXPECT_EQ(b.timers.nowMs(), 1240);
}

TEST(ScriptedRetriever, AnswersAfterTheLatencyFailsAsScriptedAndResendsAKilledRequest) {
    FakeClock clock;
    VirtualTimers time(clock);
    ScriptedNetwork net(time, clock);
    net.script(QStringLiteral("*/radar/loopdata/*"), {Outcome::fail(), Outcome::silent()});
    ScriptedRetriever r(net);
    const QString list = QStringLiteral("http://127.0.0.1:8080/radar/loopdata/DS.p19r0/keax.txt");

    r.RetrieveAsync(list);
    EXPECT_EQ(r.RetrieveAsyncCompleted(list), PageRetriever::Running);
    time.advanceTo(net.latencyMs);
    EXPECT_EQ(r.RetrieveAsyncCompleted(list), PageRetriever::ConnectionFailed);

    r.RetrieveAsync(list); // the silent server: the receive time-out ends it
    r.SetRcvTimeout(30'000);
    time.advanceTo(net.latencyMs + 29'999);
    EXPECT_EQ(r.RetrieveAsyncCompleted(list), PageRetriever::Running);
    EXPECT_FALSE(r.RetrieveIsActive().isEmpty());
    r.KillAsyncRetrieve();
    EXPECT_TRUE(r.RetrieveIsActive().isEmpty());
    // Polled again, the killed request goes out afresh and the rule is spent.
    EXPECT_EQ(r.RetrieveAsyncCompleted(list), PageRetriever::Running);
    time.advanceTo(time.nowMs() + net.latencyMs);
    EXPECT_EQ(r.RetrieveAsyncCompleted(list), PageRetriever::Done);
    EXPECT_TRUE(r.RetrieveAsyncPage(list).contains("SI.KEAX.dd."));
    EXPECT_EQ(net.count(QStringLiteral("*/loopdata/*")), 3);
}

TEST(ScriptedRetriever, ForgetsRequestsLeftUntouchedOverSeveralKillsAsTheRealOneDoes) {
    FakeClock clock;
    VirtualTimers time(clock);
    ScriptedNetwork net(time, clock);
    ScriptedRetriever r(net);
    const QString left = QStringLiteral("http://127.0.0.1:8080/radar/loopdata/DS.p19r0/keax.txt");
    const QString kept = QStringLiteral("http://127.0.0.1:8080/radar/loopdata/DS.p20-r/keax.txt");
    r.RetrieveAsync(left);
    r.RetrieveAsync(kept);
    for (int i = 0; i <= PageRetriever::kKillsRemembered; ++i) {
        r.KillAsyncRetrieve();
        EXPECT_EQ(r.RetrieveAsyncCompleted(kept), PageRetriever::Running);
    }
    EXPECT_EQ(r.RetrieveAsyncCompleted(left), PageRetriever::UnknownRequest);
}
