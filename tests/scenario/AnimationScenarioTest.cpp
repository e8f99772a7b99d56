#include "ScenarioRig.h"

#include "display/PictureBox.h"

#include <gtest/gtest.h>

using namespace nimbuscope;
using namespace nimbuscope::test;

namespace {

const QString kShortRange = QStringLiteral("Short Range Radar");

/// How long each frame of the first whole short-range cycle (from list position 0 on) shown
/// at or after `fromMs` stayed on screen, up to the next frame.
QList<int> shortRangeCycle(const ScenarioRig& rig, qint64 fromMs) {
    QList<int> onScreen;
    const QList<ShownFrame>& shown = rig.framesShown;
    for (qsizetype i = 0; i + 1 < shown.size(); ++i) {
        const ShownFrame& f = shown[i];
        if (f.atMs < fromMs || (onScreen.isEmpty() && f.position != 0)) {
            continue;
        }
        if (f.caption != kShortRange) {
            break;
        }
        onScreen.append(int(shown[i + 1].atMs - f.atMs));
    }
    return onScreen;
}

/// A cycle as long as `shown`: `first`, then `middle` for each frame, then `last`.
QList<int> cycle(const QList<int>& shown, int first, int middle, int last) {
    QList<int> holds{first};
    holds.append(QList<int>(std::max<qsizetype>(shown.size() - 2, 0), middle));
    holds.append(last);
    return holds;
}

} // namespace

TEST(AnimationScenario, SlowRateWithoutPreloadingHoldsDoubleFirstAndLastFrameHold) {
    ScenarioRig rig({.animationRateMS = 500, .animationLastFrameMS = 2000});
    rig.start();
    ASSERT_TRUE(rig.finishPass());
    const qint64 passEnd = rig.nowMs();
    rig.runFor(60);

    const QList<int> shown = shortRangeCycle(rig, passEnd);
    ASSERT_GE(shown.size(), 12); // the last hour, a frame every five minutes
    EXPECT_EQ(shown, cycle(shown, 1000, 500, 2000));
    EXPECT_FALSE(rig.state().preloadImages);
}

TEST(AnimationScenario, FastRateWithPreloadingKeepsItsPaceBeforeAndAfterPicturesAreHeld) {
    ScenarioRig rig({.animationRateMS = 200, .animationLastFrameMS = 3000});
    rig.start();
    ASSERT_TRUE(rig.finishPass());
    const qint64 passEnd = rig.nowMs();
    rig.runFor(15);
    const QList<int> shown = shortRangeCycle(rig, passEnd);
    ASSERT_GE(shown.size(), 12);
    EXPECT_EQ(shown, cycle(shown, 400, 200, 3000));
    // Before its picture was held, a frame was decoded from its file, at the same pace.
    ASSERT_GE(rig.framesShown.size(), 2);
    EXPECT_EQ(rig.framesShown[1].holdMs, 200);
}

TEST(AnimationScenario, LogoStaysUntilTheFirstFrameThenTheInformationColumnIsLaidOut) {
    ScenarioRig rig;
    // The logo phase of 1.5 s counts from the program's start.
    rig.platform.sinceStartMs = 200;
    rig.start();
    EXPECT_TRUE(rig.shown(QStringLiteral("LogoImage")));
    EXPECT_FALSE(rig.window().infoLaidOut());
    EXPECT_EQ(rig.timer1().interval(), 1300);

    ASSERT_TRUE(rig.runUntil([&] { return rig.window().infoLaidOut(); }, 60));
    EXPECT_FALSE(rig.shown(QStringLiteral("LogoImage")));
    EXPECT_TRUE(rig.shown(QStringLiteral("currentTime")));
    EXPECT_FALSE(rig.shown(QStringLiteral("retryCount")));

    const QRect screen = rig.window().screenGeometry();
    const QWidget* clock = rig.window().findChild<QWidget*>(QStringLiteral("currentTime"));
    EXPECT_EQ(clock->geometry().right(), screen.width() - 1);
    // The conditions column sits left of the picture, the radar times right of it.
    const QWidget* picture = rig.window().controls().Picture2;
    const QWidget* temperature = rig.window().findChild<QWidget*>(QStringLiteral("currentTempF"));
    const QWidget* times = rig.window().findChild<QWidget*>(QStringLiteral("CurrentRadarTimes"));
    EXPECT_LE(temperature->geometry().right(), picture->x());
    EXPECT_GE(times->x(), picture->x() + picture->width());
}

