#include "noaa-sim/FrameCache.h"

namespace nimbuscope::noaasim {

FrameCache::Bytes FrameCache::get(const std::string& key,
                                  const std::function<std::string()>& render) {
    {
        std::lock_guard lock(mutex_);
        if (const auto found = index_.find(key); found != index_.end()) {
            recent_.splice(recent_.begin(), recent_, found->second);
            return found->second->second;
        }
    }
    auto bytes = std::make_shared<const std::string>(render());
    std::lock_guard lock(mutex_);
    if (const auto found = index_.find(key); found != index_.end())
        return found->second->second; // another thread rendered it meanwhile
    recent_.emplace_front(key, bytes);
    index_[key] = recent_.begin();
    while (recent_.size() > capacity_) {
        index_.erase(recent_.back().first);
        recent_.pop_back();
    }
    return bytes;
}

std::size_t FrameCache::size() const {
    std::lock_guard lock(mutex_);
    return recent_.size();
}

} // namespace nimbuscope::noaasim
