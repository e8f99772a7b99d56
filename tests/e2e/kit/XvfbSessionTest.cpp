// A smoke test of the end-to-end kit: a display of its own, a window grabbed, and a program
// that runs there and dies with its run.
#include "e2e/kit/XvfbSession.h"
#include "e2e/kit/ImageCompare.h"

#include <QFileInfo>

#include <csignal>
#include <gtest/gtest.h>

using namespace nimbuscope::e2e;

TEST(XvfbSession, RunsWindowsAndProgramsOnItsOwnDisplayAndLeavesNothingBehind) {
    QString socket;
    qint64 pid = 0;
    {
        XvfbSession session;
        ASSERT_RUNNING(session);
        socket = QStringLiteral("/tmp/.X11-unix/X%1").arg(session.displayNumber());
        const QRect area(30, 40, 64, 48);
        ASSERT_NE(session.x().createWindow(area, 0x3366cc), 0u);
        const QImage screen = session.x().grabScreen();
        EXPECT_DOUBLE_EQ(colourShare(screen.copy(area), 0x3366cc), 1.0);
        EXPECT_DOUBLE_EQ(colourShare(screen.copy(0, 0, 30, 40), 0x000000), 1.0) << "black ground";

        const auto sleeper = session.run(QStringLiteral("sleep"), {QStringLiteral("30")});
        ASSERT_TRUE(sleeper->started());
        pid = sleeper->processId();
    }
    EXPECT_NE(::kill(static_cast<pid_t>(pid), 0), 0) << "killed and reaped with its run";
    EXPECT_FALSE(QFileInfo::exists(socket));
}
