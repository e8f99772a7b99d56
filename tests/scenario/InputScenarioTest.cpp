#include "ScenarioApplication.h"
#include "ScenarioRig.h"

#include "display/MyProgress.h"
#include "pictures/DisplayList.h"
#include "shell/MyMain.h"

#include <QLabel>

#include <functional>
#include <vector>

#include <gtest/gtest.h>

using namespace nimbuscope;
using namespace nimbuscope::test;

// A click ends the saver except on the controls that ignore it and on the title and its
// hint, which open the settings.
TEST(InputScenario, ClickEndsOpensTheSettingsOrDoesNothing) {
    const struct {
        std::vector<const char*> controls;
        bool doubleClick;
        bool ends;
        bool opensSettings;
    } groups[] = {
        {{"FrmMain", "Picture1", "Picture2", "currentConditionsPictureBox", "NetworkProblem",
          "currentTempF", "currentConditions", "CurrentRadarTimes", "currentRadarTimesLabel",
          "currentTime", "ImageDate", "DownloadInfo", "ItemCaption"},
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
            rig.click(QString::fromLatin1(control), group.doubleClick);
            EXPECT_EQ(rig.ended(), group.ends);
            EXPECT_EQ(rig.setup.shown, group.opensSettings ? 1 : 0);
            if (!group.ends) {
                rig.runFor(10);
                EXPECT_FALSE(rig.ended());
            }
        }
    }
}

TEST(InputScenario, AClickOnAProgressBarDoesNothing) {
    ScenarioRig rig;
    ASSERT_TRUE(rig.startPastTheFirstFrame());
    const MyProgress& bars = *rig.window().controls().progress;
    for (QWidget* part : {bars.MyProgressBarBack(kRadarTimeBar), bars.MyProgressBar(kRadarTimeBar),
                          bars.MyProgressBarBack(kDownloadBar)}) {
        sendMouse(part, QEvent::MouseButtonPress);
        sendMouse(part, QEvent::MouseButtonRelease);
        sendMouse(part, QEvent::MouseButtonDblClick);
    }
    EXPECT_TRUE(ScenarioApplication::instance().endedInEvents.isEmpty());
    rig.runFor(10);
    EXPECT_FALSE(rig.ended());
}

TEST(InputScenario, MoreThanTwentyPixelsOnEitherAxisEnds) {
    const struct {
        int dx;
        int dy;
        bool ends;
    } moves[] = {{20, 20, false}, {-20, -20, false}, {21, 0, true}, {0, -21, true}, {-21, 5, true}};
    for (const auto& move : moves) {
        SCOPED_TRACE(testing::Message() << move.dx << "," << move.dy);
        ScenarioRig rig;
        ASSERT_TRUE(rig.startPastTheFirstFrame());
        rig.moveMouse(move.dx, move.dy);
        EXPECT_EQ(rig.ended(), move.ends);
    }
}

TEST(InputScenario, SmallMovesAddUpOnlyBetweenTwoChecks) {
    ScenarioRig rig;
    ASSERT_TRUE(rig.startPastTheFirstFrame());
    for (int i = 0; i < 10; ++i) {
        rig.moveMouse(15, 15);
        rig.runFor(1);
    }
    EXPECT_FALSE(rig.ended());
}

TEST(InputScenario, TimerTickSeesAMoveThatNoEventReported) {
    ScenarioRig rig;
    ASSERT_TRUE(rig.startPastTheFirstFrame());
    rig.input.position += QPoint(40, 0);
    rig.runFor(5);
    EXPECT_EQ(rig.endStatus, 0);
}

TEST(InputScenario, MovementIsIgnoredWhileTheLogoIsShownButStillRecorded) {
    ScenarioRig rig;
    rig.network.latencyMs = 10'000; // the first frame takes a while
    rig.start();
    rig.runFor(5);
    ASSERT_TRUE(rig.shown(QStringLiteral("LogoImage")));
    rig.moveMouse(300, 200);
    EXPECT_FALSE(rig.ended());

    ASSERT_TRUE(rig.runUntil([&] { return !rig.shown(QStringLiteral("LogoImage")); }, 300));
    rig.runFor(2);
    rig.moveMouse(10, 10); // measured from where the ignored move left the cursor
    EXPECT_FALSE(rig.ended());
}

TEST(InputScenario, IgnoreMovementSettingKeepsTheSaverOnMovesButNotOnClicksOrKeys) {
    ScenarioRig rig({.cursorMovement = 1});
    ASSERT_TRUE(rig.startPastTheFirstFrame());
    rig.moveMouse(500, 400);
    rig.input.position += QPoint(-300, 100);
    rig.runFor(10);
    EXPECT_FALSE(rig.ended());
    rig.click(QStringLiteral("Picture1"));
    EXPECT_EQ(rig.endStatus, 0);
}

class KeyScenario : public ::testing::TestWithParam<Qt::Key> {};

