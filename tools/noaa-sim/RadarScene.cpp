#include "noaa-sim/RadarScene.h"

#include "noaa-sim/BitmapFont.h"
#include "noaa-sim/FrameList.h"
#include "noaa-sim/Hash.h"
#include "noaa-sim/SiteTable.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace nimbuscope::noaasim {

namespace {

constexpr int kHeaderHeight = 18;
constexpr int kFooterTop = kFrameHeight - 18;
constexpr int kCountySpacing = 50;
constexpr int kStormCount = 7;
constexpr int kLobesPerStorm = 3;
constexpr int kNoiseDbz = 5;

struct Storm {
    double x0, y0; // position at minute 0
    double vx, vy; // pixels per minute
    double rx, ry; // half axes
    int peakDbz;
};

bool isLongRange(std::string_view product) {
    return product == kProducts[1];
}

Storm makeStorm(SplitMix& rng, bool longRange) {
    const double scale = longRange ? 0.6 : 1.0;
    Storm s;
    s.x0 = rng.between(0, kFrameWidth);
    s.y0 = rng.between(kHeaderHeight, kFooterTop);
    s.vx = (0.5 + rng.unit()) * scale;
    s.vy = (rng.unit() - 0.5) * 0.6 * scale;
    s.rx = rng.between(30, 75) * scale;
    s.ry = s.rx * (0.5 + 0.5 * rng.unit());
    s.peakDbz = rng.between(35, 68);
    return s;
}

// Storms leave on one side and come back on the other, so every frame has weather.
double wrapped(double value, double low, double high) {
    const double span = high - low;
    return low + std::fmod(std::fmod(value - low, span) + span, span);
}

void drawStorm(IndexedImage& image, const Storm& s, double minute, std::uint64_t noiseSeed,
               std::vector<std::uint8_t>& dbzField) {
    const double cx = wrapped(s.x0 + s.vx * minute, -s.rx, kFrameWidth + s.rx);
    const double cy = wrapped(s.y0 + s.vy * minute, kHeaderHeight - s.ry, kFooterTop + s.ry);
    const int left = std::max(0, int(cx - s.rx)), right = std::min(kFrameWidth - 1, int(cx + s.rx));
    const int top = std::max(kHeaderHeight, int(cy - s.ry));
    const int bottom = std::min(kFooterTop - 1, int(cy + s.ry));
    for (int y = top; y <= bottom; ++y) {
        for (int x = left; x <= right; ++x) {
            const double dx = (x - cx) / s.rx, dy = (y - cy) / s.ry;
            const double d2 = dx * dx + dy * dy;
            if (d2 >= 1.0)
                continue;
            const auto block = std::uint64_t(x / 2) << 32 | std::uint64_t(y / 2);
            const int noise = int(mix64(noiseSeed ^ block) % (2 * kNoiseDbz + 1)) - kNoiseDbz;
            const int dbz = int(s.peakDbz * (1.0 - d2)) + noise;
            auto& cell = dbzField[std::size_t(y) * kFrameWidth + std::size_t(x)];
            cell = std::uint8_t(std::clamp(std::max(int(cell), dbz), 0, 255));
            image.set(x, y, echoColour(cell));
        }
    }
}

void drawEchoes(IndexedImage& image, std::uint64_t seed, bool longRange, SysSeconds time) {
    const auto minute = std::chrono::floor<std::chrono::minutes>(time).time_since_epoch().count();
    SplitMix rng(seed);
    std::vector<std::uint8_t> dbzField(std::size_t(kFrameWidth) * kFrameHeight, 0);
    const std::uint64_t noiseSeed = mix64(seed ^ std::uint64_t(minute));
    for (int i = 0; i < kStormCount + (longRange ? 3 : 0); ++i) {
        const Storm core = makeStorm(rng, longRange);
        drawStorm(image, core, double(minute), noiseSeed + i, dbzField);
        // Weaker lobes around each core keep the cells from looking like plain ellipses.
        for (int k = 0; k < kLobesPerStorm; ++k) {
            Storm lobe = core;
            lobe.x0 += (rng.unit() - 0.5) * core.rx * 1.6;
            lobe.y0 += (rng.unit() - 0.5) * core.ry * 1.6;
            lobe.rx *= 0.4 + 0.4 * rng.unit();
            lobe.ry *= 0.4 + 0.4 * rng.unit();
            lobe.peakDbz = core.peakDbz - rng.between(0, 15);
            drawStorm(image, lobe, double(minute), noiseSeed + i, dbzField);
        }
    }
}

void drawLine(IndexedImage& image, int x0, int y0, int x1, int y1, std::uint8_t index) {
    const int dx = std::abs(x1 - x0), dy = -std::abs(y1 - y0);
    const int sx = x0 < x1 ? 1 : -1, sy = y0 < y1 ? 1 : -1;
    for (int err = dx + dy;;) {
        image.set(x0, y0, index);
        if (x0 == x1 && y0 == y1)
            return;
        const int e2 = 2 * err;
        if (e2 >= dy) {
            err += dy;
            x0 += sx;
        }
        if (e2 <= dx) {
            err += dx;
            y0 += sy;
        }
    }
}

// County lines wander a little, as surveyed borders along rivers do.
void drawCounties(IndexedImage& image, SplitMix& rng, int spacing) {
    const int offset = rng.between(0, spacing - 1);
    for (int k = offset; k < kFrameWidth; k += spacing)
        for (int y = kHeaderHeight; y < kFooterTop; ++y)
            image.set(k + int(3 * std::sin(y / 23.0 + k)), y, colour::kCounty);
    for (int k = kHeaderHeight + offset; k < kFooterTop; k += spacing)
        for (int x = 0; x < kFrameWidth; ++x)
            image.set(x, k + int(3 * std::sin(x / 29.0 + k)), colour::kCounty);
}

void drawMap(IndexedImage& image, std::uint64_t seed, bool longRange) {
    SplitMix rng(seed ^ 0x6d6170ull);
    drawCounties(image, rng, longRange ? kCountySpacing / 2 : kCountySpacing);
    const int stateY = rng.between(kHeaderHeight + 40, kFooterTop - 40);
    for (int x = 0; x < kFrameWidth; ++x)
        for (int t = 0; t < 2; ++t)
            image.set(x, stateY + t + int(6 * std::sin(x / 61.0)), colour::kStateLine);
    for (int i = 0; i < 3; ++i)
        drawLine(image, 0, rng.between(kHeaderHeight, kFooterTop - 1), kFrameWidth - 1,
                 rng.between(kHeaderHeight, kFooterTop - 1), colour::kHighway);
    const int cx = kFrameWidth / 2, cy = (kHeaderHeight + kFooterTop) / 2;
    const int radius = longRange ? 120 : 240;
    for (int a = 0; a < 3600; ++a) {
        const double angle = a * M_PI / 1800.0;
        image.set(cx + int(radius * std::cos(angle)), cy + int(radius * std::sin(angle)),
                  colour::kRing);
    }
    drawLine(image, cx - 4, cy, cx + 4, cy, colour::kText);
    drawLine(image, cx, cy - 4, cx, cy + 4, colour::kText);
}

void drawBands(IndexedImage& image, std::string_view site, std::string_view product,
               SysSeconds time) {
    for (int y = 0; y < kHeaderHeight; ++y)
        for (int x = 0; x < kFrameWidth; ++x)
            image.set(x, y, colour::kHeader);
    const std::string name = frameName(site, time); // SI.KEAX.dd.YYYYMMDD.HHMM
    const std::string stamp = name.substr(name.size() - 13);
    char header[96];
    std::snprintf(header, sizeof header, "%s  %s  %s-%s-%s %s:%s UTC", toUpper(site).c_str(),
                  isLongRange(product) ? "LONG RANGE" : "SHORT RANGE", stamp.substr(0, 4).c_str(),
                  stamp.substr(4, 2).c_str(), stamp.substr(6, 2).c_str(),
                  stamp.substr(9, 2).c_str(), stamp.substr(11, 2).c_str());
    drawText(image, 4, 2, header, colour::kText, 2);
    constexpr int kBox = 34;
    for (int level = 0; level < colour::kEchoLevels; ++level) {
        for (int y = kFooterTop + 2; y < kFrameHeight - 2; ++y)
            for (int x = 0; x < kBox - 2; ++x)
                image.set(20 + level * kBox + x, y, std::uint8_t(colour::kEchoFirst + level));
        drawText(image, 22 + level * kBox, kFooterTop + 5, std::to_string(5 * (level + 1)),
                 colour::kBackground, 1);
    }
}

} // namespace

