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
/// rounded to the nearest pixel (so 257.4 becomes 257). The box goes down to `minTop` when it
/// would start above it (as far as the screen allows): what sits over the picture, its
/// caption under the title lines, keeps clear of them.
QRect frameBox(QSize picture, QSize screen, float screenAspect, int minTop = 0);

/// The full-screen size the saver's layout is designed for.
inline constexpr QSize kDesignScreen{1024, 768};

/// How much the layout is scaled in a window (or on a screen) of `window` size. Below the
/// design size in either direction everything shrinks by the smaller of the two ratios, text,
/// pictures and bars together, so the window shows the design of a screen at least 1024 × 768
/// in proportion. At or above the design size the text grows with the height (the pictures
/// keep their own size there).
double layoutScale(QSize window);
/// The scale of the pictures (frames, logo, conditions picture): the layout's below the
/// design size, 1 at or above it.
double pictureScale(QSize window);
/// `size` times `scale`, rounded, at least one pixel each way when `size` is not empty.
QSize scaledSize(QSize size, double scale);

} // namespace nimbuscope
