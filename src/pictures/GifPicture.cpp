#include "pictures/GifPicture.h"

#include <gif_lib.h>

#include <algorithm>
#include <array>
#include <cstring>
#include <memory>
#include <vector>

namespace nimbuscope {

namespace {

constexpr qint64 kBytesPerMB = 1024 * 1024;
/// Qt's reader decodes a GIF to 32 bits a pixel, and checks the limit against that.
constexpr qint64 kQtBytesPerPixel = 4;
constexpr int kMaxColours = 256;
constexpr int kGraphicsControlSize = 4;
constexpr GifByteType kTransparentFlag = 0x01;
/// The most strings an LZW code stream of a GIF defines.
constexpr int kLzwCodes = 4096;
/// The smallest minimum code size the format allows; readers differ on smaller ones.
constexpr int kMinCodeSize = 2;
/// The largest: a pixel is at most 8 bits.
constexpr int kMaxCodeSize = 8;
/// Codes grow to 12 bits, the width that numbers kLzwCodes strings.
constexpr int kMaxCodeWidth = 12;
/// Strings up to this long are copied in one fixed-size move.
constexpr int kShortCopy = 16;

/// The bytes giflib reads, counted so that no read goes past their end.
struct ByteSource {
    const char* data = nullptr;
    qsizetype size = 0;
    qsizetype position = 0;
};

int readBytes(GifFileType* gif, GifByteType* into, int wanted) {
    auto* source = static_cast<ByteSource*>(gif->UserData);
    const qsizetype count = std::clamp<qsizetype>(wanted, 0, source->size - source->position);
    if (count > 0) {
        std::memcpy(into, source->data + source->position, std::size_t(count));
        source->position += count;
    }
    // A short count makes giflib fail the read, which sends the bytes to Qt's reader.
    return int(count);
}

struct GifCloser {
    void operator()(GifFileType* gif) const {
        int error = 0;
        DGifCloseFile(gif, &error);
    }
};
using GifHandle = std::unique_ptr<GifFileType, GifCloser>;

/// Reads one extension to its end. False on a read error, and for a graphics control block
/// that is malformed or names a transparent colour: Qt's reader then gives an alpha channel.
bool skipExtension(GifFileType* gif) {
    int code = 0;
    GifByteType* block = nullptr;
    if (DGifGetExtension(gif, &code, &block) != GIF_OK) {
        return false;
    }
    if (code == GRAPHICS_EXT_FUNC_CODE &&
        (block == nullptr || block[0] != kGraphicsControlSize || (block[1] & kTransparentFlag))) {
        return false;
    }
    while (block != nullptr) {
        if (DGifGetExtensionNext(gif, &block) != GIF_OK) {
            return false;
        }
    }
    return true;
}

/// Reads up to the first image's descriptor, past the extensions before it.
bool reachFirstImage(GifFileType* gif) {
    for (;;) {
        GifRecordType type = UNDEFINED_RECORD_TYPE;
        if (DGifGetRecordType(gif, &type) != GIF_OK) {
            return false;
        }
        if (type == IMAGE_DESC_RECORD_TYPE) {
            return DGifGetImageDesc(gif) == GIF_OK;
        }
        if (type != EXTENSION_RECORD_TYPE || !skipExtension(gif)) {
            return false;
        }
    }
}

/// Qt's reader refuses what would pass the limit at 32 bits a pixel; such a screen is left
/// to it, so the answer at the very edge of the limit stays its answer.
bool screenWithinLimit(const GifFileType& gif, int allocationLimitMB) {
    return gif.SWidth > 0 && gif.SHeight > 0 &&
           qint64(gif.SWidth) * gif.SHeight * kQtBytesPerPixel <=
               qint64(allocationLimitMB) * kBytesPerMB;
}

/// Qt's reader fills what a smaller image leaves of the screen with the background colour.
bool imageCoversScreen(const GifFileType& gif) {
    const GifImageDesc& image = gif.Image;
    return image.Left == 0 && image.Top == 0 && image.Width == gif.SWidth &&
           image.Height == gif.SHeight;
}

/// A giflib reader of `source` past the first image's descriptor, when the declared screen
/// fits the limit and that image covers it; null otherwise.
GifHandle openAtFirstImage(ByteSource& source, int allocationLimitMB) {
    int error = 0;
    GifHandle gif(DGifOpen(&source, readBytes, &error));
    // The declared size is checked before anything is allocated for the image.
    if (!gif || !screenWithinLimit(*gif, allocationLimitMB) || !reachFirstImage(gif.get()) ||
        !imageCoversScreen(*gif)) {
        return nullptr;
    }
    return gif;
}

/// The image's minimum code size: giflib reads it last, with the descriptor.
int lzwCodeSize(const ByteSource& source) {
    return uchar(source.data[source.position - 1]);
}

/// Reads an image's LZW codes, least significant bit first, from the data sub-blocks that
/// follow its descriptor. giflib hands out one code per call; reading them here took a third
/// of decoding a radar frame.
class CodeReader {
public:
    explicit CodeReader(QByteArrayView blocks)
        : next_(reinterpret_cast<const uchar*>(blocks.data())), end_(next_ + blocks.size()) {}

