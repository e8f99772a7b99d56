#include "noaa-sim/RadarGif.h"
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

} // namespace

TEST(RadarGif, IsAFullSizeGifAboveTheUnavailableSizeUnlessItIsTheUnavailableFrame) {
    for (const char* site : {"KEAX", "KATX", "KFTG", "PABC"})
        for (const auto product : {"DS.p19r0", "DS.p20-r"})
            for (int step = 0; step < 48; step += 5) {
                const auto t = utc(2026, 12, 5, 18) + minutes{5 * step};
                const std::string gif = radarFrameGif(site, product, t);
                EXPECT_GT(gif.size(), 6000u) << site << " " << product << " " << step;
                EXPECT_EQ(uint8_t(gif.back()), 0x3B);
                EXPECT_EQ(decode(gif).size(), QSize(kFrameWidth, kFrameHeight));
            }
    // The radar-unavailable answer is small but just as complete.
    const std::string gif = unavailableFrameGif();
    EXPECT_LT(gif.size(), 6000u);
    EXPECT_EQ(uint8_t(gif.back()), 0x3B);
    EXPECT_EQ(decode(gif).size(), QSize(kFrameWidth, kFrameHeight));
}
