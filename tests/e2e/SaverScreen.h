#pragma once

#include "e2e/ImageCompare.h"

#include <QFont>
#include <QImage>
#include <QRect>

namespace nimbuscope::e2e {

class XvfbSession;

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

/// Waits for the settings dialog and gives it the moment it takes to fill its lists and
/// focus its first box; 0 when it did not come within `withinMs`.
quint32 waitForSetupDialog(XvfbSession& session, int withinMs);

/// Whether `area` of the screen shows frames playing: it changes at least three times within
/// ten seconds, enough even when a last frame's hold and slow grabs on a loaded machine fall
/// into that time.
bool framesPlayIn(XvfbSession& session, const QRect& area);

} // namespace nimbuscope::e2e
