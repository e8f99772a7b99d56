#pragma once

#include "noaa-sim/SimClock.h"

#include <string>
#include <string_view>

namespace nimbuscope::noaasim {

/// A radar frame as the service sends it: a 600x550 GIF, well over 6000 bytes, ending in the
/// GIF trailer 0x3B; the same for the same site, product and time.
std::string radarFrameGif(std::string_view site, std::string_view product, SysSeconds time);

/// A map server's frame of `width` x `height`: the radar scene scaled to that size, the map
/// alone when `echoes` is false.
std::string mapFrameGif(std::string_view site, std::string_view product, SysSeconds time,
                        bool echoes, int width, int height);

/// The service's radar-unavailable answer: a GIF under 6000 bytes.
std::string unavailableFrameGif();

} // namespace nimbuscope::noaasim
