#include "pictures/FramePicture.h"

#include "pictures/GifPicture.h"
#include "support/Error.h"

#include <QBuffer>
#include <QFile>
#include <QImageReader>

#include <unordered_map>

namespace nimbuscope {

namespace {

constexpr int kMaxIndexedColours = 256;
constexpr QRgb kOpaqueAlpha = 0xff000000;
constexpr qsizetype kGifSignatureSize = 6;
/// Larger files are left to Qt's reader, which streams them: a radar frame is tens of
/// kilobytes, and a GIF within the allocation limit is far smaller than this.
constexpr qint64 kMaxDirectGifFileBytes = qint64(kPictureAllocationLimitMB) * 1024 * 1024;

/// Maps colours to table positions until a picture turns out to have too many of them.
class ColourTable {
public:
    /// The position of `colour`, added when new; -1 once the table would overflow.
    int indexOf(QRgb colour) {
        // Radar frames are long runs of one colour; the last hit saves most look-ups.
        if (hasLast_ && colour == lastColour_) {
            return lastIndex_;
        }
        auto found = positions_.find(colour);
        if (found == positions_.end()) {
            if (colours_.size() == kMaxIndexedColours) {
                return -1;
            }
            found = positions_.emplace(colour, int(colours_.size())).first;
            colours_.push_back(colour);
        }
        hasLast_ = true;
        lastColour_ = colour;
        lastIndex_ = found->second;
        return lastIndex_;
    }
    const QList<QRgb>& colours() const { return colours_; }

private:
    std::unordered_map<QRgb, int> positions_;
    QList<QRgb> colours_;
    bool hasLast_ = false;
    QRgb lastColour_ = 0;
    int lastIndex_ = 0;
};

/// The frame file's GIF decoded straight to 8 bits; null when it is no GIF or needs Qt's
/// reader. Only a GIF is read whole, so other pictures cost one short peek more.
QImage decodeIndexedGifFile(const QString& fileName) {
    QFile file(fileName);
    if (!file.open(QIODevice::ReadOnly) || file.size() > kMaxDirectGifFileBytes ||
        !hasGifSignature(file.peek(kGifSignatureSize))) {
        return {};
    }
    return decodeIndexedGif(file.readAll(), kPictureAllocationLimitMB);
}

} // namespace

QImage loadFramePicture(const QString& fileName) {
    if (QImage direct = decodeIndexedGifFile(fileName); !direct.isNull()) {
        return direct;
    }
    QImageReader reader(fileName);
    reader.setAllocationLimit(kPictureAllocationLimitMB);
    QImage picture;
    if (!reader.read(&picture) || picture.isNull()) {
        throw Error(kInvalidPictureError, QStringLiteral("Invalid picture"));
    }
    return picture;
}

QImage decodePicture(const QByteArray& bytes) {
    if (QImage direct = decodeIndexedGif(bytes, kPictureAllocationLimitMB); !direct.isNull()) {
        return direct;
    }
    return decodeWithQtReader(bytes);
}

QImage decodeWithQtReader(const QByteArray& bytes) {
    QBuffer buffer;
    buffer.setData(bytes);
    QImageReader reader(&buffer);
    reader.setAllocationLimit(kPictureAllocationLimitMB);
    return reader.read();
}

QImage toIndexed8IfFewColours(const QImage& picture) {
    if (picture.isNull() || picture.format() == QImage::Format_Indexed8) {
        return picture;
    }
    // Straight (not premultiplied) 32-bit pixels, so the table holds the colours as decoded.
    const QImage source = picture.convertToFormat(picture.hasAlphaChannel() ? QImage::Format_ARGB32
                                                                            : QImage::Format_RGB32);
    QImage indexed(source.size(), QImage::Format_Indexed8);
    if (indexed.isNull()) {
        return picture;
    }
    // An opaque picture's unused top byte is not always 0xff (a decoder may leave the part a
    // truncated file lacks at zero); taken as it stands, it would turn opaque pixels clear.
    const QRgb forcedAlpha = source.hasAlphaChannel() ? 0 : kOpaqueAlpha;
    ColourTable table;
    for (int y = 0; y < source.height(); ++y) {
        const auto* in = reinterpret_cast<const QRgb*>(source.constScanLine(y));
        uchar* out = indexed.scanLine(y);
        for (int x = 0; x < source.width(); ++x) {
            const int index = table.indexOf(in[x] | forcedAlpha);
            if (index < 0) {
                return picture;
            }
            out[x] = uchar(index);
        }
    }
    indexed.setColorTable(table.colours());
    indexed.setDotsPerMeterX(picture.dotsPerMeterX());
    indexed.setDotsPerMeterY(picture.dotsPerMeterY());
    return indexed;
}

} // namespace nimbuscope
