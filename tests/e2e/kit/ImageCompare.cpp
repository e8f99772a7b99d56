#include "e2e/kit/ImageCompare.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QThread>

#include <algorithm>
#include <cstdlib>

namespace nimbuscope::e2e {

double meanColourDifference(const QImage& a, const QImage& b) {
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

namespace {

/// The share of the picture's pixels for which `holds` is true; 0 for a null picture.
template <typename Test> double shareOf(const QImage& picture, Test holds) {
    const QImage image = picture.convertToFormat(QImage::Format_RGB32);
    qint64 count = 0;
    for (int y = 0; y < image.height(); ++y) {
        const auto* line = reinterpret_cast<const QRgb*>(image.constScanLine(y));
        count += std::count_if(line, line + image.width(), holds);
    }
    return image.isNull() ? 0 : double(count) / (double(image.width()) * image.height());
}

} // namespace

double colourShare(const QImage& image, QRgb colour, int tolerance) {
    return shareOf(image, [&](QRgb p) {
        return std::abs(qRed(p) - qRed(colour)) <= tolerance &&
               std::abs(qGreen(p) - qGreen(colour)) <= tolerance &&
               std::abs(qBlue(p) - qBlue(colour)) <= tolerance;
    });
}

double vividShare(const QImage& image) {
    return shareOf(image, [&](QRgb p) {
        return std::max({qRed(p), qGreen(p), qBlue(p)}) - std::min({qRed(p), qGreen(p), qBlue(p)}) >
               100;
    });
}

bool waitUntil(const std::function<bool()>& condition, int timeoutMs, int pollMs) {
    const QDeadlineTimer deadline(timeoutMs);
    while (!condition()) {
        if (deadline.hasExpired()) {
            return false;
        }
        QThread::msleep(static_cast<unsigned long>(pollMs));
        // A test running Qt windows of its own keeps them served while it waits.
        if (QCoreApplication::instance() != nullptr) {
            QCoreApplication::processEvents();
        }
    }
    return true;
}

} // namespace nimbuscope::e2e
