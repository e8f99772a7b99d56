#pragma once

#include <QImage>
#include <QRgb>

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
/// more than 100 apart: radar echoes and the colour scale are vivid, text and the start-up logo
/// hardly at all. 0 for a null picture.
double vividShare(const QImage& image);

/// Asks `condition` every `pollMs` until it holds or `timeoutMs` have passed; true when it
/// held. Events of this process are served meanwhile.
bool waitUntil(const std::function<bool()>& condition, int timeoutMs, int pollMs = 20);

} // namespace nimbuscope::e2e
