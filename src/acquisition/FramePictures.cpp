#include "acquisition/FramePictures.h"

#include <QImageReader>
#include <QList>
#include <QSet>

#include <optional>

namespace nimbuscope {

namespace {

/// The picture's colours, or nothing once there are more than fit an indexed picture.
std::optional<QList<QRgb>> fewColours(const QImage& picture) {
    QSet<QRgb> seen;
    QList<QRgb> table;
    for (int y = 0; y < picture.height(); ++y) {
        const auto* line = reinterpret_cast<const QRgb*>(picture.constScanLine(y));
        for (int x = 0; x < picture.width(); ++x) {
            if (seen.contains(line[x])) {
                continue;
            }
            if (table.size() == kMaxIndexedColours) {
                return std::nullopt;
            }
            seen.insert(line[x]);
            table.append(line[x]);
        }
    }
    return table;
}

} // namespace

QImage compactFramePicture(const QImage& picture) {
    if (picture.isNull() || picture.depth() <= 8) {
        return picture;
    }
    const QImage source = picture.hasAlphaChannel() ? picture.convertToFormat(QImage::Format_ARGB32)
                                                    : picture.convertToFormat(QImage::Format_RGB32);
    const std::optional<QList<QRgb>> table = fewColours(source);
    if (!table) {
        return picture;
    }
    // With the exact colour table and no dithering every pixel maps to its own entry.
    return source.convertToFormat(QImage::Format_Indexed8, *table,
                                  Qt::ThresholdDither | Qt::AvoidDither);
}

QImage loadCompactFramePicture(const QString& fileName) {
    QImageReader reader(fileName);
    reader.setDecideFormatFromContent(true);
    return compactFramePicture(reader.read());
}

} // namespace nimbuscope
