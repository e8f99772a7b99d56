#include "display/GifPicture.h"

#include <gif_lib.h>

#include <algorithm>
#include <array>
#include <cstring>
#include <memory>

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

/// The string table of an image's LZW code stream. A code that names no string yet is
/// refused: giflib's decoder and Qt's reader each make something different of it.
class LzwTable {
public:
    explicit LzwTable(int codeSize) : clear_(1 << codeSize) {
        for (int i = 0; i < clear_; ++i) {
            prefix_[i] = 0;
            suffix_[i] = first_[i] = uchar(i);
            length_[i] = 1;
        }
    }
    int clearCode() const { return clear_; }
    void clear() {
        next_ = clear_ + 2;
        previous_ = -1;
    }
    /// Writes the string of `code` to `out` (room for kLzwCodes bytes) and defines the next
    /// one. Its length, or 0 when the code names no string.
    int decode(int code, uchar* out) {
        if (previous_ < 0) {
            // After a clear code only a single pixel can follow.
            if (code >= clear_) {
                return 0;
            }
            previous_ = code;
            out[0] = uchar(code);
            return 1;
        }
        if (code > next_ || code == kLzwCodes) {
            return 0;
        }
        // The code defined by this one may be the code itself: its string then starts and
        // ends with the previous string's first pixel.
        define(previous_, first_[code < next_ ? code : previous_]);
        previous_ = code;
        return write(code, out);
    }

private:
    void define(int prefix, uchar last) {
        if (next_ < kLzwCodes) {
            prefix_[next_] = quint16(prefix);
            suffix_[next_] = last;
            first_[next_] = first_[prefix];
            length_[next_] = quint16(length_[prefix] + 1);
            ++next_;
        }
    }
    int write(int code, uchar* out) const {
        const int length = length_[code];
        for (int i = length - 1; i >= 0; --i) {
            out[i] = suffix_[code];
            code = prefix_[code];
        }
        return length;
    }

    int clear_;
    int next_ = clear_ + 2;
    int previous_ = -1;
    std::array<quint16, kLzwCodes> prefix_{};
    std::array<quint16, kLzwCodes> length_{};
    std::array<uchar, kLzwCodes> suffix_{};
    std::array<uchar, kLzwCodes> first_{};
};

/// Where decoded pixels go: the picture's rows in the file's order, the four passes of an
/// interlaced image included. Pixels past the last row are dropped, as Qt's reader drops them.
class RowCursor {
public:
    RowCursor(QImage& picture, bool interlaced)
        : bits_(picture.bits()), stride_(picture.bytesPerLine()), width_(picture.width()),
          height_(picture.height()), passes_(interlaced ? kInterlacedPasses : 1) {}

    void put(const uchar* pixels, int count) {
        while (count > 0 && y_ < height_) {
            const int n = std::min(count, width_ - x_);
            std::memcpy(bits_ + y_ * stride_ + x_, pixels, std::size_t(n));
            pixels += n;
            count -= n;
            x_ += n;
            if (x_ == width_) {
                x_ = 0;
                nextRow();
            }
        }
    }
    bool full() const { return y_ >= height_; }

private:
    static constexpr int kInterlacedPasses = 4;
    static constexpr int kFirstRow[kInterlacedPasses] = {0, 4, 2, 1};
    static constexpr int kRowStep[kInterlacedPasses] = {8, 8, 4, 2};

    void nextRow() {
        y_ += passes_ == 1 ? 1 : kRowStep[pass_];
        while (y_ >= height_ && pass_ + 1 < passes_) {
            y_ = kFirstRow[++pass_];
        }
    }

    uchar* bits_;
    qsizetype stride_;
    int width_;
    int height_;
    int passes_;
    int pass_ = 0;
    int x_ = 0;
    int y_ = 0;
};

/// Decodes the image's codes, read one by one through giflib, straight into `picture`. False
/// on a giflib error, a damaged stream, too few pixels, or an index outside the colour map.
bool decodeRows(GifFileType* gif, QImage& picture, int codeSize, int colourCount) {
    if (codeSize < kMinCodeSize) {
        return false;
    }
    LzwTable table(codeSize);
    RowCursor rows(picture, gif->Image.Interlace);
    std::array<uchar, kLzwCodes> string{};
    // Every pixel is one of the single-pixel codes, so the largest of them bounds the indexes.
    int highest = 0;
    for (;;) {
        int code = 0;
        if (DGifGetLZCodes(gif, &code) != GIF_OK) {
            return false;
        }
        if (code < 0) {
            break; // the end code; giflib has read up to the image's last block
        }
        if (code == table.clearCode()) {
            table.clear();
            continue;
        }
        if (code < table.clearCode()) {
            highest = std::max(highest, code);
        }
        const int length = table.decode(code, string.data());
        if (length == 0) {
            return false;
        }
        rows.put(string.data(), length);
    }
    return rows.full() && highest < colourCount;
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
    if (picture.isNull() || !decodeRows(gif.get(), picture, lzwCodeSize(source), map->ColorCount)) {
        return {};
    }
    picture.setColorTable(opaqueTable(*map));
    return picture;
}

} // namespace nimbuscope
