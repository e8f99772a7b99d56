#include "ScenarioRig.h"

#include "display/PictureBox.h"

#include <gtest/gtest.h>

using namespace nimbuscope;
using namespace nimbuscope::test;

// A product's first frame is held twice the rate, its last the last-frame time. Fast rates
// preload the pictures; before a picture is held its frame is decoded from the file, at the
// same pace.
TEST(AnimationScenario, HoldsFollowThePlaceInTheCycleAtASlowAndAFastRate) {
    const struct {
        qint32 rate, last;
        bool preload;
    } rows[] = {{500, 2000, false}, {200, 3000, true}};
    for (const auto& row : rows) {
        SCOPED_TRACE(row.rate);
        ScenarioRig rig({.animationRateMS = row.rate, .animationLastFrameMS = row.last});
        rig.start();
        ASSERT_TRUE(rig.finishPass());
        const qint64 passEnd = rig.nowMs();
        rig.runFor(60);
        QList<int> holds; // of the first whole short-range cycle after the pass
        for (qsizetype i = 0; i + 1 < rig.framesShown.size(); ++i) {
            const ShownFrame& f = rig.framesShown[i];
            if (f.atMs < passEnd || (holds.isEmpty() && f.position != 0)) {
                continue;
            }
            if (f.caption != QLatin1String("Short Range Radar")) {
                break;
            }
            holds.append(int(rig.framesShown[i + 1].atMs - f.atMs));
        }
        ASSERT_GE(holds.size(), 12); // the last hour, a frame every five minutes
        QList<int> expected(holds.size(), row.rate);
        expected.front() = 2 * row.rate;
        expected.back() = row.last;
        EXPECT_EQ(holds, expected);
        EXPECT_EQ(rig.state().preloadImages, row.preload);
        EXPECT_EQ(rig.framesShown[1].holdMs, row.rate);
    }
}

TEST(AnimationScenario, TheLogoStaysUntilTheFirstFrameThenTheColumnsAreLaidOut) {
    ScenarioRig rig;
    rig.platform.sinceStartMs = 200; // the logo's 1.5 s count from the program's start
    rig.start();
    EXPECT_TRUE(rig.shown(QStringLiteral("LogoImage")));
    EXPECT_EQ(rig.timer1().interval(), 1300);
    ASSERT_TRUE(rig.runUntil([&] { return rig.window().infoLaidOut(); }, 60));
    EXPECT_FALSE(rig.shown(QStringLiteral("LogoImage")));
    EXPECT_FALSE(rig.shown(QStringLiteral("retryCount")));
    const auto at = [&](const char* name) {
        return rig.window().findChild<QWidget*>(QLatin1String(name))->geometry();
    };
    const QRect picture = rig.window().controls().Picture2->geometry();
    EXPECT_EQ(at("currentTime").right(), rig.window().screenGeometry().width() - 1);
    EXPECT_LE(at("currentTempF").right(), picture.x());
    EXPECT_GE(at("CurrentRadarTimes").x(), picture.x() + picture.width());
}

// Frames of the location in the cache play from the first tick after the logo, whatever the
// network does; the pass then puts its own in their place without a tick going blank.
TEST(AnimationScenario, CachedFramesPlayFromTheFirstTickWhateverTheNetworkDoes) {
    const FilledCache cache = ScenarioRig::fillCache(6);
    ASSERT_FALSE(cache.files.isEmpty());
    const struct {
        qint64 latencyMs;
        bool offline;
    } rows[] = {{ScriptedNetwork::kDefaultLatencyMs, false}, {15000, false}, {0, true}};
    for (const auto& row : rows) {
        SCOPED_TRACE(row.latencyMs);
        ScenarioRig rig;
        rig.seedCache(cache);
        rig.network.site().setFrameCount("", 9);
        rig.network.latencyMs = row.latencyMs;
        rig.network.setOffline(row.offline);
        rig.start();
        rig.runFor(120);
        ASSERT_FALSE(rig.framesShown.isEmpty());
        EXPECT_EQ(rig.framesShown.first().atMs, FrmMain::kTimer1LoadMs);
        EXPECT_EQ(rig.blankTicks, 0);
        EXPECT_EQ(rig.window().displayList().numDLitems(), row.offline ? 12 : 18);
    }
}

