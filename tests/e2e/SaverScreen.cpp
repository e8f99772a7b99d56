#include "e2e/SaverScreen.h"

#include <algorithm>

namespace nimbuscope::e2e {

namespace {

constexpr int kLit = 16;
constexpr int kPictureRowLit = 400;

int strongest(QRgb pixel) {
    return std::max({qRed(pixel), qGreen(pixel), qBlue(pixel)});
}

bool rowHasInk(const QImage& image, int y, int minLevel) {
    const auto* line = reinterpret_cast<const QRgb*>(image.constScanLine(y));
    return std::any_of(line, line + image.width(),
                       [&](QRgb pixel) { return strongest(pixel) >= minLevel; });
}

} // namespace

QFont saverFont(int pixelSize) {
    QFont font(QStringLiteral("Liberation Sans"));
    font.setStyleHint(QFont::SansSerif);
    font.setPixelSize(pixelSize);
    font.setBold(true);
    return font;
}

int pictureTop(const QImage& screen, int fromRow) {
    const QImage image = screen.convertToFormat(QImage::Format_RGB32);
    for (int y = std::max(0, fromRow); y < image.height(); ++y) {
        const auto* line = reinterpret_cast<const QRgb*>(image.constScanLine(y));
        const auto lit = std::count_if(line, line + image.width(),
                                       [](QRgb pixel) { return strongest(pixel) > kLit; });
        if (lit >= kPictureRowLit) {
            return y;
        }
    }
    return -1;
}

int firstLitColumn(const QImage& screen, int row) {
    if (row < 0 || row >= screen.height()) {
        return -1;
    }
    for (int x = 0; x < screen.width(); ++x) {
        if (strongest(screen.pixel(x, row)) > kLit) {
            return x;
        }
    }
    return -1;
}

QImage firstInkBand(const QImage& picture, int minLevel) {
    const QImage image = picture.convertToFormat(QImage::Format_RGB32);
    int top = 0;
    while (top < image.height() && !rowHasInk(image, top, minLevel)) {
        ++top;
    }
    int bottom = top;
    while (bottom < image.height() && rowHasInk(image, bottom, minLevel)) {
        ++bottom;
    }
    return top < image.height() ? image.copy(0, top, image.width(), bottom - top) : QImage();
}

} // namespace nimbuscope::e2e
