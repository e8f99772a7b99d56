#include "noaa-sim/ConditionsImage.h"

#include "noaa-sim/Conditions.h"

#include <QBuffer>
#include <QImage>

#include <algorithm>

namespace nimbuscope::noaasim {

namespace {

constexpr int kJpegQuality = 85;
constexpr QRgb kSun = qRgb(255, 214, 40);
constexpr QRgb kCloud = qRgb(225, 225, 230);
constexpr QRgb kDarkCloud = qRgb(120, 120, 130);
constexpr QRgb kRain = qRgb(40, 90, 230);
constexpr QRgb kSnow = qRgb(255, 255, 255);

void fillEllipse(QImage& image, double cx, double cy, double rx, double ry, QRgb colour) {
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x) {
            const double dx = (x - cx) / rx, dy = (y - cy) / ry;
            if (dx * dx + dy * dy <= 1.0)
                image.setPixel(x, y, colour);
        }
}

void drawSky(QImage& image, bool gloomy) {
    for (int y = 0; y < image.height(); ++y) {
        const int shade = 200 - y * 2;
        const QRgb c = gloomy ? qRgb(shade / 2 + 40, shade / 2 + 40, shade / 2 + 60)
                              : qRgb(60, 110 + y, 255 - y);
        for (int x = 0; x < image.width(); ++x)
            image.setPixel(x, y, c);
    }
}

void drawCloud(QImage& image, int y, QRgb colour) {
    fillEllipse(image, 20, y, 13, 8, colour);
    fillEllipse(image, 34, y - 4, 14, 10, colour);
    fillEllipse(image, 30, y + 3, 18, 7, colour);
}

void drawPrecipitation(QImage& image, QRgb colour, int step, int length) {
    for (int x = 8; x < image.width() - 4; x += step)
        for (int i = 0; i < length; ++i)
            image.setPixel(std::min(x + i / 2, image.width() - 1), 36 + (x % 3) * 5 + i, colour);
}

QImage drawPicture(std::string_view code) {
    QImage image(kConditionsWidth, kConditionsHeight, QImage::Format_RGB32);
    const bool gloomy =
        code == "ovc" || code == "ra" || code == "sn" || code == "tsra" || code == "fg";
    drawSky(image, gloomy);
    if (code == "skc" || code == "few" || code == "sct")
        fillEllipse(image, 36, 18, 11, 11, kSun);
    if (code == "few" || code == "sct" || code == "bkn")
        drawCloud(image, code == "few" ? 40 : 30, kCloud);
    if (gloomy && code != "fg")
        drawCloud(image, 22, code == "ovc" ? kCloud : kDarkCloud);
    if (code == "ra" || code == "tsra")
        drawPrecipitation(image, kRain, 6, 8);
    if (code == "sn")
        drawPrecipitation(image, kSnow, 7, 2);
    if (code == "tsra")
        for (int i = 0; i < 14; ++i)
            image.setPixel(30 - i / 3, 28 + i, kSun);
    if (code == "fg")
        for (int y = 14; y < kConditionsHeight; y += 8)
            for (int x = 0; x < kConditionsWidth; ++x)
                image.setPixel(x, y, kCloud);
    return image;
}

} // namespace

std::optional<std::string> conditionsJpeg(std::string_view code) {
    if (forecastOfCode(code).empty())
        return std::nullopt;
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    if (!drawPicture(code).save(&buffer, "JPG", kJpegQuality))
        return std::nullopt;
    return std::string(bytes.constData(), std::size_t(bytes.size()));
}

} // namespace nimbuscope::noaasim
