// A radar frame: decoding its GIF, straight to 8 bits or through Qt's 32-bit reader; packing
// it into runs when it is preloaded; and writing it into the window's 32-bit raster image on
// every tick, from its runs or pixel by pixel through the colour table as 8-bit frames are
// written.

#include "BenchSupport.h"

#include "noaa-sim/RadarGif.h"
#include "pictures/FramePicture.h"
#include "pictures/PackedPicture.h"

#include <QImage>
#include <benchmark/benchmark.h>
#include <gif_lib.h>

#include <array>
#include <chrono>
#include <cstring>
#include <vector>

using namespace nimbuscope;
using namespace nimbuscope::bench;

namespace {

/// The window the frame is drawn into, and where the frame lands in it.
constexpr QSize kWindow(1280, 800);
constexpr QPoint kFrameOrigin(340, 125);

/// The frames one pass of the short-range product brings, five minutes apart.
constexpr int kPassFrames = 18;

QByteArray sampleFrameBytes(int step = 0) {
    const std::string gif =
        noaasim::radarFrameGif("KEAX", "DS.p19r0", sampleMoment() + std::chrono::minutes(5 * step));
    return QByteArray(gif.data(), qsizetype(gif.size()));
}

QImage sampleFrame(int step = 0) {
    return toIndexed8IfFewColours(decodePicture(sampleFrameBytes(step)));
}

void BM_DecodeFrame(benchmark::State& state) {
    const QByteArray bytes = sampleFrameBytes();
    if (decodePicture(bytes).format() != QImage::Format_Indexed8) {
        state.SkipWithError("the frame did not decode straight to 8 bits");
        return;
    }
    for (auto _ : state) {
        QImage picture = decodePicture(bytes);
        benchmark::DoNotOptimize(picture);
    }
    state.SetItemsProcessed(state.iterations() * 600 * 550);
}
BENCHMARK(BM_DecodeFrame)->Unit(benchmark::kMicrosecond);

/// The same bytes through Qt's reader alone, as every frame was decoded before.
void BM_DecodeFrameQtReader(benchmark::State& state) {
    const QByteArray bytes = sampleFrameBytes();
    for (auto _ : state) {
        QImage picture = decodeWithQtReader(bytes);
        benchmark::DoNotOptimize(picture);
    }
    state.SetItemsProcessed(state.iterations() * 600 * 550);
}
BENCHMARK(BM_DecodeFrameQtReader)->Unit(benchmark::kMicrosecond);

/// The same bytes through giflib alone (`DGifSlurp`, which decodes with `DGifGetLine`) into the
/// same 8-bit picture: the library way our own LZW decoder has to beat to be kept.
QImage decodeWithGiflib(const QByteArray& bytes) {
    struct Source {
        const QByteArray& bytes;
        qsizetype at = 0;
    } source{bytes};
    const InputFunc read = [](GifFileType* gif, GifByteType* out, int wanted) {
        auto* s = static_cast<Source*>(gif->UserData);
        const int n = int(std::min<qsizetype>(wanted, s->bytes.size() - s->at));
        std::memcpy(out, s->bytes.constData() + s->at, std::size_t(n));
        s->at += n;
        return n;
    };
    int error = 0;
    GifFileType* gif = DGifOpen(&source, read, &error);
    QImage picture;
    if (gif != nullptr && DGifSlurp(gif) == GIF_OK && gif->ImageCount > 0) {
        const SavedImage& frame = gif->SavedImages[0];
        const ColorMapObject* map =
            frame.ImageDesc.ColorMap != nullptr ? frame.ImageDesc.ColorMap : gif->SColorMap;
        picture = QImage(frame.ImageDesc.Width, frame.ImageDesc.Height, QImage::Format_Indexed8);
        QList<QRgb> table;
        for (int i = 0; map != nullptr && i < map->ColorCount; ++i) {
            table << qRgb(map->Colors[i].Red, map->Colors[i].Green, map->Colors[i].Blue);
        }
        picture.setColorTable(table);
        for (int y = 0; y < picture.height(); ++y) {
            std::memcpy(picture.scanLine(y), frame.RasterBits + std::size_t(y) * picture.width(),
                        std::size_t(picture.width()));
        }
    }
    DGifCloseFile(gif, &error);
    return picture;
}

void BM_DecodeFrameGiflib(benchmark::State& state) {
    const QByteArray bytes = sampleFrameBytes();
    if (decodeWithGiflib(bytes) != decodePicture(bytes)) {
        state.SkipWithError("giflib and our decoder disagree on the frame");
        return;
    }
    for (auto _ : state) {
        QImage picture = decodeWithGiflib(bytes);
        benchmark::DoNotOptimize(picture);
    }
    state.SetItemsProcessed(state.iterations() * 600 * 550);
}
BENCHMARK(BM_DecodeFrameGiflib)->Unit(benchmark::kMicrosecond);

/// What preloading paid after Qt's reader: its 32-bit picture turned back into 8 bits.
void BM_IndexQtDecodedFrame(benchmark::State& state) {
    const QImage decoded = decodeWithQtReader(sampleFrameBytes());
    for (auto _ : state) {
        QImage indexed = toIndexed8IfFewColours(decoded);
        benchmark::DoNotOptimize(indexed);
    }
    state.SetItemsProcessed(state.iterations() * 600 * 550);
}
BENCHMARK(BM_IndexQtDecodedFrame)->Unit(benchmark::kMicrosecond);

void BM_PackFrame(benchmark::State& state) {
    const QImage frame = sampleFrame();
    qsizetype packedBytes = 0;
    for (auto _ : state) {
        const PackedPicture packed = PackedPicture::pack(frame);
        packedBytes = packed.byteCount();
        benchmark::DoNotOptimize(packed);
    }
    state.counters["packed_bytes"] = double(packedBytes);
    state.counters["raw_bytes"] = double(frame.sizeInBytes());
}
BENCHMARK(BM_PackFrame)->Unit(benchmark::kMicrosecond);

// Each iteration draws the next frame of a pass, as the animation does: the same frame
// over and over would let the branch predictor learn its runs.

void BM_DrawFrameFromRuns(benchmark::State& state) {
    std::vector<PackedPicture> frames;
    for (int i = 0; i < kPassFrames; ++i) {
        frames.push_back(PackedPicture::pack(sampleFrame(i)));
    }
    QImage window(kWindow, QImage::Format_RGB32);
    const QRect target(kFrameOrigin, frames.front().size());
    std::size_t next = 0;
    for (auto _ : state) {
        frames[next].drawInto(window, target, kFrameOrigin);
        next = (next + 1) % frames.size();
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(state.iterations() * target.width() * target.height());
}
BENCHMARK(BM_DrawFrameFromRuns)->Unit(benchmark::kMicrosecond);

void BM_DrawFrameThroughLut(benchmark::State& state) {
    std::vector<QImage> frames;
    for (int i = 0; i < kPassFrames; ++i) {
        frames.push_back(sampleFrame(i));
    }
    QImage window(kWindow, QImage::Format_RGB32);
    std::size_t next = 0;
    for (auto _ : state) {
        drawIndexedInto(window, frames[next], QRect(kFrameOrigin, frames[next].size()),
                        kFrameOrigin);
        next = (next + 1) % frames.size();
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(state.iterations() * 600 * 550);
}
BENCHMARK(BM_DrawFrameThroughLut)->Unit(benchmark::kMicrosecond);

} // namespace
