#include "noaa-sim/TodayPlaces.h"

#include "noaa-sim/Hash.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>

namespace nimbuscope::noaasim {

namespace {

using State = StationState;

constexpr double kNearDegrees = 0.1;
constexpr double kPointScale = 10000.0; // four decimals

struct KnownPlace {
    std::string_view zip;
    std::string_view lat, lon;
    RedirectForm redirect;
    std::string_view office;
    int gridX, gridY;
    std::string_view timeZone;
    std::array<std::string_view, kStationsPerPlace> stations;
    std::array<StationState, kStationsPerPlace> states;
};

// The built-in zip codes, each showing one quirk of today's services: the nearest station
// stale, empty or in Fahrenheit, no station current, coordinates with too many decimals, the
// other redirect forms, no radar.
constexpr KnownPlace kKnown[] = {
    {"64106",
     "39.1031",
     "-94.5785",
     RedirectForm::LatLon,
     "EAX",
     44,
     51,
     "America/Chicago",
     {"KMKC", "KMCI", "KOJC"},
     {State::Stale, State::Current, State::Current}},
    {"80301",
     "40.0497",
     "-105.2143",
     RedirectForm::Moved,
     "BOU",
     53,
     74,
     "America/Denver",
     {"KBDU", "KBJC", "KDEN"},
     {State::Empty, State::Current, State::Current}},
    {"98101",
     "47.61085",
     "-122.33416",
     RedirectForm::LatLon,
     "SEW",
     125,
     68,
     "America/Los_Angeles",
     {"KBFI", "KSEA", "KPAE"},
     {State::Current, State::Current, State::Current}},
    {"60601",
     "41.8858",
     "-87.6181",
     RedirectForm::TextFields,
     "LOT",
     76,
     73,
     "America/Chicago",
     {"KMDW", "KORD", "KPWK"},
     {State::NullTemperature, State::Current, State::Current}},
    {"30303",
     "33.7525",
     "-84.3888",
     RedirectForm::LatLon,
     "FFC",
     51,
     87,
     "America/New_York",
     {"KATL", "KFTY", "KPDK"},
     {State::Current, State::Stale, State::Current}},
    {"78701",
     "30.2711",
     "-97.7437",
     RedirectForm::Moved,
     "EWX",
     156,
     91,
     "America/Chicago",
     {"KATT", "KAUS", "KEDC"},
     {State::Stale, State::Empty, State::MonthsOld}},
    {"10001",
     "40.7506",
     "-73.9972",
     RedirectForm::TextFields,
     "OKX",
     33,
     37,
     "America/New_York",
     {"KNYC", "KLGA", "KJFK"},
     {State::Fahrenheit, State::Current, State::Current}},
    {"99723",
     "71.2906",
     "-156.7886",
     RedirectForm::LatLon,
     "AFG",
     168,
     398,
     "America/Anchorage",
     {"PABR", "PAWI", "PAQT"},
     {State::Current, State::Current, State::Current}},
};

// Places no radar covers: known to the location search and the points service only.
const SiteEntry kNoRadarEntries[] = {{"99723", "", "Utqiagvik", "AK"}};

std::string fixed4(double value) {
    char text[32];
    std::snprintf(text, sizeof text, "%.4f", value);
    return text;
}

std::string zoneOfLongitude(double lon) {
    if (lon < -114.5)
        return "America/Los_Angeles";
    if (lon < -101.0)
        return "America/Denver";
    return lon < -87.0 ? "America/Chicago" : "America/New_York";
}

// A location from a file: somewhere in the lower 48 states, stations named from the zip code.
TodayPlace derivedPlace(const SiteEntry& entry) {
    SplitMix rng(fnv1a(entry.zip, 0x746f646179ull));
    TodayPlace p;
    p.entry = entry;
    const double lat = 25.0 + 24.0 * rng.unit(), lon = -124.0 + 57.0 * rng.unit();
    p.lat = fixed4(lat);
    p.lon = fixed4(lon);
    p.redirect = static_cast<RedirectForm>(rng.between(0, 2));
    p.office = entry.site.size() == 4 ? entry.site.substr(1) : entry.site;
    p.gridX = rng.between(10, 200);
    p.gridY = rng.between(10, 200);
    p.timeZone = zoneOfLongitude(lon);
    for (auto& s : p.stations) {
        s.id = "K";
        for (int i = 0; i < 3; ++i)
            s.id += char('A' + rng.between(0, 25));
        s.state = static_cast<StationState>(rng.between(0, 3));
    }
    // Somewhere among them a station reports, as at every real location.
    p.stations.back().state = StationState::Current;
    return p;
}

TodayPlace knownPlace(const SiteEntry& entry, const KnownPlace& k) {
    TodayPlace p{entry,      std::string(k.lat),      std::string(k.lon),
                 k.redirect, std::string(k.office),   k.gridX,
                 k.gridY,    std::string(k.timeZone), {}};
    for (std::size_t i = 0; i < kStationsPerPlace; ++i)
        p.stations[i] = {std::string(k.stations[i]), k.states[i]};
    return p;
}

} // namespace

double TodayPlace::latitude() const {
    return std::strtod(lat.c_str(), nullptr);
}

double TodayPlace::longitude() const {
    return std::strtod(lon.c_str(), nullptr);
}

TodayPlaces::TodayPlaces(const SiteTable& sites) : sites_(sites) {
    const auto place = [](const SiteEntry& entry) {
        for (const auto& k : kKnown)
            if (k.zip == entry.zip)
                return knownPlace(entry, k);
        return derivedPlace(entry);
    };
    for (const auto& entry : sites_.entries())
        places_.push_back(place(entry));
    for (const auto& entry : kNoRadarEntries)
        if (!sites_.byZip(entry.zip))
            places_.push_back(place(entry));
}

const TodayPlace* TodayPlaces::byZip(std::string_view zip) const {
    for (const auto& p : places_)
        if (p.entry.zip == zip)
            return &p;
    return nullptr;
}

const TodayPlace* TodayPlaces::byCity(std::string_view query) const {
    const SiteEntry* entry = sites_.byCity(query);
    return entry ? byZip(entry->zip) : nullptr;
}

const TodayPlace* TodayPlaces::near(double lat, double lon) const {
    const TodayPlace* best = nullptr;
    double bestDistance = kNearDegrees;
    for (const auto& p : places_) {
        const double d = std::hypot(p.latitude() - lat, p.longitude() - lon);
        if (d <= bestDistance) {
            best = &p;
            bestDistance = d;
        }
    }
    return best;
}

const TodayPlace* TodayPlaces::byGrid(std::string_view office, int x, int y) const {
    for (const auto& p : places_)
        if (p.office == office && p.gridX == x && p.gridY == y)
            return &p;
    return nullptr;
}

std::optional<std::pair<const TodayPlace*, std::size_t>>
TodayPlaces::station(std::string_view id) const {
    for (const auto& p : places_)
        for (std::size_t i = 0; i < kStationsPerPlace; ++i)
            if (p.stations[i].id == id)
                return std::pair{&p, i};
    return std::nullopt;
}

bool TodayPlaces::hasRadar(std::string_view site) const {
    return placeOfSite(site) != nullptr;
}

const TodayPlace* TodayPlaces::placeOfSite(std::string_view site) const {
    const std::string upper = toUpper(site);
    for (const auto& p : places_)
        if (!upper.empty() && p.entry.site == upper)
            return &p;
    return nullptr;
}

std::string fourDecimals(double value) {
    std::string text = fixed4(std::round(value * kPointScale) / kPointScale);
    while (text.back() == '0')
        text.pop_back();
    if (text.back() == '.')
        text.pop_back();
    return text == "-0" ? "0" : text;
}

std::size_t decimalsOf(std::string_view number) {
    const auto dot = number.find('.');
    return dot == std::string_view::npos ? 0 : number.size() - dot - 1;
}

} // namespace nimbuscope::noaasim
