#include "platform/SystemInput.h"

#include <QApplication>
#include <QCursor>
#include <QKeyEvent>
#include <QWidget>

namespace nimbuscope {

namespace {

Qt::Key qtKeyOf(int key) {
    switch (key) {
    case SystemInput::kEscapeKey:
        return Qt::Key_Escape;
    case 13:
        return Qt::Key_Return;
    default:
        return Qt::Key(key);
    }
}

} // namespace

std::optional<QPoint> QtSystemInput::cursorPos() {
    return QCursor::pos();
}

void QtSystemInput::setCursorPos(QPoint position) {
    QCursor::setPos(position);
}

void QtSystemInput::showCursor(bool show) {
    if (show) {
        // Only the hides of this object are taken back; other override cursors stay.
        if (hiddenCount_ > 0) {
            --hiddenCount_;
            QApplication::restoreOverrideCursor();
        }
        return;
    }
    ++hiddenCount_;
    QApplication::setOverrideCursor(Qt::BlankCursor);
}

void QtSystemInput::sendKey(int key) {
    QWidget* target = QApplication::activeModalWidget();
    if (target == nullptr) {
        target = QApplication::focusWidget();
    }
    if (target == nullptr) {
        return;
    }
    const Qt::Key qtKey = qtKeyOf(key);
    QApplication::postEvent(target, new QKeyEvent(QEvent::KeyPress, qtKey, Qt::NoModifier));
    QApplication::postEvent(target, new QKeyEvent(QEvent::KeyRelease, qtKey, Qt::NoModifier));
}

} // namespace nimbuscope
