#include "pictures/KeptPicture.h"

#include "pictures/FramePicture.h"

#include <algorithm>
#include <array>
#include <numeric>

namespace nimbuscope {

namespace {

constexpr int kIndexes = 256;

/// How many pixels use each index.
std::array<qint64, kIndexes> indexUses(const QImage& picture) {
    std::array<qint64, kIndexes> uses{};
    // Held in a local: width() is an out-of-line call the compiler would make per pixel.
    const int width = picture.width();
    for (int y = 0; y < picture.height(); ++y) {
        const uchar* row = picture.constScanLine(y);
        for (int x = 0; x < width; ++x) {
            ++uses[row[x]];
        }
    }
    return uses;
}

/// `picture` with its colours renumbered by use, the most used first, when it uses one past
/// the first few: a GIF's own colour map may hold a frame's busy colours anywhere, and their
/// short runs would pack to twice the bytes. The pixels stay the same colours; colours no
/// pixel uses are dropped.
QImage busiestColoursFirst(const QImage& picture) {
    if (picture.format() != QImage::Format_Indexed8) {
        return picture;
    }
    const std::array<qint64, kIndexes> uses = indexUses(picture);
    const int colours = int(picture.colorCount());
    const auto used = [&](int from, int to) {
        return std::any_of(uses.begin() + from, uses.begin() + to, [](qint64 n) { return n > 0; });
    };
    // Indexes past the table are left as they are, so they draw as they did.
    if (colours <= PackedPicture::kShortRunColours ||
        !used(PackedPicture::kShortRunColours, colours) || used(colours, kIndexes)) {
        return picture;
    }
    std::array<int, kIndexes> byUse{};
    std::iota(byUse.begin(), byUse.begin() + colours, 0);
    std::stable_sort(byUse.begin(), byUse.begin() + colours,
                     [&](int a, int b) { return uses[std::size_t(a)] > uses[std::size_t(b)]; });
    // Unused colours sort last and are left out.
    const int kept =
        int(std::count_if(uses.begin(), uses.begin() + colours, [](qint64 n) { return n > 0; }));
    const QList<QRgb> table = picture.colorTable();
    QList<QRgb> reordered(kept);
    std::array<uchar, kIndexes> newIndex{};
    for (int rank = 0; rank < kept; ++rank) {
        const int old = byUse[std::size_t(rank)];
        reordered[rank] = table[old];
        newIndex[std::size_t(old)] = uchar(rank);
    }
    QImage renumbered(picture.size(), QImage::Format_Indexed8);
    if (renumbered.isNull()) {
        return picture;
    }
    const int width = picture.width();
    for (int y = 0; y < picture.height(); ++y) {
        const uchar* in = picture.constScanLine(y);
        uchar* out = renumbered.scanLine(y);
        for (int x = 0; x < width; ++x) {
            out[x] = newIndex[in[x]];
        }
    }
    renumbered.setColorTable(reordered);
    renumbered.setDotsPerMeterX(picture.dotsPerMeterX());
    renumbered.setDotsPerMeterY(picture.dotsPerMeterY());
    return renumbered;
}

} // namespace

KeptPicture KeptPicture::compact(const QImage& decoded) {
    const QImage indexed = busiestColoursFirst(toIndexed8IfFewColours(decoded));
    PackedPicture packed = PackedPicture::pack(indexed);
    return packed.isNull() ? KeptPicture(indexed) : KeptPicture(std::move(packed));
}

qsizetype KeptPicture::byteCount() const {
    return isPacked() ? packed_.byteCount() : image_.sizeInBytes();
}

const void* KeptPicture::identity() const {
    if (isPacked()) {
        return packed_.identity();
    }
    // The shared pixel storage: reading it through a const image never detaches.
    return image_.isNull() ? nullptr : image_.constBits();
}

} // namespace nimbuscope
