#pragma once

#include <QByteArray>
#include <QImage>
#include <QString>

namespace nimbuscope {

/// The largest picture a frame file may decode to. A radar frame needs about 1.3 MB; the
/// limit keeps a damaged or hostile header from claiming more, which would cost memory for
/// as long as the frame is kept and time on every decode (2048 x 2048 still fits).
inline constexpr int kPictureAllocationLimitMB = 16;

/// The error raised for a file that does not decode to a picture.
inline constexpr int kInvalidPictureError = 481;

/// Decodes the picture in `fileName`, recognised by its content whatever its name ends in.
/// Raises Error 481 "Invalid picture" when the file cannot be read, is not a picture, or
/// would need more than kPictureAllocationLimitMB.
QImage loadFramePicture(const QString& fileName);

/// Decodes the picture held in `bytes` under the same limit; a null picture when they hold
/// none or it would need more.
QImage decodePicture(const QByteArray& bytes);

/// The picture in `bytes` as Qt's reader alone decodes it, under the same limit: what
/// decodePicture gives for anything the direct GIF decoder leaves to it.
QImage decodeWithQtReader(const QByteArray& bytes);

/// `picture` as Format_Indexed8 when it holds at most 256 distinct colours (alpha included),
/// with exactly those colours as its table, so every pixel stays what it was at a quarter of
/// the memory. Any other picture is returned as it is.
QImage toIndexed8IfFewColours(const QImage& picture);

} // namespace nimbuscope