// Enter too, while online: offline it brings the network back instead.
TEST_P(KeyScenario, AnyOtherKeyStopsTheTransferAndEnds) {
    ScenarioRig rig;
    rig.start();
    ASSERT_TRUE(rig.downloading());
    rig.runFor(0.5);
    ASSERT_TRUE(rig.shown(QStringLiteral("LogoImage"))); // keys end the saver from the start
    rig.pressKey(GetParam());
    EXPECT_EQ(rig.endStatus, 0);
    EXPECT_EQ(rig.passwords.asked, 0) << "the NT family never asks for the password";
    EXPECT_TRUE(rig.state().interruptedDownload);
    ASSERT_FALSE(rig.retrievers.isEmpty());
    EXPECT_GE(rig.retrievers.front()->kills, 1);
    EXPECT_FALSE(rig.timer1().isEnabled());
}

INSTANTIATE_TEST_SUITE_P(Keys, KeyScenario,
                         ::testing::Values(Qt::Key_A, Qt::Key_Space, Qt::Key_Shift, Qt::Key_F1,
                                           Qt::Key_Return, Qt::Key_Enter));

TEST(InputScenario, EscWithTheHintHiddenAndNoDownloadDoesNothing) {
    ScenarioRig rig;
    ASSERT_TRUE(rig.startPastTheFirstFrame());
    ASSERT_TRUE(rig.finishPass());
    rig.window().controls().EscToChange->hide();
    rig.pressKey(Qt::Key_Escape);
    EXPECT_EQ(rig.setup.shown, 0);
    EXPECT_FALSE(rig.ended());
    EXPECT_TRUE(rig.timer1().isEnabled());
}

// Cancel in the settings opened while idle: the cursor shown only while they are open, the
// animation going on without a new pass, and movement ignored for three seconds.
TEST(InputScenario, EscWhileIdleAndCancelResumesWithoutANewPass) {
    ScenarioRig rig;
    ASSERT_TRUE(rig.startPastTheFirstFrame());
    ASSERT_TRUE(rig.finishPass());
    ASSERT_FALSE(rig.input.cursorVisible());
    const int requests = rig.network.requests.size();
    bool visibleInDialog = false;
    rig.setup.answers.push_back([&] {
        visibleInDialog = rig.input.cursorVisible();
        return true;
    });
    rig.pressKey(Qt::Key_Escape);
    EXPECT_EQ(rig.setup.shown, 1);
    EXPECT_TRUE(visibleInDialog);
    EXPECT_FALSE(rig.input.cursorVisible());
    EXPECT_EQ(rig.input.displayCounter, -1);
    EXPECT_TRUE(rig.timer1().isEnabled());
    EXPECT_FALSE(rig.downloading());

    rig.moveMouse(100, 0);
    EXPECT_FALSE(rig.ended());
    const qsizetype framesBefore = rig.framesShown.size();
    rig.runFor(20);
    EXPECT_GT(rig.framesShown.size(), framesBefore);
    EXPECT_EQ(rig.network.requests.size(), requests);
    rig.moveMouse(100, 0);
    EXPECT_TRUE(rig.ended());
}

TEST(InputScenario, EndingReleasesTheHeldPicturesAndShowsTheCursor) {
    ScenarioRig rig({.animationRateMS = 200});
    ASSERT_TRUE(rig.startPastTheFirstFrame());
    ASSERT_TRUE(rig.finishPass());
    rig.runFor(10);
    DisplayList& list = rig.window().displayList();
    bool anyHeld = false;
    for (int i = 0; i < list.numDLitems(); ++i) {
        anyHeld = anyHeld || list.hasPicture(i);
    }
    ASSERT_TRUE(anyHeld);

    rig.pressKey(Qt::Key_A);
    ASSERT_TRUE(rig.ended());
    for (int i = 0; i < list.numDLitems(); ++i) {
        EXPECT_FALSE(list.hasPicture(i)) << i;
    }
    EXPECT_TRUE(rig.input.cursorVisible());
}

// The 9x screen-saver password: the saver ends only when it is given.
TEST(PasswordScenario, RefusedPasswordResumesWithTheCursorHiddenAgain) {
    ScenarioRig rig({.win9xPassword = true});
    rig.passwords.verify = [] { return false; };
    ASSERT_TRUE(rig.startPastTheFirstFrame());
    rig.pressKey(Qt::Key_A);
    ASSERT_FALSE(rig.ended());
    EXPECT_EQ(rig.passwords.asked, 1);
    EXPECT_EQ(rig.input.placed, QList<QPoint>{QPoint(512, 384)});
    EXPECT_EQ(rig.input.showCalls, (QList<bool>{false, true, false}));
    EXPECT_FALSE(rig.input.cursorVisible());
    EXPECT_TRUE(rig.timer1().isEnabled());
    EXPECT_FALSE(rig.window().controls().Win9xPwdDismiss->isEnabled());

    const qsizetype frames = rig.framesShown.size();
    rig.runFor(20);
    EXPECT_GT(rig.framesShown.size(), frames);
    EXPECT_FALSE(rig.ended());
}

