#pragma once

#include <QRect>
#include <QSize>

namespace nimbuscope {

/// Where a frame sits in its product's cycle, as far as its hold time is concerned.
enum class FramePlace { CycleStart, CycleEnd, Middle };

/// How long a frame stays on screen: twice the animation rate for the first frame of a cycle,
/// the last-frame hold for its last one, and the rate for the others. The hold is counted
/// from before the frame is drawn, so the drawing time is inside it and is not taken off.
qint32 frameHoldMs(FramePlace place, qint32 rateMs, qint32 lastFrameMs);

/// The box a picture of `picture` size gets on a screen of `screen` size whose shape is
/// `screenAspect` (width / height): centred across, with 11/20 of the free height above it.
/// A picture larger than the screen in either direction gets the largest box of its own shape
/// that fits; the picture is cropped to the box, not stretched. Positions and sizes are
/// rounded to the nearest pixel (so 257.4 becomes 257).
QRect frameBox(QSize picture, QSize screen, float screenAspect);

} // namespace nimbuscope
