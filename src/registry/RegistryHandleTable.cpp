#include "registry/RegistryHandleTable.h"

namespace nimbuscope {

RegistryHandleTable::Handle RegistryHandleTable::open(OpenRegistryKey key) {
    while (keys_.contains(next_)) {
        next_ = next_ >= kLastHandle ? kFirstHandle : next_ + kHandleStep;
    }
    const Handle handle = next_;
    keys_.emplace(handle, std::move(key));
    next_ = next_ >= kLastHandle ? kFirstHandle : next_ + kHandleStep;
    return handle;
}

const OpenRegistryKey* RegistryHandleTable::find(Handle handle) const {
    const auto it = keys_.find(handle);
    return it == keys_.end() ? nullptr : &it->second;
}

bool RegistryHandleTable::close(Handle handle) {
    return keys_.erase(handle) > 0;
}

} // namespace nimbuscope
