#include "e2e/ImageCompare.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QThread>

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

double colourShare(const QImage& image, QRgb colour, int tolerance) {
    if (image.isNull()) {
        return 0;
    }
    const QImage rgb = image.convertToFormat(QImage::Format_RGB32);
    qint64 matching = 0;
    for (int y = 0; y < rgb.height(); ++y) {
        const auto* line = reinterpret_cast<const QRgb*>(rgb.constScanLine(y));
        for (int x = 0; x < rgb.width(); ++x) {
            matching += std::abs(qRed(line[x]) - qRed(colour)) <= tolerance &&
                        std::abs(qGreen(line[x]) - qGreen(colour)) <= tolerance &&
                        std::abs(qBlue(line[x]) - qBlue(colour)) <= tolerance;
        }
    }
    return double(matching) / (double(rgb.width()) * double(rgb.height()));
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
