#pragma once

#include "e2e/kit/ImageCompare.h"
#include "e2e/kit/Programs.h"

#include <QDeadlineTimer>
#include <QFile>
#include <QList>
#include <QRect>
#include <QTemporaryDir>

#include <csignal>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <sys/prctl.h>
#include <xcb/xcb.h>

/// In a test: stops it, saying why, when the X server did not come up.
#define ASSERT_RUNNING(session)                                                                    \
    ASSERT_TRUE((session).isRunning()) << (session).errorString().toStdString()

namespace nimbuscope::e2e {

/// A test's own X client: it makes and destroys windows (hosts for a program under test),
/// reads their geometry and grabs what they show. Every call has reached the server when it
/// returns; windows made here die with the connection.
class XClient {
public:
    /// Connects to `display` (":N"); a client that did not connect must not be used.
    explicit XClient(const QByteArray& display)
        : connection_(xcb_connect(display.constData(), nullptr)) {
        if (xcb_connection_has_error(connection_) != 0) {
            xcb_disconnect(connection_);
            connection_ = nullptr;
        }
    }
    ~XClient() {
        if (connection_ != nullptr) {
            xcb_disconnect(connection_);
        }
    }
    XClient(const XClient&) = delete;
    XClient& operator=(const XClient&) = delete;

    bool isConnected() const { return connection_ != nullptr; }
    /// A mapped, plain window on the first screen; 0 on failure.
    quint32 createWindow(const QRect& area, QRgb background) {
        const xcb_screen_t* s = screen(0);
        const xcb_window_t window = xcb_generate_id(connection_);
        // Xvfb's visuals are TrueColor with 8 bits a channel, so the pixel is the RGB value.
        const uint32_t values[] = {background & 0xffffffu};
        return s != nullptr &&
                       check(xcb_create_window_checked(
                           connection_, XCB_COPY_FROM_PARENT, window, s->root, int16_t(area.x()),
                           int16_t(area.y()), uint16_t(area.width()), uint16_t(area.height()), 0,
                           XCB_WINDOW_CLASS_INPUT_OUTPUT, s->root_visual, XCB_CW_BACK_PIXEL,
                           values)) &&
                       check(xcb_map_window_checked(connection_, window))
                   ? window
                   : 0;
    }
    bool resizeWindow(quint32 window, QSize size) {
        const uint32_t values[] = {uint32_t(size.width()), uint32_t(size.height())};
        const uint16_t mask = XCB_CONFIG_WINDOW_WIDTH | XCB_CONFIG_WINDOW_HEIGHT;
        return check(xcb_configure_window_checked(connection_, window, mask, values));
    }
    /// Destroys any client's window, as a host program or a window manager would.
    bool destroyWindow(quint32 window) {
        return check(xcb_destroy_window_checked(connection_, window));
    }
    /// A top-level window's area on its screen; null when it is gone.
    QRect windowGeometry(quint32 window) {
        const auto* g =
            xcb_get_geometry_reply(connection_, xcb_get_geometry(connection_, window), nullptr);
        const QRect area = g != nullptr ? QRect(g->x, g->y, g->width, g->height) : QRect();
        std::free((void*)g);
        return area;
    }
    /// What the screen, or the window with its children, shows now; null when it is gone.
    QImage grabScreen(int number = 0) {
        const xcb_screen_t* s = screen(number);
        return s ? grab(s->root, QSize(s->width_in_pixels, s->height_in_pixels)) : QImage();
    }
    QImage grabWindow(quint32 window) { return grab(window, windowGeometry(window).size()); }

private:
    xcb_screen_t* screen(int number) {
        xcb_screen_iterator_t it = xcb_setup_roots_iterator(xcb_get_setup(connection_));
        for (; number > 0 && it.rem > 0; --number) {
            xcb_screen_next(&it);
        }
        return it.rem > 0 ? it.data : nullptr;
    }
    bool check(xcb_void_cookie_t cookie) {
        xcb_generic_error_t* error = xcb_request_check(connection_, cookie);
        std::free(error);
        return error == nullptr;
    }
    QImage grab(quint32 drawable, QSize size) {
        xcb_get_image_reply_t* reply = xcb_get_image_reply(
            connection_,
            xcb_get_image(connection_, XCB_IMAGE_FORMAT_Z_PIXMAP, drawable, 0, 0,
                          uint16_t(size.width()), uint16_t(size.height()), ~0u),
            nullptr);
        // Only the layout Xvfb uses at depth 24 is read: 32 bits a pixel, least significant
        // byte first, so that a row is width * 4 bytes.
        const qsizetype rowBytes = qsizetype(size.width()) * 4;
        QImage image;
        if (reply != nullptr && !size.isEmpty() && reply->depth == 24 &&
            xcb_get_setup(connection_)->image_byte_order == XCB_IMAGE_ORDER_LSB_FIRST &&
            xcb_get_image_data_length(reply) == rowBytes * size.height()) {
            image = QImage(size, QImage::Format_RGB32);
            for (int y = 0; y < size.height(); ++y) {
                auto* line = reinterpret_cast<uint32_t*>(image.scanLine(y));
                std::memcpy(line, xcb_get_image_data(reply) + y * rowBytes, size_t(rowBytes));
                for (int x = 0; x < size.width(); ++x) {
                    line[x] |= 0xff000000u; // the server leaves the padding byte undefined
                }
            }
        }
        std::free(reply);
        return image;
    }

