#include <QApplication>

#include <gtest/gtest.h>

namespace {

// The offscreen platform cannot raise windows or grab the keyboard and says so each time.
void quietHandler(QtMsgType type, const QMessageLogContext& context, const QString& message) {
    if (!message.startsWith(QLatin1String("This plugin does not support"))) {
        qt_message_output(type, context, message);
    }
}

} // namespace

int main(int argc, char** argv) {
    // The screens of the program's configuration, whatever the offscreen platform would choose.
    const QByteArray platform = qgetenv("QT_QPA_PLATFORM");
    if (platform.isEmpty() || platform == "offscreen") {
        qputenv("QT_QPA_PLATFORM", "offscreen:configfile=" NIMBUSCOPE_SCENARIO_SCREENS);
    }
    qInstallMessageHandler(quietHandler);
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
