// The saver as a display mode of the real XScreenSaver ("mode: one"), on a private X server,
// downloading from tools/noaa-sim: every copy the host starts animates, copies take turns at
// the downloads, a copy's SIGTERM leaves no half-written file, and the host never has a crash
// to show.
#include "e2e/kit/ImageCompare.h"
#include "e2e/kit/XvfbSession.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QMap>
#include <QStandardPaths>
#include <QThread>

#include <chrono>
#include <gtest/gtest.h>
#include <pwd.h>
#include <unistd.h>

using namespace nimbuscope::e2e;

namespace {

// A cold first pass and a frame drawn from it; a frame makes about 5 % of the screen vivid,
// the start-up logo about 0.1 %.
constexpr int kRadarShownMs = 45000;
constexpr double kRadarVivid = 0.01;
constexpr unsigned long kCycleEveryMs = 500;
// Several frames at the default pace, the last frame's hold included.
constexpr unsigned long kAnimatesWithinMs = 6000;
const char* const kUser = "nimbuscope-e2e";

/// One line of the frame trace (NIMBUSCOPE_FRAME_TRACE): "<time> <event> ... <pid>", the time
/// in seconds on the monotonic clock.
struct TraceLine {
    double time = 0;
    QByteArray event;
    qint64 pid = 0;
};

/// The real XScreenSaver (Debian's `xscreensaver`) with the saver as its one display mode. It
/// launches no display mode as root, so a root test runs it as an unprivileged user of its
/// own, in a private home: its settings file, the saver's hives and folders, and a frame trace
/// all its copies share.
class XScreenSaverHost {
public:
    XScreenSaverHost(XvfbSession& session, const QByteArray& hiveLines)
        : session_(session), uid_(::getuid()), gid_(::getgid()) {
        if (QStandardPaths::findExecutable(QStringLiteral("xscreensaver")).isEmpty()) {
            unavailable = QStringLiteral("xscreensaver is not installed (scripts/install-deps)");
            return;
        }
        if (::geteuid() == 0) {
            // Two tests may add the user at once; the one that loses finds it made.
            if (::getpwnam(kUser) == nullptr) {
                QProcess::execute(QStringLiteral("useradd"),
                                  {QStringLiteral("--system"), QStringLiteral("--no-create-home"),
                                   QStringLiteral("--shell"), QStringLiteral("/usr/sbin/nologin"),
                                   QLatin1String(kUser)});
            }
            const passwd* user = ::getpwnam(kUser);
            if (user == nullptr) {
                unavailable = QStringLiteral("running as root, and no user could be made");
                return;
            }
            uid_ = user->pw_uid;
            gid_ = user->pw_gid;
        }
        const QByteArray hive = "Windows Registry Editor Version 5.00\n\n"
                                "[HKEY_CURRENT_USER\\Software\\Calderwick\\Nimbuscope]\n" +
                                hiveLines;
        write("config/nimbuscope/registry/HKEY_CURRENT_USER.reg", hive);
        // The saver reads the machine hive wherever its user may write it.
        write("xdg/nimbuscope/registry/HKEY_LOCAL_MACHINE.reg",
              QByteArray(hive).replace("HKEY_CURRENT_USER", "HKEY_LOCAL_MACHINE"));
        write(".xscreensaver", "mode: one\nselected: 0\ntimeout: 0:30:00\ncycle: 0:30:00\n"
                               "lock: False\nsplash: False\nfade: False\nunfade: False\n"
                               "programs: \"Nimbuscope\" " NIMBUSCOPE_SAVER_PROGRAM " /s \\n\\\n");
        QDir(home()).mkpath(QStringLiteral("tmp"));
        QDir(home()).mkpath(QStringLiteral("run"));
        QProcess::execute(QStringLiteral("chmod"), {QStringLiteral("755"), home()});
        QProcess::execute(QStringLiteral("chmod"), {QStringLiteral("700"), home() + "/run"});
        QProcess::execute(
            QStringLiteral("chown"),
            {QStringLiteral("-R"), QStringLiteral("%1:%2").arg(uid_).arg(gid_), home()});
    }
    ~XScreenSaverHost() {
        if (daemon_ && daemon_->isRunning() && command(QStringLiteral("exit"))) {
            daemon_->waitForEnd(5000);
        }
    }

