#include "ScenarioApplication.h"
#include "ScenarioRig.h"

#include "display/DisplayList.h"
#include "shell/MyMain.h"

#include <QKeyEvent>
#include <QLabel>
#include <QMouseEvent>

#include <functional>

#include <gtest/gtest.h>

using namespace nimbuscope;
using namespace nimbuscope::test;

namespace {

/// A running saver with its first frame on screen and the mouse grace time over.
void startAndShowFirstFrame(ScenarioRig& rig) {
    rig.start();
    ASSERT_TRUE(rig.runUntil([&] { return rig.window().infoLaidOut(); }, 120));
    rig.runFor(4);
}

} // namespace

struct ClickCase {
    const char* control;
    bool doubleClick;
    bool ends;
    bool opensSettings;
    friend void PrintTo(const ClickCase& c, std::ostream* os) { *os << c.control; }
};

class ClickScenario : public ::testing::TestWithParam<ClickCase> {};

TEST_P(ClickScenario, ClickEndsOpensTheSettingsOrDoesNothing) {
    const ClickCase& c = GetParam();
    ScenarioRig rig;
    startAndShowFirstFrame(rig);
    rig.click(QString::fromLatin1(c.control), c.doubleClick);
    EXPECT_EQ(rig.ended(), c.ends);
    EXPECT_EQ(rig.setup.shown, c.opensSettings ? 1 : 0);
    if (!c.ends) {
        rig.runFor(10);
        EXPECT_FALSE(rig.ended());
    }
}

INSTANTIATE_TEST_SUITE_P(
    Controls, ClickScenario,
    ::testing::Values(
        ClickCase{"FrmMain", false, true, false}, ClickCase{"Picture1", false, true, false},
        ClickCase{"Picture1", true, true, false}, ClickCase{"Picture2", false, true, false},
        ClickCase{"currentConditionsPictureBox", false, true, false},
        ClickCase{"NetworkProblem", false, true, false},
        ClickCase{"currentTempF", false, true, false},
        ClickCase{"currentConditions", false, true, false},
        ClickCase{"CurrentRadarTimes", false, true, false},
        ClickCase{"currentRadarTimesLabel", false, true, false},
        ClickCase{"currentTime", false, true, false}, ClickCase{"ImageDate", false, true, false},
        ClickCase{"DownloadInfo", false, true, false}, ClickCase{"ItemCaption", false, true, false},
        ClickCase{"LogoImage", false, false, false},
        ClickCase{"NetworkProblem2", false, false, false},
        ClickCase{"retryCount", false, false, false},
        ClickCase{"RadarImagesMissing", false, false, false},
        ClickCase{"EscToChange", false, false, true},
        ClickCase{"DownloadInfoChannelName", false, false, true},
        ClickCase{"DownloadInfoChannelName", true, false, true}),
    [](const auto& info) {
        return std::string(info.param.control) + (info.param.doubleClick ? "_Double" : "");
    });

struct MoveCase {
    const char* name;
    int dx;
    int dy;
    bool ends;
    friend void PrintTo(const MoveCase& c, std::ostream* os) { *os << c.name; }
};

class MouseMoveScenario : public ::testing::TestWithParam<MoveCase> {};

TEST_P(MouseMoveScenario, MoreThanTwentyPixelsOnEitherAxisEnds) {
    const MoveCase& c = GetParam();
    ScenarioRig rig;
    startAndShowFirstFrame(rig);
    rig.moveMouse(c.dx, c.dy);
    EXPECT_EQ(rig.ended(), c.ends);
}

