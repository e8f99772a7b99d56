#include "TestGif.h"

#include <QFile>

#include <gif_lib.h>

#include <array>
#include <vector>

namespace nimbuscope::test {

QRgb gifColour(int i) {
    return qRgb(i, 255 - i, (i * 7) & 0xff);
}

namespace {

bool writeBody(GifFileType* gif, const GifSpec& spec) {
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
    if (EGifPutImageDesc(gif, 0, 0, width, spec.size.height(), false, nullptr) != GIF_OK) {
        return false;
    }
    std::vector<GifPixelType> row(std::size_t(width), 0);
    for (int y = 0; y < spec.size.height(); ++y) {
        for (int x = 0; x < width; ++x) {
            row[std::size_t(x)] = GifPixelType((x + y) % spec.colours);
        }
        if (EGifPutLine(gif, row.data(), width) != GIF_OK) {
            return false;
        }
    }
    return true;
}

} // namespace

bool writeGif(const QString& path, const GifSpec& spec) {
    int error = 0;
    GifFileType* gif = EGifOpenFileName(QFile::encodeName(path).constData(), false, &error);
    if (!gif) {
        return false;
    }
    std::array<GifColorType, 256> palette{};
    for (int i = 0; i < 256; ++i) {
        const QRgb c = gifColour(i);
        palette[std::size_t(i)] = {GifByteType(qRed(c)), GifByteType(qGreen(c)),
                                   GifByteType(qBlue(c))};
    }
    ColorMapObject* map = GifMakeMapObject(256, palette.data());
    EGifSetGifVersion(gif, true);
    const QSize screen = spec.logicalScreen.isValid() ? spec.logicalScreen : spec.size;
    bool ok = map && EGifPutScreenDesc(gif, screen.width(), screen.height(), 8, 0, map) == GIF_OK &&
              writeBody(gif, spec);
    ok = EGifCloseFile(gif, &error) == GIF_OK && ok;
    GifFreeMapObject(map);
    return ok;
}

} // namespace nimbuscope::test
