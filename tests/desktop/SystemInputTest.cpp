#include "desktop/SystemInput.h"

#include <QCoreApplication>
#include <QCursor>
#include <QMouseEvent>
#include <QThread>
#include <QWidget>
#include <gtest/gtest.h>

using namespace nimbuscope;

namespace {

void moveMouseOver(QWidget& widget, QPoint global) {
    QMouseEvent move(QEvent::MouseMove, QPointF(5, 5), QPointF(global), Qt::NoButton, Qt::NoButton,
                     Qt::NoModifier);
    QCoreApplication::sendEvent(&widget, &move);
}

TEST(QtSystemInputTest, MouseEventsAreSeenAtOnceOtherMovesWithinTheAskingTime) {
    QCursor::setPos(10, 10);
    QtSystemInput input;
    EXPECT_EQ(input.cursorPos(), QPoint(10, 10));

    // A move the program got no event for (over another program's window) shows up once the
    // last answer is old enough to ask the server again, not on every call.
    QCursor::setPos(40, 40);
    EXPECT_EQ(input.cursorPos(), QPoint(10, 10));
    QThread::msleep(QtSystemInput::kServerAskMs + 20);
    EXPECT_EQ(input.cursorPos(), QPoint(40, 40));

    QWidget window;
    moveMouseOver(window, QPoint(300, 200));
    EXPECT_EQ(input.cursorPos(), QPoint(300, 200));

    // Moving the cursor ourselves is never answered from what was known before.
    input.setCursorPos(QPoint(7, 9));
    EXPECT_EQ(input.cursorPos(), QPoint(7, 9));
}

} // namespace
