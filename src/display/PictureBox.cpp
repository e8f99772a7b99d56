#include "display/PictureBox.h"

#include <QMouseEvent>
#include <QPainter>

namespace nimbuscope {

PictureBox::PictureBox(QWidget* parent, bool autoSize) : QWidget(parent), autoSize_(autoSize) {
    setAttribute(Qt::WA_OpaquePaintEvent, false);
}

void PictureBox::setPicture(const QImage& picture) {
    picture_ = picture;
    if (autoSize_ && !picture_.isNull()) {
        resize(picture_.size());
    }
    update();
}

void PictureBox::clearPicture() {
    picture_ = QImage();
    update();
}

void PictureBox::paintEvent(QPaintEvent*) {
    if (picture_.isNull()) {
        return;
    }
    QPainter painter(this);
    painter.drawImage(QPoint(0, 0), picture_);
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