// Hidden at the end of the location load; the layout after the first frame must not move the
// system's counter a second time.
TEST(AnimationScenario, TheCursorIsHiddenOnceUnlessTheSettingKeepsItShown) {
    for (const bool keepShown : {false, true}) {
        ScenarioRig rig({.cursorVisibility = keepShown ? 1 : 0});
        ASSERT_TRUE(rig.startPastTheFirstFrame());
        EXPECT_EQ(rig.input.showCalls, keepShown ? QList<bool>{} : QList<bool>{false});
        EXPECT_EQ(rig.input.cursorVisible(), keepShown);
    }
}

// Short junk lines in a list (blank, markup) are no frames and not worth an error line.
TEST(AnimationScenario, AfterAPassTheInformationIsShownAndNoListLineWasLogged) {
    ScenarioRig rig;
    rig.network.chaos = [&](const QString& address) -> std::optional<Outcome> {
        if (!address.contains(QLatin1String("/loopdata/"))) {
            return std::nullopt;
        }
        return Outcome::withBody("<pre>\n \n" + *rig.network.simulated(address).body);
    };
    rig.world.writeFile(rig.world.tmp() + "/Nimbuscope/tmp-tester/errorlog.txt", {}); // logging on
    rig.start();
    ASSERT_TRUE(rig.finishPass());
    rig.runFor(5);
    for (const char* name : {"ItemCaption", "CurrentRadarTimes", "currentTempF",
                             "currentConditionsPictureBox", "EscToChange"}) {
        EXPECT_TRUE(rig.shown(QLatin1String(name))) << name;
    }
    EXPECT_EQ(rig.caption(QStringLiteral("DownloadInfoChannelName")),
              QStringLiteral("Nimbuscope for Kansas City, MO  (64106)"));
    EXPECT_FALSE(rig.errorLog().contains(QLatin1String("parseRadarListItems")))
        << rig.errorLog().toStdString();
}

TEST(AnimationScenario, AConditionsAnswerThatIsNoPictureShowsTheTextWithoutAPicture) {
    ScenarioRig rig;
    rig.network.always(QStringLiteral("*.jpg"), Outcome::withBody("not a picture"));
    rig.start();
    ASSERT_TRUE(rig.runUntil(
        [&] { return rig.window().infoLaidOut() && rig.shown(QStringLiteral("currentTempF")); },
        120));
    EXPECT_FALSE(rig.shown(QStringLiteral("currentConditionsPictureBox")));
}

TEST(AnimationScenario, TheClockAndTheLastDownloadUseTheUsersTimeFormat) {
    const struct {
        QLocale locale;
        const char *lastDownload, *clockStart;
    } rows[] = {{QLocale(QLocale::English, QLocale::UnitedStates), "Last download:  9:35:29 PM  ",
                 "Current Time:  9:35:"},
                {QLocale(QLocale::German, QLocale::Germany), "Last download:  21:35:29  ",
                 "Current Time:  21:35:"}};
    for (const auto& row : rows) {
        ScenarioRig rig({.locale = row.locale});
        rig.clock.set(DateTime::fromParts(2026, 12, 5, 21, 35, 29));
        ASSERT_TRUE(rig.startPastTheFirstFrame());
        EXPECT_EQ(rig.caption(QStringLiteral("ImageDate")), QLatin1String(row.lastDownload));
        EXPECT_TRUE(
            rig.caption(QStringLiteral("currentTime")).startsWith(QLatin1String(row.clockStart)));
    }
}
