#include "display/PictureBox.h"

#include "display/FrameLayout.h"

#include <QMouseEvent>
#include <QPaintEngine>
#include <QPaintEvent>
#include <QPainter>
#include <QResizeEvent>

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

/// The raster image a painter on a widget draws into, when a picture may be written there
/// directly: a 32-bit target and no scaling or rotation.
QImage* directTarget(QPainter& painter) {
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
    resetPicture(picture, PackedPicture());
}

void PictureBox::setPicture(const PackedPicture& picture) {
    resetPicture(QImage(), picture);
}

void PictureBox::clearPicture() {
    resetPicture(QImage(), PackedPicture());
}

QSize PictureBox::shownSize() const {
    return scale_ == 1.0 ? pictureSize() : scaledSize(pictureSize(), scale_);
}

void PictureBox::setPictureScale(double scale) {
    if (scale == scale_ || !(scale > 0.0)) {
        return;
    }
    scale_ = scale;
    resetPicture(picture_, packed_);
}

void PictureBox::resetPicture(const QImage& picture, const PackedPicture& packed) {
    picture_ = picture;
    packed_ = packed;
    painted_ = QImage();
    if (autoSize_ && hasPicture()) {
        resize(shownSize());
    }
    updateOpaque();
    update();
}

bool PictureBox::drawsDirectly() const {
    return scale_ == 1.0 && (!packed_.isNull() || (picture_.format() == QImage::Format_Indexed8 &&
                                                   !picture_.hasAlphaChannel()));
}

void PictureBox::updateOpaque() {
    const QSize size = shownSize();
    const bool covers =
        hasPicture() && isOpaque() && size.width() >= width() && size.height() >= height();
    setAttribute(Qt::WA_OpaquePaintEvent, covers);
}

void PictureBox::resizeEvent(QResizeEvent* event) {
    updateOpaque();
    QWidget::resizeEvent(event);
}

void PictureBox::paintEvent(QPaintEvent* event) {
    if (!hasPicture()) {
        return;
    }
    QPainter painter(this);
    const QRect exposed = event->rect();
    QImage* device = drawsDirectly() ? directTarget(painter) : nullptr;
    if (device != nullptr) {
        paintDirect(painter, *device, event->region());
        return;
    }
    if (painted_.isNull()) {
        const QImage own = packed_.isNull() ? picture_ : packed_.unpack();
        painted_ = paintable(scale_ == 1.0 ? own
                                           : own.scaled(shownSize(), Qt::IgnoreAspectRatio,
                                                        Qt::SmoothTransformation));
    }
    painter.drawImage(exposed.topLeft(), painted_, exposed);
}

void PictureBox::paintDirect(QPainter& painter, QImage& device, const QRegion& exposed) {
    const QPoint offset(int(painter.deviceTransform().dx()), int(painter.deviceTransform().dy()));
    // What the painter may touch: the exposed part of the picture, within the clip the
    // window gave this paint (siblings above the box are cut out of it).
    QRegion region = exposed.intersected(QRect(QPoint(0, 0), pictureSize())).translated(offset);
    const QRegion clip = painter.paintEngine()->systemClip();
    if (!clip.isEmpty()) {
        region = region.intersected(clip);
    }
    region = region.intersected(device.rect());
    for (const QRect& part : region) {
        if (packed_.isNull()) {
            drawIndexedInto(device, picture_, part, offset);
        } else {
            packed_.drawInto(device, part, offset);
        }
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
