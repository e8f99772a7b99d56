#pragma once

#include "e2e/kit/Programs.h"

#include <QImage>
#include <QList>
#include <QRect>
#include <QRgb>
#include <QTemporaryDir>

#include <memory>

struct xcb_connection_t;

/// In a test: stops it, saying why, when the X server did not come up.
#define ASSERT_RUNNING(session)                                                                    \
    ASSERT_TRUE((session).isRunning()) << (session).errorString().toStdString()

namespace nimbuscope::e2e {

/// A test's own X client: it makes and destroys windows (hosts for a program under test),
/// reads their geometry and grabs what they show. Every call has reached the server when it
/// returns; windows made here die with the connection.
class XClient {
public:
    /// Connects to `display` (":N"); see isConnected().
    explicit XClient(const QByteArray& display);
    ~XClient();
    XClient(const XClient&) = delete;
    XClient& operator=(const XClient&) = delete;

    bool isConnected() const { return connection_ != nullptr; }
    /// A mapped, plain window on the first screen; 0 on failure.
    quint32 createWindow(const QRect& area, QRgb background);
    bool resizeWindow(quint32 window, QSize size);
    /// Destroys any client's window, as a host program or a window manager would.
    bool destroyWindow(quint32 window);
    /// A top-level window's area on its screen; null when it is gone.
    QRect windowGeometry(quint32 window);
    /// What the screen, or the window with its children, shows now; null when it is gone.
    QImage grabScreen(int screen = 0);
    QImage grabWindow(quint32 window);

private:
    QImage grab(quint32 drawable, QSize size);
    bool check(unsigned int cookieSequence);

    xcb_connection_t* connection_ = nullptr;
};

/// A private Xvfb server of 1024x768 screens for one test on a free display, stopped with the
/// object or the test process. Programs run on it with the caller's environment plus DISPLAY
/// and the xcb platform; input goes through xdotool, as a user's would.
class XvfbSession {
public:
    explicit XvfbSession(int screenCount = 1);
    ~XvfbSession();
    XvfbSession(const XvfbSession&) = delete;
    XvfbSession& operator=(const XvfbSession&) = delete;

    bool isRunning() const { return client_ != nullptr; }
    QString errorString() const { return error_; }
    /// The test's own connection to the server (valid while isRunning()).
    XClient& x() { return *client_; }

    /// `base` pointed at this server, without the variables that could lead a program
    /// elsewhere (WAYLAND_DISPLAY, XAUTHORITY).
    QProcessEnvironment
    environment(const QProcessEnvironment& base = QProcessEnvironment::systemEnvironment()) const;
    std::unique_ptr<ProgramRun>
    run(const QString& program, const QStringList& arguments,
        const QProcessEnvironment& base = QProcessEnvironment::systemEnvironment()) const;

    /// Ids of the mapped windows whose name matches the regular expression `namePattern`.
    QList<quint32> findWindows(const QString& namePattern) const;
    /// The first such window within `timeoutMs`; 0 when none came.
    quint32 waitForWindow(const QString& namePattern, int timeoutMs) const;
    /// Presses and releases keys to the focused window: "Escape", "alt+x", several by blanks.
    bool key(const QString& keys) const;
    bool mouseMoveBy(int dx, int dy) const;
    /// Types `keys` into `window`: keys go to the window under the pointer, there being no
    /// window manager to give the focus.
    bool typeInto(quint32 window, const QString& keys);

private:
    bool xdotool(const QStringList& arguments, QByteArray* output = nullptr) const;

    // In /tmp, like the server's own files, so a test's private TMPDIR sees only its program.
    QTemporaryDir logDir_{QStringLiteral("/tmp/nimbuscope-xvfb-XXXXXX")};
    std::unique_ptr<QProcess> server_;
    std::unique_ptr<XClient> client_;
    int display_ = -1;
    QString error_;
};

} // namespace nimbuscope::e2e
