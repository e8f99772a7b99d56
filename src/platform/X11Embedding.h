#pragma once

#include "platform/WindowEmbedding.h"

#include <QAbstractNativeEventFilter>

#include <memory>

struct xcb_connection_t;

namespace nimbuscope {

/// WindowEmbedding on the X server that Qt's xcb platform is connected to. Qt does not
/// notice a foreign parent being destroyed, so the embedding reads the server's events
/// itself: DestroyNotify for our window or the host, ConfigureNotify for the host. On any
/// other platform nothing can be attached.
class X11Embedding final : public WindowEmbedding, public QAbstractNativeEventFilter {
public:
    /// Uses the running QGuiApplication's X11 connection, when it has one.
    X11Embedding();
    ~X11Embedding() override;
    X11Embedding(const X11Embedding&) = delete;
    X11Embedding& operator=(const X11Embedding&) = delete;

    /// True when Qt runs on X11.
    bool available() const { return connection_ != nullptr; }

    bool attach(quint32 hostId) override;
    QSize hostSize() override;
    void embed(QWindow& window) override;
    void watch(QWindow& window) override;

    bool nativeEventFilter(const QByteArray& eventType, void* message, qintptr* result) override;

private:
    void reportGone();

    xcb_connection_t* connection_ = nullptr;
    quint32 host_ = 0;
    quint32 own_ = 0;
    QSize lastHostSize_;
    bool gone_ = false;
    std::unique_ptr<QWindow> hostWindow_;
};

} // namespace nimbuscope