    /// The next code of `width` bits (at most kMaxCodeWidth); -1 when the blocks end first.
    int read(int width) {
        while (count_ < width) {
            if (left_ == 0 && !openBlock()) {
                return -1;
            }
            bits_ |= quint32(*next_++) << count_;
            count_ += 8;
            --left_;
        }
        const int code = int(bits_ & ((1u << width) - 1));
        bits_ >>= width;
        count_ -= width;
        return code;
    }

    /// Reads past the image's remaining blocks; false when they end without their terminator.
    bool skipToTerminator() {
        next_ += left_;
        left_ = 0;
        while (next_ < end_) {
            const int size = *next_++;
            if (size == 0) {
                return true;
            }
            if (end_ - next_ < size) {
                return false;
            }
            next_ += size;
        }
        return false;
    }

private:
    /// Opens the next sub-block; false at the terminator or the end of the bytes.
    bool openBlock() {
        if (next_ >= end_ || *next_ == 0) {
            return false;
        }
        left_ = *next_++;
        return end_ - next_ >= left_;
    }

    const uchar* next_;
    const uchar* end_;
    int left_ = 0;
    /// Bits read and not yet handed out; never more than a code's width plus a byte.
    quint32 bits_ = 0;
    int count_ = 0;
};

/// Decodes an image's LZW code stream into a run of pixels. Every string a code stands for
/// was written out before, whole, so the table keeps where and how long it is, and a code is
/// decoded by copying from earlier in the output. A code that names no string yet is refused:
/// decoders differ on what it means (giflib's and Qt's do), so Qt's reader decides.
class LzwDecoder {
public:
    /// Decodes into out[0, size); pixels past it are dropped, as Qt's reader drops them.
    LzwDecoder(int codeSize, uchar* out, qsizetype size)
        : codeSize_(codeSize), clear_(1 << codeSize), out_(out), size_(size) {}

    int clearCode() const { return clear_; }
    int endCode() const { return clear_ + 1; }
    /// The width of the next code: one bit more than the pixels', growing as the table does.
    int codeWidth() const { return width_; }
    void clear() {
        next_ = clear_ + 2;
        width_ = codeSize_ + 1;
        previousLength_ = 0;
    }
    bool full() const { return end_ >= size_; }

    /// Appends the string of `code` and defines the next one; false when it names no string.
    bool decode(int code) {
        const bool single = code < clear_;
        if (previousLength_ == 0) {
            // After a clear code only a single pixel can follow.
            if (!single) {
                return false;
            }
        } else {
            if (code > next_ || (!single && code < clear_ + 2)) {
                return false;
            }
            // The new string is the previous one and the first pixel of this one, which is
            // written next to it; it may be this very code, which then starts and ends alike.
            if (next_ < kLzwCodes) {
                at_[std::size_t(next_)] = previousAt_;
                length_[std::size_t(next_)] = previousLength_ + 1;
                ++next_;
                // A full table keeps its width: the codes after it stay 12 bits wide.
                if (next_ == 1 << width_ && width_ < kMaxCodeWidth) {
                    ++width_;
                }
            }
        }
        const int length = single ? 1 : length_[std::size_t(code)];
        if (single) {
            put(code);
        } else {
            copy(at_[std::size_t(code)], length);
        }
        previousAt_ = end_;
        previousLength_ = length;
        end_ += length;
        return true;
    }

private:
    void put(int pixel) {
        if (end_ < size_) {
            out_[end_] = uchar(pixel);
        }
    }
    /// Copies `length` pixels from `from`, which lies before the end; the last of them may be
    /// the first one copied.
    void copy(qsizetype from, int length) {
        if (length <= kShortCopy && end_ + kShortCopy <= size_) {
            // Most strings are short: one fixed-size move instead of a call. It reads past the
            // string into pixels not written yet and writes past it what later strings replace;
            // as a move it reads everything before writing, so the string itself comes out whole.
            std::memmove(out_ + end_, out_ + from, kShortCopy);
        } else if (end_ + length <= size_) {
            std::memcpy(out_ + end_, out_ + from, std::size_t(length - 1));
        } else {
            for (qsizetype i = 0; i < length && end_ + i < size_; ++i) {
                out_[end_ + i] = out_[from + i];
            }
            return;
        }
        out_[end_ + length - 1] = out_[from + length - 1];
    }

