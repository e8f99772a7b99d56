#pragma once

#include <QFont>
#include <QImage>
#include <QRect>
#include <QRgb>
#include <QString>

#include <functional>

namespace nimbuscope::e2e {

/// The mean absolute difference of the red, green and blue values of two pictures of the
/// same size (0 for equal pictures, 255 for black against white); -1 when the sizes differ
/// or either is null.
double meanColourDifference(const QImage& a, const QImage& b);

/// The share (0 to 1) of the picture's pixels whose red, green and blue values each lie
/// within `tolerance` of `colour`; 0 for a null picture.
double colourShare(const QImage& image, QRgb colour, int tolerance = 0);

/// The share (0 to 1) of the picture's pixels whose strongest and weakest colour channels lie
/// more than `spread` apart: radar echoes and the colour scale are vivid, text and the
/// start-up logo hardly at all. 0 for a null picture.
double vividShare(const QImage& image, int spread = 100);

/// `text` drawn in `font` and `colour` on black, with room round it: what a label showing
/// it would look like (ink comparisons only need the glyphs, not the label's place).
QImage renderText(const QString& text, const QFont& font, QRgb colour);

/// The smallest rectangle holding every pixel whose strongest colour channel reaches
/// `minLevel` (text on a dark ground); null when there is none.
QRect inkBounds(const QImage& image, int minLevel = 128);

/// Asks `condition` every `pollMs` until it holds or `timeoutMs` have passed; true when it
/// held. Events of this process are served meanwhile. For things that happen elsewhere,
/// such as a window being drawn by another program.
bool waitUntil(const std::function<bool()>& condition, int timeoutMs, int pollMs = 20);

} // namespace nimbuscope::e2e
