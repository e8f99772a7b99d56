#include "display/PictureBox.h"

#include <QMouseEvent>
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
    if (painted_.isNull()) {
        painted_ = paintable(picture_);
    }
    QPainter painter(this);
    const QRect exposed = event->rect();
    painter.drawImage(exposed.topLeft(), painted_, exposed);
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
