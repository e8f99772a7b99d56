#include "noaa-sim/RadarGif.h"

#include "noaa-sim/RadarScene.h"

namespace nimbuscope::noaasim {

std::string radarFrameGif(std::string_view site, std::string_view product, SysSeconds time) {
    return encodeGif(drawRadarScene(site, product, time), radarPalette());
}

std::string unavailableFrameGif() {
    return encodeGif(drawUnavailableScene(), radarPalette());
}

} // namespace nimbuscope::noaasim
