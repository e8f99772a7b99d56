#include "display/PictureBox.h"

#include <QMouseEvent>
#include <QPaintEngine>
#include <QPaintEvent>
#include <QPainter>
#include <QResizeEvent>

#include <array>

namespace nimbuscope {

PictureBox::PictureBox(QWidget* parent, bool autoSize) : QWidget(parent), autoSize_(autoSize) {
    setAttribute(Qt::WA_OpaquePaintEvent, false);
}

namespace {

QImage paintable(const QImage& picture) {
    switch (picture.format()) {
    case QImage::Format_RGB32:
    case QImage::Format_ARGB32_Premultiplied:
        return picture;
    default:
        return picture.convertToFormat(
            picture.hasAlphaChannel() ? QImage::Format_ARGB32_Premultiplied : QImage::Format_RGB32);
    }
}

/// Writes the 8-bit picture's pixels straight into a 32-bit raster target through its colour
/// table: one pass per frame instead of a conversion into a second picture and a copy of it.
/// `target` is the part of `device` to fill; `origin` is where the picture's top-left lands.
void drawIndexedInto(QImage& device, const QImage& picture, const QRect& target, QPoint origin) {
    const QList<QRgb> table = picture.colorTable();
    std::array<QRgb, 256> lut{};
    for (qsizetype i = 0; i < table.size() && i < qsizetype(lut.size()); ++i) {
        lut[std::size_t(i)] = table[i] | 0xff000000u;
    }
    for (int y = target.top(); y <= target.bottom(); ++y) {
        const uchar* src = picture.constScanLine(y - origin.y()) + (target.left() - origin.x());
        auto* dst = reinterpret_cast<QRgb*>(device.scanLine(y)) + target.left();
        for (int x = 0; x < target.width(); ++x) {
            dst[x] = lut[src[x]];
        }
    }
}

/// The raster image a painter on a widget draws into, when the picture may be written there
/// directly: an opaque 8-bit picture, a 32-bit target and no scaling or rotation.
QImage* directTarget(QPainter& painter, const QImage& picture) {
    if (picture.format() != QImage::Format_Indexed8 || picture.hasAlphaChannel()) {
        return nullptr;
    }
    QPaintEngine* engine = painter.paintEngine();
    QPaintDevice* device = engine != nullptr ? engine->paintDevice() : nullptr;
    if (device == nullptr || device->devType() != QInternal::Image ||
        painter.deviceTransform().type() > QTransform::TxTranslate) {
        return nullptr;
    }
    auto* image = static_cast<QImage*>(device);
    const QImage::Format format = image->format();
    const bool fits = format == QImage::Format_RGB32 ||
                      format == QImage::Format_ARGB32_Premultiplied ||
                      format == QImage::Format_ARGB32;
    return fits && image->devicePixelRatio() == 1.0 ? image : nullptr;
}

} // namespace

void PictureBox::setPicture(const QImage& picture) {
    picture_ = picture;
    painted_ = QImage();
    if (autoSize_ && !picture_.isNull()) {
        resize(picture_.size());
    }
    updateOpaque();
    update();
}

void PictureBox::clearPicture() {
    picture_ = QImage();
    painted_ = QImage();
    updateOpaque();
    update();
}

void PictureBox::updateOpaque() {
    const bool covers = !picture_.isNull() && !picture_.hasAlphaChannel() &&
                        picture_.width() >= width() && picture_.height() >= height();
    setAttribute(Qt::WA_OpaquePaintEvent, covers);
}

void PictureBox::resizeEvent(QResizeEvent* event) {
    updateOpaque();
    QWidget::resizeEvent(event);
}

void PictureBox::paintEvent(QPaintEvent* event) {
    if (picture_.isNull()) {
        return;
    }
    QPainter painter(this);
    const QRect exposed = event->rect();
    if (QImage* device = directTarget(painter, picture_)) {
        paintDirect(painter, *device, event->region());
        return;
    }
    if (painted_.isNull()) {
        painted_ = paintable(picture_);
    }
    painter.drawImage(exposed.topLeft(), painted_, exposed);
}

void PictureBox::paintDirect(QPainter& painter, QImage& device, const QRegion& exposed) {
    const QPoint offset(int(painter.deviceTransform().dx()), int(painter.deviceTransform().dy()));
    // What the painter may touch: the exposed part of the picture, within the clip the
    // window gave this paint (siblings above the box are cut out of it).
    QRegion region = exposed.intersected(QRect(QPoint(0, 0), picture_.size())).translated(offset);
    const QRegion clip = painter.paintEngine()->systemClip();
    if (!clip.isEmpty()) {
        region = region.intersected(clip);
    }
    region = region.intersected(device.rect());
    for (const QRect& part : region) {
        drawIndexedInto(device, picture_, part, offset);
    }
}

void PictureBox::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton && rect().contains(event->position().toPoint())) {
        emit clicked();
    }
    QWidget::mouseReleaseEvent(event);
}

void PictureBox::mouseDoubleClickEvent(QMouseEvent* event) {
    emit doubleClicked();
    QWidget::mouseDoubleClickEvent(event);
}

} // namespace nimbuscope