    /// Starts `xscreensaver -no-splash -verbose` and waits until it answers commands. Its log
    /// goes to a file: a full pipe nobody reads would stop it.
    bool start() {
        daemon_ = runAsUser(QStringLiteral("xscreensaver"),
                            {QStringLiteral("-no-splash"), QStringLiteral("-verbose"),
                             QStringLiteral("-log"), home() + QStringLiteral("/xscreensaver.log")});
        return waitUntil([&] { return command(QStringLiteral("version")); }, 15000, 200);
    }
    /// Runs `xscreensaver-command -<what>`; true when it was accepted.
    bool command(const QString& what) {
        return runAsUser(QStringLiteral("xscreensaver-command"), {QLatin1Char('-') + what})
            ->succeeds(10000);
    }
    /// The saver started as XScreenSaver's settings start their preview: in `window`, named
    /// both by "--window-id" and by XSCREENSAVER_WINDOW.
    std::unique_ptr<ProgramRun> startPreviewCopy(quint32 window) {
        const QString id = QStringLiteral("0x%1").arg(window, 0, 16);
        return runAsUser(QStringLiteral(NIMBUSCOPE_SAVER_PROGRAM),
                         {QStringLiteral("/s"), QStringLiteral("--window-id"), id}, id);
    }
    QString home() const { return home_.path(); }
    QString log() const { return QString::fromLocal8Bit(read("xscreensaver.log")); }
    /// The shared frame trace so far, in time order.
    QList<TraceLine> trace() const {
        QList<TraceLine> lines;
        for (const QByteArray& text : read("trace.txt").split('\n')) {
            const QList<QByteArray> parts = text.split(' ');
            if (parts.size() >= 3) {
                lines.append({parts[0].toDouble(), parts[1], parts.last().toLongLong()});
            }
        }
        std::stable_sort(lines.begin(), lines.end(),
                         [](const TraceLine& a, const TraceLine& b) { return a.time < b.time; });
        return lines;
    }

    QString unavailable; // why the host cannot run here; the test skips with it

private:
    void write(const char* path, const QByteArray& bytes) const {
        const QString file = home() + u'/' + QLatin1String(path);
        QDir().mkpath(file.section(u'/', 0, -2));
        QFile out(file);
        EXPECT_TRUE(out.open(QIODevice::WriteOnly) && out.write(bytes) == bytes.size()) << path;
    }
    QByteArray read(const char* name) const {
        QFile file(home() + u'/' + QLatin1String(name));
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }
    /// `program` run by the host's user in its environment; setpriv replaces itself with the
    /// program, so the process is the program's own.
    std::unique_ptr<ProgramRun> runAsUser(const QString& program, const QStringList& arguments,
                                          const QString& window = {}) const {
        QProcessEnvironment env;
        const std::pair<const char*, QString> variables[] = {
            {"PATH", QStringLiteral("/usr/local/bin:/usr/bin:/bin")},
            {"LANG", QStringLiteral("C.UTF-8")},
            {"HOME", home()},
            {"XDG_CONFIG_HOME", home() + QStringLiteral("/config")},
            {"XDG_CONFIG_DIRS", home() + QStringLiteral("/xdg")},
            {"XDG_RUNTIME_DIR", home() + QStringLiteral("/run")},
            {"TMPDIR", home() + QStringLiteral("/tmp")},
            {"NIMBUSCOPE_FRAME_TRACE", home() + QStringLiteral("/trace.txt")}};
        for (const auto& [name, value] : variables) {
            env.insert(QLatin1String(name), value);
        }
        if (!window.isEmpty()) {
            env.insert(QStringLiteral("XSCREENSAVER_WINDOW"), window);
        }
        if (uid_ == ::getuid()) {
            return session_.run(program, arguments, env);
        }
        return std::make_unique<ProgramRun>(
            QStringLiteral("setpriv"),
            QStringList{QStringLiteral("--reuid=%1").arg(uid_),
                        QStringLiteral("--regid=%1").arg(gid_), QStringLiteral("--init-groups"),
                        QStringLiteral("--pdeathsig=SIGKILL"), QStringLiteral("--"), program} +
                arguments,
            session_.environment(env));
    }

