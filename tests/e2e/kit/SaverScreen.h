#pragma once

#include "e2e/kit/ImageCompare.h"

#include <QFont>
#include <QImage>
#include <QRect>

namespace nimbuscope::e2e {

class XvfbSession;

// What the full-screen saver's window looks like, for tests that read it off the screen.

/// The title and its hint end above this row; the frame caption and the picture lie below.
inline constexpr int kCaptionBandTop = 60;
/// The network-problem line's place on a 1024x768 screen: centred at the bottom, 620 wide.
inline const QRect kProblemArea{(1024 - 620) / 2, 768 - 30, 620, 30};
/// The same text in the same font lies well under this ink distance (grabbed against
/// rendered); the two frame captions lie far over it.
inline constexpr double kSameText = 0.25;

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

/// The inkDistance of the screen's network-problem line from the saver's message.
double problemLineDistance(XvfbSession& session);

/// Waits for the settings dialog and gives it the moment it takes to fill its lists and
/// focus its first box; 0 when it did not come within `withinMs`.
quint32 waitForSetupDialog(XvfbSession& session, int withinMs);

/// Types `keys` into `window`: keys go to the window under the pointer, there being no
/// window manager to give the focus.
bool typeInto(XvfbSession& session, quint32 window, const QString& keys);

/// Whether `area` of the screen shows frames playing: it changes at least three times within
/// ten seconds, enough even when a last frame's hold and slow grabs on a loaded machine fall
/// into that time.
bool framesPlayIn(XvfbSession& session, const QRect& area);

} // namespace nimbuscope::e2e