std::array<Rgb, colour::kPaletteSize> radarPalette() {
    std::array<Rgb, colour::kPaletteSize> p{};
    p[colour::kBackground] = {0, 0, 0};
    p[colour::kCounty] = {90, 90, 90};
    p[colour::kStateLine] = {200, 200, 200};
    p[colour::kText] = {255, 255, 255};
    p[colour::kHighway] = {150, 40, 40};
    p[colour::kRing] = {70, 70, 140};
    p[colour::kHeader] = {20, 20, 60};
    p[colour::kUnavailable] = {128, 128, 128};
    constexpr Rgb kNws[colour::kEchoLevels] = {
        {0x04, 0xe9, 0xe7}, {0x01, 0x9f, 0xf4}, {0x03, 0x00, 0xf4}, {0x02, 0xfd, 0x02},
        {0x01, 0xc5, 0x01}, {0x00, 0x8e, 0x00}, {0xfd, 0xf8, 0x02}, {0xe5, 0xbc, 0x00},
        {0xfd, 0x95, 0x00}, {0xfd, 0x00, 0x00}, {0xd4, 0x00, 0x00}, {0xbc, 0x00, 0x00},
        {0xf8, 0x00, 0xfd}, {0x98, 0x54, 0xc6}, {0xfd, 0xfd, 0xfd}};
    std::copy(std::begin(kNws), std::end(kNws), p.begin() + colour::kEchoFirst);
    return p;
}

