#include "ScenarioRig.h"

#include "acquisition/AcquireDataAsync.h"

#include <gtest/gtest.h>

using namespace nimbuscope;
using namespace nimbuscope::test;

namespace {

const QString kLocationPage = QStringLiteral("*/MapClick.php?zip=*");

// The location is searched once; later reads go straight to the page found.
int locationReads(const ScenarioRig& rig) {
    return rig.network.count(QStringLiteral("*/zipcity.php?inputstring=*")) +
           rig.network.count(kLocationPage);
}

} // namespace

// Passes at about 10, 20 and 30 minutes: only the one more than 1800 s after the conditions
// picture arrived reads the location page (and the picture) again.
TEST(PassScenario, TheLocationPageIsReadAgainOnlyAfterHalfAnHour) {
    ScenarioRig rig;
    rig.start();
    ASSERT_TRUE(rig.finishPass());
    EXPECT_EQ(rig.settings().getTemplateURL(),
              QStringLiteral("http://127.0.0.1:8080/radar/images/@@@@@/SI.keax/#####.noaa"));
    for (const int passes : {3, 4}) {
        ASSERT_TRUE(rig.runUntil([&] { return rig.passesStarted.size() == passes; }, 3600));
        ASSERT_TRUE(rig.finishPass());
        EXPECT_EQ(locationReads(rig), passes - 2);
        EXPECT_EQ(rig.network.count(kLocationPage), passes - 3);
        EXPECT_EQ(rig.network.count(QStringLiteral("*/images/wtf/*")), passes - 2);
    }
}

TEST(PassScenario, AHangingPassIsCutOffAfterTwentyFourNetworkTimeouts) {
    ScenarioRig rig({.networkTimeout = 30});
    rig.network.always(QStringLiteral("*/loopdata/DS.p19r0/*"), Outcome::trickle());
    rig.start();
    ASSERT_TRUE(rig.finishPass(3600));
    EXPECT_GT(rig.nowMs(), 720'000);
    EXPECT_LE(rig.nowMs(), 721'200); // the tick after the limit shows the problem
    EXPECT_TRUE(rig.shown(QStringLiteral("NetworkProblem")));
    EXPECT_EQ(rig.caption(QStringLiteral("retryCount")), QStringLiteral("1 retries"));
}

// An outage with frames cached: after each failed pass the problem line makes the next one due
// after five minutes, until more than ten have failed in a row; then half an hour. Offline at
// last, nothing is asked of the network, the frames play on and Enter brings it back.
TEST(PassScenario, AnOutageBacksOffGoesOfflineAndEnterBringsTheNetworkBack) {
    ScenarioRig rig({.animationRateMS = 2000, .networkMaxRetries = 11}); // few ticks for hours
    rig.start();
    ASSERT_TRUE(rig.finishPass());
    rig.network.setOffline(true);
    ASSERT_TRUE(rig.runUntil([&] { return rig.state().offlineMode; }, 4 * 3600));
    ASSERT_EQ(rig.passesStarted.size(), 13);
    for (int pass = 2; pass < 13; ++pass) {
        const qint64 gapSeconds = (rig.passesStarted[pass] - rig.passesStarted[pass - 1]) / 1000;
        EXPECT_EQ(gapSeconds / 60, pass <= 11 ? 5 : 30) << "problems before: " << pass - 1;
    }
    EXPECT_EQ(rig.caption(QStringLiteral("retryCount")), QStringLiteral("12 retries"));
    ASSERT_TRUE(rig.finishPass());
    const QString lastDownload = rig.caption(QStringLiteral("ImageDate"));
    const auto requests = rig.network.requests.size();
    const auto frames = rig.framesShown.size();
    rig.runFor(3600);
    EXPECT_EQ(rig.network.requests.size(), requests);
    EXPECT_EQ(rig.passesStarted.size(), 13);
    EXPECT_GT(rig.framesShown.size(), frames);
    EXPECT_TRUE(rig.shown(QStringLiteral("NetworkProblem")));
    EXPECT_TRUE(rig.shown(QStringLiteral("NetworkProblem2")));
    EXPECT_EQ(rig.caption(QStringLiteral("ImageDate")), lastDownload);

    rig.network.setOffline(false);
    rig.pressKey(Qt::Key_Return);
    ASSERT_FALSE(rig.ended());
    EXPECT_FALSE(rig.state().offlineMode);
    EXPECT_FALSE(rig.shown(QStringLiteral("NetworkProblem2")));
    EXPECT_EQ(rig.caption(QStringLiteral("retryCount")), QStringLiteral("0 retries"));
    EXPECT_TRUE(rig.downloading());
    ASSERT_TRUE(rig.finishPass());
    EXPECT_FALSE(rig.shown(QStringLiteral("NetworkProblem")));
}

TEST(PassScenario, AClockSetBackStartsAPassAndReadsTheLocationAgain) {
    ScenarioRig rig;
    rig.start();
    ASSERT_TRUE(rig.finishPass());
    rig.runFor(60);
    rig.clock.advanceSeconds(-3600); // daylight saving time ends
    rig.runFor(5);
    EXPECT_EQ(rig.passesStarted.size(), 2);
    ASSERT_TRUE(rig.finishPass());
    EXPECT_EQ(locationReads(rig), 2);
}
