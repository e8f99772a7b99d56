// The real saver beyond one plain screen: a second X screen it must cover, the window an
// XScreenSaver-style host hands it, an end by SIGTERM, and the launcher starting it.
#include "e2e/kit/SaverE2eFixture.h"

#include "platform/InstanceLocks.h"

#include <QElapsedTimer>
#include <QThread>

#include <csignal>

#include <gtest/gtest.h>

using namespace nimbuscope;
using namespace nimbuscope::e2e;

namespace {

const QSize kScreen{1024, 768};
constexpr QRgb kBlack = 0xff000000;
// Grey: not vivid, not black, so neither passes for the radar or for the root.
constexpr QRgb kHostColour = 0xff606060;
const QRect kHostArea{100, 50, 640, 480};
const QSize kHostResized{800, 600};
constexpr int kWindowShownMs = 10000;
constexpr int kNotEndedMs = 2500;
constexpr int kAtOnceMs = 5000;
// Covering a screen or following the host's new size is one round of X events.
constexpr int kFollowsWithinMs = 5000;
// The pointer arrives over the saver in a move of its own, apart from the moves under test.
constexpr unsigned long kPointerArrivesMs = 500;
// The saver notices a host's window going within milliseconds; starting Qt's end takes some.
constexpr int kGoneWithinMs = 1000;
const QString kOtherSaver = QStringLiteral("/usr/lib/xscreen/other-saver");
constexpr qint64 kLauncherPauseMs = 2000;
constexpr qint64 kLauncherAtMostMs = 8000;

QProcessEnvironment hostEnvironment(const QString& window) {
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment(); // the TestWorld's
    env.insert(QStringLiteral("XSCREENSAVER_WINDOW"), window);
    return env;
}

QString hexId(quint32 window) {
    return QStringLiteral("0x%1").arg(window, 0, 16);
}

class TwoScreensE2eTest : public SaverE2eFixture {
protected:
    TwoScreensE2eTest() : SaverE2eFixture(XvfbOptions{kScreen, 2, true}) {}
};

using HostWindowE2eTest = SaverE2eFixture;
using LauncherE2eTest = SaverE2eFixture;

} // namespace

TEST_F(TwoScreensE2eTest, TheOtherScreenTurnsBlackWhileTheSaverRunsAndAClickThereEndsIt) {
    ASSERT_EQ(session.x().screenCount(), 2);
    // Moving the pointer onto the other screen must not be what ends the saver here.
    addToHives(world, "\"cursorMovement\"=dword:00000001\n");
    const double weaveBlack = colourShare(session.x().grabScreen(1), kBlack);
    ASSERT_LT(weaveBlack, 0.9) << "the uncovered screen shows no weave";

    const auto saver = startSaver();
    ASSERT_TRUE(radarOnScreen(0)) << saver->describe().toStdString();
    EXPECT_TRUE(waitUntil([&] { return colourShare(session.x().grabScreen(1), kBlack) == 1.0; },
                          kFollowsWithinMs));

    ASSERT_TRUE(session.mouseMove({300, 200}, 1));
    EXPECT_FALSE(saver->waitForEnd(kNotEndedMs));
    ASSERT_TRUE(session.click());
    EXPECT_TRUE(endsCleanly(*saver)) << saver->describe().toStdString();
    EXPECT_DOUBLE_EQ(colourShare(session.x().grabScreen(1), kBlack), weaveBlack);
}