    XvfbSession& session_;
    QTemporaryDir home_{QStringLiteral("/tmp/nimbuscope-host-XXXXXX")};
    std::unique_ptr<ProgramRun> daemon_;
    uint uid_;
    uint gid_;
};

bool radarIn(const std::function<QImage()>& grab) {
    return waitUntil([&] { return vividShare(grab()) > kRadarVivid; }, kRadarShownMs, 200);
}

/// Whether `screen` shows XScreenSaver's crash box: a red frame around its line, whose rows
/// span nearly the whole screen as no radar picture (600 wide) does.
bool crashBoxShown(const QImage& screen) {
    for (int y = 0; y < screen.height(); ++y) {
        int red = 0;
        for (int x = 0; x < screen.width(); ++x) {
            const QRgb pixel = screen.pixel(x, y);
            red += qRed(pixel) > 200 && qGreen(pixel) < 60 && qBlue(pixel) < 60 ? 1 : 0;
        }
        if (red > 0.8 * screen.width()) {
            return true;
        }
    }
    return false;
}

/// Empty when the copies took turns at the downloads: each "downloads" line comes after the
/// "end" of the copy that had them before, and only the copy with the turn starts passes.
QString downloadTurnsBroken(const QList<TraceLine>& trace) {
    qint64 holder = 0;
    QList<qint64> ended;
    for (const TraceLine& line : trace) {
        const QString at = QString::number(line.time, 'f', 3);
        if (line.event == "end") {
            ended.append(line.pid);
        } else if (line.event == "downloads") {
            if (holder != 0 && !ended.contains(holder)) {
                return QStringLiteral("%1 took the downloads at %2 while %3 still had them")
                    .arg(line.pid)
                    .arg(at)
                    .arg(holder);
            }
            holder = line.pid;
        } else if (line.event == "pass-start" && line.pid != holder) {
            return QStringLiteral("%1 started a pass at %2 without the downloads")
                .arg(line.pid)
                .arg(at);
        }
    }
    return {};
}

} // namespace

TEST(HostE2e, EveryCopyAnimatesOneDownloadsAtATimeAndNoneEverCrashes) {
    // preview: XScreenSaver's settings running their preview beside the full screen.
    const struct {
        const char* name;
        int screens, cycles;
        bool preview;
    } rows[] = {{"30 fast cycles", 1, 30, false},
                {"two X screens", 2, 0, false},
                {"the settings' preview beside the full screen", 1, 0, true}};
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        XvfbSession session(row.screens);
        ASSERT_RUNNING(session);
        NoaaSimRun sim(QStringLiteral(NIMBUSCOPE_NOAA_SIM), {});
        ASSERT_TRUE(sim.isListening()) << sim.describe().toStdString();
        XScreenSaverHost host(session, sim.registryLines() + "\"zipcode\"=\"64106\"\n"
                                                             "\"locationMode\"=dword:00000001\n");
        if (!host.unavailable.isEmpty()) {
            GTEST_SKIP() << host.unavailable.toStdString();
        }
        ASSERT_TRUE(host.start()) << host.log().toStdString();

        std::unique_ptr<ProgramRun> preview;
        if (row.preview) {
            const quint32 pane = session.x().createWindow({150, 100, 725, 407}, 0xff606060);
            preview = host.startPreviewCopy(pane);
            ASSERT_TRUE(radarIn([&] { return session.x().grabWindow(pane); }))
                << preview->describe().toStdString();
        }
        ASSERT_TRUE(host.command(QStringLiteral("activate")));
        for (int screen = 0; screen < row.screens; ++screen) {
            EXPECT_TRUE(radarIn([&] { return session.x().grabScreen(screen); }))
                << screen << host.log().toStdString();
        }
        for (int i = 0; i < row.cycles; ++i) {
            ASSERT_TRUE(host.command(QStringLiteral("cycle")));
            QThread::msleep(kCycleEveryMs);
            ASSERT_FALSE(crashBoxShown(session.x().grabScreen())) << "after cycle " << i;
        }
        const double settled =
            std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch())
                .count();
        QThread::msleep(kAnimatesWithinMs);
        // Each screen's copy, and the preview's, animates.
        QMap<qint64, int> animating;
        for (const TraceLine& line : host.trace()) {
            if (line.event == "frame" && line.time > settled) {
                ++animating[line.pid];
            }
        }
        EXPECT_EQ(animating.size(), row.screens + (row.preview ? 1 : 0));
        if (preview) {
            EXPECT_TRUE(animating.contains(preview->processId()));
        }
        for (int screen = 0; screen < row.screens; ++screen) {
            EXPECT_GT(vividShare(session.x().grabScreen(screen)), kRadarVivid) << screen;
            EXPECT_FALSE(crashBoxShown(session.x().grabScreen(screen))) << screen;
        }
        const QString log = host.log();
        EXPECT_FALSE(log.contains(QLatin1String("crashed"))) << log.toStdString();
        EXPECT_FALSE(log.contains(QLatin1String("abnormally"))) << log.toStdString();
        // Each cycle ends a copy in order, whatever it was writing.
        EXPECT_EQ(log.count(QLatin1String("exited normally with SIGTERM")), row.cycles);
        QDirIterator leftovers(host.home(), {QStringLiteral(".nimbuscope-write-*")},
                               QDir::Files | QDir::Hidden, QDirIterator::Subdirectories);
        EXPECT_FALSE(leftovers.hasNext()) << leftovers.next().toStdString();
        EXPECT_EQ(downloadTurnsBroken(host.trace()), QString());
    }
}
