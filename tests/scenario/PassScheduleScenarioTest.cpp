#include "ScenarioRig.h"

#include "acquisition/AcquireDataAsync.h"

#include <gtest/gtest.h>

using namespace nimbuscope;
using namespace nimbuscope::test;

namespace {

const QString kLocationSearch = QStringLiteral("*/zipcity.php?inputstring=*");
const QString kConditionsPicture = QStringLiteral("*/images/wtf/*");
const QString kShortRangeList = QStringLiteral("*/loopdata/DS.p19r0/*");
const QString kLocationPage = QStringLiteral("*/MapClick.php?zip=*");
// The frame address template the location page of 64106 gives.
const QString kStoredTemplate =
    QStringLiteral("http://127.0.0.1:8080/radar/images/@@@@@/SI.keax/#####.noaa");

// The location is searched once; later reads go straight to the page found.
int locationReads(const ScenarioRig& rig) {
    return rig.network.count(kLocationSearch) + rig.network.count(kLocationPage);
}

// The longest a frame is held, and so the longest a due pass waits for the next tick.
constexpr qint64 kLongestTickMs = 3000;

} // namespace

// A pass is due once more whole seconds than the limit have passed since the last one
// began; the tick after that starts it.
struct DueCase {
    const char* name;
    int framesPerProduct;
    qint32 problemsBefore;
    qint64 dueAfterSeconds;
    friend void PrintTo(const DueCase& c, std::ostream* os) { *os << c.name; }
};

class PassDueScenario : public ::testing::TestWithParam<DueCase> {};

TEST_P(PassDueScenario, NextPassStartsOnTheFirstTickAfterTheLimit) {
    const DueCase& c = GetParam();
    ScenarioRig rig;
    rig.network.site().setFrameCount("", c.framesPerProduct);
    rig.start();
    ASSERT_TRUE(rig.finishPass());
    rig.window().acquisition().setNetworkProblemCount(c.problemsBefore);

    const qint64 firstPass = rig.passesStarted.value(0);
    ASSERT_TRUE(rig.runUntil([&] { return rig.passesStarted.size() == 2; }, 2 * 3600));
    const qint64 gap = rig.passesStarted[1] - firstPass;
    EXPECT_GT(gap, c.dueAfterSeconds * 1000);
    EXPECT_LE(gap, (c.dueAfterSeconds + 1) * 1000 + kLongestTickMs);
}

