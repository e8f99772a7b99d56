#pragma once

#include <cstddef>
#include <functional>
#include <list>
#include <memory>
#include <mutex>
#include <string>
#include <unordered_map>

namespace nimbuscope::noaasim {

/// Rendered frames by key, the least recently used dropped beyond the capacity. Safe to use
/// from the server's worker threads; rendering happens outside the lock.
class FrameCache {
public:
    using Bytes = std::shared_ptr<const std::string>;

    explicit FrameCache(std::size_t capacity) : capacity_(capacity) {}

    Bytes get(const std::string& key, const std::function<std::string()>& render);
    std::size_t size() const;

private:
    using Entry = std::pair<std::string, Bytes>;

    std::size_t capacity_;
    mutable std::mutex mutex_;
    std::list<Entry> recent_; // most recently used first
    std::unordered_map<std::string, std::list<Entry>::iterator> index_;
};

} // namespace nimbuscope::noaasim
