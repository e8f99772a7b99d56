#include "ScenarioRig.h"

#include <functional>

#include <gtest/gtest.h>

using namespace nimbuscope;
using namespace nimbuscope::test;

namespace {

using Input = std::function<void(ScenarioRig&)>;

Input key(Qt::Key k) {
    return [k](ScenarioRig& rig) { rig.pressKey(k); };
}

Input click(const char* control, bool doubleClick = false) {
    return [=](ScenarioRig& rig) { rig.click(QLatin1String(control), doubleClick); };
}

Input move(int dx, int dy) {
    return [=](ScenarioRig& rig) { rig.moveMouse(dx, dy); };
}

} // namespace

// From the logo on, during the first pass: any key but Esc ends (Enter too, while online) and
// stops the transfer; a click ends but on the controls that ignore it and on the title and its
// hint, which open the settings, as Esc does (whose Cancel starts the pass afresh).
TEST(InputScenario, KeysAndClicksEndTheSaverOrOpenTheSettings) {
    const struct {
        const char* name;
        Input input;
        bool ends, opensSettings, stopsTransfer;
    } rows[] = {
        {"A", key(Qt::Key_A), true, false, true},
        {"Return", key(Qt::Key_Return), true, false, true},
        {"Esc", key(Qt::Key_Escape), false, true, true},
        {"window", click("FrmMain"), true, false, false},
        {"picture twice", click("Picture1", true), true, false, false},
        {"logo", click("LogoImage"), false, false, false},
        {"retries", click("retryCount"), false, false, false},
        {"hint", click("EscToChange"), false, true, false},
        {"title twice", click("DownloadInfoChannelName", true), false, true, false},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        ScenarioRig rig;
        rig.start();
        rig.runFor(0.5);
        ASSERT_TRUE(rig.downloading() && rig.shown(QStringLiteral("LogoImage")));
        row.input(rig);
        EXPECT_EQ(rig.endStatus, row.ends ? std::optional(0) : std::nullopt);
        EXPECT_EQ(rig.setup.shown, row.opensSettings ? 1 : 0);
        EXPECT_EQ(rig.state().interruptedDownload, row.stopsTransfer);
        EXPECT_EQ(rig.retrievers.value(0)->kills > 0, row.stopsTransfer);
        EXPECT_TRUE(row.ends || rig.downloading()) << "the pass goes on, or afresh";
    }
}

// More than twenty pixels on either axis between two checks ends, unless the setting ignores
// movement; the grace time after the first frame is not stretched by a clock set back.
TEST(InputScenario, MouseMovesEndTheSaverBeyondTwentyPixels) {
    const struct {
        const char* name;
        qint32 cursorMovement;
        Input input;
        bool ends;
    } rows[] = {
        {"20, 20", 0, move(20, 20), false},
        {"-20, -20", 0, move(-20, -20), false},
        {"-21, 5", 0, move(-21, 5), true},
        {"0, 21", 0, move(0, 21), true},
        {"small moves a second apart", 0,
         [](ScenarioRig& rig) {
             for (int i = 0; i < 10; ++i) {
                 rig.moveMouse(15, 15);
                 rig.runFor(1);
             }
         },
         false},
        {"a move no event reported", 0, [](ScenarioRig& rig) { rig.input.position.rx() += 40; },
         true},
        {"after the clock was set back", 0,
         [](ScenarioRig& rig) {
             rig.clock.advanceSeconds(-3600);
             rig.moveMouse(30, 0);
         },
         true},
        {"movement ignored", 1, move(500, 400), false},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        ScenarioRig rig({.cursorMovement = row.cursorMovement});
        ASSERT_TRUE(rig.startPastTheFirstFrame());
        row.input(rig);
        rig.runFor(5);
        EXPECT_EQ(rig.endStatus, row.ends ? std::optional(0) : std::nullopt);
    }
}
