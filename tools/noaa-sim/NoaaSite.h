#pragma once

#include "noaa-sim/FrameCache.h"
#include "noaa-sim/FrameList.h"
#include "noaa-sim/SimClock.h"
#include "noaa-sim/SiteTable.h"

#include <array>
#include <map>
#include <mutex>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace nimbuscope::noaasim {

using QueryParams = std::multimap<std::string, std::string>;

/// The non-empty parts of a request path: "/radar//images/x" gives radar, images, x.
std::vector<std::string_view> pathParts(std::string_view path);

/// One answer of the simulated service, before any fault is applied.
struct Reply {
    int status = 200;
    std::string contentType;
    std::string body;
    std::string location;                                     // for redirects
    std::vector<std::pair<std::string, std::string>> headers; // further headers, e.g. Last-Modified
};

/// The simulated NOAA service: the location search and pages, the loop lists, the radar
/// frames and the current-conditions pictures, answered from the path and decoded query of a
/// GET. Addresses inside the answers are built on `baseUrl` ("http://127.0.0.1:PORT/").
/// Thread-safe: the server calls it from several worker threads.
class NoaaSite {
public:
    static constexpr std::size_t kFrameCacheCapacity = 96;

    NoaaSite(SiteTable sites, const UtcClock& clock, std::string baseUrl,
             int frameCount = kDefaultFrameCount, ListForm form = ListForm::Relative);

    Reply get(std::string_view path, const QueryParams& query);

    /// Sets how many frames the lists name, for one product or (empty product) both.
    /// False for an unknown product or a count outside 0..kMaxFrameCount.
    bool setFrameCount(std::string_view product, int count);
    int frameCount(std::string_view product) const;
    void setListForm(ListForm form);
    ListForm listForm() const;

    const std::string& baseUrl() const { return baseUrl_; }
    const SiteTable& sites() const { return sites_; }
    std::size_t cachedFrames() const { return frames_.size(); }

private:
    Reply locationSearch(const QueryParams& query) const;
    Reply locationPageReply(const QueryParams& query) const;
    Reply loopList(std::string_view product, std::string_view file) const;
    Reply frame(std::string_view product, std::string_view folder, std::string_view file);
    Reply radarPageReply(std::string_view product, std::string_view file) const;
    Reply loopPageReply(std::string_view file, const QueryParams& query) const;
    Reply conditionsPicture(std::string_view file) const;

    const SiteTable sites_;
    const UtcClock& clock_;
    const std::string baseUrl_;
    FrameCache frames_{kFrameCacheCapacity};
    mutable std::mutex mutex_;
    std::array<int, kProducts.size()> frameCounts_;
    ListForm form_;
};

} // namespace nimbuscope::noaasim
