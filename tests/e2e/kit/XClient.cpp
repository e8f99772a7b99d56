#include "e2e/kit/XClient.h"

#include <cstdlib>
#include <cstring>
#include <memory>
#include <xcb/xcb.h>

namespace nimbuscope::e2e {

namespace {

struct Free {
    void operator()(void* p) const { std::free(p); }
};
template <typename T> using Reply = std::unique_ptr<T, Free>;

xcb_screen_t* screenOf(xcb_connection_t* c, int number) {
    xcb_screen_iterator_t it = xcb_setup_roots_iterator(xcb_get_setup(c));
    for (int i = 0; it.rem > 0; ++i, xcb_screen_next(&it)) {
        if (i == number) {
            return it.data;
        }
    }
    return nullptr;
}

} // namespace

// A client that did not connect is never used: the kit's users check isConnected() first.
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

quint32 XClient::createWindow(const QRect& area, QRgb background, int screen) {
    const xcb_screen_t* s = screenOf(connection_, screen);
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
    return check(xcb_configure_window_checked(connection_, window,
                                              XCB_CONFIG_WINDOW_WIDTH | XCB_CONFIG_WINDOW_HEIGHT,
                                              values)
                     .sequence);
}

bool XClient::destroyWindow(quint32 window) {
    return check(xcb_destroy_window_checked(connection_, window).sequence);
}

QRect XClient::windowGeometry(quint32 window) {
    const Reply<xcb_get_geometry_reply_t> geometry(
        xcb_get_geometry_reply(connection_, xcb_get_geometry(connection_, window), nullptr));
    const Reply<xcb_translate_coordinates_reply_t> origin(
        geometry
            ? xcb_translate_coordinates_reply(
                  connection_, xcb_translate_coordinates(connection_, window, geometry->root, 0, 0),
                  nullptr)
            : nullptr);
    return origin ? QRect(origin->dst_x, origin->dst_y, geometry->width, geometry->height)
                  : QRect();
}

QList<quint32> XClient::children(quint32 window) {
    const Reply<xcb_query_tree_reply_t> tree(
        xcb_query_tree_reply(connection_, xcb_query_tree(connection_, window), nullptr));
    if (!tree) {
        return {};
    }
    const xcb_window_t* ids = xcb_query_tree_children(tree.get());
    return QList<quint32>(ids, ids + xcb_query_tree_children_length(tree.get()));
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

} // namespace nimbuscope::e2e
