#pragma once

#include <QImage>
#include <QString>

namespace nimbuscope {

/// Colours an 8-bit indexed picture can hold.
inline constexpr int kMaxIndexedColours = 256;

/// `picture` as an 8-bit indexed picture when it has at most 256 distinct colours (a radar
/// frame decodes to 32 bits a pixel; a quarter of that keeps a long animation small). The
/// conversion is exact: every pixel keeps its colour. Other pictures are returned as they
/// are.
QImage compactFramePicture(const QImage& picture);

/// Decodes a cached frame (the content decides the format) and compacts it; a null image
/// when it cannot be decoded.
QImage loadCompactFramePicture(const QString& fileName);

} // namespace nimbuscope
