#include "noaa-sim/TodayForms.h"

#include "noaa-sim/Conditions.h"
#include "noaa-sim/Hash.h"

#include <array>
#include <cmath>
#include <cstdio>

namespace nimbuscope::noaasim {

namespace {

using namespace std::chrono;

constexpr std::string_view kProblems = "https://api.weather.gov/problems/";
// Observations are taken at 53 minutes past the hour, as most airport stations do.
constexpr minutes kObservedBeforeHour{7};
constexpr hours kStaleBy{26};
constexpr days kMonthsOldBy{120};
// A tenth of a degree off the page's whole degrees, so a reader that takes the value for
// another unit, or rounds it twice, shows another figure.
constexpr double kFahrenheitFraction = 0.4;
constexpr std::array<std::string_view, 7> kWeekdays = {"Thu", "Fri", "Sat", "Sun",
                                                       "Mon", "Tue", "Wed"};
constexpr std::array<std::string_view, 12> kMonths = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                                      "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};

struct CodeText {
    std::string_view code;
    std::string_view text;
};

constexpr std::array<CodeText, 9> kObservationTexts = {{
    {"skc", "Clear"},
    {"few", "Mostly Clear"},
    {"sct", "Partly Cloudy"},
    {"bkn", "Mostly Cloudy"},
    {"ovc", "Cloudy"},
    {"ra", "Light Rain"},
    {"sn", "Light Snow"},
    {"tsra", "Thunderstorms and Rain"},
    {"fg", "Fog/Mist"},
}};

std::string number(double value, int decimals) {
    char text[32];
    std::snprintf(text, sizeof text, "%.*f", decimals, value);
    return text;
}

std::string pointGeometry(const TodayPlace& place) {
    return "{\"type\":\"Point\",\"coordinates\":[" + fourDecimals(place.longitude()) + "," +
           fourDecimals(place.latitude()) + "]}";
}

std::string stationFeature(std::string_view apiBase, const TodayPlace& place,
                           const Station& station, std::size_t index) {
    const std::string id = std::string(apiBase) + "stations/" + station.id;
    return "{\"id\":" + jsonString(id) +
           ",\"type\":\"Feature\",\"geometry\":" + pointGeometry(place) +
           ",\"properties\":{\"@id\":" + jsonString(id) +
           ",\"@type\":\"wx:ObservationStation\",\"elevation\":{\"unitCode\":\"wmoUnit:m\","
           "\"value\":" +
           std::to_string(200 + 37 * index) + "},\"stationIdentifier\":" + jsonString(station.id) +
           ",\"name\":" + jsonString(place.entry.city + " station " + std::to_string(index + 1)) +
           ",\"timeZone\":" + jsonString(place.timeZone) + "}}";
}

} // namespace

std::string jsonString(std::string_view text) {
    std::string out = "\"";
    for (const char c : text) {
        if (c == '"' || c == '\\') {
            out += '\\';
            out += c;
        } else if (static_cast<unsigned char>(c) < 0x20) {
            char escaped[8];
            std::snprintf(escaped, sizeof escaped, "\\u%04x", unsigned(c));
            out += escaped;
        } else {
            out += c;
        }
    }
    return out + "\"";
}

std::string_view observationText(std::string_view code) {
    for (const auto& t : kObservationTexts)
        if (t.code == code)
            return t.text;
    return {};
}

Observation observationOf(const TodayPlace& place, std::size_t index, SysSeconds now) {
    const auto state = place.stations[index % kStationsPerPlace].state;
    SysSeconds time = floor<hours>(now) - kObservedBeforeHour;
    if (state == StationState::Stale)
        time -= kStaleBy;
    if (state == StationState::MonthsOld)
        time -= kMonthsOldBy;
    const bool old = state == StationState::Stale || state == StationState::MonthsOld;
    const Conditions c = conditionsFor(place.entry, old ? time : now);
    Observation o{time, {}, std::nullopt, "wmoUnit:degC", {}};
    if (state == StationState::Empty)
        return o;
    o.text = std::string(observationText(c.imageCode));
    o.iconCode = c.imageCode;
    if (state == StationState::Fahrenheit) {
        o.unit = "wmoUnit:degF";
        o.value = c.temperatureF + kFahrenheitFraction;
    } else if (state != StationState::NullTemperature) {
        // One decimal of a degree Celsius is finer than the page's whole degrees Fahrenheit.
        o.value = std::round((c.temperatureF - 32) * 50.0 / 9.0) / 10.0;
    }
    return o;
}

std::string pointsJson(std::string_view apiBase, const TodayPlace& place, std::string_view point) {
    const std::string base(apiBase);
    const std::string grid = base + "gridpoints/" + place.office + "/" +
                             std::to_string(place.gridX) + "," + std::to_string(place.gridY);
    const std::string self = base + "points/" + std::string(point);
    return "{\"@context\":[\"https://geojson.org/geojson-ld/geojson-context.jsonld\"],"
           "\"id\":" +
           jsonString(self) + ",\"type\":\"Feature\",\"geometry\":" + pointGeometry(place) +
           ",\"properties\":{\"@id\":" + jsonString(self) +
           ",\"@type\":\"wx:Point\",\"cwa\":" + jsonString(place.office) +
           ",\"forecastOffice\":" + jsonString(base + "offices/" + place.office) +
           ",\"gridId\":" + jsonString(place.office) + ",\"gridX\":" + std::to_string(place.gridX) +
           ",\"gridY\":" + std::to_string(place.gridY) +
           ",\"forecast\":" + jsonString(grid + "/forecast") +
           ",\"forecastHourly\":" + jsonString(grid + "/forecast/hourly") +
           ",\"forecastGridData\":" + jsonString(grid) +
           ",\"observationStations\":" + jsonString(grid + "/stations") +
           ",\"relativeLocation\":{\"type\":\"Feature\",\"geometry\":" + pointGeometry(place) +
           ",\"properties\":{\"city\":" + jsonString(place.entry.city) +
           ",\"state\":" + jsonString(place.entry.state) +
           ",\"distance\":{\"unitCode\":\"wmoUnit:m\",\"value\":1234.5},"
           "\"bearing\":{\"unitCode\":\"wmoUnit:degree_(angle)\",\"value\":180}}},"
           "\"timeZone\":" +
           jsonString(place.timeZone) + ",\"radarStation\":" +
           (place.entry.site.empty() ? std::string("null") : jsonString(place.entry.site)) + "}}";
}

std::string stationsJson(std::string_view apiBase, const TodayPlace& place) {
    std::string features, urls;
    for (std::size_t i = 0; i < kStationsPerPlace; ++i) {
        const std::string sep = i == 0 ? "" : ",";
        features += sep + stationFeature(apiBase, place, place.stations[i], i);
        urls += sep + jsonString(std::string(apiBase) + "stations/" + place.stations[i].id);
    }
    return "{\"@context\":[\"https://geojson.org/geojson-ld/geojson-context.jsonld\"],"
           "\"type\":\"FeatureCollection\",\"features\":[" +
           features + "],\"observationStations\":[" + urls + "]}";
}

std::string observationJson(std::string_view apiBase, std::string_view stationId,
                            const Observation& o) {
    const std::string station = std::string(apiBase) + "stations/" + std::string(stationId);
    const std::string id = station + "/observations/" + isoTime(o.time, false);
    const std::string icon =
        o.iconCode.empty()
            ? "null"
            : jsonString(std::string(apiBase) + "icons/land/day/" + o.iconCode + "?size=medium");
    const std::string temperature = o.value ? number(*o.value, 1) : "null";
    return "{\"id\":" + jsonString(id) +
           ",\"type\":\"Feature\",\"geometry\":null,\"properties\":{\"@id\":" + jsonString(id) +
           ",\"@type\":\"wx:ObservationStation\",\"station\":" + jsonString(station) +
           ",\"timestamp\":" + jsonString(isoTime(o.time, false)) +
           ",\"rawMessage\":\"\",\"textDescription\":" + jsonString(o.text) + ",\"icon\":" + icon +
           ",\"presentWeather\":[],\"temperature\":{\"unitCode\":" + jsonString(o.unit) +
           ",\"value\":" + temperature +
           ",\"qualityControl\":\"V\"},\"dewpoint\":{\"unitCode\":\"wmoUnit:degC\",\"value\":null,"
           "\"qualityControl\":\"Z\"}}}";
}

std::string problemJson(std::string_view apiBase, int status, std::string_view type,
                        std::string_view title, std::string_view detail) {
    const std::string correlation = std::to_string(fnv1a(detail) % 100000000);
    return "{\"correlationId\":" + jsonString(correlation) + ",\"title\":" + jsonString(title) +
           ",\"type\":" + jsonString(std::string(kProblems) + std::string(type)) +
           ",\"status\":" + std::to_string(status) + ",\"detail\":" + jsonString(detail) +
           ",\"instance\":" + jsonString(std::string(apiBase) + "requests/" + correlation) + "}";
}

std::string problemForStatus(std::string_view apiBase, int status) {
    if (status == 429)
        return problemJson(apiBase, status, "RateLimitExceeded", "Rate Limit Exceeded",
                           "Too many requests; retry later.");
    if (status == 404)
        return problemJson(apiBase, status, "NotFound", "Not Found",
                           "The requested resource was not found.");
    if (status >= 500)
        return problemJson(apiBase, status, "UnexpectedProblem", "Unexpected Problem",
                           "An unexpected problem has occurred.");
    return problemJson(apiBase, status, "InvalidRequest", "Invalid Request",
                       "The request could not be handled.");
}

std::string accessDeniedPage(std::string_view address) {
    std::string escaped;
    for (const char c : address)
        escaped += c == '"' ? std::string("&quot;") : std::string(1, c);
    return "<HTML><HEAD>\n<TITLE>Access Denied</TITLE>\n</HEAD><BODY>\n<H1>Access Denied</H1>\n"
           "You don't have permission to access \"" +
           escaped +
           "\" on this server.<P>\nReference&#32;&#35;18&#46;0&#46;0&#46;1\n</BODY>\n</HTML>\n";
}

std::string isoTime(SysSeconds time, bool millis) {
    const auto day = floor<days>(time);
    const year_month_day date{day};
    const hh_mm_ss clock{time - day};
    char text[40];
    std::snprintf(text, sizeof text, "%04d-%02u-%02uT%02d:%02d:%02d%s", int(date.year()),
                  unsigned(date.month()), unsigned(date.day()), int(clock.hours().count()),
                  int(clock.minutes().count()), int(clock.seconds().count()),
                  millis ? ".000Z" : "+00:00");
    return text;
}

std::string httpDate(SysSeconds time) {
    const auto day = floor<days>(time);
    const year_month_day date{day};
    const hh_mm_ss clock{time - day};
    const auto weekday = std::size_t(day.time_since_epoch().count() % 7 + 7) % 7;
    char text[40];
    std::snprintf(
        text, sizeof text, "%s, %02u %s %04d %02d:%02d:%02d GMT", kWeekdays[weekday].data(),
        unsigned(date.day()), kMonths[unsigned(date.month()) - 1].data(), int(date.year()),
        int(clock.hours().count()), int(clock.minutes().count()), int(clock.seconds().count()));
    return text;
}

std::optional<SysSeconds> parseHttpDate(std::string_view text) {
    char weekday[4] = {}, monthName[4] = {};
    unsigned d = 0;
    int y = 0, h = 0, mi = 0, s = 0;
    const std::string copy(text);
    if (std::sscanf(copy.c_str(), "%3s, %u %3s %d %d:%d:%d GMT", weekday, &d, monthName, &y, &h,
                    &mi, &s) != 7)
        return std::nullopt;
    for (std::size_t m = 0; m < kMonths.size(); ++m) {
        const year_month_day date{year{y}, month{unsigned(m + 1)}, day{d}};
        if (kMonths[m] == monthName && date.ok() && h < 24 && mi < 60 && s < 61)
            return SysSeconds(sys_days(date)) + hours{h} + minutes{mi} + seconds{s};
    }
    return std::nullopt;
}

} // namespace nimbuscope::noaasim