TEST_F(HostWindowE2eTest, DrawsInTheHostsWindowLeavesInputToItAndDiesOfSigtermInOrder) {
    const quint32 host = session.x().createWindow(kHostArea, kHostColour);
    ASSERT_NE(host, 0u);
    const auto saver = startSaver({QStringLiteral("/s")}, hostEnvironment(hexId(host)));
    ASSERT_TRUE(radarIn(host)) << saver->describe().toStdString();
    const QList<quint32> inside = session.x().children(host);
    ASSERT_EQ(inside.size(), 1);
    EXPECT_EQ(session.x().windowGeometry(inside.first()), kHostArea);
    // Nothing of the saver outside the host's window: the root stays black.
    EXPECT_DOUBLE_EQ(
        colourShare(session.x().grabScreen().copy(0, 0, kHostArea.left(), kScreen.height()),
                    kBlack),
        1.0);

    // Input is the host's to judge: keys, clicks and moves over the saver change nothing.
    ASSERT_TRUE(session.mouseMove(kHostArea.center()));
    QThread::msleep(kPointerArrivesMs);
    ASSERT_TRUE(session.mouseMoveBy({150, 100}));
    ASSERT_TRUE(session.click());
    ASSERT_TRUE(session.key(QStringLiteral("a Escape")));
    EXPECT_FALSE(saver->waitForEnd(kNotEndedMs));
    EXPECT_TRUE(session.findWindows(QStringLiteral("^Nimbuscope Setup$")).isEmpty());

    ASSERT_TRUE(session.x().resizeWindow(host, kHostResized));
    EXPECT_TRUE(
        waitUntil([&] { return session.x().windowGeometry(inside.first()).size() == kHostResized; },
                  kFollowsWithinMs));

    // Keep frames coming in, so that the signal meets a download under way.
    ASSERT_TRUE(simFault("/radar/images/*", "delay:200"));
    ASSERT_EQ(::kill(static_cast<pid_t>(saver->processId()), SIGTERM), 0);
    // In order, and then of the signal: a host takes any other end for a crash.
    ASSERT_TRUE(saver->waitForEnd(kEndsWithinMs));
    EXPECT_FALSE(saver->endedNormally());
    EXPECT_EQ(saver->exitCode(), SIGTERM) << saver->describe().toStdString();
    EXPECT_TRUE(halfWrittenFiles().isEmpty()) << halfWrittenFiles().join(' ').toStdString();
    FileInstanceLocks locks(world.runtimeDir());
    EXPECT_FALSE(locks.isHeld(QStringLiteral("NimbuscopePlayback")));
    EXPECT_FALSE(locks.isHeld(QStringLiteral("nimbuscope")));
}

TEST_F(HostWindowE2eTest, TheSaverEndsWithTheHostsWindowAndAtOnceWithoutOne) {
    const quint32 host = session.x().createWindow(kHostArea, kHostColour);
    const auto saver = startSaver({QStringLiteral("/s")}, hostEnvironment(QString::number(host)));
    ASSERT_TRUE(waitUntil([&] { return session.x().children(host).size() == 1; }, kWindowShownMs))
        << saver->describe().toStdString();
    ASSERT_TRUE(session.x().destroyWindow(host));
    EXPECT_TRUE(saver->waitForEnd(kGoneWithinMs)) << "still running after the host went";
    EXPECT_TRUE(saver->endedNormally());
    EXPECT_EQ(saver->exitCode(), 0) << saver->describe().toStdString();

    // A host that names no window is set up wrongly: the saver says so and draws nowhere.
    for (const QString& id : {hexId(host), QStringLiteral("screen"), QStringLiteral("0")}) {
        SCOPED_TRACE(id.toStdString());
        const auto refused = startSaver({QStringLiteral("/s")}, hostEnvironment(id));
        ASSERT_TRUE(refused->waitForEnd(kAtOnceMs)) << "waits for a window that is not there";
        EXPECT_TRUE(refused->endedNormally());
        EXPECT_EQ(refused->exitCode(), 1);
        EXPECT_TRUE(refused->standardError().contains("XSCREENSAVER_WINDOW"));
    }
    EXPECT_DOUBLE_EQ(colourShare(session.x().grabScreen(), kBlack), 1.0);
}

TEST_F(LauncherE2eTest, StartsTheSaverFullScreenAndPutsTheOtherSaverBack) {
    const QString hive = userHive(world);
    world.writeFile(hive, world.readFile(hive) +
                              "\n[HKEY_CURRENT_USER\\Control Panel\\Desktop]\n\"SCRNSAVE.EXE\"=\"" +
                              kOtherSaver.toUtf8() + "\"\n");
    QElapsedTimer took;
    took.start();
    const auto launcher = session.run(QStringLiteral(NIMBUSCOPE_LAUNCHER_PROGRAM), {});
    const quint32 window =
        session.waitForWindow(QStringLiteral("^NimbuscopePlayback$"), kWindowShownMs);
    ASSERT_NE(window, 0u) << launcher->describe().toStdString();
    EXPECT_EQ(session.x().windowGeometry(window), QRect(QPoint(0, 0), kScreen));

    ASSERT_TRUE(launcher->waitForEnd(kLauncherAtMostMs));
    EXPECT_GE(took.elapsed(), kLauncherPauseMs);
    EXPECT_EQ(launcher->exitCode(), 0) << launcher->describe().toStdString();
    EXPECT_TRUE(world.readFile(hive).contains("\"SCRNSAVE.EXE\"=\"" + kOtherSaver.toUtf8()))
        << world.readFile(hive).toStdString();

    // The saver outlives the launcher; it is not this test's child, so its end is seen by
    // its window going.
    ASSERT_TRUE(radarOnScreen());
    ASSERT_TRUE(session.key(QStringLiteral("a")));
    EXPECT_TRUE(waitUntil(
        [&] { return session.findWindows(QStringLiteral("^NimbuscopePlayback$")).isEmpty(); },
        kEndsWithinMs));
}
