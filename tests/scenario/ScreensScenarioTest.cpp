// The saver with two screens: the other one covered, copies sharing a cache, the window of a
// screen-saver host, and an end the system asks for.
#include "ScenarioRig.h"

#include "shell/ScreenCovers.h"
#include "shell/SharedCache.h"

#include "common/FakeEmbedding.h"

#include <QApplication>
#include <QKeyEvent>
#include <QPointer>
#include <QScreen>

#include <csignal>

#include <gtest/gtest.h>

using namespace nimbuscope;
using namespace nimbuscope::test;

// The cover of the other screen lives as long as the window, and the keys it gets are the
// window's: Esc on it opens the settings.
TEST(ScreensScenario, TheOtherScreenIsCoveredAndItsKeysReachTheSaver) {
    QPointer<CoverWindow> cover;
    {
        ScenarioRig rig;
        ASSERT_TRUE(rig.startPastTheFirstFrame());
        const ScreenCovers* covers = rig.window().covers();
        ASSERT_TRUE(covers != nullptr && covers->windows().size() == 1);
        cover = covers->windows().first();
        ASSERT_EQ(QGuiApplication::screens().size(), 2);
        EXPECT_EQ(cover->geometry(), QGuiApplication::screens().at(1)->geometry());
        EXPECT_TRUE(cover->isVisible());
        QKeyEvent esc(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier);
        QApplication::sendEvent(cover, &esc);
        EXPECT_EQ(rig.setup.shown, 1);
        EXPECT_FALSE(rig.ended());
    }
    EXPECT_TRUE(cover.isNull());
}

// Copies sharing one cache (a host's screens, its preview) take turns at the downloads: a
// copy that finds the turn taken sends nothing, plays the cache and picks up each pass the
// other copy completes; once that copy has ended it takes the turn and goes on from the cache.
TEST(ScreensScenario, CopiesSharingACacheTakeTurnsAtTheDownloads) {
    const FilledCache earlier = ScenarioRig::fillCache(6);
    const FilledCache later = ScenarioRig::fillCache(9);
    FakeEmbedding host;
    ScenarioRig rig;
    rig.host = &host;
    rig.seedCache(earlier);
    auto otherCopy = rig.locks.acquire(QString::fromLatin1(SharedCache::kDownloadLockName));
    const auto listed = [&] { return rig.window().displayList().numDLitems(); };
    rig.start();
    rig.runFor(30);
    EXPECT_TRUE(rig.network.requests.isEmpty());
    ASSERT_FALSE(rig.framesShown.isEmpty());
    EXPECT_EQ(rig.framesShown.first(), FrmMain::kTimer1LoadMs);
    EXPECT_EQ(listed(), 12);

    rig.seedCache(later);
    const qint64 written = rig.nowMs();
    ASSERT_TRUE(rig.runUntil([&] { return listed() == 18; }, 10));
    EXPECT_LE(rig.nowMs() - written, SharedCache::kLookIntervalMs + 2000);
    EXPECT_TRUE(rig.network.requests.isEmpty());

    otherCopy.reset();
    ASSERT_TRUE(rig.runUntil([&] { return !rig.passesStarted.isEmpty(); }, 3));
    ASSERT_TRUE(rig.finishPass());
    EXPECT_FALSE(rig.network.requests.isEmpty());
    EXPECT_EQ(rig.blankTicks, 0);
    EXPECT_FALSE(rig.ended());
}

// In a host's window the end the host asked for finishes by dying of its signal: a host
// takes any other end of its display mode for a crash.
TEST(ScreensScenario, AnEndTheSystemAsksForGoesThroughEndProgram) {
    for (const bool inHost : {false, true}) {
        SCOPED_TRACE(inHost);
        FakeEmbedding host;
        ScenarioRig rig;
        rig.host = inHost ? &host : nullptr;
        ASSERT_TRUE(rig.startPastTheFirstFrame());
        rig.deliver([&] { rig.app.requestEnd(SIGTERM); });
        EXPECT_EQ(rig.processEnd.endedBySignal, inHost ? std::optional(SIGTERM) : std::nullopt);
        EXPECT_EQ(rig.endStatus, inHost ? 128 + SIGTERM : 0);
        EXPECT_FALSE(rig.timer1().isEnabled());
        EXPECT_TRUE(inHost || rig.input.cursorVisible()) << "the cursor is given back";
    }
}
