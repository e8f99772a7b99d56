#pragma once

#include "noaa-sim/SiteTable.h"

#include <array>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace nimbuscope::noaasim {

/// How the location search's redirect writes the coordinates.
enum class RedirectForm {
    LatLon,     // 302 to MapClick.php?lat=..&lon=..
    TextFields, // 302 to MapClick.php?textField1=LAT&textField2=LON
    Moved,      // 301 to MapClick.php?lat=..&lon=..
};

/// What a weather station's latest observation looks like.
enum class StationState {
    Current,         // a recent observation with text, temperature and icon
    Stale,           // an observation from a day before
    Empty,           // recent, but empty text and null temperature and icon
    NullTemperature, // recent text and icon, null temperature
    Fahrenheit,      // current, its temperature in wmoUnit:degF
    MonthsOld,       // an observation from four months before
};

inline constexpr std::size_t kStationsPerPlace = 3;

struct Station {
    std::string id; // "KMKC"
    StationState state = StationState::Current;
};

/// A location as today's services describe it: its coordinates (as the search's redirect
/// writes them, possibly with more decimals than the points service takes), forecast office
/// grid, time zone and the observation stations nearest to it.
struct TodayPlace {
    SiteEntry entry;
    std::string lat; // "39.1031"
    std::string lon; // "-94.5785"
    RedirectForm redirect = RedirectForm::LatLon;
    std::string office; // "EAX"
    int gridX = 0;
    int gridY = 0;
    std::string timeZone;
    std::array<Station, kStationsPerPlace> stations;

    double latitude() const;
    double longitude() const;
};

/// Today's view of every location of a SiteTable, and of a place no radar covers (99723,
/// Utqiagvik AK: its points answer names no radar station). Built-in zip codes get their real
/// coordinates and hand-picked quirks; rows from files get coordinates and stations derived
/// from the zip code, the same from one run to the next.
class TodayPlaces {
public:
    explicit TodayPlaces(const SiteTable& sites);

    const TodayPlace* byZip(std::string_view zip) const;
    const TodayPlace* byCity(std::string_view query) const;
    /// The place nearest to a point, when one lies within a tenth of a degree.
    const TodayPlace* near(double lat, double lon) const;
    const TodayPlace* byGrid(std::string_view office, int x, int y) const;
    /// The place and index of a station.
    std::optional<std::pair<const TodayPlace*, std::size_t>> station(std::string_view id) const;
    /// Whether `site` is a radar site of some place (compared without regard to case).
    bool hasRadar(std::string_view site) const;
    /// The first place `site` covers; null when none does.
    const TodayPlace* placeOfSite(std::string_view site) const;
    const std::vector<TodayPlace>& places() const { return places_; }

private:
    SiteTable sites_;
    std::vector<TodayPlace> places_;
};

/// "-94.5785" rounded to at most four decimals, without trailing zeros ("39.1", "-94.5785").
std::string fourDecimals(double value);
/// The number of digits after the point in a decimal number as written.
std::size_t decimalsOf(std::string_view number);

} // namespace nimbuscope::noaasim
