#include "noaa-sim/Conditions.h"

#include "noaa-sim/Hash.h"

#include <array>

namespace nimbuscope::noaasim {

namespace {

struct Weather {
    std::string_view code;
    std::string_view forecast;
};

constexpr std::array<Weather, 9> kWeather = {{
    {"skc", "Sunny"},
    {"few", "Mostly Sunny"},
    {"sct", "Partly Cloudy"},
    {"bkn", "Mostly Cloudy"},
    {"ovc", "Overcast"},
    {"ra", "Light Rain"},
    {"sn", "Light Snow"},
    {"tsra", "Thunderstorms"},
    {"fg", "Fog"},
}};

constexpr int kHoursPerSpell = 3;
constexpr int kFreezingF = 32;

} // namespace

std::string_view forecastOfCode(std::string_view code) {
    for (const auto& w : kWeather)
        if (w.code == code)
            return w.forecast;
    return {};
}

Conditions conditionsFor(const SiteEntry& entry, SysSeconds now) {
    using namespace std::chrono;
    const std::uint64_t place = fnv1a(entry.zip);
    const auto hoursSinceEpoch = floor<hours>(now).time_since_epoch().count();
    const int hourOfDay = int(hoursSinceEpoch % 24);

    Conditions c;
    c.temperatureF = 25 + int(place % 50) + (hourOfDay * 7) % 17 - 8;
    auto w =
        kWeather[(place / 7 + std::uint64_t(hoursSinceEpoch / kHoursPerSpell)) % kWeather.size()];
    // Keep rain and snow on the plausible side of freezing.
    if (w.code == "sn" && c.temperatureF > kFreezingF + 2)
        w = kWeather[5];
    else if (w.code == "ra" && c.temperatureF < kFreezingF - 2)
        w = kWeather[6];
    c.imageCode = std::string(w.code);
    c.forecast = std::string(w.forecast);
    return c;
}

} // namespace nimbuscope::noaasim
