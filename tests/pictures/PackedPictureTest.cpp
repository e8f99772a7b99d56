#include "pictures/PackedPicture.h"

#include "noaa-sim/RadarGif.h"
#include "pictures/FramePicture.h"
#include "pictures/KeptPicture.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <functional>

using namespace nimbuscope;

namespace {

constexpr qsizetype kRawFrameBytes = 600 * 550;
constexpr int kMaxRun = PackedPicture::kMaxRun;

/// An opaque palette picture of `size` whose pixel (x, y) is `index(x, y)`.
QImage paletted(QSize size, const std::function<int(int, int)>& index, int colours = 16) {
    QImage picture(size, QImage::Format_Indexed8);
    QList<QRgb> table;
    for (int i = 0; i < colours; ++i) {
        table.append(qRgb(i * 15, 255 - i * 7, (i * 53) % 256));
    }
    picture.setColorTable(table);
    // Written straight into the rows: setPixel refuses indexes beyond the table.
    for (int y = 0; y < size.height(); ++y) {
        uchar* row = picture.scanLine(y);
        for (int x = 0; x < size.width(); ++x) {
            row[x] = uchar(index(x, y));
        }
    }
    return picture;
}

/// Whether two 8-bit pictures hold the same indexes and table. QImage's own comparison looks
/// every index up in the table, which reads out of bounds for indexes beyond it.
bool sameIndexes(const QImage& a, const QImage& b) {
    if (a.size() != b.size() || a.format() != b.format() || a.colorTable() != b.colorTable()) {
        return false;
    }
    for (int y = 0; y < a.height(); ++y) {
        if (std::memcmp(a.constScanLine(y), b.constScanLine(y), std::size_t(a.width())) != 0) {
            return false;
        }
    }
    return true;
}

QImage simFrame(const char* site, const char* product, int minute) {
    using namespace std::chrono;
    const sys_seconds time = sys_days{year{2026} / December / 5} + hours{18} + minutes{minute};
    const std::string gif = noaasim::radarFrameGif(site, product, time);
    return decodePicture(QByteArray(gif.data(), qsizetype(gif.size())));
}

/// Runs of many lengths in one-byte and two-byte colours, and noise rows, so that clip edges
/// fall inside runs, on their ends and inside raw rows.
QImage mixedRows() {
    return paletted(
        {700, 12},
        [](int x, int y) {
            if (y % 4 == 3) {
                return (x * 7 + y * 3) % 13; // no two neighbours alike
            }
            return y % 2 == 0 ? (x / (y + 1)) % 48 : (x < 600 ? 2 : 40);
        },
        48);
}

/// `picture` drawn the reference way into a `device` filled with a marker colour: the part
/// `target` of the picture placed at `origin`, alpha forced opaque.
QImage referenceDraw(const QImage& picture, QImage device, QRect target, QPoint origin) {
    const QImage rgb = picture.convertToFormat(QImage::Format_RGB32);
    const QRect part = target & device.rect() & QRect(origin, picture.size());
    for (int y = part.top(); y <= part.bottom(); ++y) {
        for (int x = part.left(); x <= part.right(); ++x) {
            device.setPixel(x, y, rgb.pixel(x - origin.x(), y - origin.y()) | 0xff000000u);
        }
    }
    return device;
}

} // namespace

TEST(PackedPictureTest, RoundTripIsExact) {
    const auto byRun = [](int x, int) { return x / kMaxRun; };
    const struct {
        const char* quirk;
        QImage picture;
    } rows[] = {
        {"one pixel", paletted({1, 1}, [](int, int) { return 3; })},
        {"a colour beyond the one-byte runs", paletted(
                                                  {1, 1}, [](int, int) { return 200; }, 256)},
        {"runs of the longest length", paletted({kMaxRun * 2, 2}, byRun)},
        {"one pixel longer than a record", paletted({kMaxRun + 1, 1}, byRun)},
        {"runs of four and five",
         paletted(
             {203, 2}, [](int x, int y) { return (x / (4 + y)) % 40; }, 40)},
        {"raw and run rows mixed", mixedRows()},
        {"indexes beyond the colour table", paletted(
                                                {5, 2}, [](int x, int) { return x * 40; }, 4)},
        {"empty colour table", paletted(
                                   {9, 2}, [](int, int) { return 0; }, 0)},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.quirk);
        const PackedPicture packed = PackedPicture::pack(row.picture);
        ASSERT_FALSE(packed.isNull());
        EXPECT_EQ(packed.size(), row.picture.size());
        EXPECT_TRUE(sameIndexes(packed.unpack(), row.picture));
    }
}

TEST(PackedPictureTest, SimFramesPackExactlyToAFractionOfTheirPixels) {
    qsizetype largest = 0;
    for (const char* site : {"KEAX", "KATX"}) {
        for (const char* product : {"DS.p19r0", "DS.p20-r"}) {
            SCOPED_TRACE(testing::Message() << site << " " << product);
            const QImage decoded = simFrame(site, product, 35);
            ASSERT_EQ(decoded.size(), QSize(600, 550));
            const KeptPicture kept = KeptPicture::compact(decoded);
            ASSERT_TRUE(kept.isPacked());
            EXPECT_EQ(kept.packed().unpack().convertToFormat(QImage::Format_RGB32),
                      decoded.convertToFormat(QImage::Format_RGB32));
            largest = std::max(largest, kept.byteCount());
        }
    }
    EXPECT_LT(largest, kRawFrameBytes / 4);
}

// The 8-bit picture, unpacked, goes through the same rows: runs of eight equal indexes and
// mixed ones, cut at columns that are no multiple of eight.
TEST(PackedPictureTest, BothDrawsWriteExactlyTheTargetLikeAConversion) {
    const QImage picture = mixedRows();
    const PackedPicture packed = PackedPicture::pack(picture);
    const struct {
        const char* quirk;
        QRect target;
        QPoint origin;
    } rows[] = {
        {"whole picture", {0, 0, 700, 12}, {0, 0}},
        {"cuts runs on both sides", {3, 1, 250, 9}, {0, 0}},
        {"one pixel on the last column", {699, 11, 1, 1}, {0, 0}},
        {"placed inside the device", {10, 5, 200, 7}, {7, 4}},
        {"target beyond picture and device", {-20, -3, 900, 30}, {20, 2}},
        {"picture partly off the device's left", {0, 0, 100, 8}, {-350, 0}},
    };
    for (const QImage::Format format :
         {QImage::Format_RGB32, QImage::Format_ARGB32, QImage::Format_ARGB32_Premultiplied}) {
        QImage blank(760, 20, format);
        blank.fill(qRgba(1, 2, 3, 4));
        for (const auto& row : rows) {
            SCOPED_TRACE(testing::Message() << row.quirk << " format " << int(format));
            const QImage expected = referenceDraw(picture, blank, row.target, row.origin);
            QImage device = blank.copy();
            packed.drawInto(device, row.target, row.origin);
            EXPECT_EQ(device, expected);
            // drawIndexedInto is given only what lies on both, as the picture box does.
            device = blank.copy();
            const QRect part = row.target & device.rect() & QRect(row.origin, picture.size());
            drawIndexedInto(device, picture, part, row.origin);
            EXPECT_EQ(device, expected);
        }
    }
}
