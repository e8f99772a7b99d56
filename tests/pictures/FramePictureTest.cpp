#include "pictures/FramePicture.h"

#include "common/DisplayTestRig.h"
#include "common/TestGif.h"
#include "support/Error.h"

#include <QFile>
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>

using namespace nimbuscope;
using namespace nimbuscope::test;

// GIF rows name only the fields they change; the others keep their defaults.
#pragma GCC diagnostic ignored "-Wmissing-field-initializers"

namespace {

QByteArray readFixture(const QString& name) {
    QFile file(QStringLiteral(NIMBUSCOPE_PICTURE_FIXTURES "/") + name);
    EXPECT_TRUE(file.open(QIODevice::ReadOnly)) << name.toStdString();
    return file.readAll();
}

/// Every pixel with its alpha, whatever the format.
QImage argb(const QImage& picture) {
    return picture.convertToFormat(QImage::Format_ARGB32);
}

class FramePictureTest : public ::testing::Test {
protected:
    QString gif(const QString& name, const GifSpec& spec) {
        const QString path = rig.world.writeFile(QStringLiteral("data/") + name, {});
        EXPECT_TRUE(writeGif(path, spec));
        return path;
    }
    /// The error number loadFramePicture raised, or 0.
    int loadError(const QString& path) {
        try {
            loadFramePicture(path);
        } catch (const Error& e) {
            return e.number();
        }
        return 0;
    }

    /// The picture loadFramePicture gives for `bytes` as a frame file; null when it raised.
    QImage loaded(const QByteArray& bytes) {
        try {
            return loadFramePicture(rig.world.writeFile(QStringLiteral("data/f.noaa"), bytes));
        } catch (const Error&) {
            return {};
        }
    }
    /// Decoding `bytes` from memory and as a file both give exactly what Qt's reader gives.
    void expectSameAsQt(const QByteArray& bytes, const char* what) {
        const QImage expected = decodeWithQtReader(bytes);
        for (const QImage& picture : {decodePicture(bytes), loaded(bytes)}) {
            ASSERT_EQ(picture.isNull(), expected.isNull()) << what;
            EXPECT_EQ(picture.hasAlphaChannel(), expected.hasAlphaChannel()) << what;
            EXPECT_TRUE(argb(picture) == argb(expected)) << what;
        }
    }

