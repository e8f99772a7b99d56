#include "e2e/kit/XvfbSession.h"

#include "e2e/kit/ImageCompare.h"

#include <QDeadlineTimer>
#include <QFile>

#include <csignal>
#include <sys/prctl.h>

namespace nimbuscope::e2e {

namespace {

constexpr int kStartTimeoutMs = 15000;
constexpr int kStopTimeoutMs = 5000;
constexpr int kToolTimeoutMs = 10000;
constexpr qsizetype kLogTailBytes = 2000;

} // namespace

XvfbSession::XvfbSession(const XvfbOptions& options) : server_(std::make_unique<QProcess>()) {
    const QString log = logDir_.filePath(QStringLiteral("xvfb.log"));
    server_->setStandardErrorFile(log);
    // The server must not outlive a test that crashes.
    server_->setChildProcessModifier([] { ::prctl(PR_SET_PDEATHSIG, SIGTERM); });
    // It takes the first free display and writes its number once it accepts connections;
    // -noreset keeps its state when the last program under test disconnects.
    QStringList args{QStringLiteral("-displayfd"), QStringLiteral("1"), QStringLiteral("-nolisten"),
                     QStringLiteral("tcp"), QStringLiteral("-noreset")};
    for (int screen = 0; screen < std::max(1, options.screenCount); ++screen) {
        args << QStringLiteral("-screen") << QString::number(screen)
             << QStringLiteral("%1x%2x24")
                    .arg(options.screenSize.width())
                    .arg(options.screenSize.height());
    }
    server_->start(QStringLiteral("Xvfb"), args);
    QByteArray number;
    const QDeadlineTimer deadline(kStartTimeoutMs);
    while (!number.endsWith('\n') && server_->waitForReadyRead(int(deadline.remainingTime()))) {
        number += server_->readAllStandardOutput();
    }
    bool ok = false;
    display_ = number.trimmed().toInt(&ok);
    if (ok) {
        client_ = std::make_unique<XClient>(displayName().toLatin1());
    }
    if (!ok || !client_->isConnected()) {
        QFile file(log);
        error_ = QStringLiteral("Xvfb did not start: ") + server_->errorString() + u' ' +
                 (file.open(QIODevice::ReadOnly)
                      ? QString::fromLocal8Bit(file.readAll().right(kLogTailBytes))
                      : QString());
        client_.reset();
    }
}

XvfbSession::~XvfbSession() {
    client_.reset(); // disconnect before the server goes
    server_->terminate();
    if (!server_->waitForFinished(kStopTimeoutMs)) {
        server_->kill();
        server_->waitForFinished(kStopTimeoutMs);
    }
}

QProcessEnvironment XvfbSession::environment(const QProcessEnvironment& base) const {
    QProcessEnvironment env = base;
    env.insert(QStringLiteral("DISPLAY"), displayName());
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb"));
    env.remove(QStringLiteral("WAYLAND_DISPLAY"));
    env.remove(QStringLiteral("XAUTHORITY"));
    return env;
}

std::unique_ptr<ProgramRun> XvfbSession::run(const QString& program, const QStringList& arguments,
                                             const QProcessEnvironment& base) const {
    return std::make_unique<ProgramRun>(program, arguments, environment(base));
}

bool XvfbSession::xdotool(const QStringList& arguments, QByteArray* output) const {
    ProgramRun run(QStringLiteral("xdotool"), arguments, environment());
    const bool ok = run.waitForEnd(kToolTimeoutMs) && run.endedNormally() && run.exitCode() == 0;
    if (output != nullptr) {
        *output = run.standardOutput();
    }
    return ok;
}

QList<quint32> XvfbSession::findWindows(const QString& namePattern, bool onlyVisible) const {
    QStringList args{QStringLiteral("search"), QStringLiteral("--name"), namePattern};
    if (onlyVisible) {
        args.insert(1, QStringLiteral("--onlyvisible"));
    }
    QByteArray found; // xdotool ends with status 1 when nothing matches
    xdotool(args, &found);
    QList<quint32> ids;
    for (const QByteArray& line : found.split('\n')) {
        bool ok = false;
        const quint32 id = line.trimmed().toUInt(&ok);
        if (ok) {
            ids.append(id);
        }
    }
    return ids;
}

quint32 XvfbSession::waitForWindow(const QString& namePattern, int timeoutMs,
                                   bool onlyVisible) const {
    QList<quint32> ids;
    waitUntil([&] { return !(ids = findWindows(namePattern, onlyVisible)).isEmpty(); }, timeoutMs);
    return ids.value(0, 0);
}

bool XvfbSession::key(const QString& keys) const {
    return xdotool(QStringList{QStringLiteral("key")} +
                   keys.split(QLatin1Char(' '), Qt::SkipEmptyParts));
}

bool XvfbSession::mouseMove(QPoint position) const {
    return xdotool({QStringLiteral("mousemove"), QString::number(position.x()),
                    QString::number(position.y())});
}

bool XvfbSession::mouseMoveBy(QPoint delta) const {
    // "--" keeps a negative step from being read as an option.
    return xdotool({QStringLiteral("mousemove_relative"), QStringLiteral("--"),
                    QString::number(delta.x()), QString::number(delta.y())});
}

} // namespace nimbuscope::e2e
