#pragma once

#include "e2e/kit/ProgramRun.h"
#include "e2e/kit/XClient.h"

#include <QPoint>
#include <QProcess>
#include <QProcessEnvironment>
#include <QSize>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

#include <memory>

/// In a test: stops it, saying why, when the X server did not come up.
#define ASSERT_RUNNING(session)                                                                    \
    ASSERT_TRUE((session).isRunning()) << (session).errorString().toStdString()

namespace nimbuscope::e2e {

/// How the virtual X server is made: `screenCount` separate X screens (:N.0, :N.1 ...).
struct XvfbOptions {
    QSize screenSize{800, 600};
    int screenCount = 1;
};

/// A private Xvfb server for one test: started on a free display in the constructor,
/// stopped in the destructor (and killed with the test process if that dies first). Programs
/// run on it with the caller's environment (say a TestWorld's) plus DISPLAY and the xcb
/// platform. Input goes through xdotool, as a user's would.
class XvfbSession {
public:
    explicit XvfbSession(const XvfbOptions& options = {});
    ~XvfbSession();
    XvfbSession(const XvfbSession&) = delete;
    XvfbSession& operator=(const XvfbSession&) = delete;

    bool isRunning() const { return client_ != nullptr; }
    /// Why the server is not running.
    QString errorString() const { return error_; }
    int displayNumber() const { return display_; }
    QString displayName() const { return QStringLiteral(":%1").arg(display_); }
    /// The test's own connection to the server (valid while isRunning()).
    XClient& x() { return *client_; }

    /// `base` with DISPLAY set to this server and Qt told to use it; variables that could
    /// lead a program elsewhere (WAYLAND_DISPLAY, XAUTHORITY) removed.
    QProcessEnvironment
    environment(const QProcessEnvironment& base = QProcessEnvironment::systemEnvironment()) const;
    /// Starts `program` on this display with environment(base).
    std::unique_ptr<ProgramRun>
    run(const QString& program, const QStringList& arguments,
        const QProcessEnvironment& base = QProcessEnvironment::systemEnvironment()) const;

    /// Ids of the windows whose name matches the regular expression `namePattern`, on every
    /// screen; mapped ones only when `onlyVisible`.
    QList<quint32> findWindows(const QString& namePattern, bool onlyVisible = false) const;
    /// The first window matching `namePattern` within `timeoutMs`; 0 when none came.
    quint32 waitForWindow(const QString& namePattern, int timeoutMs, bool onlyVisible = true) const;
    /// Presses and releases keys to the focused window: "Escape", "alt+x", several by blanks.
    bool key(const QString& keys) const;
    /// Moves the pointer to `position` on the first screen, or by `delta` from where it is.
    bool mouseMove(QPoint position) const;
    bool mouseMoveBy(QPoint delta) const;

private:
    /// Runs xdotool on this display; true when it ended with status 0.
    bool xdotool(const QStringList& arguments, QByteArray* output = nullptr) const;

    // In /tmp, like the server's own files, so a test's private TMPDIR sees only its program.
    QTemporaryDir logDir_{QStringLiteral("/tmp/nimbuscope-xvfb-XXXXXX")};
    std::unique_ptr<QProcess> server_;
    std::unique_ptr<XClient> client_;
    int display_ = -1;
    QString error_;
};

} // namespace nimbuscope::e2e
