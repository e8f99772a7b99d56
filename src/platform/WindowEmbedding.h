#pragma once

#include <QObject>
#include <QSize>

class QWindow;

namespace nimbuscope {

/// Puts a window of ours inside a window of another program (the preview area whose id a
/// screen-saver host hands over) and reports what becomes of it. The other program owns the
/// host: it resizes it and destroys it, with our window inside, whenever it likes.
class WindowEmbedding : public QObject {
    Q_OBJECT

public:
    /// Starts watching the foreign window `hostId` for resizes and destruction. False when
    /// no such window can be reached (no X11 display, or the server rejects the id); then
    /// nothing has changed.
    virtual bool attach(quint32 hostId) = 0;
    /// The attached host's size now; empty when it cannot be asked.
    virtual QSize hostSize() = 0;
    /// Makes `window` a child of the attached host at its top-left corner and watches it
    /// for destruction. The embedding must outlive `window`.
    virtual void embed(QWindow& window) = 0;
    /// Watches `window`, which stands on its own, for destruction by someone else.
    virtual void watch(QWindow& window) = 0;

signals:
    /// The host now has `size`.
    void hostResized(QSize size);
    /// The watched window (or the host, and our window with it) was destroyed. Sent once.
    void windowGone();
};

} // namespace nimbuscope
