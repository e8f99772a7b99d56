#include "display/GifPicture.h"

#include <gif_lib.h>

#include <algorithm>
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

/// True when every code of the image's stream names a string already defined, or the one
/// it defines itself, and the stream ends with its end code. giflib's decoder and Qt's
/// reader each make something different of any other code, so such a stream goes to Qt's.
bool codesWellFormed(GifFileType* gif, int codeSize) {
    if (codeSize < kMinCodeSize) {
        return false;
    }
    const int clear = 1 << codeSize;
    int next = clear + 2;
    bool first = true;
    for (;;) {
        int code = 0;
        if (DGifGetLZCodes(gif, &code) != GIF_OK) {
            return false;
        }
        if (code < 0) {
            return true; // the end code; giflib has read up to the image's last block
        }
        if (code == clear) {
            next = clear + 2;
            first = true;
            continue;
        }
        if (first ? code >= clear : code > next) {
            return false;
        }
        if (!first && next < kLzwCodes) {
            ++next;
        }
        first = false;
    }
}

/// Decodes the image's rows into `picture`, interlaced ones in the order of their four
/// passes. False on a giflib error or when an index lies outside the colour map.
bool readRows(GifFileType* gif, QImage& picture, int colourCount) {
    const int width = picture.width();
    const int height = picture.height();
    uchar* const bits = picture.bits();
    const qsizetype stride = picture.bytesPerLine();
    uchar highest = 0;
    const auto readRow = [&](int y) {
        uchar* row = bits + y * stride;
        if (DGifGetLine(gif, row, width) != GIF_OK) {
            return false;
        }
        for (int x = 0; x < width; ++x) {
            highest = std::max(highest, row[x]);
        }
        return true;
    };
    if (gif->Image.Interlace) {
        constexpr struct {
            int first;
            int step;
        } passes[] = {{0, 8}, {4, 8}, {2, 4}, {1, 2}};
        for (const auto& pass : passes) {
            for (int y = pass.first; y < height; y += pass.step) {
                if (!readRow(y)) {
                    return false;
                }
            }
        }
    } else {
        for (int y = 0; y < height; ++y) {
            if (!readRow(y)) {
                return false;
            }
        }
    }
    return highest < colourCount;
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
    // giflib's decoder cannot tell a damaged code stream from a good one: a first reader
    // checks the codes, a second decodes them.
    ByteSource checked{bytes.data(), bytes.size()};
    const GifHandle check = openAtFirstImage(checked, allocationLimitMB);
    if (!check || !codesWellFormed(check.get(), lzwCodeSize(checked))) {
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
    if (picture.isNull() || !readRows(gif.get(), picture, map->ColorCount)) {
        return {};
    }
    picture.setColorTable(opaqueTable(*map));
    return picture;
}

} // namespace nimbuscope