// Frames of the location in the cache play from the first tick after the logo, whatever
// the network does; the pass then puts its own in their place without a tick going blank.
TEST(AnimationScenario, CachedFramesPlayFromTheFirstTickWhateverTheNetworkDoes) {
    constexpr int kCachedFrames = 6;
    constexpr int kListedNow = 9;
    const FilledCache cache = ScenarioRig::fillCache(kCachedFrames);
    ASSERT_FALSE(cache.files.isEmpty());
    const struct {
        const char* name;
        qint64 latencyMs;
        bool offline;
    } rows[] = {{"fast", ScriptedNetwork::kDefaultLatencyMs, false},
                {"15 s slow", 15000, false},
                {"dead", 0, true}};
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        ScenarioRig rig;
        rig.seedCache(cache);
        rig.network.site().setFrameCount("", kListedNow);
        rig.network.latencyMs = row.latencyMs;
        rig.network.setOffline(row.offline);
        int blankTicks = 0;
        rig.afterTick = [&](VirtualTimer& t) {
            const bool shown =
                !rig.framesShown.isEmpty() && rig.framesShown.last().atMs == rig.nowMs();
            blankTicks += &t == &rig.timer1() && !shown ? 1 : 0;
        };
        rig.start();
        rig.runFor(120);
        ASSERT_FALSE(rig.framesShown.isEmpty());
        EXPECT_EQ(rig.framesShown.first().atMs, FrmMain::kTimer1LoadMs);
        EXPECT_EQ(blankTicks, 0);
        const int listed = rig.window().displayList().numDLitems();
        EXPECT_EQ(listed, row.offline ? 2 * kCachedFrames : 2 * kListedNow);
    }
}

// Hidden at the end of the location load; the layout after the first frame hides it again,
// which must not move the system's counter a second time.
TEST(AnimationScenario, CursorIsHiddenOnceUnlessTheSettingKeepsItShown) {
    for (const bool keepShown : {false, true}) {
        SCOPED_TRACE(keepShown ? "kept shown" : "hidden");
        ScenarioRig rig({.cursorVisibility = keepShown ? 1 : 0});
        rig.start();
        rig.runFor(120);
        ASSERT_TRUE(rig.window().infoLaidOut());
        if (keepShown) {
            EXPECT_TRUE(rig.input.showCalls.isEmpty());
        } else {
            EXPECT_EQ(rig.input.showCalls, QList<bool>{false});
        }
        EXPECT_EQ(rig.input.cursorVisible(), keepShown);
    }
}

TEST(AnimationScenario, InformationLabelsFollowTheDownloadAndTheConditions) {
    ScenarioRig rig;
    rig.start();
    EXPECT_TRUE(rig.downloading());
    ASSERT_TRUE(rig.finishPass());
    rig.runFor(5);
    for (const char* name : {"ItemCaption", "CurrentRadarTimes", "currentTempF",
                             "currentConditionsPictureBox", "EscToChange"}) {
        EXPECT_TRUE(rig.shown(QString::fromLatin1(name))) << name;
    }
    EXPECT_TRUE(rig.caption(QStringLiteral("DownloadInfoChannelName"))
                    .startsWith(QStringLiteral("Nimbuscope for ")));
    EXPECT_TRUE(rig.errorLog().isEmpty()) << rig.errorLog().toStdString();
}

TEST(AnimationScenario, TheClockAndTheLastDownloadUseTheUsersTimeFormat) {
    const struct {
        QLocale locale;
        const char* lastDownload;
        const char* clockStart;
    } rows[] = {
        {QLocale(QLocale::English, QLocale::UnitedStates), "Last download:  9:35:29 PM  ",
         "Current Time:  9:35:"},
        {QLocale(QLocale::German, QLocale::Germany), "Last download:  21:35:29  ",
         "Current Time:  21:35:"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.lastDownload);
        ScenarioRig rig({.locale = row.locale});
        rig.clock.set(DateTime::fromParts(2026, 12, 5, 21, 35, 29));
        ASSERT_TRUE(rig.startPastTheFirstFrame());
        EXPECT_EQ(rig.caption(QStringLiteral("ImageDate")), QLatin1String(row.lastDownload));
        EXPECT_TRUE(
            rig.caption(QStringLiteral("currentTime")).startsWith(QLatin1String(row.clockStart)));
    }
}

TEST(AnimationScenario, NoShowableFrameFillsTheErrorLogWithOneLineAndItsCounts) {
    ScenarioRig rig;
    // Every frame is the server's short radar-unavailable answer: listed, never shown.
    rig.network.always(QStringLiteral("*.gif"), Outcome::withBody("unavailable"));
    rig.world.writeFile(rig.world.tmp() + "/Nimbuscope/tmp-tester/errorlog.txt", {});
    rig.start();
    rig.runFor(10 * 60);
    rig.app.log().logError(QStringLiteral("ERROR :: the newest"));

    const QString log = rig.errorLog();
    EXPECT_LT(log.size(), 2000) << log.toStdString();
    EXPECT_TRUE(log.contains(QStringLiteral("displayList failure: getNextItem() returned "
                                            "item.active==(False) or bad index (repeated ")))
        << log.toStdString();
    EXPECT_TRUE(log.endsWith(QStringLiteral("ERROR :: the newest :: \r\n")));
}

// A conditions answer that is no picture leaves no empty or broken picture beside the text.
TEST(AnimationScenario, AConditionsAnswerThatIsNoPictureShowsTheTextWithoutAPicture) {
    ScenarioRig rig;
    rig.network.always(QStringLiteral("*.jpg"), Outcome::withBody("not a picture"));
    rig.start();
    ASSERT_TRUE(rig.runUntil(
        [&] { return rig.window().infoLaidOut() && rig.shown(QStringLiteral("currentTempF")); },
        120));
    EXPECT_FALSE(rig.shown(QStringLiteral("currentConditionsPictureBox")));
}
