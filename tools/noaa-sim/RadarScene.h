#pragma once

#include "noaa-sim/GifEncoder.h"
#include "noaa-sim/SimClock.h"

#include <array>
#include <cstdint>
#include <string_view>

namespace nimbuscope::noaasim {

inline constexpr int kFrameWidth = 600;
inline constexpr int kFrameHeight = 550;

namespace colour {
inline constexpr std::uint8_t kBackground = 0;
inline constexpr std::uint8_t kCounty = 1;
inline constexpr std::uint8_t kStateLine = 2;
inline constexpr std::uint8_t kText = 3;
inline constexpr std::uint8_t kHighway = 4;
inline constexpr std::uint8_t kRing = 5;
inline constexpr std::uint8_t kHeader = 6;
inline constexpr std::uint8_t kUnavailable = 7;
/// Reflectivity from 5 dBZ (this index) to 75 dBZ in steps of 5, in the NWS colours.
inline constexpr std::uint8_t kEchoFirst = 16;
inline constexpr int kEchoLevels = 15;
inline constexpr int kPaletteSize = 32;
} // namespace colour

std::array<Rgb, colour::kPaletteSize> radarPalette();

/// The palette index of a reflectivity, or kBackground below 5 dBZ.
std::uint8_t echoColour(int dbz);

/// One radar frame: echoes that drift with `time` over a map of the site, the site, product
/// and time in a header band, the colour scale in a footer band. The same arguments always
/// give the same picture; the map and the storms differ from site to site. Without `echoes`
/// it is the map alone, as a map server draws a time it holds no data for.
IndexedImage drawRadarScene(std::string_view site, std::string_view product, SysSeconds time,
                            bool echoes = true);

/// The plain frame the service sends when a site's radar is down.
IndexedImage drawUnavailableScene();

void drawText(IndexedImage& image, int x, int y, std::string_view text, std::uint8_t index,
              int scale);

} // namespace nimbuscope::noaasim
