#include "pictures/ImageUtils.h"

#include <QFile>

#include <array>
#include <optional>

namespace nimbuscope {

namespace {

constexpr char kLineFeed = '\n';
constexpr unsigned char kGifTrailer = 0x3B;
constexpr unsigned char kJpegMarker = 0xFF;
constexpr unsigned char kJpegEndOfImage = 0xD9;
constexpr qint64 kTailBytes = 3;

using Tail = std::array<unsigned char, kTailBytes>;

bool endsWithAny(const QString& name, std::initializer_list<QLatin1StringView> endings) {
    for (const QLatin1StringView ending : endings) {
        if (name.endsWith(ending, Qt::CaseInsensitive)) {
            return true;
        }
    }
    return false;
}

/// The last three bytes of the file, or nothing when it cannot be read or is too short.
std::optional<Tail> readTail(const QString& fileName) {
    QFile file(fileName);
    if (!file.open(QIODevice::ReadOnly) || file.size() < kTailBytes ||
        !file.seek(file.size() - kTailBytes)) {
        return std::nullopt;
    }
    Tail tail{};
    if (file.read(reinterpret_cast<char*>(tail.data()), kTailBytes) != kTailBytes) {
        return std::nullopt;
    }
    return tail;
}

bool endsInJpegMarker(const Tail& tail) {
    return tail[1] == kJpegMarker && tail[2] == kJpegEndOfImage;
}

} // namespace

bool RadarUnavailableImage(const QString& fileName) {
    if (!fileName.endsWith(QLatin1StringView(".noaa"), Qt::CaseInsensitive)) {
        return false;
    }
    QFile file(fileName);
    if (!file.open(QIODevice::ReadOnly)) {
        return false;
    }
    // A file too short to hold three bytes is still a short answer, not a readable frame.
    const qint64 size = file.size();
    if (size < kMinRadarFrameBytes) {
        return true;
    }
    char last = 0;
    if (!file.seek(size - 1) || !file.getChar(&last)) {
        return false;
    }
    return last == kLineFeed;
}

bool isCompleteImageFile(const QString& fileName) {
    const std::optional<Tail> tail = readTail(fileName);
    if (!tail) {
        return false;
    }
    if (endsWithAny(fileName, {QLatin1StringView(".jpg"), QLatin1StringView(".jpeg")})) {
        return endsInJpegMarker(*tail);
    }
    if (endsWithAny(fileName, {QLatin1StringView(".noaa")})) {
        return (*tail)[2] == kGifTrailer || endsInJpegMarker(*tail);
    }
    return endsWithAny(fileName, {QLatin1StringView(".gif")});
}

} // namespace nimbuscope