INSTANTIATE_TEST_SUITE_P(Distances, MouseMoveScenario,
                         ::testing::Values(MoveCase{"TwentyBoth", 20, 20, false},
                                           MoveCase{"TwentyBack", -20, -20, false},
                                           MoveCase{"TwentyOneRight", 21, 0, true},
                                           MoveCase{"TwentyOneUp", 0, -21, true},
                                           MoveCase{"TwentyOneLeft", -21, 5, true}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(InputScenario, SmallMovesAddUpOnlyBetweenTwoChecks) {
    ScenarioRig rig;
    startAndShowFirstFrame(rig);
    for (int i = 0; i < 10; ++i) {
        rig.moveMouse(15, 15);
        rig.runFor(1);
    }
    EXPECT_FALSE(rig.ended());
}

TEST(InputScenario, TimerTickSeesAMoveThatNoEventReported) {
    ScenarioRig rig;
    startAndShowFirstFrame(rig);
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

TEST(InputScenario, MovementWithinThreeSecondsOfTheSettingsIsIgnored) {
    ScenarioRig rig;
    startAndShowFirstFrame(rig);
    ASSERT_TRUE(rig.finishPass());
    rig.pressKey(Qt::Key_Escape); // idle: the settings open; Cancel resumes
    ASSERT_EQ(rig.setup.shown, 1);
    rig.moveMouse(100, 0);
    EXPECT_FALSE(rig.ended());
    rig.runFor(4);
    rig.moveMouse(100, 0);
    EXPECT_TRUE(rig.ended());
}

TEST(InputScenario, IgnoreMovementSettingKeepsTheSaverOnMovesButNotOnClicksOrKeys) {
    ScenarioRig rig({.cursorMovement = 1});
    startAndShowFirstFrame(rig);
    rig.moveMouse(500, 400);
    rig.input.position += QPoint(-300, 100);
    rig.runFor(10);
    EXPECT_FALSE(rig.ended());
    rig.click(QStringLiteral("Picture1"));
    EXPECT_EQ(rig.endStatus, 0);
}

class KeyScenario : public ::testing::TestWithParam<Qt::Key> {};

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
                                           Qt::Key_Return));

TEST(InputScenario, EscWithTheHintHiddenAndNoDownloadDoesNothing) {
    ScenarioRig rig;
    startAndShowFirstFrame(rig);
    ASSERT_TRUE(rig.finishPass());
    rig.window().controls().EscToChange->hide();
    rig.pressKey(Qt::Key_Escape);
    EXPECT_EQ(rig.setup.shown, 0);
    EXPECT_FALSE(rig.ended());
    EXPECT_TRUE(rig.timer1().isEnabled());
}

TEST(InputScenario, EscWhileIdleAndCancelResumesWithoutANewPass) {
    ScenarioRig rig;
    startAndShowFirstFrame(rig);
    ASSERT_TRUE(rig.finishPass());
    const int requests = rig.network.requests.size();
    rig.pressKey(Qt::Key_Escape);
    EXPECT_EQ(rig.setup.shown, 1);
    EXPECT_TRUE(rig.timer1().isEnabled());
    EXPECT_FALSE(rig.downloading());
    const qsizetype framesBefore = rig.framesShown.size();
    rig.runFor(20);
    EXPECT_GT(rig.framesShown.size(), framesBefore);
    EXPECT_EQ(rig.network.requests.size(), requests);
}

TEST(InputScenario, EndingReleasesTheHeldPicturesAndShowsTheCursor) {
    ScenarioRig rig({.animationRateMS = 200});
    startAndShowFirstFrame(rig);
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
    startAndShowFirstFrame(rig);
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
    startAndShowFirstFrame(rig);
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
    startAndShowFirstFrame(rig);
    rig.click(QStringLiteral("Picture1"));
    EXPECT_EQ(rig.passwords.asked, 1);
    EXPECT_EQ(rig.endStatus, 0);
}

// Events delivered by Qt reach the same handlers; an end inside them stops at the dispatch.
namespace {

QList<int> endsWhenQtDelivers(const std::function<void(FrmMain&)>& send) {
    ScenarioApplication& app = ScenarioApplication::instance();
    ScenarioRig rig;
    startAndShowFirstFrame(rig);
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
        {"key",
         [](FrmMain& w) {
             QKeyEvent key(QEvent::KeyPress, Qt::Key_Q, Qt::NoModifier);
             QApplication::sendEvent(&w, &key);
         }},
        {"label click",
         [](FrmMain& w) {
             QWidget* label = w.findChild<QWidget*>(QStringLiteral("ItemCaption"));
             const QPointF at(2, 2);
             QMouseEvent press(QEvent::MouseButtonPress, at, label->mapToGlobal(at), Qt::LeftButton,
                               Qt::LeftButton, Qt::NoModifier);
             QMouseEvent release(QEvent::MouseButtonRelease, at, label->mapToGlobal(at),
                                 Qt::LeftButton, Qt::NoButton, Qt::NoModifier);
             QApplication::sendEvent(label, &press);
             QApplication::sendEvent(label, &release);
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
    const QPointF at(5, 5);
    QMouseEvent press(QEvent::MouseButtonPress, at, logo->mapToGlobal(at), Qt::LeftButton,
                      Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(logo, &press);
    EXPECT_TRUE(app.endedInEvents.isEmpty());
}

struct InstanceCase {
    const char* name;
    bool anotherCopy;
    bool displayProperties;
    bool endsAtLoad;
    friend void PrintTo(const InstanceCase& c, std::ostream* os) { *os << c.name; }
};

class PreviousInstanceScenario : public ::testing::TestWithParam<InstanceCase> {};

TEST_P(PreviousInstanceScenario, AnotherCopyEndsTheLoadUnlessTheDisplaySettingsAreOpen) {
    const InstanceCase& c = GetParam();
    ScenarioRig rig({.anotherCopyRunning = c.anotherCopy});
    std::unique_ptr<InstanceLock> settingsWindow;
    if (c.displayProperties) {
        settingsWindow = rig.locks.acquire(QStringLiteral("Display Properties"));
    }
    rig.start();
    EXPECT_EQ(rig.ended(), c.endsAtLoad);
    EXPECT_EQ(rig.downloading(), !c.endsAtLoad);
}

INSTANTIATE_TEST_SUITE_P(Instances, PreviousInstanceScenario,
                         ::testing::Values(InstanceCase{"Alone", false, false, false},
                                           InstanceCase{"SecondCopy", true, false, true},
                                           InstanceCase{"FromDisplaySettings", true, true, false}),
                         [](const auto& info) { return std::string(info.param.name); });

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
    startAndShowFirstFrame(rig);
    rig.clock.advanceSeconds(-3600);
    rig.moveMouse(30, 0);
    EXPECT_EQ(rig.endStatus, 0);
}

TEST(InputScenario, CursorIsShownWhileTheSettingsAreOpenAndHiddenAgainAfter) {
    ScenarioRig rig;
    startAndShowFirstFrame(rig);
    ASSERT_TRUE(rig.finishPass());
    ASSERT_FALSE(rig.input.cursorVisible());
    bool visibleInDialog = false;
    rig.setup.answers.push_back([&] {
        visibleInDialog = rig.input.cursorVisible();
        return true;
    });
    rig.pressKey(Qt::Key_Escape);
    EXPECT_TRUE(visibleInDialog);
    EXPECT_FALSE(rig.input.cursorVisible());
    EXPECT_EQ(rig.input.displayCounter, -1);
}
