#include "display/FrameLayout.h"

#include <algorithm>
#include <cmath>
#include <cstdint>

namespace nimbuscope {

namespace {

/// Share of the free height left above a frame: 11/20 above, 9/20 below.
constexpr double kFreeHeightParts = 20.0;
constexpr double kFreeHeightAbove = 11.0;

int pixels(double value) {
    return int(std::lround(value));
}

int topOf(int freeHeight) {
    return pixels(freeHeight / kFreeHeightParts * kFreeHeightAbove);
}

} // namespace

qint32 frameHoldMs(FramePlace place, qint32 rateMs, qint32 lastFrameMs) {
    switch (place) {
    case FramePlace::CycleStart:
        // A hand-edited rate may be any 32-bit number; doubling it must not overflow.
        return qint32(std::clamp(2 * qint64(rateMs), qint64(INT32_MIN), qint64(INT32_MAX)));
    case FramePlace::CycleEnd:
        return lastFrameMs;
    case FramePlace::Middle:
        break;
    }
    return rateMs;
}

namespace {

QRect classicFrameBox(QSize picture, QSize screen, float screenAspect) {
    const int w = picture.width();
    const int h = picture.height();
    const int screenW = screen.width();
    const int screenH = screen.height();
    if ((w > screenW || h > screenH) && h > 0) {
        const float aspect = float(w) / float(h);
        if (aspect < screenAspect) {
            const int width = pixels(double(aspect) * screenH);
            return QRect(pixels((screenW - width) / 2.0), 0, width, screenH);
        }
        const int height = pixels(screenW / double(aspect));
        return QRect(0, topOf(screenH - height), screenW, height);
    }
    // A frame exactly as wide (or high) as the screen is placed at 0 like any narrower one,
    // rather than keeping wherever the previous frame was.
    return QRect(pixels((screenW - w) / 2.0), topOf(screenH - h), w, h);
}

} // namespace

QRect frameBox(QSize picture, QSize screen, float screenAspect, int minTop) {
    QRect box = classicFrameBox(picture, screen, screenAspect);
    const int lowest = screen.height() - box.height();
    if (box.top() < minTop && box.top() < lowest) {
        box.moveTop(std::min(minTop, lowest));
    }
    return box;
}

double layoutScale(QSize window) {
    const double across = double(window.width()) / kDesignScreen.width();
    const double down = double(window.height()) / kDesignScreen.height();
    const double smaller = std::min(across, down);
    if (window.isEmpty()) {
        return 1.0;
    }
    return smaller < 1.0 ? smaller : down;
}

double pictureScale(QSize window) {
    return std::min(1.0, layoutScale(window));
}

QSize scaledSize(QSize size, double scale) {
    if (size.isEmpty()) {
        return size;
    }
    return QSize(std::max(1, pixels(size.width() * scale)),
                 std::max(1, pixels(size.height() * scale)));
}

} // namespace nimbuscope
