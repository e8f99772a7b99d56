#pragma once

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

/// The colour of palette entry `i` (0 to 255); every entry differs from every other.
QRgb gifColour(int i);

/// Writes `spec` as a GIF file at `path` (the folder must exist); false on failure.
bool writeGif(const QString& path, const GifSpec& spec);

} // namespace nimbuscope::test
