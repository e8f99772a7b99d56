#pragma once

#include "e2e/kit/ProgramRun.h"
#include "e2e/kit/XClient.h"

#include <QByteArray>
#include <QList>
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

/// How the virtual X server is made.
struct XvfbOptions {
    QSize screenSize{800, 600};
    /// Separate X screens (:N.0, :N.1, ...), all of `screenSize`.
    int screenCount = 1;
    /// Fills the root with the classic weave instead of black, so that a test can tell a
    /// covered screen from an uncovered one.
    bool retro = false;
};

/// What a short helper program (xdotool and the like) did.
struct ToolResult {
    bool finished = false; // started and ended within the time allowed
    int exitCode = -1;
    QByteArray output;
    QByteArray errors;
    bool ok() const { return finished && exitCode == 0; }
};

/// A private Xvfb server for one test: started on a free display number in the
/// constructor, stopped in the destructor (and killed with the test process if that dies
/// first). Programs under test run on it with the caller's environment (say a TestWorld's)
/// plus DISPLAY and the xcb platform. A test must fail when isRunning() is false:
///     XvfbSession x;
///     ASSERT_TRUE(x.isRunning()) << x.errorString().toStdString();
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
    /// ":N"
    QString displayName() const;
    /// Stops the server; programs still connected lose their display.
    void stop();

    /// The test's own connection to the server (valid while isRunning()).
    XClient& x() { return *client_; }

    /// `base` with DISPLAY set to this server and Qt told to use it (QT_QPA_PLATFORM=xcb);
    /// variables that could lead a program elsewhere (WAYLAND_DISPLAY, XAUTHORITY) removed.
    QProcessEnvironment
    environment(const QProcessEnvironment& base = QProcessEnvironment::systemEnvironment()) const;
    /// Starts `program` on this display with environment(base).
    std::unique_ptr<ProgramRun>
    run(const QString& program, const QStringList& arguments,
        const QProcessEnvironment& base = QProcessEnvironment::systemEnvironment()) const;
    /// Runs a short helper program on this display and waits for it.
    ToolResult tool(const QString& program, const QStringList& arguments,
                    int timeoutMs = 10000) const;

    /// Ids of the windows whose name matches the regular expression `namePattern`
    /// (xdotool search --name), on every screen; mapped ones only when `onlyVisible`.
    QList<quint32> findWindows(const QString& namePattern, bool onlyVisible = false) const;
    /// The first window matching `namePattern` within `timeoutMs`; 0 when none came.
    quint32 waitForWindow(const QString& namePattern, int timeoutMs, bool onlyVisible = true) const;
    /// Presses and releases keys through the XTEST extension, to the focused window, as a
    /// user would: "Escape", "Return", "a", "ctrl+c", several separated by blanks.
    bool key(const QString& keys) const;
    /// Moves the pointer to `position` on `screen`.
    bool mouseMove(QPoint position, int screen = 0) const;
    /// Moves the pointer by `delta` from where it is.
    bool mouseMoveBy(QPoint delta) const;
    /// Presses and releases a mouse button (1 left, 2 middle, 3 right) where the pointer is.
    bool click(int button = 1) const;

private:
    bool tryDisplay(int number, const XvfbOptions& options);
    QStringList serverArguments(int number, const XvfbOptions& options) const;
    QString serverLog() const;

    // In /tmp, like the server's own files, so a test's private TMPDIR sees only its program.
    QTemporaryDir logDir_{QStringLiteral("/tmp/nimbuscope-xvfb-XXXXXX")};
    std::unique_ptr<QProcess> server_;
    std::unique_ptr<XClient> client_;
    int display_ = -1;
    QString error_;
};

} // namespace nimbuscope::e2e
