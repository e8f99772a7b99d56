#pragma once

#include <QImage>
#include <QRegion>
#include <QWidget>

class QPainter;

namespace nimbuscope {

/// A picture box: holds one picture and paints it at its top-left corner, cropped to the
/// box. With auto-size on, loading a picture sizes the box to it. The picture is kept until
/// replaced, so the box repaints by itself (persistent drawing).
class PictureBox : public QWidget {
    Q_OBJECT
public:
    explicit PictureBox(QWidget* parent = nullptr, bool autoSize = false);

    void setPicture(const QImage& picture);
    const QImage& picture() const { return picture_; }
    void clearPicture();

signals:
    void clicked();
    void doubleClicked();

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;

private:
    /// An opaque picture that covers the box paints every pixel, so nothing beneath it
    /// needs painting first.
    void updateOpaque();
    /// Paints an 8-bit picture by writing its pixels into the window's raster image.
    void paintDirect(QPainter& painter, QImage& device, const QRegion& exposed);

    QImage picture_;
    /// The picture in a format the screen's raster engine copies without converting each
    /// pixel, for pictures not written directly; made at the first paint, so a hidden box
    /// never pays for it. Pictures kept for a long time stay small (8-bit) in picture_.
    QImage painted_;
    bool autoSize_;
};

} // namespace nimbuscope
