#pragma once

#include <QByteArray>
#include <QString>

namespace nimbuscope {

inline constexpr int kConditionsPictureWidth = 55;
inline constexpr int kConditionsPictureHeight = 58;

/// A small JPEG of our own for a condition class (see `conditionClass`): sky, sun, clouds,
/// rain, snow, lightning, fog or wind drawn with shapes only, so it needs no fonts.
QByteArray conditionsPictureJpeg(const QString& conditionClass);

} // namespace nimbuscope