INSTANTIATE_TEST_SUITE_P(Limits, PassDueScenario,
                         ::testing::Values(DueCase{"EighteenFramesWaitTenMinutes", 9, 0, 600},
                                           DueCase{"SeventeenFramesWaitFiveMinutes", 8, 0, 300},
                                           DueCase{"ElevenProblemsWaitHalfAnHour", 9, 11, 1800}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(PassScenario, LocationPageIsReadAgainOnlyAfterHalfAnHour) {
    ScenarioRig rig;
    rig.start();
    ASSERT_TRUE(rig.finishPass());
    EXPECT_EQ(locationReads(rig), 1);
    EXPECT_EQ(rig.settings().getTemplateURL(), kStoredTemplate);

    // Passes at about 10, 20 and 30 minutes: only the one more than 1800 s after the
    // conditions picture arrived reads the location page (and the picture) again.
    ASSERT_TRUE(rig.runUntil([&] { return rig.passesStarted.size() == 3; }, 3600));
    ASSERT_TRUE(rig.finishPass());
    EXPECT_EQ(locationReads(rig), 1);
    EXPECT_EQ(rig.network.count(kConditionsPicture), 1);
    ASSERT_TRUE(rig.runUntil([&] { return rig.passesStarted.size() == 4; }, 3600));
    ASSERT_TRUE(rig.finishPass());
    EXPECT_EQ(locationReads(rig), 2);
    EXPECT_EQ(rig.network.count(kLocationPage), 1);
    EXPECT_EQ(rig.network.count(kConditionsPicture), 2);
}

TEST(PassScenario, HangingPassIsCutOffAfterTwentyFourNetworkTimeouts) {
    ScenarioRig rig({.networkTimeout = 30});
    rig.network.always(kShortRangeList, Outcome::trickle());
    rig.start();
    ASSERT_TRUE(rig.finishPass(3600));
    EXPECT_GT(rig.nowMs(), 720'000);
    EXPECT_LE(rig.nowMs(), 721'200); // the tick after the limit shows the problem
    EXPECT_TRUE(rig.shown(QStringLiteral("NetworkProblem")));
    EXPECT_EQ(rig.caption(QStringLiteral("retryCount")), QStringLiteral("1 retries"));
    EXPECT_EQ(rig.window().acquisition().networkProblemCount(), 1);
}

TEST(PassScenario, FailedPassesSwitchOfflineAndEnterBringsTheNetworkBack) {
    ScenarioRig rig({.networkMaxRetries = 2});
    rig.network.setOffline(true);
    rig.start();

    // Passes fail at once; with the problem shown the next one is due after 300 s.
    ASSERT_TRUE(rig.runUntil([&] { return rig.state().offlineMode; }, 3600));
    EXPECT_EQ(rig.passesStarted.size(), 3);
    EXPECT_EQ(rig.caption(QStringLiteral("retryCount")), QStringLiteral("3 retries"));
    ASSERT_TRUE(rig.finishPass());
    const QString lastDownload = rig.caption(QStringLiteral("ImageDate"));

    const int requestsWhenOffline = rig.network.requests.size();
    rig.runFor(3600);
    EXPECT_EQ(rig.network.requests.size(), requestsWhenOffline);
    EXPECT_EQ(rig.passesStarted.size(), 3);
    EXPECT_TRUE(rig.shown(QStringLiteral("NetworkProblem")));
    EXPECT_EQ(rig.caption(QStringLiteral("ImageDate")), lastDownload);
    ASSERT_FALSE(rig.ended());

    rig.network.setOffline(false);
    rig.pressKey(Qt::Key_Return);
    ASSERT_FALSE(rig.ended());
    EXPECT_FALSE(rig.state().offlineMode);
    EXPECT_EQ(rig.caption(QStringLiteral("retryCount")), QStringLiteral("0 retries"));
    EXPECT_TRUE(rig.downloading());
    ASSERT_TRUE(rig.finishPass());
    rig.runFor(30);
    EXPECT_FALSE(rig.shown(QStringLiteral("NetworkProblem")));
    EXPECT_FALSE(rig.framesShown.isEmpty());
}

// A real outage with frames cached: the problem line shows after each failed pass, which
// makes the next one due after five minutes, until more than ten have failed in a row; then
// half an hour. Offline at last, the saver says that Enter retries while its frames play on.
TEST(PassScenario, AnOutageBacksOffToHalfAnHourAfterTenProblemsAndOfflineAsksForEnter) {
    // Slow frames keep the ticks few over the hours this takes.
    ScenarioRig rig({.animationRateMS = 2000, .networkMaxRetries = 11});
    rig.start();
    ASSERT_TRUE(rig.finishPass());
    rig.network.setOffline(true);
    ASSERT_TRUE(rig.runUntil([&] { return rig.state().offlineMode; }, 4 * 3600));
    ASSERT_EQ(rig.passesStarted.size(), 13);
    for (int pass = 2; pass < 13; ++pass) {
        SCOPED_TRACE(pass);
        const qint64 gapSeconds = (rig.passesStarted[pass] - rig.passesStarted[pass - 1]) / 1000;
        EXPECT_EQ(gapSeconds / 60, pass <= 11 ? 5 : 30) << "problems before: " << pass - 1;
    }
    EXPECT_TRUE(rig.shown(QStringLiteral("NetworkProblem")));
    EXPECT_TRUE(rig.shown(QStringLiteral("NetworkProblem2")));
    const auto framesBefore = rig.framesShown.size();
    rig.runFor(60);
    EXPECT_GT(rig.framesShown.size(), framesBefore) << "the cached frames play on";

    rig.network.setOffline(false);
    rig.pressKey(Qt::Key_Return);
    EXPECT_FALSE(rig.shown(QStringLiteral("NetworkProblem2")));
    ASSERT_TRUE(rig.finishPass());
    EXPECT_FALSE(rig.shown(QStringLiteral("NetworkProblem")));
}

TEST(PassScenario, ClockSetBackStartsAPassInsteadOfWaitingForItToCatchUp) {
    ScenarioRig rig;
    rig.start();
    ASSERT_TRUE(rig.finishPass());
    rig.runFor(60);
    ASSERT_EQ(rig.passesStarted.size(), 1);
    rig.clock.advanceSeconds(-3600); // daylight saving time ends
    rig.runFor(5);
    EXPECT_EQ(rig.passesStarted.size(), 2);
    ASSERT_TRUE(rig.finishPass());
    EXPECT_EQ(locationReads(rig), 2); // the location page is read again as well
}
