#include "noaa-sim/RadarGif.h"
#include "noaa-sim/FrameCache.h"
#include "noaa-sim/RadarScene.h"

#include "ManualUtcClock.h"

#include <QImage>
#include <gtest/gtest.h>

using namespace nimbuscope::noaasim;
using namespace nimbuscope::noaasim::test;

namespace {

QImage decode(const std::string& gif) {
    return QImage::fromData(QByteArray(gif.data(), qsizetype(gif.size())), "GIF");
}

struct Centroid {
    double x = 0, y = 0;
    long pixels = 0;
};

// Where the echoes are: the mean position of pixels in the reflectivity colours, leaving out
// the colour scale in the footer.
Centroid echoCentroid(const QImage& image) {
    const auto palette = radarPalette();
    std::vector<QRgb> echoes;
    for (int i = 0; i < colour::kEchoLevels; ++i) {
        const Rgb c = palette[std::size_t(colour::kEchoFirst + i)];
        echoes.push_back(qRgb(c.r, c.g, c.b));
    }
    Centroid m;
    for (int y = 20; y < image.height() - 20; ++y)
        for (int x = 0; x < image.width(); ++x)
            if (std::find(echoes.begin(), echoes.end(), image.pixel(x, y)) != echoes.end()) {
                m.x += x;
                m.y += y;
                ++m.pixels;
            }
    if (m.pixels > 0) {
        m.x /= double(m.pixels);
        m.y /= double(m.pixels);
    }
    return m;
}

} // namespace

TEST(RadarGif, IsAFullSizeGifThatPassesTheSaversFrameChecks) {
    const std::string gif = radarFrameGif("KEAX", "DS.p19r0", utc(2026, 12, 5, 21, 35));
    EXPECT_EQ(gif.substr(0, 6), "GIF89a");
    EXPECT_EQ(uint8_t(gif.back()), 0x3B);
    EXPECT_GT(gif.size(), 6000u);
    const QImage image = decode(gif);
    EXPECT_EQ(image.size(), QSize(kFrameWidth, kFrameHeight));
}

TEST(RadarGif, StaysAboveTheUnavailableSizeForEverySiteProductAndTime) {
    for (const char* site : {"KEAX", "KATX", "KFTG", "PABC"})
        for (const auto product : {"DS.p19r0", "DS.p20-r"})
            for (int step = 0; step < 48; step += 5) {
                const auto t = utc(2026, 12, 5, 18) + minutes{5 * step};
                const std::string gif = radarFrameGif(site, product, t);
                EXPECT_GT(gif.size(), 6000u) << site << " " << product << " " << step;
                EXPECT_EQ(uint8_t(gif.back()), 0x3B);
            }
}

TEST(RadarGif, IsTheSameForTheSameFrameAndDiffersBetweenSitesAndProducts) {
    const auto t = utc(2026, 12, 5, 21, 35);
    const std::string a = radarFrameGif("KEAX", "DS.p19r0", t);
    EXPECT_EQ(radarFrameGif("keax", "DS.p19r0", t), a);
    EXPECT_NE(radarFrameGif("KATX", "DS.p19r0", t), a);
    EXPECT_NE(radarFrameGif("KEAX", "DS.p20-r", t), a);
}

TEST(RadarGif, EchoesMoveFromFrameToFrame) {
    for (const auto product : {"DS.p19r0", "DS.p20-r"}) {
        std::vector<Centroid> track;
        for (int i = 0; i < 4; ++i)
            track.push_back(echoCentroid(
                decode(radarFrameGif("KEAX", product, utc(2026, 12, 5, 21, 0) + minutes{5 * i}))));
        for (std::size_t i = 1; i < track.size(); ++i) {
            EXPECT_GT(track[i].pixels, 2000) << "frames show weather";
            EXPECT_GT(std::hypot(track[i].x - track[i - 1].x, track[i].y - track[i - 1].y), 0.5)
                << product << " frame " << i;
        }
    }
}

TEST(RadarGif, UnavailableFrameIsASmallCompleteGif) {
    const std::string gif = unavailableFrameGif();
    EXPECT_LT(gif.size(), 6000u);
    EXPECT_EQ(uint8_t(gif.back()), 0x3B);
    EXPECT_EQ(decode(gif).size(), QSize(kFrameWidth, kFrameHeight));
}

TEST(RadarGif, ReflectivityMapsToTheNwsScaleInFiveDbzSteps) {
    const struct {
        int dbz;
        int index;
    } rows[] = {{-10, colour::kBackground},    {4, colour::kBackground},
                {5, colour::kEchoFirst},       {9, colour::kEchoFirst},
                {10, colour::kEchoFirst + 1},  {74, colour::kEchoFirst + 13},
                {75, colour::kEchoFirst + 14}, {250, colour::kEchoFirst + 14}};
    for (const auto& r : rows)
        EXPECT_EQ(echoColour(r.dbz), r.index) << r.dbz;
    const auto palette = radarPalette();
    const Rgb red50 = palette[std::size_t(colour::kEchoFirst + 9)];
    EXPECT_EQ((std::array<int, 3>{red50.r, red50.g, red50.b}), (std::array<int, 3>{0xfd, 0, 0}));
}

TEST(GifEncoder, RefusesAPaletteThatIsNotAPowerOfTwo) {
    const IndexedImage image(4, 4);
    const std::vector<Rgb> three(3, Rgb{0, 0, 0});
    EXPECT_THROW(encodeGif(image, three), std::runtime_error);
    const std::vector<Rgb> two(2, Rgb{0, 0, 0});
    EXPECT_EQ(decode(encodeGif(image, two)).size(), QSize(4, 4));
}

TEST(FrameCache, KeepsTheMostRecentlyUsedFramesUpToItsCapacity) {
    FrameCache cache(2);
    int renders = 0;
    auto get = [&](const std::string& key) {
        return *cache.get(key, [&] {
            ++renders;
            return "frame " + key;
        });
    };
    EXPECT_EQ(get("a"), "frame a");
    get("b");
    get("a"); // a is now the most recent, b the least
    get("c"); // pushes b out
    EXPECT_EQ(renders, 3);
    EXPECT_EQ(cache.size(), 2u);
    get("a");
    EXPECT_EQ(renders, 3) << "a stayed";
    get("b");
    EXPECT_EQ(renders, 4) << "b was rendered again";
}
