#pragma once

#include "e2e/kit/ProgramRun.h"

#include <QByteArray>
#include <QImage>
#include <QList>
#include <QProcessEnvironment>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

#include <memory>

namespace nimbuscope::e2e {

class XvfbSession;

/// One line of a frame trace (NIMBUSCOPE_FRAME_TRACE): "<time> <event> ... <pid>".
struct TraceLine {
    double time = 0; // seconds on the monotonic clock
    QByteArray event;
    qint64 pid = 0;
};
/// Seconds on the monotonic clock, as the trace has them.
double monotonicNow();

/// The real XScreenSaver (Debian's `xscreensaver`) on a test's X server, with the saver as
/// its one display mode ("mode: one"). XScreenSaver launches no display mode as root, so
/// where the test runs as root it runs as an unprivileged user the kit makes, in a private
/// home of that user's: its settings file, the saver's hives and folders, and a frame trace
/// all its copies share.
class XScreenSaverHost {
public:
    static constexpr const char* kUser = "nimbuscope-e2e";

    /// Prepares the home for the saver program `saver`; `hiveLines` are its settings
    /// (registry editor lines).
    XScreenSaverHost(XvfbSession& session, QString saver, const QByteArray& hiveLines);
    /// Asks XScreenSaver to exit, then kills what is left of it.
    ~XScreenSaverHost();
    XScreenSaverHost(const XScreenSaverHost&) = delete;
    XScreenSaverHost& operator=(const XScreenSaverHost&) = delete;

    /// Why the host cannot run here (the test skips with it); empty when it can.
    const QString& unavailable() const { return unavailable_; }
    /// Starts `xscreensaver -no-splash -verbose` and waits until it answers commands.
    bool start();
    /// Runs `xscreensaver-command -<what>`; true when it was accepted.
    bool command(const QString& what);
    /// Starts the saver as XScreenSaver's settings start their preview: in `window`, named
    /// both by "--window-id" and by XSCREENSAVER_WINDOW.
    std::unique_ptr<ProgramRun> startPreviewCopy(quint32 window);

    /// The home of the host and of every copy it starts: their settings, cache and trace.
    QString home() const { return home_.path(); }
    /// XScreenSaver's verbose log so far.
    QString log() const;
    /// The shared frame trace so far.
    QList<TraceLine> trace() const;

private:
    /// `program` with `arguments` run by the host's user in its environment.
    std::unique_ptr<ProgramRun> runAsUser(const QString& program, const QStringList& arguments,
                                          const QString& window = {}) const;

    XvfbSession& session_;
    QString saver_;
    QTemporaryDir home_{QStringLiteral("/tmp/nimbuscope-host-XXXXXX")};
    std::unique_ptr<ProgramRun> daemon_;
    QString unavailable_;
    uint uid_ = 0; // another user's when the test runs as root
    uint gid_ = 0;
};

/// Whether `screen` shows XScreenSaver's crash box: a red frame around its line, whose rows
/// span nearly the whole screen as no radar picture does.
bool crashBoxShown(const QImage& screen);

/// Checks that copies took turns at the downloads: each "downloads" line comes after the
/// "end" of the copy that had them before, and only the copy with the turn starts passes.
/// Empty when they did; otherwise what went wrong.
QString downloadTurnsBroken(const QList<TraceLine>& trace);

} // namespace nimbuscope::e2e
