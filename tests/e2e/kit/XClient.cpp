#include "e2e/kit/XClient.h"

#include <cstdlib>
#include <cstring>
#include <memory>
#include <xcb/xcb.h>

namespace nimbuscope::e2e {

namespace {

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

bool XClient::check(unsigned int cookieSequence) {
    xcb_generic_error_t* error = xcb_request_check(connection_, xcb_void_cookie_t{cookieSequence});
    std::free(error);
    return error == nullptr;
}

quint32 XClient::createWindow(const QRect& geometry, QRgb background, int screen) {
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
    const xcb_screen_t* s = screenOf(connection_, screen);
    return s ? grab(s->root, QSize(s->width_in_pixels, s->height_in_pixels)) : QImage();
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

} // namespace nimbuscope::e2e
