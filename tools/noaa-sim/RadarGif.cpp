#include "noaa-sim/RadarGif.h"

#include "noaa-sim/RadarScene.h"

namespace nimbuscope::noaasim {

std::string radarFrameGif(std::string_view site, std::string_view product, SysSeconds time) {
    return encodeGif(drawRadarScene(site, product, time), radarPalette());
}

std::string mapFrameGif(std::string_view site, std::string_view product, SysSeconds time,
                        bool echoes, int width, int height) {
    const IndexedImage scene = drawRadarScene(site, product, time, echoes);
    if (width == scene.width && height == scene.height)
        return encodeGif(scene, radarPalette());
    IndexedImage scaled(width, height);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            scaled.set(x, y, scene.at(x * scene.width / width, y * scene.height / height));
    return encodeGif(scaled, radarPalette());
}

std::string unavailableFrameGif() {
    return encodeGif(drawUnavailableScene(), radarPalette());
}

} // namespace nimbuscope::noaasim
