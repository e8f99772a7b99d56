#pragma once

#include <QImage>
#include <QList>
#include <QPoint>
#include <QRect>
#include <QSize>

#include <memory>

namespace nimbuscope {

/// An opaque 8-bit picture kept as run-length rows plus its colour table. Radar frames are
/// mostly long runs of one colour, so a long animation held in memory packs to a fraction of
/// its decoded size, and painting it costs one colour look-up per run instead of per pixel.
/// Immutable; copies share the packed rows.
class PackedPicture {
public:
    /// The longest run one run record describes; longer runs take several.
    static constexpr int kMaxRun = 128;
    /// A short run takes one byte only in one of the table's first colours.
    static constexpr int kShortRunColours = 32;

    PackedPicture() = default;

    /// `picture` packed, when it is an opaque Format_Indexed8 picture at a device pixel ratio
    /// of 1; otherwise (null, any other format, see-through colours) a null PackedPicture.
    static PackedPicture pack(const QImage& picture);

    /// The picture again: the same size, colour table and pixel indexes.
    QImage unpack() const;

    /// Writes the part `target` of a 32-bit `device` (RGB32, ARGB32 or
    /// ARGB32_Premultiplied) with the picture's top-left at `origin`, through the colour
    /// table with alpha forced opaque. Only the part of `target` that lies inside both the
    /// device and the picture is written; any other device format is left untouched.
    void drawInto(QImage& device, const QRect& target, QPoint origin) const;

    bool isNull() const { return !d_; }
    QSize size() const;
    /// The memory the packed picture holds.
    qsizetype byteCount() const;
    /// Equal for copies of one packed picture, as long as one of them lives.
    const void* identity() const { return d_.get(); }

private:
    struct Data;
    explicit PackedPicture(std::shared_ptr<const Data> d) : d_(std::move(d)) {}

    std::shared_ptr<const Data> d_;
};

/// Writes an opaque 8-bit `picture` straight into a 32-bit `device` through its colour table
/// (alpha forced opaque): one pass, instead of a conversion into a second picture and a copy
/// of it. `target`, the part of `device` to fill, must lie inside both the device and the
/// picture placed with its top-left at `origin`.
void drawIndexedInto(QImage& device, const QImage& picture, const QRect& target, QPoint origin);

} // namespace nimbuscope