    DisplayTestRig rig;
};

TEST_F(FramePictureTest, UnreadableOrOversizedPicturesAreInvalidNotAllocated) {
    const QString garbage =
        rig.world.writeFile(QStringLiteral("data/bad.noaa"), QByteArray(7000, 'x') + "\x3b");
    EXPECT_EQ(loadError(garbage), kInvalidPictureError);
    EXPECT_EQ(loadError(rig.dataPath(QStringLiteral("none.noaa"))), kInvalidPictureError);
    // 16 GB declared by a 10 x 10 frame, and 24 MB: both beyond the limit.
    EXPECT_EQ(loadError(gif(QStringLiteral("huge.noaa"), gifSpec({10, 10}, 2, {65535, 65535}))),
              kInvalidPictureError);
    EXPECT_EQ(loadError(gif(QStringLiteral("big.noaa"), gifSpec({10, 10}, 2, {3000, 2000}))),
              kInvalidPictureError);
    EXPECT_EQ(loadError(gif(QStringLiteral("fine.noaa"), gifSpec({10, 10}, 2, {2000, 2000}))), 0);
    // A damaged 566-byte JPEG declaring 160 x 51065 pixels took seconds to decode and check.
    const QString tall = rig.world.writeFile(QStringLiteral("data/tall.noaa"),
                                             readFixture(QStringLiteral("tall_damaged.jpg")));
    EXPECT_EQ(loadError(tall), kInvalidPictureError);
    EXPECT_TRUE(decodePicture(readFixture(QStringLiteral("tall_damaged.jpg"))).isNull());
}

TEST_F(FramePictureTest, CraftedGifsDecodeAsQtsReaderDecodesThem) {
    const QByteArray plain = gifBytes(gifSpec({61, 37}, 7));
    const struct {
        const char* what;
        QByteArray bytes;
        bool direct;
    } rows[] = {
        {"plain", plain, true},
        {"interlaced", gifBytes({.size{61, 37}, .colours = 7, .interlaced = true}), true},
        {"interlaced, one row", gifBytes({.size{5, 1}, .colours = 7, .interlaced = true}), true},
        {"local colour map", gifBytes({.colours = 7, .mapSize = 8, .localMap = true}), true},
        // Every colour in every row: the codes grow to 12 bits and the table fills.
        {"12-bit codes", gifBytes({.size{300, 200}, .colours = 256}), true},
        {"2-colour map", gifBytes({.colours = 2, .mapSize = 2}), true},
        {"map lacking indexes used", gifBytes({.colours = 7, .mapSize = 8, .declaredMapSize = 4}),
         false},
        {"partial first image", gifBytes(gifSpec({61, 37}, 7, {64, 40})), false},
        {"transparent colour", gifBytes(gifSpec({61, 37}, 7, {}, 3)), false},
        {"cut in the pixels", plain.first(plain.size() / 2), false},
        {"cut in the colour map", plain.first(40), false},
        {"pixels without their blocks' terminator", plain.chopped(2), false},
        {"not a GIF", "GIF88a" + plain.sliced(6), false},
        // giflib and Qt's reader each decode a code beyond the strings defined differently.
        {"code naming no string yet", readFixture(QStringLiteral("code_naming_no_string_yet.gif")),
         false},
    };
    for (const auto& row : rows) {
        ASSERT_FALSE(row.bytes.isEmpty()) << row.what;
        expectSameAsQt(row.bytes, row.what);
        EXPECT_EQ(decodePicture(row.bytes).format() == QImage::Format_Indexed8, row.direct)
            << row.what;
        EXPECT_EQ(loaded(row.bytes).format() == QImage::Format_Indexed8, row.direct) << row.what;
    }
    EXPECT_EQ(qAlpha(decodePicture(rows[8].bytes).pixel(3, 0)), 0) << "the transparent colour";
}

TEST_F(FramePictureTest, FewColoursBecomeAnExactOpaqueIndexedPicture) {
    const struct {
        int colours;
        int transparent;
    } rows[] = {{1, -1}, {7, -1}, {256, -1}, {16, 3}};
    for (const auto& row : rows) {
        // 32-bit pixels, as Qt's reader gives them and pictures other than plain GIFs come.
        const QImage decoded =
            decodeWithQtReader(gifBytes(gifSpec({300, 280}, row.colours, {}, row.transparent)));
        const QImage indexed = toIndexed8IfFewColours(decoded);
        ASSERT_EQ(indexed.format(), QImage::Format_Indexed8) << row.colours;
        EXPECT_EQ(indexed.colorCount(), row.colours);
        EXPECT_EQ(indexed.hasAlphaChannel(), row.transparent >= 0);
        const QImage::Format straight =
            decoded.hasAlphaChannel() ? QImage::Format_ARGB32 : QImage::Format_RGB32;
        EXPECT_EQ(indexed.convertToFormat(straight), decoded.convertToFormat(straight))
            << "every pixel kept, " << row.colours << " colours";
    }
    // A decoder may leave the unused top byte of opaque pixels at zero, and the rows a truncated
    // file lacks all zero: both stay opaque, the missing rows black.
    QImage partial(4, 2, QImage::Format_RGB32);
    std::memset(partial.bits(), 0, std::size_t(partial.sizeInBytes()));
    std::fill_n(reinterpret_cast<QRgb*>(partial.scanLine(0)), 4, QRgb(0x00336699));
    const QImage indexed = toIndexed8IfFewColours(partial);
    EXPECT_FALSE(indexed.hasAlphaChannel());
    EXPECT_EQ(indexed.pixel(3, 0), qRgb(0x33, 0x66, 0x99));
    EXPECT_EQ(indexed.pixel(3, 1), qRgb(0, 0, 0)) << "a missing row shows black, not clear";
}

} // namespace