TEST(PasswordScenario, ForgottenPasswordDialogIsDismissedAfterThirtySeconds) {
    ScenarioRig rig({.win9xPassword = true});
    qint64 askedAt = 0;
    rig.passwords.verify = [&] {
        askedAt = rig.nowMs();
        // The dialog waits; only the dismiss timer's Esc closes it.
        rig.runUntil([&] { return !rig.input.keysSent.isEmpty(); }, 120);
        return false;
    };
    ASSERT_TRUE(rig.startPastTheFirstFrame());
    rig.moveMouse(50, 50);
    ASSERT_FALSE(rig.ended());
    EXPECT_EQ(rig.input.keysSent, QList<int>{27});
    EXPECT_EQ(rig.nowMs() - askedAt, 30'000);
    EXPECT_EQ(wholeSecondsBetween(rig.state().lastSetupTime, rig.clock.now()), 0);
    EXPECT_FALSE(rig.input.cursorVisible());
    rig.runFor(10);
    EXPECT_FALSE(rig.ended());
}

TEST(PasswordScenario, RightPasswordEnds) {
    ScenarioRig rig({.win9xPassword = true});
    ASSERT_TRUE(rig.startPastTheFirstFrame());
    rig.click(QStringLiteral("Picture1"));
    EXPECT_EQ(rig.passwords.asked, 1);
    EXPECT_EQ(rig.endStatus, 0);
}

// Events delivered by Qt reach the same handlers; an end inside them stops at the dispatch.
namespace {

QList<int> endsWhenQtDelivers(const std::function<void(FrmMain&)>& send) {
    ScenarioApplication& app = ScenarioApplication::instance();
    ScenarioRig rig;
    EXPECT_TRUE(rig.startPastTheFirstFrame());
    app.endedInEvents.clear();
    send(rig.window());
    return app.endedInEvents;
}

} // namespace

TEST(QtEventScenario, KeysClicksAndClosingDeliveredByQtEndTheSaver) {
    const struct {
        const char* name;
        std::function<void(FrmMain&)> send;
    } rows[] = {
        {"key", [](FrmMain& w) { sendKey(&w, Qt::Key_Q); }},
        {"label click",
         [](FrmMain& w) {
             QWidget* label = w.findChild<QWidget*>(QStringLiteral("ItemCaption"));
             sendMouse(label, QEvent::MouseButtonPress);
             sendMouse(label, QEvent::MouseButtonRelease);
         }},
        {"close", [](FrmMain& w) { w.close(); }},
    };
    for (const auto& row : rows) {
        EXPECT_EQ(endsWhenQtDelivers(row.send), QList<int>{0}) << row.name;
    }
}

TEST(QtEventScenario, ClickOnTheLogoDoesNotReachTheWindowBeneath) {
    ScenarioApplication& app = ScenarioApplication::instance();
    ScenarioRig rig;
    rig.start();
    QWidget* logo = rig.window().findChild<QWidget*>(QStringLiteral("LogoImage"));
    ASSERT_TRUE(logo->isVisible());
    app.endedInEvents.clear();
    sendMouse(logo, QEvent::MouseButtonPress);
    EXPECT_TRUE(app.endedInEvents.isEmpty());
}

TEST(LoadScenario, WindowHoldsItsCaptionAndCoversTheScreen) {
    ScenarioRig rig;
    rig.start();
    EXPECT_TRUE(rig.locks.isHeld(QString::fromLatin1(kPlaybackCaption)));
    EXPECT_EQ(rig.window().windowTitle(), QString::fromLatin1(kPlaybackCaption));
    EXPECT_EQ(rig.window().geometry(), QRect(0, 0, 1024, 768));
    EXPECT_TRUE(rig.window().windowFlags().testFlag(Qt::WindowStaysOnTopHint));
    EXPECT_TRUE(rig.window().windowFlags().testFlag(Qt::FramelessWindowHint));
    EXPECT_EQ(rig.caption(QStringLiteral("cmdline")), QStringLiteral("=/s="));
}

TEST(LoadScenario, MissingRetrievalComponentStopsTheLoadWithOneMessage) {
    ScenarioRig rig;
    rig.components = ComponentFactory();
    rig.start();
    rig.runFor(60);
    EXPECT_FALSE(rig.ended());
    EXPECT_EQ(rig.dialogs.messages, QStringList{QStringLiteral("ERROR: Nimbuscope init failed")});
    EXPECT_FALSE(rig.timer1().isEnabled());
    EXPECT_TRUE(rig.network.requests.isEmpty());
    rig.pressKey(Qt::Key_A);
    EXPECT_EQ(rig.endStatus, 0);
}

TEST(InputScenario, ClockSetBackDoesNotStretchTheMouseGraceTime) {
    ScenarioRig rig;
    ASSERT_TRUE(rig.startPastTheFirstFrame());
    rig.clock.advanceSeconds(-3600);
    rig.moveMouse(30, 0);
    EXPECT_EQ(rig.endStatus, 0);
}
