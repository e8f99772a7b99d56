#include "pictures/PackedPicture.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <limits>
#include <vector>

namespace nimbuscope {

/// Every row is either raw (exactly `width` bytes of colour indexes) or a list of runs that
/// is always shorter than the raw row; so a row's length tells which it is. A run is one byte
/// when it is short and of one of the first colours (radar frames: the noisy inside of a
/// storm), otherwise a byte for its length and one for its colour index.
struct PackedPicture::Data {
    QSize size;
    QList<QRgb> colorTable;
    /// Where each row starts in `bytes`, plus the end of the last row.
    std::vector<quint32> rowStart;
    std::vector<uchar> bytes;

    const uchar* row(int y) const { return bytes.data() + rowStart[std::size_t(y)]; }
    int rowLength(int y) const {
        return int(rowStart[std::size_t(y) + 1] - rowStart[std::size_t(y)]);
    }
    bool isRaw(int y) const { return rowLength(y) == size.width(); }
};

namespace {

using Lut = std::array<QRgb, 256>;

/// The colour table with alpha forced opaque; indexes beyond it draw as 0, as the direct
/// 8-bit path always has.
Lut opaqueLut(const QList<QRgb>& table) {
    Lut lut{};
    for (qsizetype i = 0; i < table.size() && i < qsizetype(lut.size()); ++i) {
        lut[std::size_t(i)] = table[i] | 0xff000000u;
    }
    return lut;
}

/// Run bytes: below kLongRun, 0LLIIIII (length 1 + LL, colour index IIIII); from kLongRun
/// on, 1LLLLLLL (length 1 + LLLLLLL) followed by the colour index.
constexpr uchar kLongRun = 0x80;
constexpr int kShortRunMax = 4;
constexpr int kShortRunColours = PackedPicture::kShortRunColours;

struct Run {
    int length;
    uchar index;
};

/// The run at `p`, moving `p` past it.
inline Run nextRun(const uchar*& p) {
    const uchar head = *p++;
    if (head < kLongRun) {
        return {(head >> 5) + 1, uchar(head & (kShortRunColours - 1))};
    }
    return {(head & 0x7f) + 1, *p++};
}

/// Appends one run of at most kMaxRun pixels.
void appendRun(int length, uchar index, std::vector<uchar>& out) {
    if (length <= kShortRunMax && index < kShortRunColours) {
        out.push_back(uchar((length - 1) << 5 | index));
    } else {
        out.push_back(uchar(kLongRun | (length - 1)));
        out.push_back(index);
    }
}

/// Appends the runs of `src` to `out`, giving up (false) as soon as they would be no
/// shorter than the raw row.
bool appendRuns(const uchar* src, int width, std::vector<uchar>& out) {
    const std::size_t start = out.size();
    for (int x = 0; x < width;) {
        const uchar value = src[x];
        int length = 1;
        while (x + length < width && length < PackedPicture::kMaxRun && src[x + length] == value) {
            ++length;
        }
        appendRun(length, value, out);
        if (out.size() - start >= std::size_t(width)) {
            return false;
        }
        x += length;
    }
    return true;
}

void appendRow(const uchar* src, int width, std::vector<uchar>& out) {
    const std::size_t start = out.size();
    if (!appendRuns(src, width, out)) {
        out.resize(start);
        out.insert(out.end(), src, src + width);
    }
}

bool packable(const QImage& picture) {
    const qint64 raw = qint64(picture.width()) * picture.height();
    return !picture.isNull() && picture.format() == QImage::Format_Indexed8 &&
           !picture.hasAlphaChannel() && picture.devicePixelRatio() == 1.0 &&
           raw <= std::numeric_limits<quint32>::max();
}

bool is32Bit(QImage::Format format) {
    return format == QImage::Format_RGB32 || format == QImage::Format_ARGB32 ||
           format == QImage::Format_ARGB32_Premultiplied;
}

/// Four pixels of one colour, stored in one 16-byte move.
struct Quad {
    explicit Quad(QRgb colour) : pixels{colour, colour, colour, colour} {}
    void storeAt(QRgb* dst) const { std::memcpy(dst, pixels.data(), sizeof pixels); }
    std::array<QRgb, 4> pixels;
};
static_assert(kShortRunMax == 4, "a short run is written as one quad");

/// dst[0, count) = colour, four pixels a store: a pixel at a time, the stores were half the
/// time of painting a frame.
inline void fillPixels(QRgb* dst, int count, QRgb colour) {
    if (count < 4) {
        std::fill_n(dst, count, colour);
        return;
    }
    const Quad quad(colour);
    int i = 0;
    for (; i + 4 <= count; i += 4) {
        quad.storeAt(dst + i);
    }
    if (i < count) {
        quad.storeAt(dst + count - 4); // overlaps pixels already written, never past the end
    }
}

/// Fills dst[0, to - from) with the row's runs cut to the picture columns [from, to).
void drawRuns(const uchar* runs, const uchar* end, int from, int to, const Lut& lut, QRgb* dst) {
    for (int x = 0; runs != end && x < to;) {
        const Run run = nextRun(runs);
        const int next = x + run.length;
        const QRgb colour = lut[run.index];
        if (run.length <= kShortRunMax && x >= from && x + kShortRunMax <= to) {
            // A fixed-length store instead of a loop of one to four: storms are mostly such
            // runs. What it writes past the run, the next run writes over.
            Quad(colour).storeAt(dst + (x - from));
        } else {
            const int left = std::max(x, from);
            const int right = std::min(next, to);
            if (left < right) {
                fillPixels(dst + (left - from), right - left, colour);
            }
        }
        x = next;
    }
}

/// Eight indexes at once, to tell a run of one colour from mixed pixels.
constexpr int kBlock = 8;
constexpr quint64 kEveryByte = 0x0101010101010101ull;

/// Fills dst[0, to - from) through the table from the row's indexes src[from, to). A block
/// of eight equal indexes, most of a radar frame, takes one look-up and two quad stores.
void drawRaw(const uchar* src, int from, int to, const Lut& lut, QRgb* dst) {
    int x = from;
    for (; x + kBlock <= to; x += kBlock) {
        quint64 block = 0;
        std::memcpy(&block, src + x, sizeof block);
        QRgb* out = dst + (x - from);
        if (block == src[x] * kEveryByte) {
            const Quad quad(lut[src[x]]);
            quad.storeAt(out);
            quad.storeAt(out + 4);
            continue;
        }
        for (int i = 0; i < kBlock; ++i) {
            out[i] = lut[src[x + i]];
        }
    }
    for (; x < to; ++x) {
        dst[x - from] = lut[src[x]];
    }
}

} // namespace

PackedPicture PackedPicture::pack(const QImage& picture) {
    if (!packable(picture)) {
        return PackedPicture();
    }
    auto d = std::make_shared<Data>();
    d->size = picture.size();
    d->colorTable = picture.colorTable();
    d->rowStart.reserve(std::size_t(picture.height()) + 1);
    for (int y = 0; y < picture.height(); ++y) {
        d->rowStart.push_back(quint32(d->bytes.size()));
        appendRow(picture.constScanLine(y), picture.width(), d->bytes);
    }
    d->rowStart.push_back(quint32(d->bytes.size()));
    // Kept for the whole run: growth slack would cost as much as the packing saves.
    d->bytes.shrink_to_fit();
    return PackedPicture(std::move(d));
}

QImage PackedPicture::unpack() const {
    if (!d_) {
        return QImage();
    }
    QImage picture(d_->size, QImage::Format_Indexed8);
    if (picture.isNull()) {
        return picture;
    }
    picture.setColorTable(d_->colorTable);
    for (int y = 0; y < d_->size.height(); ++y) {
        uchar* dst = picture.scanLine(y);
        const uchar* row = d_->row(y);
        if (d_->isRaw(y)) {
            std::memcpy(dst, row, std::size_t(d_->size.width()));
            continue;
        }
        for (const uchar* p = row; p != row + d_->rowLength(y);) {
            const Run run = nextRun(p);
            dst = std::fill_n(dst, run.length, run.index);
        }
    }
    return picture;
}

void PackedPicture::drawInto(QImage& device, const QRect& target, QPoint origin) const {
    if (!d_ || !is32Bit(device.format())) {
        return;
    }
    const QRect part = target & device.rect() & QRect(origin, d_->size);
    if (part.isEmpty()) {
        return;
    }
    const Lut lut = opaqueLut(d_->colorTable);
    const int from = part.left() - origin.x();
    const int to = from + part.width();
    for (int y = part.top(); y <= part.bottom(); ++y) {
        const int row = y - origin.y();
        auto* dst = reinterpret_cast<QRgb*>(device.scanLine(y)) + part.left();
        if (d_->isRaw(row)) {
            drawRaw(d_->row(row), from, to, lut, dst);
        } else {
            drawRuns(d_->row(row), d_->row(row) + d_->rowLength(row), from, to, lut, dst);
        }
    }
}

void drawIndexedInto(QImage& device, const QImage& picture, const QRect& target, QPoint origin) {
    const Lut lut = opaqueLut(picture.colorTable());
    const int from = target.left() - origin.x();
    const int to = from + target.width();
    for (int y = target.top(); y <= target.bottom(); ++y) {
        auto* dst = reinterpret_cast<QRgb*>(device.scanLine(y)) + target.left();
        drawRaw(picture.constScanLine(y - origin.y()), from, to, lut, dst);
    }
}

QSize PackedPicture::size() const {
    return d_ ? d_->size : QSize();
}

qsizetype PackedPicture::byteCount() const {
    if (!d_) {
        return 0;
    }
    return qsizetype(sizeof(Data) + d_->bytes.capacity() +
                     d_->rowStart.capacity() * sizeof(quint32) +
                     std::size_t(d_->colorTable.size()) * sizeof(QRgb));
}

} // namespace nimbuscope
