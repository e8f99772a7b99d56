// The cached image file checks over arbitrary file contents, under each name they tell
// apart. Their answers depend only on the size and the last bytes, which the harness
// checks independently.
#include "FuzzSupport.h"

#include "pictures/ImageUtils.h"

using namespace nimbuscope;

namespace {

bool endsWith(const QByteArray& bytes, const char* tail) {
    return bytes.endsWith(QByteArray(tail));
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const QString folder = fuzz::scratchFolder();
    const QByteArray bytes = fuzz::bytesOf(data, size);
    const bool longEnough = bytes.size() >= 3;
    const bool jpegEnd = longEnough && endsWith(bytes, "\xFF\xD9");

    const QString noaa = folder + QStringLiteral("/66604.DS.p19r0.ktwx.dd.20260105.2002.NOAA");
    fuzz::writeScratchFile(noaa, bytes);
    const bool unavailable = bytes.size() < kMinRadarFrameBytes || endsWith(bytes, "\n");
    if (RadarUnavailableImage(noaa) != unavailable ||
        isCompleteImageFile(noaa) != (longEnough && (endsWith(bytes, "\x3B") || jpegEnd))) {
        abort();
    }
    const QString jpeg = folder + QStringLiteral("/66604.currentConditions.jpg");
    fuzz::writeScratchFile(jpeg, bytes);
    const QString gif = folder + QStringLiteral("/logo.gif");
    fuzz::writeScratchFile(gif, bytes);
    if (isCompleteImageFile(jpeg) != jpegEnd || isCompleteImageFile(gif) != longEnough ||
        RadarUnavailableImage(jpeg)) {
        abort();
    }
    return 0;
}
