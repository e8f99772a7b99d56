#pragma once

#include "pictures/PackedPicture.h"

#include <QImage>
#include <QRegion>
#include <QWidget>

class QPainter;

namespace nimbuscope {

/// A picture box: holds one picture and paints it at its top-left corner, cropped to the
/// box. With auto-size on, loading a picture sizes the box to it. The picture is kept until
/// replaced, so the box repaints by itself (persistent drawing). A picture scale other than 1
/// (a layout shrunk to a small window) paints the picture smoothly scaled by it.
class PictureBox : public QWidget {
    Q_OBJECT
public:
    explicit PictureBox(QWidget* parent = nullptr, bool autoSize = false);

    void setPicture(const QImage& picture);
    /// Shows a packed picture, painted from its runs; it is never unpacked for a paint
    /// that writes the window's raster image directly.
    void setPicture(const PackedPicture& picture);
    /// The picture shown, null while a packed picture is shown.
    const QImage& picture() const { return picture_; }
    /// The packed picture shown, or null.
    const PackedPicture& packedPicture() const { return packed_; }
    QSize pictureSize() const { return packed_.isNull() ? picture_.size() : packed_.size(); }
    /// The size the picture is painted at: its own, times the picture scale.
    QSize shownSize() const;
    void clearPicture();
    /// Paints the picture `scale` times its own size (and sizes an auto-size box to that).
    void setPictureScale(double scale);

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
    bool hasPicture() const { return !picture_.isNull() || !packed_.isNull(); }
    bool isOpaque() const { return !packed_.isNull() || !picture_.hasAlphaChannel(); }
    /// Whether the picture can be written straight into a 32-bit raster image.
    bool drawsDirectly() const;
    /// Paints an 8-bit picture by writing its pixels into the window's raster image.
    void paintDirect(QPainter& painter, QImage& device, const QRegion& exposed);
    void resetPicture(const QImage& picture, const PackedPicture& packed);

    QImage picture_;
    PackedPicture packed_;
    /// The picture in a format the screen's raster engine copies without converting each
    /// pixel, for pictures not written directly; made at the first paint, so a hidden box
    /// never pays for it. Pictures kept for a long time stay small (8-bit or packed).
    QImage painted_;
    bool autoSize_;
    double scale_ = 1.0;
};

} // namespace nimbuscope
