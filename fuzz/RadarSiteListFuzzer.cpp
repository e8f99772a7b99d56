// The radar site list reader over arbitrary file bytes.
#include "FuzzSupport.h"

#include "setup/RadarList.h"

using namespace nimbuscope;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const RadarListRead read = parseRadarList(fuzz::bytesOf(data, size));
    // The combo box and the entries are read index for index, and the list is bounded.
    if (read.list.items.size() != qsizetype(read.list.entries.size()) ||
        read.list.items.size() > RadarList::kCapacity) {
        abort();
    }
    for (const QString& item : read.list.items) {
        isStateHeader(item);
    }
    return 0;
}
