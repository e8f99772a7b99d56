#pragma once

#include "pictures/PackedPicture.h"

#include <QImage>
#include <QSize>

namespace nimbuscope {

/// A decoded frame as the display list keeps it for the whole run: packed when it is an
/// opaque picture of at most 256 colours, otherwise the decoded picture as it is. Copies
/// share the pixels.
class KeptPicture {
public:
    KeptPicture() = default;
    explicit KeptPicture(QImage picture) : image_(std::move(picture)) {}
    explicit KeptPicture(PackedPicture packed) : packed_(std::move(packed)) {}

    /// `decoded` in the smallest form that keeps every pixel exactly.
    static KeptPicture compact(const QImage& decoded);

    bool isNull() const { return packed_.isNull() && image_.isNull(); }
    bool isPacked() const { return !packed_.isNull(); }
    /// Null unless isPacked().
    const PackedPicture& packed() const { return packed_; }
    /// Null when isPacked().
    const QImage& image() const { return image_; }

    QSize size() const { return isPacked() ? packed_.size() : image_.size(); }
    /// The picture as a QImage, unpacked when it is packed.
    QImage toImage() const { return isPacked() ? packed_.unpack() : image_; }
    /// The memory the picture holds.
    qsizetype byteCount() const;
    /// Equal for copies of one kept picture, as long as one of them lives; null when null.
    const void* identity() const;

private:
    PackedPicture packed_;
    QImage image_;
};

} // namespace nimbuscope
