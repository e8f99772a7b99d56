#pragma once

#include <QByteArray>
#include <QImage>
#include <QList>
#include <QPoint>
#include <QRect>
#include <QRgb>
#include <QString>

#include <optional>

struct xcb_connection_t;

namespace nimbuscope::e2e {

/// One thing a watched window received from the X server.
struct InputEvent {
    enum class Kind { KeyPress, ButtonPress, Motion };
    Kind kind = Kind::KeyPress;
    quint32 window = 0;
    int detail = 0;  // key code or button number; 0 for motion
    QPoint position; // relative to the window
};

/// A test's own X client: it makes and destroys windows (hosts for a program under test),
/// reads their geometry and tree, grabs screen contents into QImages and watches input
/// that reaches its windows. Everything is synchronous: each call has reached the server
/// when it returns. Windows made here die with the connection.
class XClient {
public:
    /// Connects to `display` (":N"); see isConnected().
    explicit XClient(const QByteArray& display);
    ~XClient();
    XClient(const XClient&) = delete;
    XClient& operator=(const XClient&) = delete;

    bool isConnected() const { return connection_ != nullptr; }
    int screenCount() const;
    /// 0 for a screen that does not exist.
    quint32 rootWindow(int screen = 0) const;
    QSize screenSize(int screen = 0) const;

    /// A mapped, plain window filled with `background`, at `geometry` on `screen`, named
    /// `name` when given. 0 on failure.
    quint32 createWindow(const QRect& geometry, QRgb background, int screen = 0,
                         const QString& name = {});
    bool resizeWindow(quint32 window, QSize size);
    /// Destroys any client's window, as a host program or a window manager would.
    bool destroyWindow(quint32 window);
    bool windowExists(quint32 window);
    /// The window's area inside its border, in the coordinates of its screen's root; null
    /// when it is gone.
    QRect windowGeometry(quint32 window);
    /// The window's children, bottom first; empty when it has none or is gone.
    QList<quint32> children(quint32 window);

    /// What the screen shows now (Format_RGB32); null on failure.
    QImage grabScreen(int screen = 0);
    /// What the window shows now, its children included (Format_RGB32); null when it is gone
    /// or not viewable.
    QImage grabWindow(quint32 window);

    /// Starts reporting key presses, button presses and pointer motion on `window`.
    bool watchInput(quint32 window);
    /// Gives `window` the keyboard focus, so that keys sent without a target reach it.
    bool focusWindow(quint32 window);
    /// The next watched input, waiting up to `timeoutMs`; other events are dropped.
    std::optional<InputEvent> waitForInput(int timeoutMs);
    /// Where the pointer is, in root coordinates of the screen it is on.
    QPoint pointerPosition();

private:
    QImage grab(quint32 drawable, QSize size);
    bool check(unsigned int cookieSequence);

    xcb_connection_t* connection_ = nullptr;
};

} // namespace nimbuscope::e2e
