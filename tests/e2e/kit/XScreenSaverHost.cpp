#include "e2e/kit/XScreenSaverHost.h"

#include "e2e/kit/ImageCompare.h"
#include "e2e/kit/XvfbSession.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>

#include <algorithm>
#include <pwd.h>
#include <unistd.h>

namespace nimbuscope::e2e {

namespace {

constexpr int kAnswersWithinMs = 15000;
constexpr int kCommandMs = 10000;
constexpr int kExitMs = 5000;
// A row of the crash box's frame spans nearly the screen; a radar picture is 600 wide.
constexpr double kBoxRowShare = 0.8;

QString hexId(quint32 window) {
    return QStringLiteral("0x%1").arg(window, 0, 16);
}

bool isBoxRed(QRgb pixel) {
    return qRed(pixel) > 200 && qGreen(pixel) < 60 && qBlue(pixel) < 60;
}

void writeFile(const QString& path, const QByteArray& bytes) {
    QDir().mkpath(path.section(QLatin1Char('/'), 0, -2));
    QFile file(path);
    if (file.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
        file.write(bytes);
    }
}

} // namespace

XScreenSaverHost::XScreenSaverHost(XvfbSession& session, QString saver, const QByteArray& hiveLines)
    : session_(session), saver_(std::move(saver)) {
    if (QStandardPaths::findExecutable(QStringLiteral("xscreensaver")).isEmpty()) {
        unavailable_ = QStringLiteral("xscreensaver is not installed (scripts/install-deps)");
        return;
    }
    if (!home_.isValid() || !prepareUser()) {
        if (unavailable_.isEmpty()) {
            unavailable_ = QStringLiteral("no private home for the host");
        }
        return;
    }
    prepareHome(hiveLines);
}

XScreenSaverHost::~XScreenSaverHost() {
    if (daemon_ && daemon_->isRunning()) {
        command(QStringLiteral("exit"));
        daemon_->waitForEnd(kExitMs);
    }
    daemon_.reset();
}

// XScreenSaver launches no display mode as root: a root test runs it as a user of its own.
bool XScreenSaverHost::prepareUser() {
    if (::geteuid() != 0) {
        uid_ = ::getuid();
        gid_ = ::getgid();
        return true;
    }
    asOther_ = true;
    if (::getpwnam(kUser) == nullptr) {
        // Two tests may add the user at once; the one that loses finds it made.
        QProcess::execute(QStringLiteral("useradd"),
                          {QStringLiteral("--system"), QStringLiteral("--no-create-home"),
                           QStringLiteral("--home-dir"), QStringLiteral("/nonexistent"),
                           QStringLiteral("--shell"), QStringLiteral("/usr/sbin/nologin"),
                           QString::fromLatin1(kUser)});
    }
    const passwd* user = ::getpwnam(kUser);
    if (user == nullptr) {
        unavailable_ = QStringLiteral("running as root, and no unprivileged user %1 could be made")
                           .arg(QString::fromLatin1(kUser));
        return false;
    }
    uid_ = user->pw_uid;
    gid_ = user->pw_gid;
    return true;
}

void XScreenSaverHost::prepareHome(const QByteArray& hiveLines) {
    const QString home = home_.path();
    const QByteArray section = "[HKEY_CURRENT_USER\\Software\\Calderwick\\Nimbuscope]\n";
    const QByteArray hive = "Windows Registry Editor Version 5.00\n\n" + section + hiveLines;
    writeFile(home + QStringLiteral("/config/nimbuscope/registry/HKEY_CURRENT_USER.reg"), hive);
    // The saver reads the machine hive wherever its user may write it.
    QByteArray machine = hive;
    machine.replace("HKEY_CURRENT_USER", "HKEY_LOCAL_MACHINE");
    writeFile(home + QStringLiteral("/xdg/nimbuscope/registry/HKEY_LOCAL_MACHINE.reg"), machine);
    QDir().mkpath(home + QStringLiteral("/run"));
    QDir().mkpath(home + QStringLiteral("/tmp"));
    QFile::setPermissions(home + QStringLiteral("/run"),
                          QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    writeFile(home + QStringLiteral("/.xscreensaver"),
              "mode: one\nselected: 0\ntimeout: 0:30:00\ncycle: 0:30:00\nlock: False\n"
              "splash: False\nfade: False\nunfade: False\nprograms: \"Nimbuscope\" " +
                  QFile::encodeName(saver_) + " /s \\n\\\n");
    QFile::setPermissions(home, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner |
                                    QFile::ReadGroup | QFile::ExeGroup | QFile::ReadOther |
                                    QFile::ExeOther);
    QStringList paths{home};
    QDirIterator all(home, QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot,
                     QDirIterator::Subdirectories);
    while (all.hasNext()) {
        paths.append(all.next());
    }
    for (const QString& path : paths) {
        [[maybe_unused]] const int rc = ::lchown(QFile::encodeName(path).constData(), uid_, gid_);
    }
}

QProcessEnvironment XScreenSaverHost::userEnvironment() const {
    const QString home = home_.path();
    QProcessEnvironment env;
    env.insert(QStringLiteral("PATH"), QStringLiteral("/usr/local/bin:/usr/bin:/bin"));
    env.insert(QStringLiteral("LANG"), QStringLiteral("C.UTF-8"));
    env.insert(QStringLiteral("HOME"), home);
    env.insert(QStringLiteral("XDG_CONFIG_HOME"), home + QStringLiteral("/config"));
    env.insert(QStringLiteral("XDG_CONFIG_DIRS"), home + QStringLiteral("/xdg"));
    env.insert(QStringLiteral("XDG_RUNTIME_DIR"), home + QStringLiteral("/run"));
    env.insert(QStringLiteral("TMPDIR"), home + QStringLiteral("/tmp"));
    env.insert(QStringLiteral("NIMBUSCOPE_FRAME_TRACE"), home + QStringLiteral("/trace.txt"));
    return session_.environment(env);
}

QStringList XScreenSaverHost::asUser(const QString& program, const QStringList& arguments) const {
    if (!asOther_) {
        return QStringList{program} + arguments;
    }
    // setpriv replaces itself with the program: the process is the program's own.
    return QStringList{QStringLiteral("setpriv"),
                       QStringLiteral("--reuid=%1").arg(uid_),
                       QStringLiteral("--regid=%1").arg(gid_),
                       QStringLiteral("--init-groups"),
                       QStringLiteral("--pdeathsig=SIGKILL"),
                       QStringLiteral("--"),
                       program} +
           arguments;
}

bool XScreenSaverHost::start() {
    // The log goes to a file: nobody reads a pipe while the test waits, and a full one would
    // stop the host.
    const QStringList line =
        asUser(QStringLiteral("xscreensaver"),
               {QStringLiteral("-no-splash"), QStringLiteral("-verbose"), QStringLiteral("-log"),
                home_.filePath(QStringLiteral("xscreensaver.log"))});
    daemon_ = std::make_unique<ProgramRun>(line.first(), line.mid(1), userEnvironment());
    return daemon_->started() &&
           waitUntil([&] { return command(QStringLiteral("version")); }, kAnswersWithinMs, 200);
}

bool XScreenSaverHost::command(const QString& what) {
    const QStringList line =
        asUser(QStringLiteral("xscreensaver-command"), {QLatin1Char('-') + what});
    QProcess process;
    process.setProcessEnvironment(userEnvironment());
    process.start(line.first(), line.mid(1));
    if (!process.waitForFinished(kCommandMs)) {
        process.kill();
        process.waitForFinished();
        return false;
    }
    return process.exitStatus() == QProcess::NormalExit && process.exitCode() == 0;
}

std::unique_ptr<ProgramRun> XScreenSaverHost::startPreviewCopy(quint32 window) {
    QProcessEnvironment env = userEnvironment();
    env.insert(QStringLiteral("XSCREENSAVER_WINDOW"), hexId(window));
    const QStringList line =
        asUser(saver_, {QStringLiteral("/s"), QStringLiteral("--window-id"), hexId(window)});
    return std::make_unique<ProgramRun>(line.first(), line.mid(1), env);
}

QString XScreenSaverHost::log() const {
    QFile file(home_.filePath(QStringLiteral("xscreensaver.log")));
    return file.open(QIODevice::ReadOnly) ? QString::fromLocal8Bit(file.readAll()) : QString();
}

QList<TraceLine> XScreenSaverHost::trace() const {
    return readTrace(home_.filePath(QStringLiteral("trace.txt")));
}

bool crashBoxShown(const QImage& screen) {
    for (int y = 0; y < screen.height(); ++y) {
        int red = 0;
        for (int x = 0; x < screen.width(); ++x) {
            red += isBoxRed(screen.pixel(x, y)) ? 1 : 0;
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