    int codeSize_;
    int clear_;
    int next_ = clear_ + 2;
    int width_ = codeSize_ + 1;
    uchar* out_;
    qsizetype size_;
    qsizetype end_ = 0;
    qsizetype previousAt_ = 0;
    int previousLength_ = 0;
    std::array<qsizetype, kLzwCodes> at_{};
    std::array<int, kLzwCodes> length_{};
};

/// Copies pixels decoded in file order into the picture's rows, the four passes of an
/// interlaced image in their order.
void copyRows(const uchar* pixels, QImage& picture, bool interlaced) {
    constexpr int kFirstRow[] = {0, 4, 2, 1};
    constexpr int kRowStep[] = {8, 8, 4, 2};
    const int passes = interlaced ? 4 : 1;
    const auto width = std::size_t(picture.width());
    for (int pass = 0; pass < passes; ++pass) {
        const int step = interlaced ? kRowStep[pass] : 1;
        for (int y = interlaced ? kFirstRow[pass] : 0; y < picture.height(); y += step) {
            std::memcpy(picture.scanLine(y), pixels, width);
            pixels += width;
        }
    }
}

/// Decodes the image's code stream, the rest of `source`, into `picture`: straight into its
/// pixels when they are one run in file order, as a radar frame's are. False on a damaged or
/// unterminated stream, too few pixels, or an index outside the colour map.
bool decodeRows(const ByteSource& source, bool interlaced, QImage& picture, int colourCount) {
    const int codeSize = lzwCodeSize(source);
    if (codeSize < kMinCodeSize || codeSize > kMaxCodeSize) {
        return false;
    }
    const qsizetype size = qsizetype(picture.width()) * picture.height();
    const bool straight = !interlaced && picture.bytesPerLine() == picture.width();
    std::vector<uchar> buffer(straight ? 0 : std::size_t(size));
    LzwDecoder decoder(codeSize, straight ? picture.bits() : buffer.data(), size);
    CodeReader codes(QByteArrayView(source.data, source.size).sliced(source.position));
    // Every pixel is one of the single-pixel codes, so the largest of them bounds the indexes.
    int highest = 0;
    for (;;) {
        const int code = codes.read(decoder.codeWidth());
        if (code < 0) {
            return false;
        }
        if (code == decoder.endCode()) {
            break;
        }
        if (code == decoder.clearCode()) {
            decoder.clear();
            continue;
        }
        if (code < decoder.clearCode()) {
            highest = std::max(highest, code);
        }
        if (!decoder.decode(code)) {
            return false;
        }
    }
    if (!codes.skipToTerminator() || !decoder.full() || highest >= colourCount) {
        return false;
    }
    if (!straight) {
        copyRows(buffer.data(), picture, interlaced);
    }
    return true;
}

/// The map's colours, opaque as Qt's reader gives them.
QList<QRgb> opaqueTable(const ColorMapObject& map) {
    QList<QRgb> table;
    table.reserve(map.ColorCount);
    for (int i = 0; i < map.ColorCount; ++i) {
        const GifColorType& c = map.Colors[i];
        table.push_back(qRgb(c.Red, c.Green, c.Blue));
    }
    return table;
}

} // namespace

bool hasGifSignature(QByteArrayView bytes) {
    return bytes.startsWith("GIF87a") || bytes.startsWith("GIF89a");
}

QImage decodeIndexedGif(QByteArrayView bytes, int allocationLimitMB) {
    if (!hasGifSignature(bytes)) {
        return {};
    }
    ByteSource source{bytes.data(), bytes.size()};
    const GifHandle gif = openAtFirstImage(source, allocationLimitMB);
    if (!gif) {
        return {};
    }
    const ColorMapObject* map = gif->Image.ColorMap ? gif->Image.ColorMap : gif->SColorMap;
    if (map == nullptr || map->ColorCount <= 0 || map->ColorCount > kMaxColours) {
        return {};
    }
    QImage picture(gif->SWidth, gif->SHeight, QImage::Format_Indexed8);
    if (picture.isNull() || !decodeRows(source, gif->Image.Interlace, picture, map->ColorCount)) {
        return {};
    }
    picture.setColorTable(opaqueTable(*map));
    return picture;
}

} // namespace nimbuscope
