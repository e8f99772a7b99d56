#include "ScenarioRig.h"

#include "acquisition/AcquireDataAsync.h"
#include "display/AlertBanner.h"

#include <QSet>

#include <gtest/gtest.h>

using namespace nimbuscope;
using namespace nimbuscope::test;

namespace {

constexpr qint64 kMsPerMinute = 60 * 1000;
constexpr int kTornadoMinutes = 45;

QString eventShown(const AlertBanner& banner) {
    return banner.content().headline.section(QStringLiteral(" until "), 0, 0);
}

} // namespace

TEST(AlertsScenarioTest, AnAlertComesWithThePassTakesTurnsWithASecondAndEndsOnTheClockOffline) {
    ScenarioRig rig({.alerts = true});
    ASSERT_TRUE(rig.startPastTheFirstFrame());
    const AlertBanner& banner = *rig.window().alertBanner();
    ASSERT_FALSE(rig.alerts.requests.isEmpty());
    EXPECT_TRUE(banner.isHidden());

    // With none in effect, only a pass asks again: the alert shows right after the next one.
    rig.alerts.issue("Tornado Warning", "Severe", kTornadoMinutes);
    const qint64 issuedMs = rig.nowMs();
    const qsizetype passes = rig.passesStarted.size();
    ASSERT_TRUE(rig.runUntil([&] { return !banner.isHidden(); }, 15 * 60));
    ASSERT_EQ(rig.passesStarted.size(), passes + 1);
    EXPECT_LE(rig.nowMs() - rig.passesStarted.last(), 2000);
    EXPECT_EQ(eventShown(banner), QStringLiteral("TORNADO WARNING"));
    EXPECT_EQ(banner.content().colour, BannerColour::Red);
    EXPECT_EQ(banner.content().detail, QStringLiteral("TAKE COVER NOW!"));

    // While one is in effect the alerts are asked every two minutes; two take turns.
    rig.alerts.issue("Wind Advisory", "Minor", 4 * 60);
    rig.runFor(121);
    EXPECT_EQ(banner.content().more, QStringLiteral("+1 more"));
    QSet<QString> seen;
    for (int i = 0; i < 4; ++i, rig.runFor(4)) {
        seen << eventShown(banner);
    }
    EXPECT_EQ(seen,
              (QSet<QString>{QStringLiteral("TORNADO WARNING"), QStringLiteral("WIND ADVISORY")}));

    // With the network gone, the warning still leaves at its end and the advisory stays.
    rig.network.setOffline(true);
    rig.alerts.offline = true;
    const qint64 tornadoEndMs = issuedMs + kTornadoMinutes * kMsPerMinute;
    ASSERT_TRUE(rig.runUntil([&] { return rig.nowMs() >= tornadoEndMs - 2000; }, 3600));
    EXPECT_EQ(banner.content().more, QStringLiteral("+1 more"));
    rig.runFor(4);
    EXPECT_EQ(banner.content().more, QString());
    EXPECT_EQ(eventShown(banner), QStringLiteral("WIND ADVISORY"));
    EXPECT_EQ(banner.content().colour, BannerColour::Yellow);
    EXPECT_TRUE(banner.content().detail.isEmpty()) << "instructions are for severe alerts only";
}

TEST(AlertsScenarioTest, AFailingAlertsEndpointLeavesThePassesAndTheirProblemCountAlone) {
    constexpr double kRunSeconds = 35 * 60;
    QList<qint64> plainPasses;
    QStringList plainRequests;
    {
        ScenarioRig plain;
        plain.start();
        plain.runFor(kRunSeconds);
        plainPasses = plain.passesStarted;
        plainRequests = plain.network.requests;
    }
    for (const bool answersAnError : {true, false}) {
        SCOPED_TRACE(answersAnError ? "503 answers" : "no answer");
        ScenarioRig rig({.alerts = true});
        rig.alerts.failing = answersAnError;
        rig.alerts.offline = !answersAnError;
        rig.start();
        rig.runFor(kRunSeconds);
        EXPECT_GE(rig.alerts.requests.size(), 3);
        EXPECT_EQ(rig.passesStarted, plainPasses);
        EXPECT_EQ(rig.network.requests, plainRequests);
        EXPECT_EQ(rig.window().acquisition().networkProblemCount(), 0);
        EXPECT_TRUE(rig.window().alertBanner()->isHidden());
    }
}
