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
constexpr int kInkSlack = 3;

} // namespace

bool problemLineShown(XvfbSession& session) {
    // The saver window's font: bold Liberation Sans.
    QFont font(QStringLiteral("Liberation Sans"));
    font.setStyleHint(QFont::SansSerif);
    font.setPixelSize(kProblemPx);
    font.setBold(true);
    const QImage message = renderText(
        QStringLiteral("Nimbuscope is having difficulty connecting to the NOAA website."), font,
        kProblemColour);
    const QRect wanted = inkBounds(message);
    const QRect shown = inkBounds(session.x().grabScreen().copy(kProblemArea));
    return !shown.isNull() && std::abs(shown.width() - wanted.width()) <= kInkSlack &&
           std::abs(shown.height() - wanted.height()) <= kInkSlack;
}

QRect pictureArea(const QImage& screen) {
    const QImage image = screen.convertToFormat(QImage::Format_RGB32);
    int top = kCaptionBandTop;
    for (; top < image.height(); ++top) {
        const auto* line = reinterpret_cast<const QRgb*>(image.constScanLine(top));
        if (std::count_if(line, line + image.width(), [](QRgb p) {
                return std::max({qRed(p), qGreen(p), qBlue(p)}) > kLit;
            }) >= kPictureRowLit) {
            break;
        }
    }
    top = top < image.height() ? top : kCaptionBandTop;
    return QRect(0, top, screen.width(), kProblemArea.top() - top);
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

} // namespace nimbuscope::e2e
