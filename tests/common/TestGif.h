#pragma once

#include <QByteArray>
#include <QRgb>
#include <QSize>
#include <QString>

namespace nimbuscope::test {

/// A GIF to write: pixel (x, y) takes palette entry (x + y) % colours.
struct GifSpec {
    QSize size{60, 40};
    int colours = 4;
    /// The logical screen the header declares; the picture's own size when left invalid.
    QSize logicalScreen;
    /// Palette entry shown as transparent, or -1.
    int transparentIndex = -1;
    /// Entries in the colour map, a power of two; pixels are masked to fit it.
    int mapSize = 256;
    /// The map goes with the image, and a global map of other colours with the screen.
    bool localMap = false;
    bool interlaced = false;
    /// The global map the header declares when smaller than mapSize (0: the same), its
    /// other entries cut out: a map that lacks indexes the image uses.
    int declaredMapSize = 0;
};

inline GifSpec gifSpec(QSize size, int colours = 4, QSize logicalScreen = {},
                       int transparentIndex = -1) {
    GifSpec spec;
    spec.size = size;
    spec.colours = colours;
    spec.logicalScreen = logicalScreen;
    spec.transparentIndex = transparentIndex;
    return spec;
}

/// `spec` as the bytes of a GIF file; empty on failure.
QByteArray gifBytes(const GifSpec& spec);

/// Writes `spec` as a GIF file at `path` (the folder must exist); false on failure.
bool writeGif(const QString& path, const GifSpec& spec);

} // namespace nimbuscope::test
