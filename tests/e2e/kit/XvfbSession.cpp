#include "e2e/kit/XvfbSession.h"

#include "e2e/kit/ImageCompare.h"

#include <QDeadlineTimer>
#include <QFile>

#include <csignal>
#include <cstdlib>
#include <cstring>
#include <sys/prctl.h>
#include <xcb/xcb.h>

namespace nimbuscope::e2e {

namespace {

struct Free {
    void operator()(void* p) const { std::free(p); }
};
template <typename T> using Reply = std::unique_ptr<T, Free>;

xcb_screen_t* screenOf(xcb_connection_t* c, int number) {
    xcb_screen_iterator_t it = xcb_setup_roots_iterator(xcb_get_setup(c));
    for (; number > 0 && it.rem > 0; --number) {
        xcb_screen_next(&it);
    }
    return it.rem > 0 ? it.data : nullptr;
}

} // namespace

// A client that did not connect is never used: the kit's users check isConnected() first.
XClient::XClient(const QByteArray& display)
    : connection_(xcb_connect(display.constData(), nullptr)) {
    if (xcb_connection_has_error(connection_) != 0) {
        xcb_disconnect(connection_);
        connection_ = nullptr;
    }
}

XClient::~XClient() {
    if (connection_ != nullptr) {
        xcb_disconnect(connection_);
    }
}

bool XClient::check(unsigned int cookieSequence) {
    xcb_generic_error_t* error = xcb_request_check(connection_, xcb_void_cookie_t{cookieSequence});
    std::free(error);
    return error == nullptr;
}

quint32 XClient::createWindow(const QRect& area, QRgb background) {
    const xcb_screen_t* s = screenOf(connection_, 0);
    if (s == nullptr || area.isEmpty()) {
        return 0;
    }
    const xcb_window_t window = xcb_generate_id(connection_);
    // Xvfb's visuals are TrueColor with 8 bits a channel, so the pixel is the RGB value.
    const uint32_t values[] = {background & 0xffffffu};
    const bool made =
        check(xcb_create_window_checked(
                  connection_, XCB_COPY_FROM_PARENT, window, s->root, int16_t(area.x()),
                  int16_t(area.y()), uint16_t(area.width()), uint16_t(area.height()), 0,
                  XCB_WINDOW_CLASS_INPUT_OUTPUT, s->root_visual, XCB_CW_BACK_PIXEL, values)
                  .sequence);
    return made && check(xcb_map_window_checked(connection_, window).sequence) ? window : 0;
}

bool XClient::resizeWindow(quint32 window, QSize size) {
    const uint32_t values[] = {uint32_t(size.width()), uint32_t(size.height())};
    const uint16_t mask = XCB_CONFIG_WINDOW_WIDTH | XCB_CONFIG_WINDOW_HEIGHT;
    return check(xcb_configure_window_checked(connection_, window, mask, values).sequence);
}

bool XClient::destroyWindow(quint32 window) {
    return check(xcb_destroy_window_checked(connection_, window).sequence);
}

QRect XClient::windowGeometry(quint32 window) {
    const Reply<xcb_get_geometry_reply_t> geometry(
        xcb_get_geometry_reply(connection_, xcb_get_geometry(connection_, window), nullptr));
    return geometry ? QRect(geometry->x, geometry->y, geometry->width, geometry->height) : QRect();
}

QImage XClient::grabScreen(int screen) {
    const xcb_screen_t* s = screenOf(connection_, screen);
    return s ? grab(s->root, QSize(s->width_in_pixels, s->height_in_pixels)) : QImage();
}

QImage XClient::grabWindow(quint32 window) {
    return grab(window, windowGeometry(window).size());
}

QImage XClient::grab(quint32 drawable, QSize size) {
    if (size.isEmpty()) {
        return {};
    }
    const Reply<xcb_get_image_reply_t> reply(
        xcb_get_image_reply(connection_,
                            xcb_get_image(connection_, XCB_IMAGE_FORMAT_Z_PIXMAP, drawable, 0, 0,
                                          uint16_t(size.width()), uint16_t(size.height()), ~0u),
                            nullptr));
    // Only the layout Xvfb uses at depth 24 is read: 32 bits a pixel, least significant byte
    // first, so that a row is width * 4 bytes.
    const qsizetype rowBytes = qsizetype(size.width()) * 4;
    if (!reply || reply->depth != 24 ||
        xcb_get_setup(connection_)->image_byte_order != XCB_IMAGE_ORDER_LSB_FIRST ||
        xcb_get_image_data_length(reply.get()) != rowBytes * size.height()) {
        return {};
    }
    QImage image(size, QImage::Format_RGB32);
    const uint8_t* data = xcb_get_image_data(reply.get());
    for (int y = 0; y < size.height(); ++y) {
        auto* line = reinterpret_cast<uint32_t*>(image.scanLine(y));
        std::memcpy(line, data + y * rowBytes, size_t(rowBytes));
        for (int x = 0; x < size.width(); ++x) {
            line[x] |= 0xff000000u; // the server leaves the padding byte undefined
        }
    }
    return image;
}

namespace {
constexpr int kStartTimeoutMs = 15000;
constexpr int kStopTimeoutMs = 5000;
constexpr int kToolTimeoutMs = 10000;
} // namespace

XvfbSession::XvfbSession(int screenCount) : server_(std::make_unique<QProcess>()) {
    const QString log = logDir_.filePath(QStringLiteral("xvfb.log"));
    server_->setStandardErrorFile(log);
    // The server must not outlive a test that crashes.
    server_->setChildProcessModifier([] { ::prctl(PR_SET_PDEATHSIG, SIGTERM); });
    // It takes the first free display and writes its number once it accepts connections;
    // -noreset keeps its state when the last program under test disconnects.
    QStringList args{QStringLiteral("-displayfd"), QStringLiteral("1"), QStringLiteral("-nolisten"),
                     QStringLiteral("tcp"), QStringLiteral("-noreset")};
    for (int screen = 0; screen < screenCount; ++screen) {
        args << QStringLiteral("-screen") << QString::number(screen)
             << QStringLiteral("1024x768x24");
    }
    server_->start(QStringLiteral("Xvfb"), args);
    QByteArray number;
    const QDeadlineTimer deadline(kStartTimeoutMs);
    while (!number.endsWith('\n') && server_->waitForReadyRead(int(deadline.remainingTime()))) {
        number += server_->readAllStandardOutput();
    }
    bool ok = false;
    display_ = number.trimmed().toInt(&ok);
    client_ = std::make_unique<XClient>(QByteArray(":") + QByteArray::number(display_));
    if (!ok || !client_->isConnected()) {
        QFile file(log);
        error_ =
            QStringLiteral("Xvfb did not start: ") + server_->errorString() + u' ' +
            (file.open(QIODevice::ReadOnly) ? QString::fromLocal8Bit(file.readAll().right(2000))
                                            : QString());
        client_.reset();
    }
}

XvfbSession::~XvfbSession() {
    client_.reset(); // disconnect before the server goes
    server_->terminate();
    if (!server_->waitForFinished(kStopTimeoutMs)) {
        server_->kill();
        server_->waitForFinished(kStopTimeoutMs);
    }
}

QProcessEnvironment XvfbSession::environment(const QProcessEnvironment& base) const {
    QProcessEnvironment env = base;
    env.insert(QStringLiteral("DISPLAY"), QStringLiteral(":%1").arg(display_));
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb"));
    env.remove(QStringLiteral("WAYLAND_DISPLAY"));
    env.remove(QStringLiteral("XAUTHORITY"));
    return env;
}

std::unique_ptr<ProgramRun> XvfbSession::run(const QString& program, const QStringList& arguments,
                                             const QProcessEnvironment& base) const {
    return std::make_unique<ProgramRun>(program, arguments, environment(base));
}

bool XvfbSession::xdotool(const QStringList& arguments, QByteArray* output) const {
    ProgramRun run(QStringLiteral("xdotool"), arguments, environment());
    const bool ok = run.succeeds(kToolTimeoutMs);
    if (output != nullptr) {
        *output = run.standardOutput();
    }
    return ok;
}

QList<quint32> XvfbSession::findWindows(const QString& namePattern) const {
    QByteArray found; // xdotool ends with status 1 when nothing matches
    xdotool({QStringLiteral("search"), QStringLiteral("--onlyvisible"), QStringLiteral("--name"),
             namePattern},
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

quint32 XvfbSession::waitForWindow(const QString& namePattern, int timeoutMs) const {
    QList<quint32> ids;
    waitUntil([&] { return !(ids = findWindows(namePattern)).isEmpty(); }, timeoutMs);
    return ids.value(0, 0);
}

bool XvfbSession::key(const QString& keys) const {
    return xdotool(QStringList{QStringLiteral("key")} +
                   keys.split(QLatin1Char(' '), Qt::SkipEmptyParts));
}

bool XvfbSession::mouseMoveBy(int dx, int dy) const {
    // "--" keeps a negative step from being read as an option.
    return xdotool({QStringLiteral("mousemove_relative"), QStringLiteral("--"), QString::number(dx),
                    QString::number(dy)});
}

bool XvfbSession::typeInto(quint32 window, const QString& keys) {
    const QPoint centre = client_->windowGeometry(window).center();
    return xdotool({QStringLiteral("mousemove"), QString::number(centre.x()),
                    QString::number(centre.y())}) &&
           key(keys);
}

} // namespace nimbuscope::e2e
