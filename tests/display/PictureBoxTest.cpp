#include "display/PictureBox.h"

#include <QPainter>
#include <gtest/gtest.h>

using namespace nimbuscope;

namespace {

/// A 4x3 palette picture; with `transparent` its colour 0 is see-through.
QImage palettePicture(bool transparent) {
    QImage picture(4, 3, QImage::Format_Indexed8);
    picture.setColorTable(
        {transparent ? qRgba(0, 0, 0, 0) : qRgb(0, 0, 255), qRgb(255, 0, 0), qRgb(0, 200, 0)});
    for (int y = 0; y < picture.height(); ++y) {
        for (int x = 0; x < picture.width(); ++x) {
            picture.setPixel(x, y, uint((x + y) % 3));
        }
    }
    return picture;
}

/// What the box should show: its parent's background, then the picture at the corner.
QImage expected(const QImage& picture, QSize box, QColor background) {
    QImage out(box, QImage::Format_RGB32);
    out.fill(background);
    QPainter(&out).drawImage(QPoint(0, 0), picture);
    return out;
}

} // namespace

TEST(PictureBoxTest, PalettePicturesShowTheirColoursOverTheBackground) {
    const struct {
        bool transparent;
        QSize box;
    } rows[] = {
        {false, {4, 3}}, // covers the box: nothing beneath is painted
        {true, {4, 3}},  // see-through pixels show the parent
        {false, {6, 5}}, // smaller than the box: the rest is the parent
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(testing::Message() << row.transparent << " " << row.box.width());
        QWidget parent;
        QPalette palette = parent.palette();
        palette.setColor(QPalette::Window, Qt::yellow);
        parent.setPalette(palette);
        parent.setAutoFillBackground(true);
        parent.resize(20, 20);
        PictureBox box(&parent);
        box.setGeometry(QRect(QPoint(2, 2), row.box));
        const QImage picture = palettePicture(row.transparent);
        box.setPicture(picture);
        EXPECT_EQ(box.picture().format(), QImage::Format_Indexed8) << "kept small";

        const QImage shown =
            parent.grab(box.geometry()).toImage().convertToFormat(QImage::Format_RGB32);
        EXPECT_EQ(shown, expected(picture, row.box, Qt::yellow));
    }
}

TEST(PictureBoxTest, PalettePictureRenderedIntoAnImageKeepsPlaceCropAndSiblingsAbove) {
    QWidget parent;
    QPalette palette = parent.palette();
    palette.setColor(QPalette::Window, Qt::yellow);
    parent.setPalette(palette);
    parent.setAutoFillBackground(true);
    parent.resize(20, 16);
    PictureBox box(&parent);
    box.setGeometry(5, 4, 3, 2); // smaller than the picture: cropped
    const QImage picture = palettePicture(false);
    box.setPicture(picture);
    QWidget above(&parent);
    above.setGeometry(6, 5, 4, 4);
    QPalette red = above.palette();
    red.setColor(QPalette::Window, Qt::red);
    above.setPalette(red);
    above.setAutoFillBackground(true);

    for (const QPoint target : {QPoint(0, 0), QPoint(3, 2)}) {
        SCOPED_TRACE(testing::Message() << target.x() << "," << target.y());
        QImage shown(30, 24, QImage::Format_RGB32);
        shown.fill(Qt::black);
        parent.render(&shown, target);

        QImage want(30, 24, QImage::Format_RGB32);
        want.fill(Qt::black);
        QPainter painter(&want);
        painter.fillRect(QRect(target, parent.size()), Qt::yellow);
        painter.drawImage(target + box.pos(), picture, QRect(QPoint(0, 0), box.size()));
        painter.fillRect(above.geometry().translated(target), Qt::red);
        painter.end();
        EXPECT_EQ(shown, want);
    }
}
