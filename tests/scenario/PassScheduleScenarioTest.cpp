#include "ScenarioRig.h"

#include <gtest/gtest.h>

using namespace nimbuscope;
using namespace nimbuscope::test;

// Passes at about 10, 20 and 30 minutes: only the one more than 1800 s after the conditions
// picture arrived reads the location page (and the picture) again; a clock set back starts a
// pass at once, which reads the location again.
TEST(PassScenario, TheLocationPageIsReadAgainAfterHalfAnHourOrAClockSetBack) {
    ScenarioRig rig;
    const auto reads = [&](const char* part) { return rig.network.count(QLatin1String(part)); };
    rig.start();
    ASSERT_TRUE(rig.finishPass());
    for (const int passes : {3, 4}) {
        ASSERT_TRUE(rig.runUntil([&] { return rig.passesStarted.size() == passes; }, 3600));
        ASSERT_TRUE(rig.finishPass());
        EXPECT_EQ(reads("zipcity.php") + reads("MapClick.php"), passes - 2);
        EXPECT_EQ(reads("/images/wtf/"), passes - 2);
    }
    rig.runFor(60);
    rig.clock.advanceSeconds(-3600); // daylight saving time ends
    rig.runFor(5);
    EXPECT_EQ(rig.passesStarted.size(), 5);
    ASSERT_TRUE(rig.finishPass());
    EXPECT_EQ(reads("zipcity.php") + reads("MapClick.php"), 3);
}

// An outage with frames cached: after each failed pass the problem line makes the next one due
// after five minutes, until more than ten have failed in a row; then half an hour. Offline at
// last, nothing is asked of the network, the frames play on and Enter brings it back.
TEST(PassScenario, AnOutageBacksOffGoesOfflineAndEnterBringsTheNetworkBack) {
    ScenarioRig rig({.animationRateMS = 2000, .networkMaxRetries = 11}); // few ticks for hours
    rig.start();
    ASSERT_TRUE(rig.finishPass());
    rig.network.offline = true;
    ASSERT_TRUE(rig.runUntil([&] { return rig.state().offlineMode; }, 4 * 3600));
    ASSERT_EQ(rig.passesStarted.size(), 13);
    for (int pass = 2; pass < 13; ++pass) {
        const qint64 gapSeconds = (rig.passesStarted[pass] - rig.passesStarted[pass - 1]) / 1000;
        EXPECT_EQ(gapSeconds / 60, pass <= 11 ? 5 : 30) << "problems before: " << pass - 1;
    }
    ASSERT_TRUE(rig.finishPass());
    const auto requests = rig.network.requests.size();
    const auto frames = rig.framesShown.size();
    rig.runFor(3600);
    EXPECT_EQ(rig.network.requests.size(), requests);
    EXPECT_GT(rig.framesShown.size(), frames);
    EXPECT_TRUE(rig.shown(QStringLiteral("NetworkProblem2")));

    rig.network.offline = false;
    rig.pressKey(Qt::Key_Return);
    ASSERT_FALSE(rig.ended());
    EXPECT_FALSE(rig.state().offlineMode);
    EXPECT_FALSE(rig.shown(QStringLiteral("NetworkProblem2")));
    EXPECT_TRUE(rig.downloading());
    ASSERT_TRUE(rig.finishPass());
    EXPECT_FALSE(rig.shown(QStringLiteral("NetworkProblem")));
}
