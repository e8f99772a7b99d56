// The place's active alerts on the real saver's window, from tools/noaa-sim in today mode:
// a severe alert's red band over the animating radar, gone once the alert is cancelled.
#include "e2e/kit/SaverE2eFixture.h"
#include "e2e/kit/SaverScreen.h"

#include <gtest/gtest.h>

using namespace nimbuscope::e2e;

namespace {

// The banner's colour for Extreme and Severe alerts.
constexpr QRgb kSevereRed = 0xffb00000;
// Rows at least this share of which show the colour belong to the band.
constexpr double kBandRowShare = 0.9;
constexpr int kLeastBandRows = 12;
// The place is looked for again every 30 s until the first pass has found it.
constexpr int kBannerWithinMs = 60000;
constexpr int kRefreshSeconds = 10;
constexpr int kGoneWithinMs = (kRefreshSeconds + 8) * 1000;
constexpr int kPollMs = 250;
constexpr int kPictureWidth = 600;

/// The first and one past the last row of the screen's red band; {-1, -1} when none.
std::pair<int, int> bandRows(const QImage& grabbed) {
    const QImage screen = grabbed.convertToFormat(QImage::Format_RGB32);
    int first = -1, last = -1;
    for (int y = 0; y < screen.height(); ++y) {
        const auto* line = reinterpret_cast<const QRgb*>(screen.constScanLine(y));
        const auto red = std::count(line, line + screen.width(), kSevereRed);
        if (red >= kBandRowShare * screen.width()) {
            first = first < 0 ? y : first;
            last = y + 1;
        }
    }
    return {first, last};
}

class AlertsE2eTest : public SaverE2eFixture {
protected:
    AlertsE2eTest()
        : SaverE2eFixture(XvfbOptions{QSize(1024, 768)},
                          {QStringLiteral("--today"), QStringLiteral("--alert"),
                           QStringLiteral("Tornado Warning:Severe:60")}) {}
};

} // namespace

TEST_F(AlertsE2eTest, ASevereAlertIsARedBandOverTheAnimatingRadarUntilItIsCancelled) {
    addToHives(world, "\"alertsRefreshSeconds\"=dword:" +
                          QByteArray::number(kRefreshSeconds, 16).rightJustified(8, '0') + "\n");
    const auto saver = startSaver();
    ASSERT_TRUE(radarOnScreen()) << saver->describe().toStdString();
    std::pair<int, int> band;
    ASSERT_TRUE(waitUntil(
        [&] {
            band = bandRows(session.x().grabScreen());
            return band.second - band.first >= kLeastBandRows;
        },
        kBannerWithinMs, kPollMs))
        << simControl().requests().join(QLatin1Char('|')).toStdString();

    // Under the title, wholly above the picture, which goes on animating.
    const QImage screen = session.x().grabScreen();
    const int top = pictureTop(screen, band.second);
    ASSERT_GT(top, band.second);
    EXPECT_GE(band.first, kCaptionBandTop / 2);
    const QRect picture(firstLitColumn(screen, top), top, kPictureWidth, kPictureWidth / 2);
    EXPECT_TRUE(framesPlayIn(session, picture));
    // Asked again while in effect, with the validator of the answer before.
    EXPECT_TRUE(waitUntil(
        [&] { return simControl().askedFor("/api/alerts/active?point=39.1031,-94.5785 304"); },
        kGoneWithinMs, kPollMs))
        << simControl().requests().join(QLatin1Char('|')).toStdString();

    ASSERT_TRUE(simControl().post("/_sim/alert/cancel?which=Tornado%20Warning"));
    EXPECT_TRUE(waitUntil([&] { return bandRows(session.x().grabScreen()).first < 0; },
                          kGoneWithinMs, kPollMs));
    EXPECT_TRUE(framesPlayIn(session, picture));
}
