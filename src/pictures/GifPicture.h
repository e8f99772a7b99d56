#pragma once

#include <QByteArrayView>
#include <QImage>

namespace nimbuscope {

/// True when `bytes` start as a GIF file does, as Qt's reader recognises one.
bool hasGifSignature(QByteArrayView bytes);

/// The first image of the GIF in `bytes`, decoded straight into a Format_Indexed8 picture
/// whose table is the image's colour map (opaque), without the 32-bit picture Qt's reader
/// makes. Null unless the result is certain to equal Qt's pixel for pixel: a complete,
/// undamaged first image covering the whole screen, with a colour map holding every index it
/// uses and no transparent colour, within `allocationLimitMB` in Qt's 32-bit form. The
/// caller then decodes the bytes with Qt's reader as before.
QImage decodeIndexedGif(QByteArrayView bytes, int allocationLimitMB);

} // namespace nimbuscope
