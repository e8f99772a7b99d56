#include "e2e/kit/XvfbSession.h"

#include <QDeadlineTimer>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>
#include <QThread>

#include <csignal>
#include <sys/prctl.h>

namespace nimbuscope::e2e {

namespace {

// Display numbers are drawn from a range that desktops and CI rarely use, from a random
// base so that tests running side by side seldom try the same ones.
constexpr int kFirstDisplay = 100;
constexpr int kDisplaySpread = 800;
constexpr int kAttempts = 25;
constexpr int kStartTimeoutMs = 15000;
constexpr int kStopTimeoutMs = 5000;
constexpr int kPollMs = 20;
constexpr qsizetype kLogTailBytes = 2000;
constexpr int kToolTimeoutMs = 10000;

QString socketPath(int number) {
    return QStringLiteral("/tmp/.X11-unix/X%1").arg(number);
}

} // namespace

XvfbSession::XvfbSession(const XvfbOptions& options) {
    if (!logDir_.isValid()) {
        error_ = QStringLiteral("no temporary folder for the server's log");
        return;
    }
    const int base = kFirstDisplay + QRandomGenerator::global()->bounded(kDisplaySpread);
    for (int i = 0; i < kAttempts && !isRunning(); ++i) {
        const int number = kFirstDisplay + (base - kFirstDisplay + i) % kDisplaySpread;
        if (QFileInfo::exists(QStringLiteral("/tmp/.X%1-lock").arg(number)) ||
            QFileInfo::exists(socketPath(number))) {
            continue;
        }
        tryDisplay(number, options);
    }
    if (!isRunning() && error_.isEmpty()) {
        error_ = QStringLiteral("no free display number found");
    }
}

XvfbSession::~XvfbSession() {
    stop();
}

bool XvfbSession::tryDisplay(int number, const XvfbOptions& options) {
    server_ = std::make_unique<QProcess>();
    server_->setStandardOutputFile(logDir_.filePath(QStringLiteral("xvfb.log")));
    server_->setProcessChannelMode(QProcess::MergedChannels);
    // The server must not outlive a test that crashes.
    server_->setChildProcessModifier([] { ::prctl(PR_SET_PDEATHSIG, SIGTERM); });
    QStringList args{QStringLiteral(":%1").arg(number)};
    for (int screen = 0; screen < std::max(1, options.screenCount); ++screen) {
        args << QStringLiteral("-screen") << QString::number(screen)
             << QStringLiteral("%1x%2x24")
                    .arg(options.screenSize.width())
                    .arg(options.screenSize.height());
    }
    // -noreset: the server keeps its state when the last program under test disconnects.
    args << QStringLiteral("-nolisten") << QStringLiteral("tcp") << QStringLiteral("-noreset");
    server_->start(QStringLiteral("Xvfb"), args);
    if (!server_->waitForStarted()) {
        error_ = QStringLiteral("Xvfb could not be started: ") + server_->errorString();
        server_.reset();
        return false;
    }
    const QDeadlineTimer deadline(kStartTimeoutMs);
    while (!deadline.hasExpired()) {
        // Waiting for the end doubles as the pause between looks at the socket.
        if (server_->waitForFinished(kPollMs)) {
            // Most often another server took the number first.
            error_ = QStringLiteral("Xvfb :%1 ended at start: %2").arg(number).arg(serverLog());
            server_.reset();
            return false;
        }
        if (!QFileInfo::exists(socketPath(number))) {
            continue;
        }
        auto client = std::make_unique<XClient>(QStringLiteral(":%1").arg(number).toLatin1());
        if (client->isConnected()) {
            client_ = std::move(client);
            display_ = number;
            error_.clear();
            return true;
        }
    }
    error_ = QStringLiteral("Xvfb :%1 did not answer in time: %2").arg(number).arg(serverLog());
    stop();
    return false;
}

QString XvfbSession::serverLog() const {
    QFile log(logDir_.filePath(QStringLiteral("xvfb.log")));
    return log.open(QIODevice::ReadOnly)
               ? QString::fromLocal8Bit(log.readAll().right(kLogTailBytes)).trimmed()
               : QString();
}

void XvfbSession::stop() {
    client_.reset(); // disconnect before the server goes
    if (server_ && server_->state() != QProcess::NotRunning) {
        server_->terminate();
        if (!server_->waitForFinished(kStopTimeoutMs)) {
            server_->kill();
            server_->waitForFinished(kStopTimeoutMs);
        }
    }
    server_.reset();
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
    QStringList args{QStringLiteral("search")};
    if (onlyVisible) {
        args << QStringLiteral("--onlyvisible");
    }
    args << QStringLiteral("--name") << namePattern;
    QList<quint32> ids;
    QByteArray found; // xdotool ends with status 1 when nothing matches
    xdotool(args, &found);
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
    const QDeadlineTimer deadline(timeoutMs);
    do {
        const QList<quint32> ids = findWindows(namePattern, onlyVisible);
        if (!ids.isEmpty()) {
            return ids.front();
        }
        QThread::msleep(kPollMs);
    } while (!deadline.hasExpired());
    return 0;
}

bool XvfbSession::key(const QString& keys) const {
    return xdotool(QStringList{QStringLiteral("key")} +
                   keys.split(QLatin1Char(' '), Qt::SkipEmptyParts));
}

bool XvfbSession::mouseMove(QPoint position, int screen) const {
    return xdotool({QStringLiteral("mousemove"), QStringLiteral("--screen"),
                    QString::number(screen), QString::number(position.x()),
                    QString::number(position.y())});
}

bool XvfbSession::mouseMoveBy(QPoint delta) const {
    // "--" keeps a negative step from being read as an option.
    return xdotool({QStringLiteral("mousemove_relative"), QStringLiteral("--"),
                    QString::number(delta.x()), QString::number(delta.y())});
}

bool XvfbSession::click() const {
    return xdotool({QStringLiteral("click"), QStringLiteral("1")});
}

} // namespace nimbuscope::e2e
