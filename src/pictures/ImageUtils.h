#pragma once

#include <QString>

namespace nimbuscope {

/// A cached ".noaa" frame smaller than this is the server's radar-unavailable answer.
inline constexpr qint64 kMinRadarFrameBytes = 6000;

/// True when `fileName` is a ".noaa" frame (any letter case) that the server sent instead of a
/// radar picture: shorter than 6000 bytes, or ending in a line feed. Any other name, and a
/// file that cannot be read, gives false. Reads only the size and the last byte.
bool RadarUnavailableImage(const QString& fileName);

/// True when the file's last bytes close a picture of the kind its name promises (any letter
/// case): ".jpg"/".jpeg" end in FF D9, ".noaa" in the GIF trailer 3B or in FF D9, ".gif" is
/// always accepted. Any other name, a missing file or one shorter than three bytes gives
/// false. Reads only the size and the last three bytes.
bool isCompleteImageFile(const QString& fileName);

} // namespace nimbuscope
