#pragma once

#include <QString>

namespace nimbuscope::service_defaults {

// The current weather services the legacy-forms bridge and the alerts read, as they stand by
// default. The settings offer them as the bridge values' defaults; the bridge moves a request
// off one of these bases onto the configured one.
inline constexpr char kBridgeLocationSearchURL[] = "https://forecast.weather.gov/zipcity.php";
inline constexpr char kBridgeApiURL[] = "https://api.weather.gov/";
inline constexpr char kBridgeMapServerURL[] = "https://opengeo.ncep.noaa.gov/geoserver/";
inline constexpr char kBridgeStillsURL[] = "https://radar.weather.gov/ridge/standard/";

} // namespace nimbuscope::service_defaults
