#include "common/TestGif.h"

#include <QFile>

#include <gif_lib.h>

#include <array>
#include <memory>
#include <utility>
#include <vector>

namespace nimbuscope::test {

namespace {

/// The colour of palette entry `i` (0 to 255); every entry differs from every other.
QRgb gifColour(int i) {
    return qRgb(i, 255 - i, (i * 7) & 0xff);
}

constexpr int kScreenPackedField = 10;
constexpr int kGlobalMapStart = 13;
constexpr int kBytesPerEntry = 3;

using MapHandle = std::unique_ptr<ColorMapObject, decltype(&GifFreeMapObject)>;

/// `size` entries of gifColour, from the last one down when `reversed`.
MapHandle makeMap(int size, bool reversed) {
    std::vector<GifColorType> palette(static_cast<std::size_t>(size));
    for (int i = 0; i < size; ++i) {
        const QRgb c = gifColour(reversed ? 255 - i : i);
        palette[std::size_t(i)] = {GifByteType(qRed(c)), GifByteType(qGreen(c)),
                                   GifByteType(qBlue(c))};
    }
    return {GifMakeMapObject(size, palette.data()), &GifFreeMapObject};
}

/// Rows top to bottom, or in the four passes of an interlaced image.
std::vector<int> rowOrder(int height, bool interlaced) {
    std::vector<int> rows;
    if (!interlaced) {
        for (int y = 0; y < height; ++y) {
            rows.push_back(y);
        }
        return rows;
    }
    constexpr std::array<std::pair<int, int>, 4> kPasses{{{0, 8}, {4, 8}, {2, 4}, {1, 2}}};
    for (const auto& [first, step] : kPasses) {
        for (int y = first; y < height; y += step) {
            rows.push_back(y);
        }
    }
    return rows;
}

bool writeBody(GifFileType* gif, const GifSpec& spec, const ColorMapObject* localMap) {
    if (spec.transparentIndex >= 0) {
        GraphicsControlBlock control{};
        control.DisposalMode = DISPOSAL_UNSPECIFIED;
        control.TransparentColor = spec.transparentIndex;
        std::array<GifByteType, 4> extension{};
        EGifGCBToExtension(&control, extension.data());
        if (EGifPutExtension(gif, GRAPHICS_EXT_FUNC_CODE, 4, extension.data()) != GIF_OK) {
            return false;
        }
    }
    const int width = spec.size.width();
    if (EGifPutImageDesc(gif, 0, 0, width, spec.size.height(), spec.interlaced, localMap) !=
        GIF_OK) {
        return false;
    }
    std::vector<GifPixelType> row(std::size_t(width), 0);
    for (const int y : rowOrder(spec.size.height(), spec.interlaced)) {
        for (int x = 0; x < width; ++x) {
            row[std::size_t(x)] = GifPixelType((x + y) % spec.colours);
        }
        if (EGifPutLine(gif, row.data(), width) != GIF_OK) {
            return false;
        }
    }
    return true;
}

int appendBytes(GifFileType* gif, const GifByteType* bytes, int count) {
    static_cast<QByteArray*>(gif->UserData)->append(reinterpret_cast<const char*>(bytes), count);
    return count;
}

/// Declares a smaller global map and cuts out the entries it no longer holds.
void shrinkGlobalMap(QByteArray& bytes, int mapSize, int declared) {
    int bits = 0;
    while ((2 << bits) < declared) {
        ++bits;
    }
    bytes[kScreenPackedField] = char((uchar(bytes[kScreenPackedField]) & ~0x07) | bits);
    bytes.remove(kGlobalMapStart + declared * kBytesPerEntry,
                 (mapSize - declared) * kBytesPerEntry);
}

} // namespace

QByteArray gifBytes(const GifSpec& spec) {
    QByteArray bytes;
    int error = 0;
    GifFileType* gif = EGifOpen(&bytes, appendBytes, &error);
    if (!gif) {
        return {};
    }
    const MapHandle map = makeMap(spec.mapSize, false);
    const MapHandle otherMap = makeMap(spec.mapSize, true);
    const ColorMapObject* global = spec.localMap ? otherMap.get() : map.get();
    EGifSetGifVersion(gif, true);
    const QSize screen = spec.logicalScreen.isValid() ? spec.logicalScreen : spec.size;
    bool ok = map && otherMap &&
              EGifPutScreenDesc(gif, screen.width(), screen.height(), 8, 0, global) == GIF_OK &&
              writeBody(gif, spec, spec.localMap ? map.get() : nullptr);
    ok = EGifCloseFile(gif, &error) == GIF_OK && ok;
    if (!ok) {
        return {};
    }
    if (spec.declaredMapSize > 0 && spec.declaredMapSize < spec.mapSize && !spec.localMap) {
        shrinkGlobalMap(bytes, spec.mapSize, spec.declaredMapSize);
    }
    return bytes;
}

bool writeGif(const QString& path, const GifSpec& spec) {
    const QByteArray bytes = gifBytes(spec);
    QFile file(path);
    return !bytes.isEmpty() && file.open(QIODevice::WriteOnly) &&
           file.write(bytes) == bytes.size() && file.flush();
}

} // namespace nimbuscope::test
