#pragma once

#include "noaa-sim/SimClock.h"
#include "noaa-sim/TodayPlaces.h"

#include <optional>
#include <string>
#include <string_view>

namespace nimbuscope::noaasim {

inline constexpr std::string_view kGeoJson = "application/geo+json";
/// The base the real API's answers link to, whatever address they were asked at: a client
/// must send those links to its own configured base.
inline constexpr std::string_view kPublicApiBase = "https://api.weather.gov/";
inline constexpr std::string_view kProblemJson = "application/problem+json";

/// A station's latest observation as the weather API reports it.
struct Observation {
    SysSeconds time;
    std::string text;                  // may be empty
    std::optional<double> value;       // null in the JSON when absent
    std::string unit = "wmoUnit:degC"; // of the temperature value
    std::string iconCode;              // "sct"; empty gives a null icon
};

/// What station `index` of `place` reports at `now`: recent stations agree with the location
/// page's conditions; a stale one reports the weather of a day (or four months) before.
Observation observationOf(const TodayPlace& place, std::size_t index, SysSeconds now);

/// The observation text of a weather code ("sct" -> "Partly Cloudy", "ovc" -> "Cloudy").
std::string_view observationText(std::string_view code);

/// The points answer for a place; `point` is "lat,lon" as asked. Addresses inside are built
/// on `apiBase`. A place without a radar site has `"radarStation": null`.
std::string pointsJson(std::string_view apiBase, const TodayPlace& place, std::string_view point);
/// The stations near a place, nearest first, as a FeatureCollection that also lists them in
/// "observationStations".
std::string stationsJson(std::string_view apiBase, const TodayPlace& place);
std::string observationJson(std::string_view apiBase, std::string_view stationId,
                            const Observation& observation);

/// An API error: {correlationId, title, type, status, detail, instance}.
std::string problemJson(std::string_view apiBase, int status, std::string_view type,
                        std::string_view title, std::string_view detail);
/// The problem body of an injected error of `status`.
std::string problemForStatus(std::string_view apiBase, int status);

/// The content network's HTML page refusing a request (sent with 403).
std::string accessDeniedPage(std::string_view address);

/// "2026-12-05T21:37:22.000Z" with `millis`, else "2026-12-05T21:37:22+00:00".
std::string isoTime(SysSeconds time, bool millis);
/// "Sat, 05 Dec 2026 21:37:22 GMT"
std::string httpDate(SysSeconds time);
/// The time of an HTTP date in the form above; nothing for anything else.
std::optional<SysSeconds> parseHttpDate(std::string_view text);

std::string jsonString(std::string_view text);

} // namespace nimbuscope::noaasim