    xcb_connection_t* connection_;
};

/// A private Xvfb server of 1024x768 screens for one test on a free display, stopped with the
/// object or the test process. Programs run on it with the caller's environment plus DISPLAY
/// and the xcb platform; input goes through xdotool, as a user's would.
class XvfbSession {
public:
    explicit XvfbSession(int screenCount = 1) {
        const QString log = logDir_.filePath(QStringLiteral("xvfb.log"));
        server_.setStandardErrorFile(log);
        server_.setChildProcessModifier([] { ::prctl(PR_SET_PDEATHSIG, SIGTERM); });
        // It takes the first free display and writes its number once it accepts connections;
        // -noreset keeps its state when the last program under test disconnects.
        QStringList args = QStringLiteral("-displayfd 1 -nolisten tcp -noreset").split(u' ');
        for (int screen = 0; screen < screenCount; ++screen) {
            args << QStringLiteral("-screen") << QString::number(screen)
                 << QStringLiteral("1024x768x24");
        }
        server_.start(QStringLiteral("Xvfb"), args);
        QByteArray number;
        const QDeadlineTimer deadline(15000);
        while (!number.endsWith('\n') && server_.waitForReadyRead(int(deadline.remainingTime()))) {
            number += server_.readAllStandardOutput();
        }
        bool ok = false;
        display_ = number.trimmed().toInt(&ok);
        client_ = std::make_unique<XClient>(QByteArray(":") + QByteArray::number(display_));
        if (!ok || !client_->isConnected()) {
            QFile file(log);
            error_ = QStringLiteral("Xvfb did not start: %1 %2")
                         .arg(server_.errorString(),
                              file.open(QIODevice::ReadOnly)
                                  ? QString::fromLocal8Bit(file.readAll().right(2000))
                                  : QString());
            client_.reset();
        }
    }
    ~XvfbSession() {
        client_.reset(); // disconnect before the server goes
        server_.terminate();
        if (!server_.waitForFinished(5000)) {
            server_.kill();
            server_.waitForFinished(5000);
        }
    }
    XvfbSession(const XvfbSession&) = delete;
    XvfbSession& operator=(const XvfbSession&) = delete;

    bool isRunning() const { return client_ != nullptr; }
    QString errorString() const { return error_; }
    /// The test's own connection to the server (valid while isRunning()).
    XClient& x() { return *client_; }

    /// `base` pointed at this server, without the variables that could lead a program
    /// elsewhere.
    QProcessEnvironment
    environment(QProcessEnvironment base = QProcessEnvironment::systemEnvironment()) const {
        base.insert(QStringLiteral("DISPLAY"), QStringLiteral(":%1").arg(display_));
        base.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb"));
        base.remove(QStringLiteral("WAYLAND_DISPLAY"));
        base.remove(QStringLiteral("XAUTHORITY"));
        return base;
    }
    std::unique_ptr<ProgramRun>
    run(const QString& program, const QStringList& arguments,
        const QProcessEnvironment& base = QProcessEnvironment::systemEnvironment()) const {
        return std::make_unique<ProgramRun>(program, arguments, environment(base));
    }

    /// Ids of the mapped windows whose name matches the regular expression `namePattern`.
    QList<quint32> findWindows(const QString& namePattern) const {
        QByteArray found; // xdotool ends with status 1 when nothing matches
        xdotool({QStringLiteral("search"), QStringLiteral("--onlyvisible"),
                 QStringLiteral("--name"), namePattern},
                &found);
        QList<quint32> ids;
        for (const QByteArray& line : found.split('\n')) {
            bool ok = false;
            const quint32 id = line.trimmed().toUInt(&ok);
            if (ok) {
                ids.append(id);
            }
        }
        return ids;
    }
    /// The first such window within `timeoutMs`; 0 when none came.
    quint32 waitForWindow(const QString& namePattern, int timeoutMs) const {
        QList<quint32> ids;
        waitUntil([&] { return !(ids = findWindows(namePattern)).isEmpty(); }, timeoutMs);
        return ids.value(0, 0);
    }
    /// Presses and releases keys to the focused window: "Escape", "alt+x", several by blanks.
    bool key(const QString& keys) const {
        return xdotool(QStringList{QStringLiteral("key")} + keys.split(u' ', Qt::SkipEmptyParts));
    }
    bool mouseMoveBy(int dx, int dy) const {
        // "--" keeps a negative step from being read as an option.
        return xdotool({QStringLiteral("mousemove_relative"), QStringLiteral("--"),
                        QString::number(dx), QString::number(dy)});
    }
    /// Types `keys` into `window`: keys go to the window under the pointer, there being no
    /// window manager to give the focus.
    bool typeInto(quint32 window, const QString& keys) {
        const QPoint centre = client_->windowGeometry(window).center();
        return xdotool({QStringLiteral("mousemove"), QString::number(centre.x()),
                        QString::number(centre.y())}) &&
               key(keys);
    }

private:
    bool xdotool(const QStringList& arguments, QByteArray* output = nullptr) const {
        ProgramRun run(QStringLiteral("xdotool"), arguments, environment());
        const bool ok = run.succeeds(10000);
        if (output != nullptr) {
            *output = run.standardOutput();
        }
        return ok;
    }

    // In /tmp, like the server's own files, so a test's private TMPDIR sees only its program.
    QTemporaryDir logDir_{QStringLiteral("/tmp/nimbuscope-xvfb-XXXXXX")};
    QProcess server_;
    std::unique_ptr<XClient> client_;
    int display_ = -1;
    QString error_;
};

} // namespace nimbuscope::e2e
