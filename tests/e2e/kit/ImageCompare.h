#pragma once

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QImage>
#include <QThread>

#include <algorithm>
#include <cstdlib>
#include <functional>

namespace nimbuscope::e2e {

/// The share (0 to 1) of the picture's pixels for which `holds` is true; 0 for a null picture.
template <typename Test> double shareOf(const QImage& picture, Test holds) {
    const QImage image = picture.convertToFormat(QImage::Format_RGB32);
    qint64 count = 0;
    for (int y = 0; y < image.height(); ++y) {
        const auto* line = reinterpret_cast<const QRgb*>(image.constScanLine(y));
        count += std::count_if(line, line + image.width(), holds);
    }
    return image.isNull() ? 0 : double(count) / (double(image.width()) * image.height());
}

/// The share of the picture's pixels whose red, green and blue values each lie within
/// `tolerance` of `colour`.
inline double colourShare(const QImage& image, QRgb colour, int tolerance = 0) {
    return shareOf(image, [&](QRgb p) {
        return std::abs(qRed(p) - qRed(colour)) <= tolerance &&
               std::abs(qGreen(p) - qGreen(colour)) <= tolerance &&
               std::abs(qBlue(p) - qBlue(colour)) <= tolerance;
    });
}

/// The share of the picture's pixels whose strongest and weakest colour channels lie more than
/// 100 apart: radar echoes and the colour scale are vivid, text and the start-up logo hardly at
/// all.
inline double vividShare(const QImage& image) {
    return shareOf(image, [](QRgb p) {
        return std::max({qRed(p), qGreen(p), qBlue(p)}) - std::min({qRed(p), qGreen(p), qBlue(p)}) >
               100;
    });
}

/// The mean absolute difference of the red, green and blue values of two pictures of the
/// same size (0 for equal pictures, 255 for black against white); -1 when the sizes differ
/// or either is null.
inline double meanColourDifference(const QImage& a, const QImage& b) {
    if (a.isNull() || b.isNull() || a.size() != b.size()) {
        return -1;
    }
    const QImage left = a.convertToFormat(QImage::Format_RGB32);
    const QImage right = b.convertToFormat(QImage::Format_RGB32);
    qint64 total = 0;
    for (int y = 0; y < left.height(); ++y) {
        const auto* l = reinterpret_cast<const QRgb*>(left.constScanLine(y));
        const auto* r = reinterpret_cast<const QRgb*>(right.constScanLine(y));
        for (int x = 0; x < left.width(); ++x) {
            total += std::abs(qRed(l[x]) - qRed(r[x])) + std::abs(qGreen(l[x]) - qGreen(r[x])) +
                     std::abs(qBlue(l[x]) - qBlue(r[x]));
        }
    }
    return double(total) / (3.0 * double(left.width()) * double(left.height()));
}

/// Asks `condition` every `pollMs` until it holds or `timeoutMs` have passed; true when it
/// held. Events of this process (its own Qt windows) are served meanwhile.
inline bool waitUntil(const std::function<bool()>& condition, int timeoutMs, int pollMs = 20) {
    const QDeadlineTimer deadline(timeoutMs);
    while (!condition()) {
        if (deadline.hasExpired()) {
            return false;
        }
        QThread::msleep(static_cast<unsigned long>(pollMs));
        if (QCoreApplication::instance() != nullptr) {
            QCoreApplication::processEvents();
        }
    }
    return true;
}

} // namespace nimbuscope::e2e
