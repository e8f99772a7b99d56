#include "noaa-sim/GifEncoder.h"

#include <gif_lib.h>

#include <memory>
#include <stdexcept>

namespace nimbuscope::noaasim {

namespace {

int appendBytes(GifFileType* gif, const GifByteType* bytes, int length) {
    static_cast<std::string*>(gif->UserData)
        ->append(reinterpret_cast<const char*>(bytes), std::size_t(length));
    return length;
}

[[noreturn]] void fail(const char* step, int code) {
    const char* reason = GifErrorString(code);
    throw std::runtime_error(std::string("GIF encoder: ") + step + ": " +
                             (reason ? reason : "unknown error"));
}

struct MapFree {
    void operator()(ColorMapObject* map) const { GifFreeMapObject(map); }
};

} // namespace

std::string encodeGif(const IndexedImage& image, std::span<const Rgb> palette) {
    std::vector<GifColorType> colours;
    for (const auto& c : palette)
        colours.push_back({c.r, c.g, c.b});
    std::unique_ptr<ColorMapObject, MapFree> map(
        GifMakeMapObject(int(colours.size()), colours.data()));
    if (!map)
        throw std::runtime_error("GIF encoder: palette size must be a power of two up to 256");

    std::string out;
    int error = 0;
    GifFileType* gif = EGifOpen(&out, appendBytes, &error);
    if (!gif)
        fail("open", error);
    EGifSetGifVersion(gif, true);
    bool ok = EGifPutScreenDesc(gif, image.width, image.height, 8, 0, map.get()) == GIF_OK &&
              EGifPutImageDesc(gif, 0, 0, image.width, image.height, false, nullptr) == GIF_OK;
    for (int y = 0; ok && y < image.height; ++y) {
        auto* row =
            const_cast<GifPixelType*>(&image.pixels[std::size_t(y) * std::size_t(image.width)]);
        ok = EGifPutLine(gif, row, image.width) == GIF_OK;
    }
    const int writeError = gif->Error;
    // Closing writes the trailer (0x3B) and frees the encoder whether or not writing went well.
    if (EGifCloseFile(gif, &error) != GIF_OK)
        fail("close", error);
    if (!ok)
        fail("write", writeError);
    return out;
}

} // namespace nimbuscope::noaasim
