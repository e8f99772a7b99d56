#pragma once

#include "e2e/ImageCompare.h"

#include <QFont>
#include <QImage>

namespace nimbuscope::e2e {

// What the full-screen saver's window looks like, for tests that read it off the screen.

/// The saver window's font: bold Liberation Sans of `pixelSize`.
QFont saverFont(int pixelSize);

/// The first row from `fromRow` down in which the radar picture shows (a row with at least
/// 400 lit pixels, which no line of text has); -1 when none does.
int pictureTop(const QImage& screen, int fromRow);

/// The first lit column of row `row` (the picture's left edge on its top row); -1 when none.
int firstLitColumn(const QImage& screen, int row);

/// The topmost run of rows holding ink (text brighter than `minLevel` on black), cut out of
/// `image`; null when there is no ink.
QImage firstInkBand(const QImage& image, int minLevel = 128);

} // namespace nimbuscope::e2e
