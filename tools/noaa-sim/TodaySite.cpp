#include "noaa-sim/TodaySite.h"

#include "noaa-sim/FrameList.h"
#include "noaa-sim/Hash.h"
#include "noaa-sim/PageForms.h"
#include "noaa-sim/RadarGif.h"
#include "noaa-sim/TodayForms.h"

#include <algorithm>
#include <cstdlib>
#include <vector>

namespace nimbuscope::noaasim {

namespace {

using namespace std::chrono;

constexpr std::string_view kHtml = "text/html; charset=UTF-8";
constexpr int kMaxPointDecimals = 4;
constexpr double kMaxLatitude = 90.0;
constexpr double kMaxLongitude = 180.0;
// Stills are written some seconds after the scan they show.
constexpr seconds kStillWrittenAfter{40};
constexpr std::string_view kShortRangeProduct = "DS.p19r0";
constexpr std::string_view kLongRangeProduct = "DS.p20-r";

std::string param(const QueryParams& query, const std::string& key) {
    const auto found = query.find(key);
    return found == query.end() ? std::string() : found->second;
}

Reply notFound() {
    return {404, std::string(kHtml), "<html><body><h1>Not Found</h1></body></html>\n", {}, {}};
}

Reply problem(std::string_view apiBase, int status, std::string_view type, std::string_view title,
              std::string_view detail) {
    return {status,
            std::string(kProblemJson),
            problemJson(apiBase, status, type, title, detail),
            {},
            {}};
}

Reply xmlException(std::string_view code, std::string_view locator, std::string_view message) {
    return {200, std::string(kWmsXml), serviceExceptionXml(code, locator, message), {}, {}};
}

// 304 when the client's copy is as new as `modified`, else `reply` stamped with the time.
Reply conditional(Reply reply, SysSeconds modified, const RequestHeaders& headers) {
    const auto since = parseHttpDate(headers.ifModifiedSince);
    if (since && modified <= *since)
        return {304, {}, {}, {}, {{"Last-Modified", httpDate(modified)}}};
    reply.headers.emplace_back("Last-Modified", httpDate(modified));
    return reply;
}

WmsParams lowerCaseNames(const QueryParams& query) {
    WmsParams params;
    for (const auto& [name, value] : query)
        params.emplace(toLower(name), value);
    return params;
}

} // namespace

TodaySite::TodaySite(const SiteTable& sites, const UtcClock& clock, std::string baseUrl,
                     int frameCount, TimeForm form)
    : places_(sites), clock_(clock), baseUrl_(std::move(baseUrl)),
      frameCount_(std::clamp(frameCount, 1, kMaxFrameCount)), form_(form) {}

Reply TodaySite::get(std::string_view path, const QueryParams& query,
                     const RequestHeaders& headers) {
    const auto parts = pathParts(path);
    if (parts.size() == 1 && parts[0] == "zipcity.php")
        return locationSearch(query);
    if (parts.size() == 1 && parts[0] == "MapClick.php")
        return {200,
                std::string(kHtml),
                "<html><head><title>Point Forecast</title></head><body><h1>Point Forecast</h1>"
                "</body></html>\n",
                {},
                {}};
    if (!parts.empty() && parts[0] == "api")
        return api(path.substr(path.find("api") + 3), query, headers);
    if (parts.size() == 2 && parts[0] == "geoserver" && (parts[1] == "ows" || parts[1] == "wms"))
        return mapServer({}, query);
    if (parts.size() == 3 && parts[0] == "geoserver" && (parts[2] == "ows" || parts[2] == "wms"))
        return mapServer(toLower(parts[1]), query);
    if (parts.size() == 3 && parts[0] == "ridge" && parts[1] == "standard")
        return still(parts[2], headers);
    return notFound();
}

Reply TodaySite::locationSearch(const QueryParams& query) const {
    const std::string text = param(query, "inputstring");
    const TodayPlace* place = places_.byZip(text);
    if (!place)
        place = places_.byCity(text);
    if (!place)
        return {200, std::string(kHtml), noMatchPage(text), {}, {}};
    const std::string target =
        baseUrl_ + (place->redirect == RedirectForm::TextFields
                        ? "MapClick.php?textField1=" + place->lat + "&textField2=" + place->lon
                        : "MapClick.php?lat=" + place->lat + "&lon=" + place->lon);
    return {place->redirect == RedirectForm::Moved ? 301 : 302,
            std::string(kHtml),
            "<html><body>Moved to <a href=\"" + htmlEscape(target) + "\">here</a></body></html>\n",
            target,
            {}};
}

Reply TodaySite::api(std::string_view path, const QueryParams& query,
                     const RequestHeaders& headers) const {
    // The content network in front of the API turns away requests that do not say who asks.
    if (headers.userAgent.empty())
        return {403,
                std::string(kHtml),
                accessDeniedPage(apiBase() + std::string(path.substr(1))),
                {},
                {}};
    const auto parts = pathParts(path);
    if (parts.size() == 2 && parts[0] == "points")
        return points(parts[1]);
    if (parts.size() == 4 && parts[0] == "gridpoints" && parts[3] == "stations")
        return stations(parts[1], parts[2]);
    if (parts.size() == 4 && parts[0] == "stations" && parts[2] == "observations" &&
        parts[3] == "latest")
        return observation(parts[1], headers);
    if (parts.size() == 2 && parts[0] == "alerts" && parts[1] == "active")
        return activeAlerts(query, headers);
    return problem(kPublicApiBase, 404, "NotFound", "Not Found",
                   "The requested resource was not found.");
}

Reply TodaySite::points(std::string_view point) const {
    const auto comma = point.find(',');
    const auto lat = parseDecimal(point.substr(0, comma));
    const auto lon =
        comma == std::string_view::npos ? std::nullopt : parseDecimal(point.substr(comma + 1));
    if (!lat || !lon || std::abs(*lat) > kMaxLatitude || std::abs(*lon) > kMaxLongitude)
        return problem(kPublicApiBase, 400, "InvalidParameter", "Invalid Parameter",
                       "Parameter \"point\" is invalid: " + std::string(point));
    if (decimalsOf(point.substr(0, comma)) > kMaxPointDecimals ||
        decimalsOf(point.substr(comma + 1)) > kMaxPointDecimals) {
        Reply moved = problem(kPublicApiBase, 301, "AdjustPointPrecision",
                              "Adjusting Precision Of Point Coordinate",
                              "The precision of latitude/longitude points is limited to 4 "
                              "decimal digits for efficiency. The location attribute contains "
                              "your request mapped to the nearest supported point.");
        moved.location =
            std::string(kPublicApiBase) + "points/" + fourDecimals(*lat) + "," + fourDecimals(*lon);
        return moved;
    }
    const TodayPlace* place = places_.near(*lat, *lon);
    if (!place)
        return problem(kPublicApiBase, 404, "InvalidPoint", "Data Unavailable For Requested Point",
                       "Unable to provide data for requested point " + std::string(point));
    return {200, std::string(kGeoJson), pointsJson(kPublicApiBase, *place, point), {}, {}};
}

Reply TodaySite::stations(std::string_view office, std::string_view grid) const {
    const auto comma = grid.find(',');
    const auto x = parseDecimal(grid.substr(0, comma));
    const auto y =
        comma == std::string_view::npos ? std::nullopt : parseDecimal(grid.substr(comma + 1));
    const TodayPlace* place = x && y ? places_.byGrid(office, int(*x), int(*y)) : nullptr;
    if (!place)
        return problem(kPublicApiBase, 404, "InvalidGridpoint", "Invalid Gridpoint",
                       "The requested gridpoint is not valid: " + std::string(grid));
    return {200, std::string(kGeoJson), stationsJson(kPublicApiBase, *place), {}, {}};
}

Reply TodaySite::observation(std::string_view station, const RequestHeaders& headers) const {
    const auto found = places_.station(station);
    if (!found)
        return problem(kPublicApiBase, 404, "NotFound", "Not Found",
                       "Station " + std::string(station) + " not found");
    const Observation o = observationOf(*found->first, found->second, clock_.now());
    return conditional(
        {200, std::string(kGeoJson), observationJson(kPublicApiBase, station, o), {}, {}}, o.time,
        headers);
}

// Every place the service knows has the same alerts; a point elsewhere has none.
Reply TodaySite::activeAlerts(const QueryParams& query, const RequestHeaders& headers) const {
    const std::string point = param(query, "point");
    const auto comma = point.find(',');
    const auto lat = parseDecimal(std::string_view(point).substr(0, comma));
    const auto lon = comma == std::string::npos
                         ? std::nullopt
                         : parseDecimal(std::string_view(point).substr(comma + 1));
    if (!lat || !lon || std::abs(*lat) > kMaxLatitude || std::abs(*lon) > kMaxLongitude)
        return problem(kPublicApiBase, 400, "BadRequest", "Bad Request",
                       "Parameter \"point\" is invalid: '" + point + "'");
    std::string body;
    {
        const std::lock_guard lock(mutex_);
        body = places_.near(*lat, *lon) ? alerts_.activeJson(point, clock_.now())
                                        : TodayAlerts().activeJson(point, clock_.now());
    }
    const std::string etag = "\"" + std::to_string(fnv1a(body)) + "\"";
    if (headers.ifNoneMatch == etag)
        return {304, {}, {}, {}, {{"ETag", etag}}};
    return {200, std::string(kGeoJson), std::move(body), {}, {{"ETag", etag}}};
}

std::string TodaySite::issueAlert(const AlertSpec& spec) {
    const std::lock_guard lock(mutex_);
    return alerts_.issue(spec, clock_.now());
}

bool TodaySite::cancelAlert(std::string_view which) {
    const std::lock_guard lock(mutex_);
    return alerts_.cancel(which, clock_.now());
}

std::vector<std::string> TodaySite::alertLines() const {
    const std::lock_guard lock(mutex_);
    return alerts_.lines(clock_.now());
}

Reply TodaySite::mapServer(std::string_view workspace, const QueryParams& query) {
    if (!workspace.empty() && workspace != kMosaicWorkspace && !places_.hasRadar(workspace))
        return notFound();
    const WmsParams params = lowerCaseNames(query);
    const auto request = toLower(params.count("request") ? params.at("request") : "");
    if (request == "getcapabilities" && !workspace.empty())
        return capabilities(workspace);
    if (request == "getmap")
        return getMap(params, workspace);
    return xmlException("OperationNotSupported", "request",
                        "No operation " + (request.empty() ? std::string("given") : request));
}

Reply TodaySite::capabilities(std::string_view workspace) const {
    const SysSeconds now = clock_.now();
    const int count = frameCount();
    const TimeForm form = timeForm();
    const std::string ws(workspace), upper = toUpper(workspace);
    std::vector<CapabilityLayer> layers;
    if (workspace == kMosaicWorkspace) {
        layers.push_back({std::string(kMosaicLayer), "CONUS Base Reflectivity (QC)",
                          layerTimes(kMosaicLayer, now, count, form), kMosaicExtent});
    } else {
        const TodayPlace* place = places_.placeOfSite(workspace);
        const GeoExtent extent = siteExtent(place->latitude(), place->longitude());
        const bool levelTwo = namesLevelTwoLayers(workspace);
        // The velocity layer comes first and scans at other times, so a reader must pick the
        // reflectivity layer by name.
        for (const auto& [suffix, title] :
             {std::pair{levelTwo ? "_bvel_raw" : "_sr_bvel", " Super-Resolution Base Velocity"},
              std::pair{levelTwo ? "_bref_raw" : "_sr_bref", " Super-Resolution Base Reflectivity"},
              std::pair{"_bdhc", " Digital Hydrometeor Classification"}})
            layers.push_back(
                {ws + suffix, upper + title, layerTimes(ws + suffix, now, count, form), extent});
    }
    return {200,
            std::string(kWmsXml),
            capabilitiesXml(baseUrl_ + "geoserver/" + ws + "/ows", workspace, layers),
            {},
            {}};
}

Reply TodaySite::getMap(const WmsParams& params, std::string_view workspace) {
    const auto check = checkGetMap(params, workspace);
    if (!check.request)
        return xmlException(check.code, check.locator, check.message);
    const MapRequest& r = *check.request;
    const bool mosaic = r.workspace == kMosaicWorkspace;
    if ((mosaic && r.layer != kMosaicLayer) || (!mosaic && !places_.hasRadar(r.workspace)))
        return xmlException("LayerNotDefined", "layers", "Could not find layer " + r.layer);
    const SysSeconds now = clock_.now();
    const SysSeconds time =
        r.time.value_or(layerTimes(r.layer, now, 1, TimeForm::List).times.back());
    const bool echoes = r.wholeSecond && layerHasTime(r.layer, now, time);
    const bool wide = (r.bbox[2] - r.bbox[0]) / 2 > kLongRangeHalfWidth || mosaic;
    const std::string_view product = wide ? kLongRangeProduct : kShortRangeProduct;
    const std::string key = r.layer + "/" + std::string(product) + "/" +
                            std::to_string(time.time_since_epoch().count()) + "/" +
                            (echoes ? "e" : "b") + std::to_string(r.width) + "x" +
                            std::to_string(r.height);
    const auto bytes = frames_.get(key, [&] {
        return mapFrameGif(mosaic ? "CONUS" : toUpper(r.workspace), product, time, echoes, r.width,
                           r.height);
    });
    return {200, "image/gif", *bytes, {}, {}};
}

Reply TodaySite::still(std::string_view file, const RequestHeaders& headers) {
    const auto underscore = file.rfind('_');
    const std::string site = toUpper(file.substr(0, underscore));
    const std::string_view rest =
        underscore == std::string_view::npos ? std::string_view() : file.substr(underscore + 1);
    if (rest.size() != 5 || rest[0] < '0' || rest[0] > '9' || rest.substr(1) != ".gif" ||
        !places_.hasRadar(site))
        return notFound();
    const int age = rest[0] - '0';
    const SysSeconds shown = frameTimes(clock_.now(), 1).back() - minutes{kFrameStepMinutes * age};
    const auto bytes =
        frames_.get("still/" + site + "/" + std::to_string(shown.time_since_epoch().count()),
                    [&] { return radarFrameGif(site, kShortRangeProduct, shown); });
    return conditional({200, "image/gif", *bytes, {}, {}}, shown + kStillWrittenAfter, headers);
}

bool TodaySite::setFrameCount(int count) {
    if (count < 1 || count > kMaxFrameCount)
        return false;
    std::lock_guard lock(mutex_);
    frameCount_ = count;
    return true;
}

int TodaySite::frameCount() const {
    std::lock_guard lock(mutex_);
    return frameCount_;
}

void TodaySite::setTimeForm(TimeForm form) {
    std::lock_guard lock(mutex_);
    form_ = form;
}

TimeForm TodaySite::timeForm() const {
    std::lock_guard lock(mutex_);
    return form_;
}

} // namespace nimbuscope::noaasim
