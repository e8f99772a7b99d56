#include "e2e/kit/XScreenSaverHost.h"

#include "e2e/kit/ImageCompare.h"
#include "e2e/kit/XvfbSession.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>

#include <algorithm>
#include <chrono>
#include <pwd.h>
#include <unistd.h>

namespace nimbuscope::e2e {

namespace {

constexpr int kAnswersWithinMs = 15000;
constexpr int kCommandMs = 10000;
constexpr int kExitMs = 5000;
// A row of the crash box's frame spans nearly the screen; a radar picture is 600 wide.
constexpr double kBoxRowShare = 0.8;

void writeFile(const QString& path, const QByteArray& bytes) {
    QDir().mkpath(path.section(QLatin1Char('/'), 0, -2));
    QFile file(path);
    if (file.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
        file.write(bytes);
    }
}

} // namespace

XScreenSaverHost::XScreenSaverHost(XvfbSession& session, QString saver, const QByteArray& hiveLines)
    : session_(session), saver_(std::move(saver)), uid_(::getuid()), gid_(::getgid()) {
    if (QStandardPaths::findExecutable(QStringLiteral("xscreensaver")).isEmpty() ||
        !home_.isValid()) {
        unavailable_ = QStringLiteral("xscreensaver is not installed (scripts/install-deps)");
        return;
    }
    // XScreenSaver launches no display mode as root: a root test runs it as a user of its own.
    if (::geteuid() == 0) {
        if (::getpwnam(kUser) == nullptr) {
            // Two tests may add the user at once; the one that loses finds it made.
            QProcess::execute(QStringLiteral("useradd"),
                              QStringLiteral("--system --no-create-home --home-dir /nonexistent "
                                             "--shell /usr/sbin/nologin %1")
                                  .arg(QLatin1String(kUser))
                                  .split(u' '));
        }
        const passwd* user = ::getpwnam(kUser);
        if (user == nullptr) {
            unavailable_ =
                QStringLiteral("running as root, and no unprivileged user could be made");
            return;
        }
        uid_ = user->pw_uid;
        gid_ = user->pw_gid;
    }
    const QString home = home_.path();
    const QByteArray hive = "Windows Registry Editor Version 5.00\n\n"
                            "[HKEY_CURRENT_USER\\Software\\Calderwick\\Nimbuscope]\n" +
                            hiveLines;
    writeFile(home + QStringLiteral("/config/nimbuscope/registry/HKEY_CURRENT_USER.reg"), hive);
    // The saver reads the machine hive wherever its user may write it.
    writeFile(home + QStringLiteral("/xdg/nimbuscope/registry/HKEY_LOCAL_MACHINE.reg"),
              QByteArray(hive).replace("HKEY_CURRENT_USER", "HKEY_LOCAL_MACHINE"));
    writeFile(home + QStringLiteral("/.xscreensaver"),
              "mode: one\nselected: 0\ntimeout: 0:30:00\ncycle: 0:30:00\nlock: False\n"
              "splash: False\nfade: False\nunfade: False\nprograms: \"Nimbuscope\" " +
                  QFile::encodeName(saver_) + " /s \\n\\\n");
    QDir().mkpath(home + QStringLiteral("/tmp"));
    QDir().mkpath(home + QStringLiteral("/run"));
    QProcess::execute(QStringLiteral("chmod"), {QStringLiteral("755"), home});
    QProcess::execute(QStringLiteral("chmod"),
                      {QStringLiteral("700"), home + QStringLiteral("/run")});
    QProcess::execute(QStringLiteral("chown"),
                      {QStringLiteral("-R"), QStringLiteral("%1:%2").arg(uid_).arg(gid_), home});
}

XScreenSaverHost::~XScreenSaverHost() {
    if (daemon_ && daemon_->isRunning()) {
        command(QStringLiteral("exit"));
        daemon_->waitForEnd(kExitMs);
    }
}

std::unique_ptr<ProgramRun> XScreenSaverHost::runAsUser(const QString& program,
                                                        const QStringList& arguments,
                                                        const QString& window) const {
    const QString home = home_.path();
    const std::pair<const char*, QString> variables[] = {
        {"PATH", QStringLiteral("/usr/local/bin:/usr/bin:/bin")},
        {"LANG", QStringLiteral("C.UTF-8")},
        {"HOME", home},
        {"XDG_CONFIG_HOME", home + QStringLiteral("/config")},
        {"XDG_CONFIG_DIRS", home + QStringLiteral("/xdg")},
        {"XDG_RUNTIME_DIR", home + QStringLiteral("/run")},
        {"TMPDIR", home + QStringLiteral("/tmp")},
        {"NIMBUSCOPE_FRAME_TRACE", home + QStringLiteral("/trace.txt")}};
    QProcessEnvironment env;
    for (const auto& [name, value] : variables) {
        env.insert(QLatin1String(name), value);
    }
    if (!window.isEmpty()) {
        env.insert(QStringLiteral("XSCREENSAVER_WINDOW"), window);
    }
    if (uid_ == ::getuid()) {
        return std::make_unique<ProgramRun>(program, arguments, session_.environment(env));
    }
    // setpriv replaces itself with the program: the process is the program's own.
    return std::make_unique<ProgramRun>(
        QStringLiteral("setpriv"),
        QStringList{QStringLiteral("--reuid=%1").arg(uid_), QStringLiteral("--regid=%1").arg(gid_),
                    QStringLiteral("--init-groups"), QStringLiteral("--pdeathsig=SIGKILL"),
                    QStringLiteral("--"), program} +
            arguments,
        session_.environment(env));
}

bool XScreenSaverHost::start() {
    // The log goes to a file: nobody reads a pipe while the test waits, and a full one would
    // stop the host.
    daemon_ =
        runAsUser(QStringLiteral("xscreensaver"),
                  {QStringLiteral("-no-splash"), QStringLiteral("-verbose"), QStringLiteral("-log"),
                   home_.filePath(QStringLiteral("xscreensaver.log"))});
    return daemon_->started() &&
           waitUntil([&] { return command(QStringLiteral("version")); }, kAnswersWithinMs, 200);
}

bool XScreenSaverHost::command(const QString& what) {
    const auto run = runAsUser(QStringLiteral("xscreensaver-command"), {QLatin1Char('-') + what});
    return run->waitForEnd(kCommandMs) && run->endedNormally() && run->exitCode() == 0;
}

std::unique_ptr<ProgramRun> XScreenSaverHost::startPreviewCopy(quint32 window) {
    const QString id = QStringLiteral("0x%1").arg(window, 0, 16);
    return runAsUser(saver_, {QStringLiteral("/s"), QStringLiteral("--window-id"), id}, id);
}

QString XScreenSaverHost::log() const {
    QFile file(home_.filePath(QStringLiteral("xscreensaver.log")));
    return file.open(QIODevice::ReadOnly) ? QString::fromLocal8Bit(file.readAll()) : QString();
}

QList<TraceLine> XScreenSaverHost::trace() const {
    QFile file(home_.filePath(QStringLiteral("trace.txt")));
    QList<TraceLine> lines;
    for (const QByteArray& text :
         file.open(QIODevice::ReadOnly) ? file.readAll().split('\n') : QList<QByteArray>()) {
        const QList<QByteArray> parts = text.split(' ');
        if (parts.size() >= 3) {
            lines.append({parts[0].toDouble(), parts[1], parts.last().toLongLong()});
        }
    }
    std::stable_sort(lines.begin(), lines.end(),
                     [](const TraceLine& a, const TraceLine& b) { return a.time < b.time; });
    return lines;
}

double monotonicNow() {
    return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

bool crashBoxShown(const QImage& screen) {
    for (int y = 0; y < screen.height(); ++y) {
        int red = 0;
        for (int x = 0; x < screen.width(); ++x) {
            const QRgb pixel = screen.pixel(x, y);
            red += qRed(pixel) > 200 && qGreen(pixel) < 60 && qBlue(pixel) < 60 ? 1 : 0;
        }
        if (red > kBoxRowShare * screen.width()) {
            return true;
        }
    }
    return false;
}

QString downloadTurnsBroken(const QList<TraceLine>& trace) {
    qint64 holder = 0;
    QList<qint64> ended;
    for (const TraceLine& line : trace) {
        if (line.event == "end") {
            ended.append(line.pid);
        } else if (line.event == "downloads") {
            if (holder != 0 && !ended.contains(holder)) {
                return QStringLiteral("%1 took the downloads at %2 while %3 still had them")
                    .arg(line.pid)
                    .arg(line.time, 0, 'f', 3)
                    .arg(holder);
            }
            holder = line.pid;
        } else if (line.event == "pass-start" && line.pid != holder) {
            return QStringLiteral("%1 started a pass at %2 without the downloads")
                .arg(line.pid)
                .arg(line.time, 0, 'f', 3);
        }
    }
    return {};
}

} // namespace nimbuscope::e2e
