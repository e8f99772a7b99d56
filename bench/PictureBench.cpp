// A preloaded radar frame: packing it into runs when it is decoded, and writing it into the
// window's 32-bit raster image on every tick, from its runs or pixel by pixel through the
// colour table as 8-bit frames are written.

#include "BenchSupport.h"

#include "display/FramePicture.h"
#include "display/PackedPicture.h"
#include "noaa-sim/RadarGif.h"

#include <QImage>
#include <benchmark/benchmark.h>

#include <array>

using namespace nimbuscope;
using namespace nimbuscope::bench;

namespace {

/// The window the frame is drawn into, and where the frame lands in it.
constexpr QSize kWindow(1280, 800);
constexpr QPoint kFrameOrigin(340, 125);

QImage sampleFrame() {
    const std::string gif = noaasim::radarFrameGif("KEAX", "DS.p19r0", sampleMoment());
    return toIndexed8IfFewColours(decodePicture(QByteArray(gif.data(), qsizetype(gif.size()))));
}

/// One look-up per pixel, as an 8-bit frame is written into the window.
void drawThroughLut(QImage& device, const QImage& picture, QPoint origin) {
    std::array<QRgb, 256> lut{};
    const QList<QRgb> table = picture.colorTable();
    for (qsizetype i = 0; i < table.size() && i < qsizetype(lut.size()); ++i) {
        lut[std::size_t(i)] = table[i] | 0xff000000u;
    }
    for (int y = 0; y < picture.height(); ++y) {
        const uchar* src = picture.constScanLine(y);
        auto* dst = reinterpret_cast<QRgb*>(device.scanLine(y + origin.y())) + origin.x();
        for (int x = 0; x < picture.width(); ++x) {
            dst[x] = lut[src[x]];
        }
    }
}

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

void BM_DrawFrameFromRuns(benchmark::State& state) {
    const PackedPicture packed = PackedPicture::pack(sampleFrame());
    QImage window(kWindow, QImage::Format_RGB32);
    const QRect target(kFrameOrigin, packed.size());
    for (auto _ : state) {
        packed.drawInto(window, target, kFrameOrigin);
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(state.iterations() * target.width() * target.height());
}
BENCHMARK(BM_DrawFrameFromRuns)->Unit(benchmark::kMicrosecond);

void BM_DrawFrameThroughLut(benchmark::State& state) {
    const QImage frame = sampleFrame();
    QImage window(kWindow, QImage::Format_RGB32);
    for (auto _ : state) {
        drawThroughLut(window, frame, kFrameOrigin);
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(state.iterations() * frame.width() * frame.height());
}
BENCHMARK(BM_DrawFrameThroughLut)->Unit(benchmark::kMicrosecond);

} // namespace
