#include "e2e/kit/XClient.h"

#include <QDeadlineTimer>
#include <QThread>

#include <cstdlib>
#include <cstring>
#include <memory>
#include <xcb/xcb.h>

namespace nimbuscope::e2e {

namespace {

constexpr uint8_t kEventTypeMask = 0x7f; // the top bit marks events sent by another client
constexpr int kPollMs = 5;
constexpr uint32_t kOpaque = 0xff000000u;
constexpr uint32_t kRgbMask = 0x00ffffffu;

struct Free {
    void operator()(void* p) const { std::free(p); }
};
template <typename T> using Reply = std::unique_ptr<T, Free>;

xcb_screen_t* screenOf(xcb_connection_t* c, int number) {
    if (c == nullptr || number < 0) {
        return nullptr;
    }
    xcb_screen_iterator_t it = xcb_setup_roots_iterator(xcb_get_setup(c));
    for (int i = 0; it.rem > 0; ++i, xcb_screen_next(&it)) {
        if (i == number) {
            return it.data;
        }
    }
    return nullptr;
}

int bitsPerPixel(xcb_connection_t* c, uint8_t depth) {
    const xcb_setup_t* setup = xcb_get_setup(c);
    const xcb_format_t* formats = xcb_setup_pixmap_formats(setup);
    for (int i = 0; i < xcb_setup_pixmap_formats_length(setup); ++i) {
        if (formats[i].depth == depth) {
            return formats[i].bits_per_pixel;
        }
    }
    return 0;
}

} // namespace

XClient::XClient(const QByteArray& display) {
    xcb_connection_t* c = xcb_connect(display.constData(), nullptr);
    if (xcb_connection_has_error(c) != 0) {
        xcb_disconnect(c);
        return;
    }
    connection_ = c;
}

XClient::~XClient() {
    if (connection_ != nullptr) {
        xcb_disconnect(connection_);
    }
}

int XClient::screenCount() const {
    return connection_ ? xcb_setup_roots_length(xcb_get_setup(connection_)) : 0;
}

quint32 XClient::rootWindow(int screen) const {
    const xcb_screen_t* s = screenOf(connection_, screen);
    return s ? s->root : 0;
}

QSize XClient::screenSize(int screen) const {
    const xcb_screen_t* s = screenOf(connection_, screen);
    return s ? QSize(s->width_in_pixels, s->height_in_pixels) : QSize();
}

bool XClient::check(unsigned int cookieSequence) {
    xcb_generic_error_t* error = xcb_request_check(connection_, xcb_void_cookie_t{cookieSequence});
    std::free(error);
    return error == nullptr;
}

quint32 XClient::createWindow(const QRect& geometry, QRgb background, int screen,
                              const QString& name) {
    const xcb_screen_t* s = screenOf(connection_, screen);
    if (s == nullptr || geometry.isEmpty()) {
        return 0;
    }
    const xcb_window_t window = xcb_generate_id(connection_);
    // Xvfb's visuals are TrueColor with 8 bits a channel, so the pixel is the RGB value.
    const uint32_t values[] = {background & kRgbMask};
    const bool made =
        check(xcb_create_window_checked(
                  connection_, XCB_COPY_FROM_PARENT, window, s->root,
                  static_cast<int16_t>(geometry.x()), static_cast<int16_t>(geometry.y()),
                  static_cast<uint16_t>(geometry.width()), static_cast<uint16_t>(geometry.height()),
                  0, XCB_WINDOW_CLASS_INPUT_OUTPUT, s->root_visual, XCB_CW_BACK_PIXEL, values)
                  .sequence);
    if (!made) {
        return 0;
    }
    if (!name.isEmpty()) {
        const QByteArray bytes = name.toLatin1();
        xcb_change_property(connection_, XCB_PROP_MODE_REPLACE, window, XCB_ATOM_WM_NAME,
                            XCB_ATOM_STRING, 8, static_cast<uint32_t>(bytes.size()),
                            bytes.constData());
    }
    return check(xcb_map_window_checked(connection_, window).sequence) ? window : 0;
}

bool XClient::resizeWindow(quint32 window, QSize size) {
    const uint32_t values[] = {static_cast<uint32_t>(size.width()),
                               static_cast<uint32_t>(size.height())};
    return connection_ && check(xcb_configure_window_checked(
                                    connection_, window,
                                    XCB_CONFIG_WINDOW_WIDTH | XCB_CONFIG_WINDOW_HEIGHT, values)
                                    .sequence);
}

bool XClient::destroyWindow(quint32 window) {
    return connection_ && check(xcb_destroy_window_checked(connection_, window).sequence);
}

bool XClient::windowExists(quint32 window) {
    return connection_ &&
           Reply<xcb_get_window_attributes_reply_t>(xcb_get_window_attributes_reply(
               connection_, xcb_get_window_attributes(connection_, window), nullptr)) != nullptr;
}

QRect XClient::windowGeometry(quint32 window) {
    if (connection_ == nullptr) {
        return {};
    }
    const Reply<xcb_get_geometry_reply_t> geometry(
        xcb_get_geometry_reply(connection_, xcb_get_geometry(connection_, window), nullptr));
    if (!geometry) {
        return {};
    }
    const Reply<xcb_translate_coordinates_reply_t> origin(xcb_translate_coordinates_reply(
        connection_, xcb_translate_coordinates(connection_, window, geometry->root, 0, 0),
        nullptr));
    if (!origin) {
        return {};
    }
    return {origin->dst_x, origin->dst_y, geometry->width, geometry->height};
}

QList<quint32> XClient::children(quint32 window) {
    QList<quint32> result;
    if (connection_ == nullptr) {
        return result;
    }
    const Reply<xcb_query_tree_reply_t> tree(
        xcb_query_tree_reply(connection_, xcb_query_tree(connection_, window), nullptr));
    if (tree) {
        const xcb_window_t* ids = xcb_query_tree_children(tree.get());
        const int count = xcb_query_tree_children_length(tree.get());
        result = QList<quint32>(ids, ids + count);
    }
    return result;
}

QImage XClient::grabScreen(int screen) {
    return grab(rootWindow(screen), screenSize(screen));
}

QImage XClient::grabWindow(quint32 window) {
    return grab(window, windowGeometry(window).size());
}

QImage XClient::grab(quint32 drawable, QSize size) {
    if (connection_ == nullptr || drawable == 0 || size.isEmpty()) {
        return {};
    }
    const Reply<xcb_get_image_reply_t> reply(
        xcb_get_image_reply(connection_,
                            xcb_get_image(connection_, XCB_IMAGE_FORMAT_Z_PIXMAP, drawable, 0, 0,
                                          static_cast<uint16_t>(size.width()),
                                          static_cast<uint16_t>(size.height()), ~0u),
                            nullptr));
    // Only the layout Xvfb uses at depth 24 is read: 32 bits a pixel, least significant
    // byte first, rows padded to 32 bits (so no padding at all).
    if (!reply || bitsPerPixel(connection_, reply->depth) != 32 ||
        xcb_get_setup(connection_)->image_byte_order != XCB_IMAGE_ORDER_LSB_FIRST) {
        return {};
    }
    const qsizetype rowBytes = qsizetype(size.width()) * 4;
    if (xcb_get_image_data_length(reply.get()) < rowBytes * size.height()) {
        return {};
    }
    QImage image(size, QImage::Format_RGB32);
    const uint8_t* data = xcb_get_image_data(reply.get());
    for (int y = 0; y < size.height(); ++y) {
        auto* line = reinterpret_cast<uint32_t*>(image.scanLine(y));
        std::memcpy(line, data + y * rowBytes, static_cast<size_t>(rowBytes));
        for (int x = 0; x < size.width(); ++x) {
            line[x] |= kOpaque; // the server leaves the padding byte undefined
        }
    }
    return image;
}

bool XClient::watchInput(quint32 window) {
    const uint32_t mask =
        XCB_EVENT_MASK_KEY_PRESS | XCB_EVENT_MASK_BUTTON_PRESS | XCB_EVENT_MASK_POINTER_MOTION;
    return connection_ &&
           check(xcb_change_window_attributes_checked(connection_, window, XCB_CW_EVENT_MASK, &mask)
                     .sequence);
}

bool XClient::focusWindow(quint32 window) {
    return connection_ &&
           check(xcb_set_input_focus_checked(connection_, XCB_INPUT_FOCUS_POINTER_ROOT, window,
                                             XCB_CURRENT_TIME)
                     .sequence);
}

std::optional<InputEvent> XClient::waitForInput(int timeoutMs) {
    if (connection_ == nullptr) {
        return std::nullopt;
    }
    const QDeadlineTimer deadline(timeoutMs);
    while (true) {
        const Reply<xcb_generic_event_t> event(xcb_poll_for_event(connection_));
        if (!event) {
            if (deadline.hasExpired() || xcb_connection_has_error(connection_) != 0) {
                return std::nullopt;
            }
            QThread::msleep(kPollMs);
            continue;
        }
        // Key, button and motion events share one layout.
        const auto* input = reinterpret_cast<const xcb_key_press_event_t*>(event.get());
        const QPoint position(input->event_x, input->event_y);
        switch (event->response_type & kEventTypeMask) {
        case XCB_KEY_PRESS:
            return InputEvent{InputEvent::Kind::KeyPress, input->event, input->detail, position};
        case XCB_BUTTON_PRESS:
            return InputEvent{InputEvent::Kind::ButtonPress, input->event, input->detail, position};
        case XCB_MOTION_NOTIFY:
            return InputEvent{InputEvent::Kind::Motion, input->event, 0, position};
        default:
            break;
        }
    }
}

QPoint XClient::pointerPosition() {
    if (connection_ == nullptr) {
        return {};
    }
    const Reply<xcb_query_pointer_reply_t> pointer(xcb_query_pointer_reply(
        connection_, xcb_query_pointer(connection_, rootWindow(0)), nullptr));
    return pointer ? QPoint(pointer->root_x, pointer->root_y) : QPoint();
}

} // namespace nimbuscope::e2e
