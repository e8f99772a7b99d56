#include "display/FramePicture.h"

#include "DisplayTestRig.h"
#include "TestGif.h"
#include "support/Error.h"

#include <QFile>

#include <gtest/gtest.h>

using namespace nimbuscope;
using namespace nimbuscope::test;

namespace {

QByteArray readFixture(const QString& name) {
    QFile file(QStringLiteral(NIMBUSCOPE_DISPLAY_FIXTURES "/") + name);
    EXPECT_TRUE(file.open(QIODevice::ReadOnly)) << name.toStdString();
    return file.readAll();
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

    DisplayTestRig rig;
};

TEST_F(FramePictureTest, ContentDecidesTheFormatWhateverTheName) {
    const QImage picture = loadFramePicture(gif(QStringLiteral("x.noaa"), gifSpec({30, 20}, 3)));
    EXPECT_EQ(picture.size(), QSize(30, 20));
    EXPECT_EQ(picture.pixel(2, 0), gifColour(2));
}

TEST_F(FramePictureTest, UnreadableOrOversizedPicturesAreInvalidNotAllocated) {
    const QString garbage =
        rig.world.writeFile(QStringLiteral("data/bad.noaa"), QByteArray(7000, 'x') + "\x3b");
    EXPECT_EQ(loadError(garbage), kInvalidPictureError);
    EXPECT_EQ(loadError(rig.world.root() + QStringLiteral("/data/none.noaa")),
              kInvalidPictureError);
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

TEST_F(FramePictureTest, FewColoursBecomeAnExactIndexedPicture) {
    const struct {
        int colours;
        int transparent;
    } rows[] = {{1, -1}, {7, -1}, {256, -1}, {16, 3}};
    for (const auto& row : rows) {
        const QImage decoded = loadFramePicture(
            gif(QStringLiteral("f.noaa"), gifSpec({300, 280}, row.colours, {}, row.transparent)));
        const QImage indexed = toIndexed8IfFewColours(decoded);
        ASSERT_EQ(indexed.format(), QImage::Format_Indexed8) << row.colours;
        EXPECT_EQ(indexed.colorCount(), row.colours);
        EXPECT_EQ(indexed.hasAlphaChannel(), row.transparent >= 0);
        const QImage::Format straight =
            decoded.hasAlphaChannel() ? QImage::Format_ARGB32 : QImage::Format_RGB32;
        EXPECT_EQ(indexed.convertToFormat(straight), decoded.convertToFormat(straight))
            << "every pixel kept, " << row.colours << " colours";
    }
}

TEST_F(FramePictureTest, ManyColoursStayAsDecoded) {
    QImage gradient(300, 2, QImage::Format_RGB32);
    for (int x = 0; x < 300; ++x) {
        gradient.setPixel(x, 0, qRgb(x % 256, x / 256, 0));
        gradient.setPixel(x, 1, qRgb(0, 0, 0));
    }
    const QImage kept = toIndexed8IfFewColours(gradient);
    EXPECT_EQ(kept.cacheKey(), gradient.cacheKey());
    EXPECT_TRUE(toIndexed8IfFewColours(QImage()).isNull());
}

TEST_F(FramePictureTest, AnOpaquePictureStaysOpaqueWhateverItsUnusedByteHolds) {
    // As the GIF reader leaves the rows a truncated file lacks: zero, top byte included.
    QRgb pixels[] = {0xff123456, 0x00000000, 0x00abcdef, 0xff000000};
    const QImage raw(reinterpret_cast<const uchar*>(pixels), 2, 2, QImage::Format_RGB32);
    const QImage indexed = toIndexed8IfFewColours(raw);
    ASSERT_EQ(indexed.format(), QImage::Format_Indexed8);
    EXPECT_FALSE(indexed.hasAlphaChannel());
    EXPECT_EQ(indexed.convertToFormat(QImage::Format_ARGB32),
              raw.convertToFormat(QImage::Format_ARGB32));
}

} // namespace
