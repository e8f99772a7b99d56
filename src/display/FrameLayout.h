#pragma once

#include <QRect>
#include <QSize>

namespace nimbuscope {

/// Time a draw from a picture already in memory is assumed to take; it is taken off the hold
/// of a middle frame so the animation keeps its pace.
inline constexpr qint32 kPreloadedDrawMs = 80;
/// The same for a draw that first decodes the frame file.
inline constexpr qint32 kFileDrawMs = 230;

/// Where a frame sits in its product's cycle, as far as its hold time is concerned.
enum class FramePlace { CycleStart, CycleEnd, Middle };

/// How long a frame stays on screen: twice the animation rate for the first frame of a cycle,
/// the last-frame hold for its last one, and the rate less the expected drawing time for the
/// others (never less than the rate when the rate does not exceed that time).
qint32 frameHoldMs(FramePlace place, qint32 rateMs, qint32 lastFrameMs, bool pictureLoaded);

/// The box a picture of `picture` size gets on a screen of `screen` size whose shape is
/// `screenAspect` (width / height): centred across, with 11/20 of the free height above it.
/// A picture larger than the screen in either direction gets the largest box of its own shape
/// that fits; the picture is cropped to the box, not stretched. Positions and sizes are
/// rounded to the nearest pixel (so 257.4 becomes 257).
QRect frameBox(QSize picture, QSize screen, float screenAspect);

} // namespace nimbuscope
