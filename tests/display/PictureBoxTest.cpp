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

/// Shows `picture` in `box` as it is or, for an opaque one with `packed`, run-length packed.
void show(PictureBox& box, const QImage& picture, bool packed) {
    if (packed) {
        const PackedPicture runs = PackedPicture::pack(picture);
        ASSERT_FALSE(runs.isNull());
        box.setPicture(runs);
        EXPECT_TRUE(box.picture().isNull()) << "not unpacked when shown";
        EXPECT_EQ(box.pictureSize(), picture.size());
    } else {
        box.setPicture(picture);
        EXPECT_EQ(box.picture().format(), QImage::Format_Indexed8) << "kept small";
    }
}

/// What the box should show: its parent's background, then the picture at the corner.
QImage expected(const QImage& picture, QSize box, QColor background) {
    QImage out(box, QImage::Format_RGB32);
    out.fill(background);
    QPainter(&out).drawImage(QPoint(0, 0), picture);
    return out;
}

/// A parent whose own background shows yellow wherever the box leaves it visible.
void fillYellow(QWidget& parent, QSize size) {
    QPalette palette = parent.palette();
    palette.setColor(QPalette::Window, Qt::yellow);
    parent.setPalette(palette);
    parent.setAutoFillBackground(true);
    parent.resize(size);
}

} // namespace

TEST(PictureBoxTest, PalettePicturesShowTheirColoursOverTheBackground) {
    const struct {
        bool transparent;
        bool packed;
        QSize box;
    } rows[] = {
        {false, false, {4, 3}}, // covers the box: nothing beneath is painted
        {true, false, {4, 3}},  // see-through pixels show the parent
        {false, false, {6, 5}}, // smaller than the box: the rest is the parent
        {false, true, {4, 3}},  // packed, unpacked for a paint it cannot write directly
        {false, true, {6, 5}},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(testing::Message()
                     << row.transparent << " " << row.packed << " " << row.box.width());
        QWidget parent;
        fillYellow(parent, {20, 20});
        PictureBox box(&parent);
        box.setGeometry(QRect(QPoint(2, 2), row.box));
        const QImage picture = palettePicture(row.transparent);
        show(box, picture, row.packed);

        const QImage shown =
            parent.grab(box.geometry()).toImage().convertToFormat(QImage::Format_RGB32);
        EXPECT_EQ(shown, expected(picture, row.box, Qt::yellow));
    }
}
