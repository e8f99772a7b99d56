#pragma once

#include "noaa-sim/SimClock.h"
#include "noaa-sim/SiteTable.h"

#include <string>
#include <string_view>

namespace nimbuscope::noaasim {

/// What the location page says about the weather now.
struct Conditions {
    std::string forecast;  // the picture's alt text, e.g. "Partly Cloudy"
    std::string imageCode; // the picture's file name without ".jpg", e.g. "sct"
    int temperatureF = 0;
};

/// The weather at a location, steady for three hours at a time and different from place to
/// place, so a running saver sees it change now and then.
Conditions conditionsFor(const SiteEntry& entry, SysSeconds now);

/// The forecast text of a picture code, or empty text for an unknown code.
std::string_view forecastOfCode(std::string_view code);

} // namespace nimbuscope::noaasim
