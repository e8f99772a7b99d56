#pragma once

#include "noaa-sim/FrameCache.h"
#include "noaa-sim/NoaaSite.h"
#include "noaa-sim/SimClock.h"
#include "noaa-sim/TodayAlerts.h"
#include "noaa-sim/TodayPlaces.h"
#include "noaa-sim/WmsForms.h"

#include <mutex>
#include <string>
#include <string_view>

namespace nimbuscope::noaasim {

/// The request headers today's services look at.
struct RequestHeaders {
    std::string userAgent;
    std::string ifModifiedSince;
    std::string ifNoneMatch;
};

inline constexpr int kStandardStills = 10;

/// The simulated current NOAA services, all under one base address ("http://127.0.0.1:PORT/"):
///   zipcity.php               the location search, redirecting to MapClick.php with coordinates
///   api/...                   the weather API: points, station lists, latest observations,
///                             the active alerts of a point
///   geoserver/...             the radar map server: capabilities and GetMap
///   ridge/standard/SITE_N.gif the standard stills, 0 the newest
/// Thread-safe: the server calls it from several worker threads.
class TodaySite {
public:
    static constexpr std::size_t kFrameCacheCapacity = 96;

    TodaySite(const SiteTable& sites, const UtcClock& clock, std::string baseUrl,
              int frameCount = kDefaultFrameCount, TimeForm form = TimeForm::List);

    Reply get(std::string_view path, const QueryParams& query, const RequestHeaders& headers);

    /// How many times each radar layer advertises (1..kMaxFrameCount); false outside.
    bool setFrameCount(int count);
    int frameCount() const;
    void setTimeForm(TimeForm form);
    TimeForm timeForm() const;

    /// Issues an alert for every place now; answers its identifier.
    std::string issueAlert(const AlertSpec& spec);
    /// Cancels the alerts in effect of that event or identifier; false when none is.
    bool cancelAlert(std::string_view which);
    std::vector<std::string> alertLines() const;

    std::string apiBase() const { return baseUrl_ + "api/"; }
    const TodayPlaces& places() const { return places_; }

private:
    Reply locationSearch(const QueryParams& query) const;
    Reply api(std::string_view path, const QueryParams& query, const RequestHeaders& headers) const;
    Reply activeAlerts(const QueryParams& query, const RequestHeaders& headers) const;
    Reply points(std::string_view point) const;
    Reply stations(std::string_view office, std::string_view grid) const;
    Reply observation(std::string_view station, const RequestHeaders& headers) const;
    Reply mapServer(std::string_view workspace, const QueryParams& query);
    Reply capabilities(std::string_view workspace) const;
    Reply getMap(const WmsParams& params, std::string_view workspace);
    Reply still(std::string_view file, const RequestHeaders& headers);

    const TodayPlaces places_;
    const UtcClock& clock_;
    const std::string baseUrl_;
    FrameCache frames_{kFrameCacheCapacity};
    mutable std::mutex mutex_;
    TodayAlerts alerts_;
    int frameCount_;
    TimeForm form_;
};

} // namespace nimbuscope::noaasim
