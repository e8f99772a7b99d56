#include "ScenarioFakes.h"
#include "ScenarioRig.h"

#include "display/MyProgress.h"

#include <functional>

#include <gtest/gtest.h>

using namespace nimbuscope;
using namespace nimbuscope::test;

// A click ends the saver except on the controls that ignore it and on the title and its hint,
// which open the settings.
TEST(InputScenario, AClickEndsOpensTheSettingsOrDoesNothing) {
    const struct {
        std::vector<const char*> controls;
        bool doubleClick, ends, opensSettings;
    } groups[] = {
        {{"FrmMain", "Picture2", "currentConditionsPictureBox", "NetworkProblem", "currentTime",
          "CurrentRadarTimes", "ItemCaption"},
         false,
         true,
         false},
        {{"Picture1"}, true, true, false},
        {{"LogoImage", "NetworkProblem2", "retryCount", "RadarImagesMissing"}, false, false, false},
        {{"EscToChange", "DownloadInfoChannelName"}, false, false, true},
        {{"DownloadInfoChannelName"}, true, false, true},
    };
    for (const auto& group : groups) {
        for (const char* control : group.controls) {
            SCOPED_TRACE(std::string(control) + (group.doubleClick ? " double" : ""));
            ScenarioRig rig;
            ASSERT_TRUE(rig.startPastTheFirstFrame());
            rig.click(QLatin1String(control), group.doubleClick);
            EXPECT_EQ(rig.ended(), group.ends);
            EXPECT_EQ(rig.setup.shown, group.opensSettings ? 1 : 0);
        }
    }
}

// More than twenty pixels on either axis between two checks ends, unless the setting ignores
// movement; the grace time after the first frame is not stretched by a clock set back.
TEST(InputScenario, MouseMovesEndTheSaverBeyondTwentyPixels) {
    const struct {
        const char* name;
        qint32 cursorMovement;
        std::function<void(ScenarioRig&)> move;
        bool ends;
    } rows[] = {
        {"20, 20", 0, [](ScenarioRig& r) { r.moveMouse(20, 20); }, false},
        {"-20, -20", 0, [](ScenarioRig& r) { r.moveMouse(-20, -20); }, false},
        {"21, 0", 0, [](ScenarioRig& r) { r.moveMouse(21, 0); }, true},
        {"-21, 5", 0, [](ScenarioRig& r) { r.moveMouse(-21, 5); }, true},
        {"0, -21", 0, [](ScenarioRig& r) { r.moveMouse(0, -21); }, true},
        {"small moves a second apart", 0,
         [](ScenarioRig& r) {
             for (int i = 0; i < 10; ++i) {
                 r.moveMouse(15, 15);
                 r.runFor(1);
             }
         },
         false},
        {"a move no event reported", 0,
         [](ScenarioRig& r) {
             r.input.position += QPoint(40, 0);
             r.runFor(5);
         },
         true},
        {"after the clock was set back", 0,
         [](ScenarioRig& r) {
             r.clock.advanceSeconds(-3600);
             r.moveMouse(30, 0);
         },
         true},
        {"movement ignored", 1,
         [](ScenarioRig& r) {
             r.moveMouse(500, 400);
             r.input.position += QPoint(-300, 100);
             r.runFor(10);
         },
         false},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        ScenarioRig rig({.cursorMovement = row.cursorMovement});
        ASSERT_TRUE(rig.startPastTheFirstFrame());
        row.move(rig);
        EXPECT_EQ(rig.endStatus, row.ends ? std::optional(0) : std::nullopt);
    }
}

TEST(InputScenario, MovementIsIgnoredWhileTheLogoIsShownButStillRecorded) {
    ScenarioRig rig;
    rig.network.latencyMs = 10'000; // the first frame takes a while
    rig.start();
    rig.runFor(5);
    ASSERT_TRUE(rig.shown(QStringLiteral("LogoImage")));
    rig.moveMouse(300, 200);
    ASSERT_TRUE(rig.runUntil([&] { return !rig.shown(QStringLiteral("LogoImage")); }, 300));
    rig.runFor(2);
    rig.moveMouse(10, 10); // measured from where the ignored move left the cursor
    EXPECT_FALSE(rig.ended());
}

// Enter too, while online (offline it brings the network back), and from the logo on.
TEST(InputScenario, AnyOtherKeyStopsTheTransferAndEnds) {
    for (const Qt::Key key : {Qt::Key_A, Qt::Key_Shift, Qt::Key_F1, Qt::Key_Return}) {
        SCOPED_TRACE(key);
        ScenarioRig rig;
        rig.start();
        rig.runFor(0.5);
        ASSERT_TRUE(rig.downloading() && rig.shown(QStringLiteral("LogoImage")));
        rig.pressKey(key);
        EXPECT_EQ(rig.endStatus, 0);
        EXPECT_EQ(rig.passwords.asked, 0) << "the NT family never asks for the password";
        EXPECT_TRUE(rig.state().interruptedDownload);
        EXPECT_GE(rig.retrievers.value(0)->kills, 1);
    }
}

