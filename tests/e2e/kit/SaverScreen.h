#pragma once

#include "e2e/kit/ImageCompare.h"

#include <QImage>
#include <QRect>

namespace nimbuscope::e2e {

class XvfbSession;

// What the full-screen saver's window on a 1024x768 screen looks like, for tests that read it
// off the screen.

/// The title and its hint end above this row; the frame caption and the picture lie below.
inline constexpr int kCaptionBandTop = 60;
/// The network-problem line's place: centred at the bottom, 620 wide.
inline const QRect kProblemArea{(1024 - 620) / 2, 768 - 30, 620, 30};
/// Whether the network-problem line shows the saver's message: its ink spans what the
/// message's does, in the saver's font.
bool problemLineShown(XvfbSession& session);

/// The picture and what lies beside it: from the first row below the caption band with at
/// least 400 lit pixels (which no line of text has) down to the network-problem line.
QRect pictureArea(const QImage& screen);

/// Whether `area` of the screen shows frames playing: it changes at least three times within
/// ten seconds, enough even when a last frame's hold and slow grabs on a loaded machine fall
/// into that time.
bool framesPlayIn(XvfbSession& session, const QRect& area);

/// Waits for the settings dialog and gives it the moment it takes to fill its lists and
/// focus its first box; 0 when it did not come within `withinMs`.
quint32 waitForSetupDialog(XvfbSession& session, int withinMs);

/// Types `keys` into `window`: keys go to the window under the pointer, there being no
/// window manager to give the focus.
bool typeInto(XvfbSession& session, quint32 window, const QString& keys);

} // namespace nimbuscope::e2e
