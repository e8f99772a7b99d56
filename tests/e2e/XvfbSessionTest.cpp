// The end-to-end kit itself: servers, windows, screenshots, input and programs.
#include "e2e/XvfbSession.h"
#include "e2e/ImageCompare.h"

#include <QFileInfo>

#include <csignal>
#include <gtest/gtest.h>

using namespace nimbuscope::e2e;

namespace {

constexpr int kInputWaitMs = 5000;
constexpr QRgb kBlack = 0x000000;

QString socketOf(const XvfbSession& session) {
    return QStringLiteral("/tmp/.X11-unix/X%1").arg(session.displayNumber());
}

} // namespace

TEST(XvfbSession, SessionsSideBySideGetTheirOwnDisplaysAndLeaveNothingBehind) {
    QString firstSocket;
    {
        XvfbSession first;
        XvfbSession second;
        ASSERT_RUNNING(first);
        ASSERT_RUNNING(second);
        EXPECT_NE(first.displayNumber(), second.displayNumber());
        firstSocket = socketOf(first);
        EXPECT_TRUE(QFileInfo::exists(firstSocket));
        second.stop();
        EXPECT_FALSE(second.isRunning());
        EXPECT_FALSE(QFileInfo::exists(socketOf(second)));
        EXPECT_TRUE(first.x().windowExists(first.x().rootWindow()));
    }
    EXPECT_FALSE(QFileInfo::exists(firstSocket));
}

TEST(XvfbSession, WindowsAreMadeFoundGrabbedResizedAndDestroyed) {
    XvfbSession session;
    ASSERT_RUNNING(session);
    XClient& x = session.x();
    const QRect area(30, 40, 64, 48);
    const quint32 window = x.createWindow(area, 0x3366cc, 0, QStringLiteral("KitWindow"));
    ASSERT_NE(window, 0u);
    EXPECT_EQ(session.findWindows(QStringLiteral("^KitWindow$")), QList<quint32>{window});
    EXPECT_TRUE(session.findWindows(QStringLiteral("^NoSuchWindow$")).isEmpty());
    EXPECT_EQ(x.windowGeometry(window), area);
    EXPECT_TRUE(x.children(x.rootWindow()).contains(window));

    const QImage screen = x.grabScreen();
    EXPECT_DOUBLE_EQ(colourShare(screen.copy(area), 0x3366cc), 1.0);
    EXPECT_DOUBLE_EQ(colourShare(screen.copy(0, 0, 30, 40), kBlack), 1.0) << "a black ground";

    ASSERT_TRUE(x.resizeWindow(window, {100, 20}));
    EXPECT_EQ(x.windowGeometry(window), QRect(30, 40, 100, 20));
    ASSERT_TRUE(x.destroyWindow(window));
    EXPECT_FALSE(x.windowExists(window));
    EXPECT_FALSE(x.destroyWindow(window));
}

TEST(XvfbSession, KeysClicksAndPointerMovesReachTheWindowUnderThem) {
    XvfbSession session;
    ASSERT_RUNNING(session);
    XClient& x = session.x();
    const quint32 window = x.createWindow(QRect(100, 100, 200, 150), 0x808080);
    ASSERT_TRUE(x.watchInput(window));
    ASSERT_TRUE(x.focusWindow(window));

    ASSERT_TRUE(session.mouseMove({150, 130}));
    std::optional<InputEvent> event = x.waitForInput(kInputWaitMs);
    ASSERT_TRUE(event.has_value());
    EXPECT_EQ(event->kind, InputEvent::Kind::Motion);
    EXPECT_EQ(event->window, window);
    EXPECT_EQ(event->position, QPoint(50, 30));
    EXPECT_EQ(x.pointerPosition(), QPoint(150, 130));

    ASSERT_TRUE(session.mouseMoveBy({-25, 10}));
    EXPECT_EQ(x.waitForInput(kInputWaitMs)->position, QPoint(25, 40));
    EXPECT_EQ(x.pointerPosition(), QPoint(125, 140));

    ASSERT_TRUE(session.click(3));
    event = x.waitForInput(kInputWaitMs);
    ASSERT_TRUE(event.has_value());
    EXPECT_EQ(event->kind, InputEvent::Kind::ButtonPress);
    EXPECT_EQ(event->detail, 3);

    ASSERT_TRUE(session.key(QStringLiteral("Escape")));
    event = x.waitForInput(kInputWaitMs);
    ASSERT_TRUE(event.has_value());
    EXPECT_EQ(event->kind, InputEvent::Kind::KeyPress);
    EXPECT_EQ(event->window, window);
}

TEST(XvfbSession, ProgramsRunOnTheSessionsDisplayAndDieWithTheirRun) {
    XvfbSession session;
    ASSERT_RUNNING(session);
    QProcessEnvironment base;
    base.insert(QStringLiteral("PATH"), qEnvironmentVariable("PATH"));
    base.insert(QStringLiteral("WAYLAND_DISPLAY"), QStringLiteral("wayland-0"));
    {
        const auto run = session.run(
            QStringLiteral("sh"),
            {QStringLiteral("-c"),
             QStringLiteral("echo \"$DISPLAY $QT_QPA_PLATFORM ${WAYLAND_DISPLAY:-none}\"; exit 3")},
            base);
        ASSERT_TRUE(run->started());
        ASSERT_TRUE(run->waitForEnd(kInputWaitMs));
        EXPECT_TRUE(run->endedNormally());
        EXPECT_EQ(run->exitCode(), 3);
        EXPECT_EQ(run->standardOutput().trimmed(),
                  (session.displayName() + QStringLiteral(" xcb none")).toLatin1());
    }
    qint64 pid = 0;
    {
        const auto run = session.run(QStringLiteral("sleep"), {QStringLiteral("30")});
        ASSERT_TRUE(run->started());
        EXPECT_FALSE(run->waitForEnd(100));
        EXPECT_TRUE(run->isRunning());
        EXPECT_TRUE(run->describe().startsWith(QStringLiteral("still running")));
        pid = run->processId();
    }
    EXPECT_NE(::kill(static_cast<pid_t>(pid), 0), 0); // killed and reaped with its run

    const auto missing = session.run(QStringLiteral("/no/such/program"), {});
    EXPECT_FALSE(missing->started());
    EXPECT_FALSE(missing->endedNormally());
}

TEST(ImageCompare, DifferencesAndSharesOfColour) {
    QImage black(4, 2, QImage::Format_RGB32);
    black.fill(Qt::black);
    QImage mixed = black;
    mixed.setPixel(0, 0, qRgb(255, 255, 255));
    mixed.setPixel(1, 0, qRgb(250, 5, 0));
    EXPECT_DOUBLE_EQ(meanColourDifference(black, black), 0.0);
    EXPECT_DOUBLE_EQ(meanColourDifference(black, mixed), (255.0 * 3 + 250 + 5) / (3 * 8));
    EXPECT_DOUBLE_EQ(meanColourDifference(black, black.copy(0, 0, 4, 1)), -1.0);
    EXPECT_DOUBLE_EQ(colourShare(mixed, kBlack), 6.0 / 8);
    EXPECT_DOUBLE_EQ(colourShare(QImage(), kBlack), 0.0);
}
