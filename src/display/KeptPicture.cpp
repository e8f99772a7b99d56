#include "display/KeptPicture.h"

#include "display/FramePicture.h"

namespace nimbuscope {

KeptPicture KeptPicture::compact(const QImage& decoded) {
    const QImage indexed = toIndexed8IfFewColours(decoded);
    PackedPicture packed = PackedPicture::pack(indexed);
    return packed.isNull() ? KeptPicture(indexed) : KeptPicture(std::move(packed));
}

qsizetype KeptPicture::byteCount() const {
    return isPacked() ? packed_.byteCount() : image_.sizeInBytes();
}

const void* KeptPicture::identity() const {
    if (isPacked()) {
        return packed_.identity();
    }
    // The shared pixel storage: reading it through a const image never detaches.
    return image_.isNull() ? nullptr : image_.constBits();
}

} // namespace nimbuscope
