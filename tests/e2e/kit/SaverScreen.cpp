#include "e2e/kit/SaverScreen.h"

#include "e2e/kit/XvfbSession.h"

#include <QThread>

#include <algorithm>

namespace nimbuscope::e2e {

namespace {

constexpr int kLit = 16;
constexpr int kPictureRowLit = 400;
constexpr int kDialogActivationMs = 500;
constexpr int kFrameChanges = 3;
constexpr int kFramesPlayWithinMs = 10000;
constexpr int kFramePollMs = 300;
constexpr double kFrameChanged = 0.5;
constexpr int kProblemPx = 13;
constexpr QRgb kProblemColour = 0xffffc857;

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

double problemLineDistance(XvfbSession& session) {
    const QImage message = renderText(
        QStringLiteral("Nimbuscope is having difficulty connecting to the NOAA website."),
        saverFont(kProblemPx), kProblemColour);
    return inkDistance(session.x().grabScreen().copy(kProblemArea), message);
}

quint32 waitForSetupDialog(XvfbSession& session, int withinMs) {
    const quint32 dialog = session.waitForWindow(QStringLiteral("^Nimbuscope Setup$"), withinMs);
    if (dialog != 0) {
        QThread::msleep(kDialogActivationMs);
    }
    return dialog;
}

bool typeInto(XvfbSession& session, quint32 window, const QString& keys) {
    return session.mouseMove(session.x().windowGeometry(window).center()) && session.key(keys);
}

bool framesPlayIn(XvfbSession& session, const QRect& area) {
    QImage previous = session.x().grabScreen().copy(area);
    int changes = 0;
    return waitUntil(
        [&] {
            const QImage now = session.x().grabScreen().copy(area);
            changes += meanColourDifference(previous, now) > kFrameChanged ? 1 : 0;
            previous = now;
            return changes >= kFrameChanges;
        },
        kFramesPlayWithinMs, kFramePollMs);
}

} // namespace nimbuscope::e2e