std::uint8_t echoColour(int dbz) {
    if (dbz < 5)
        return colour::kBackground;
    return std::uint8_t(colour::kEchoFirst + std::min(dbz / 5 - 1, colour::kEchoLevels - 1));
}

void drawText(IndexedImage& image, int x, int y, std::string_view text, std::uint8_t index,
              int scale) {
    for (const char c : text) {
        const auto rows = glyphRows(c);
        for (int row = 0; row < kGlyphHeight; ++row)
            for (int col = 0; col < kGlyphWidth; ++col)
                if (rows[std::size_t(row)] & (0x10 >> col))
                    for (int i = 0; i < scale * scale; ++i)
                        image.set(x + col * scale + i % scale, y + row * scale + i / scale, index);
        x += (kGlyphWidth + 1) * scale;
    }
}

IndexedImage drawRadarScene(std::string_view site, std::string_view product, SysSeconds time,
                            bool echoes) {
    IndexedImage image(kFrameWidth, kFrameHeight, colour::kBackground);
    const std::uint64_t siteSeed = fnv1a(toUpper(site));
    if (echoes)
        drawEchoes(image, fnv1a(product, siteSeed), isLongRange(product), time);
    drawMap(image, siteSeed, isLongRange(product));
    drawBands(image, site, product, time);
    return image;
}

IndexedImage drawUnavailableScene() {
    IndexedImage image(kFrameWidth, kFrameHeight, colour::kUnavailable);
    drawText(image, 120, 260, "RADAR DATA UNAVAILABLE", colour::kText, 3);
    return image;
}

} // namespace nimbuscope::noaasim