// Cancel in the settings opened while idle: the cursor shown only while they are open, the
// animation going on without a new pass, and movement ignored for three seconds.
TEST(InputScenario, EscWhileIdleAndCancelResumesWithoutANewPass) {
    ScenarioRig rig;
    ASSERT_TRUE(rig.startPastTheFirstFrame());
    ASSERT_TRUE(rig.finishPass());
    const auto requests = rig.network.requests.size();
    bool visibleInDialog = false;
    rig.setup.answers.push_back([&] {
        visibleInDialog = rig.input.cursorVisible();
        return true;
    });
    rig.pressKey(Qt::Key_Escape);
    EXPECT_EQ(rig.setup.shown, 1);
    EXPECT_TRUE(visibleInDialog);
    EXPECT_EQ(rig.input.displayCounter, -1);
    rig.moveMouse(100, 0);
    EXPECT_FALSE(rig.ended());
    const auto frames = rig.framesShown.size();
    rig.runFor(20);
    EXPECT_GT(rig.framesShown.size(), frames);
    EXPECT_EQ(rig.network.requests.size(), requests);
    rig.moveMouse(100, 0);
    EXPECT_TRUE(rig.ended());
}

// The 9x screen-saver password: the saver ends only when it is given; a refused one resumes
// with the cursor hidden again, a forgotten dialog is dismissed after thirty seconds.
TEST(PasswordScenario, OnlyTheRightPasswordEnds) {
    for (const bool forgotten : {false, true}) {
        SCOPED_TRACE(forgotten);
        ScenarioRig rig({.win9xPassword = true});
        qint64 askedAt = 0;
        rig.passwords.verify = [&] {
            askedAt = rig.nowMs();
            if (forgotten) { // only the dismiss timer's Esc closes it
                rig.runUntil([&] { return !rig.input.keysSent.isEmpty(); }, 120);
            }
            return false;
        };
        ASSERT_TRUE(rig.startPastTheFirstFrame());
        rig.moveMouse(50, 50);
        ASSERT_FALSE(rig.ended());
        EXPECT_EQ(rig.passwords.asked, 1);
        EXPECT_EQ(rig.input.keysSent, forgotten ? QList<int>{27} : QList<int>{});
        EXPECT_EQ(rig.nowMs() - askedAt, forgotten ? 30'000 : 0);
        EXPECT_EQ(rig.input.placed, QList<QPoint>{QPoint(512, 384)});
        EXPECT_EQ(rig.input.showCalls, (QList<bool>{false, true, false}));
        EXPECT_FALSE(rig.window().controls().Win9xPwdDismiss->isEnabled());
        const auto frames = rig.framesShown.size();
        rig.runFor(20);
        EXPECT_GT(rig.framesShown.size(), frames);
        EXPECT_FALSE(rig.ended());
        rig.passwords.verify = nullptr;
        rig.click(QStringLiteral("Picture1"));
        EXPECT_EQ(rig.endStatus, 0);
    }
}

// Events delivered by Qt reach the same handlers, and an end inside them stops at the dispatch;
// neither the logo nor a progress bar passes a click on to the window beneath.
TEST(QtEventScenario, KeysClicksAndClosingDeliveredByQtEndTheSaver) {
    const auto click = [](QWidget* w) {
        sendMouse(w, QEvent::MouseButtonPress);
        sendMouse(w, QEvent::MouseButtonRelease);
        sendMouse(w, QEvent::MouseButtonDblClick);
    };
    const struct {
        const char* name;
        std::function<void(FrmMain&)> send;
        bool ends;
    } rows[] = {
        {"key", [](FrmMain& w) { sendKey(&w, Qt::Key_Q); }, true},
        {"label", [&](FrmMain& w) { click(w.findChild<QWidget*>("ItemCaption")); }, true},
        {"close", [](FrmMain& w) { w.close(); }, true},
        {"logo", [&](FrmMain& w) { click(w.findChild<QWidget*>("LogoImage")); }, false},
        {"bars",
         [&](FrmMain& w) {
             const MyProgress& bars = *w.controls().progress;
             click(bars.MyProgressBarBack(kRadarTimeBar));
             click(bars.MyProgressBar(kRadarTimeBar));
             click(bars.MyProgressBarBack(kDownloadBar));
         },
         false},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        ScenarioRig rig;
        if (row.ends) {
            ASSERT_TRUE(rig.startPastTheFirstFrame());
        } else {
            rig.start(); // the logo is up
        }
        ScenarioApplication::instance().endedInEvents.clear();
        row.send(rig.window());
        EXPECT_EQ(ScenarioApplication::instance().endedInEvents.size(), row.ends ? 1 : 0);
    }
}

TEST(LoadScenario, AMissingRetrievalComponentStopsTheLoadWithOneMessage) {
    ScenarioRig rig;
    rig.components = ComponentFactory();
    rig.start();
    rig.runFor(60);
    EXPECT_EQ(rig.dialogs.messages, QStringList{QStringLiteral("ERROR: Nimbuscope init failed")});
    EXPECT_TRUE(rig.network.requests.isEmpty());
    rig.pressKey(Qt::Key_A);
    EXPECT_EQ(rig.endStatus, 0);
}
