#include "ScenarioFakes.h"

#include "common/FakeProcessEnd.h"

#include <QKeyEvent>
#include <QMouseEvent>
#include <QWidget>

#include <gtest/gtest.h>

namespace nimbuscope::test {

bool ScenarioApplication::notify(QObject* receiver, QEvent* event) {
    try {
        return QApplication::notify(receiver, event);
    } catch (const ProgramEnded& end) {
        endedInEvents_.append(end.status);
        return true;
    }
}

void sendKey(QWidget* target, Qt::Key key) {
    QKeyEvent press(QEvent::KeyPress, key, Qt::NoModifier);
    QApplication::sendEvent(target, &press);
}

void sendMouse(QWidget* target, QEvent::Type type) {
    const Qt::MouseButton button = type == QEvent::MouseMove ? Qt::NoButton : Qt::LeftButton;
    QMouseEvent event(type, QPointF(5, 5), QPointF(5, 5), button, button, Qt::NoModifier);
    QApplication::sendEvent(target, &event);
}

namespace {

// The offscreen platform cannot raise windows or grab the keyboard and says so each time.
void quietHandler(QtMsgType type, const QMessageLogContext& context, const QString& message) {
    if (message.startsWith(QLatin1String("This plugin does not support"))) {
        return;
    }
    qt_message_output(type, context, message);
}

} // namespace

} // namespace nimbuscope::test

// An end raised in a handler that Qt called unwinds through Qt's event delivery, which is
// built without clean-ups for exceptions: the temporaries of those frames are never freed.
// The leak checker of sanitizer builds asks for this list; other builds never call it.
extern "C" const char* __lsan_default_suppressions() {
    return "leak:QMutableEventPoint::detach\n"
           "leak:QtSharedPointer::ExternalRefCountData::getAndRef\n"
           "leak:QArrayData::allocate\n";
}

int main(int argc, char** argv) {
    // One 1024x768 screen, whatever the offscreen platform would choose by itself.
    const QByteArray platform = qgetenv("QT_QPA_PLATFORM");
    if (platform.isEmpty() || platform == "offscreen") {
        qputenv("QT_QPA_PLATFORM", "offscreen:configfile=" NIMBUSCOPE_SCENARIO_SCREENS);
    }
    qInstallMessageHandler(nimbuscope::test::quietHandler);
    nimbuscope::test::ScenarioApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
