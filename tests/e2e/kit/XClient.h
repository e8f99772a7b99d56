#pragma once

#include <QByteArray>
#include <QImage>
#include <QList>
#include <QRect>
#include <QRgb>

struct xcb_connection_t;

namespace nimbuscope::e2e {

/// A test's own X client: it makes and destroys windows (hosts for a program under test),
/// reads their geometry and tree and grabs what they show. Every call has reached the server
/// when it returns. Windows made here die with the connection.
class XClient {
public:
    /// Connects to `display` (":N"); see isConnected().
    explicit XClient(const QByteArray& display);
    ~XClient();
    XClient(const XClient&) = delete;
    XClient& operator=(const XClient&) = delete;

    bool isConnected() const { return connection_ != nullptr; }
    /// A mapped, plain window filled with `background`, at `geometry` on `screen`; 0 on failure.
    quint32 createWindow(const QRect& area, QRgb background, int screen = 0);
    bool resizeWindow(quint32 window, QSize size);
    /// Destroys any client's window, as a host program or a window manager would.
    bool destroyWindow(quint32 window);
    /// The window's area in its screen's root coordinates; null when it is gone.
    QRect windowGeometry(quint32 window);
    /// The window's children, bottom first; empty when it has none or is gone.
    QList<quint32> children(quint32 window);
    /// What the screen, or the window with its children, shows now (Format_RGB32); null when
    /// it is gone or not viewable.
    QImage grabScreen(int screen = 0);
    QImage grabWindow(quint32 window);

private:
    QImage grab(quint32 drawable, QSize size);
    bool check(unsigned int cookieSequence);

    xcb_connection_t* connection_ = nullptr;
};

} // namespace nimbuscope::e2e
