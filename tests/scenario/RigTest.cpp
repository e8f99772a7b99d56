// The rig's smoke test: scenarios are only as good as the timers and network they run on.
#include "ScriptedNetwork.h"
#include "VirtualTimers.h"

#include <gtest/gtest.h>

using namespace nimbuscope;
using namespace nimbuscope::test;

TEST(Rig, TimersIgnoreAClockSetBackAndTheNetworkAnswersAsScriptedAfterItsLatency) {
    FakeClock clock;
    VirtualTimers time(clock);
    auto timer = time.create(500, true);
    timer->setHandler([&] { clock.sleep(120); }); // a tick that takes 120 ms
    time.advanceTo(500);
    time.nextDue()->tick();
    clock.advanceSeconds(-3600);
    EXPECT_EQ(time.nextDue()->dueMs(), 1120);

    ScriptedNetwork net(time, clock);
    net.setOffline(true);
    ScriptedRetriever r(net);
    const QString list = QStringLiteral("http://127.0.0.1:8080/radar/loopdata/DS.p19r0/keax.txt");
    for (const qint16 status : {PageRetriever::ConnectionFailed, PageRetriever::Done}) {
        r.RetrieveAsync(list);
        EXPECT_EQ(r.RetrieveAsyncCompleted(list), PageRetriever::Running);
        time.advanceTo(time.nowMs() + net.latencyMs);
        EXPECT_EQ(r.RetrieveAsyncCompleted(list), status);
        net.setOffline(false);
    }
    EXPECT_TRUE(r.RetrieveAsyncPage(list).contains("SI.KEAX.dd."));
}
