// A smoke test of the end-to-end kit: a display of its own, a window grabbed, a key, and a
// program that runs there and dies with its run.
#include "e2e/kit/XvfbSession.h"
#include "e2e/kit/ImageCompare.h"

#include <QFileInfo>

#include <csignal>
#include <gtest/gtest.h>

using namespace nimbuscope::e2e;

namespace {

constexpr int kInputWaitMs = 5000;
constexpr QRgb kBlack = 0x000000;

} // namespace

TEST(XvfbSession, RunsWindowsInputAndProgramsOnItsOwnDisplayAndLeavesNothingBehind) {
    QString socket;
    qint64 pid = 0;
    {
        XvfbSession session;
        ASSERT_RUNNING(session);
        socket = QStringLiteral("/tmp/.X11-unix/X%1").arg(session.displayNumber());
        XClient& x = session.x();
        const QRect area(30, 40, 64, 48);
        const quint32 window = x.createWindow(area, 0x3366cc, 0, QStringLiteral("KitWindow"));
        EXPECT_EQ(session.findWindows(QStringLiteral("^KitWindow$")), QList<quint32>{window});
        const QImage screen = x.grabScreen();
        EXPECT_DOUBLE_EQ(colourShare(screen.copy(area), 0x3366cc), 1.0);
        EXPECT_DOUBLE_EQ(colourShare(screen.copy(0, 0, 30, 40), kBlack), 1.0) << "black ground";

        ASSERT_TRUE(x.watchInput(window));
        ASSERT_TRUE(x.focusWindow(window));
        ASSERT_TRUE(session.key(QStringLiteral("Escape")));
        const std::optional<InputEvent> event = x.waitForInput(kInputWaitMs);
        ASSERT_TRUE(event.has_value());
        EXPECT_EQ(event->kind, InputEvent::Kind::KeyPress);
        EXPECT_EQ(event->window, window);

        const auto echo = session.run(QStringLiteral("sh"),
                                      {QStringLiteral("-c"), QStringLiteral("echo $DISPLAY")});
        ASSERT_TRUE(echo->waitForEnd(kInputWaitMs));
        EXPECT_EQ(echo->standardOutput().trimmed(), session.displayName().toLatin1());
        const auto sleeper = session.run(QStringLiteral("sleep"), {QStringLiteral("30")});
        ASSERT_TRUE(sleeper->started());
        pid = sleeper->processId();
    }
    EXPECT_NE(::kill(static_cast<pid_t>(pid), 0), 0) << "killed and reaped with its run";
    EXPECT_FALSE(QFileInfo::exists(socket));
}
