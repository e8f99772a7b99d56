#include "platform/X11Embedding.h"

#include <QCoreApplication>
#include <QGuiApplication>
#include <QWindow>

#include <cstdlib>
#include <xcb/xcb.h>

namespace nimbuscope {

namespace {

// The top bit of response_type marks events that another client sent.
constexpr uint8_t kEventTypeMask = 0x7f;

template <typename T> struct FreeDeleter {
    void operator()(T* p) const { std::free(p); }
};
template <typename T> using XcbReply = std::unique_ptr<T, FreeDeleter<T>>;

} // namespace

X11Embedding::X11Embedding() {
    if (const auto* x11 =
            qGuiApp ? qGuiApp->nativeInterface<QNativeInterface::QX11Application>() : nullptr) {
        connection_ = x11->connection();
    }
    if (connection_ != nullptr) {
        QCoreApplication::instance()->installNativeEventFilter(this);
    }
}

X11Embedding::~X11Embedding() {
    if (connection_ != nullptr && QCoreApplication::instance() != nullptr) {
        QCoreApplication::instance()->removeNativeEventFilter(this);
    }
}

bool X11Embedding::attach(quint32 hostId) {
    if (connection_ == nullptr || hostId == 0) {
        return false;
    }
    // Our interest adds to whatever this connection already selected on the host. Both
    // requests are checked, so a bogus id is refused here and now instead of as a stray
    // error later.
    xcb_generic_error_t* error = nullptr;
    const XcbReply<xcb_get_window_attributes_reply_t> attributes(xcb_get_window_attributes_reply(
        connection_, xcb_get_window_attributes(connection_, hostId), &error));
    if (!attributes) {
        std::free(error);
        return false;
    }
    const uint32_t mask = attributes->your_event_mask | XCB_EVENT_MASK_STRUCTURE_NOTIFY;
    error = xcb_request_check(connection_, xcb_change_window_attributes_checked(
                                               connection_, hostId, XCB_CW_EVENT_MASK, &mask));
    if (error != nullptr) {
        std::free(error);
        return false;
    }
    host_ = hostId;
    lastHostSize_ = hostSize();
    return true;
}

QSize X11Embedding::hostSize() {
    if (connection_ == nullptr || host_ == 0) {
        return {};
    }
    const XcbReply<xcb_get_geometry_reply_t> geometry(
        xcb_get_geometry_reply(connection_, xcb_get_geometry(connection_, host_), nullptr));
    return geometry ? QSize(geometry->width, geometry->height) : QSize();
}

void X11Embedding::embed(QWindow& window) {
    if (host_ == 0) {
        return;
    }
    // The foreign QWindow only stands for the host as a parent; it reports 0x0 itself.
    hostWindow_.reset(QWindow::fromWinId(host_));
    window.setParent(hostWindow_.get());
    window.setPosition(0, 0);
    own_ = static_cast<quint32>(window.winId());
}

void X11Embedding::watch(QWindow& window) {
    own_ = static_cast<quint32>(window.winId());
}

bool X11Embedding::nativeEventFilter(const QByteArray& eventType, void* message, qintptr*) {
    if (eventType != "xcb_generic_event_t") {
        return false;
    }
    const auto* event = static_cast<const xcb_generic_event_t*>(message);
    switch (event->response_type & kEventTypeMask) {
    case XCB_DESTROY_NOTIFY: {
        const auto* destroyed = static_cast<const xcb_destroy_notify_event_t*>(message);
        if ((own_ != 0 && destroyed->window == own_) ||
            (host_ != 0 && destroyed->window == host_)) {
            reportGone();
        }
        break;
    }
    case XCB_CONFIGURE_NOTIFY: {
        const auto* configured = static_cast<const xcb_configure_notify_event_t*>(message);
        const QSize size(configured->width, configured->height);
        if (host_ != 0 && configured->window == host_ && size != lastHostSize_) {
            lastHostSize_ = size;
            emit hostResized(size);
        }
        break;
    }
    default:
        break;
    }
    return false; // Qt keeps its own view of its windows
}

void X11Embedding::reportGone() {
    if (!gone_) {
        gone_ = true;
        emit windowGone();
    }
}

} // namespace nimbuscope
