#include "desktop/SystemInput.h"

#include <QApplication>
#include <QCursor>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QWidget>

#include <utility>

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

/// Keeps the global position of the latest mouse event any window of the program received.
class QtSystemInput::MouseWatch final : public QObject {
public:
    MouseWatch() {
        if (QCoreApplication* app = QCoreApplication::instance()) {
            app->installEventFilter(this);
        }
    }
    std::optional<QPoint> take() { return std::exchange(latest_, std::nullopt); }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        switch (event->type()) {
        case QEvent::MouseMove:
        case QEvent::MouseButtonPress:
        case QEvent::MouseButtonRelease:
            latest_ = static_cast<QMouseEvent*>(event)->globalPosition().toPoint();
            break;
        default:
            break;
        }
        return QObject::eventFilter(watched, event);
    }

private:
    std::optional<QPoint> latest_;
};

QtSystemInput::QtSystemInput() : watch_(std::make_unique<MouseWatch>()) {}

QtSystemInput::~QtSystemInput() = default;

std::optional<QPoint> QtSystemInput::cursorPos() {
    if (std::optional<QPoint> seen = watch_->take()) {
        known_ = seen;
        knownAge_.start();
    } else if (!known_ || !knownAge_.isValid() || knownAge_.elapsed() >= kServerAskMs) {
        known_ = QCursor::pos();
        knownAge_.start();
    }
    return known_;
}

void QtSystemInput::setCursorPos(QPoint position) {
    QCursor::setPos(position);
    // Ask afresh next time: the server may keep the cursor elsewhere (another screen's edge).
    known_.reset();
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
