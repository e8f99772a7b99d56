#include "noaa-sim/WmsForms.h"

#include "noaa-sim/FrameList.h"
#include "noaa-sim/Hash.h"
#include "noaa-sim/PageForms.h"
#include "noaa-sim/SiteTable.h"
#include "noaa-sim/TodayForms.h"

#include <algorithm>
#include <charconv>
#include <cstdio>
#include <cstdlib>

namespace nimbuscope::noaasim {

namespace {

using namespace std::chrono;

constexpr minutes kScanStep{kFrameStepMinutes};
constexpr int kScanLagMin = 15;   // seconds after the five minutes
constexpr int kScanLagSpan = 200; // so that two scans never fall in the same minute
constexpr int kNewestInstants = 3;
constexpr int kMaxMapSide = 4096;

bool isMosaic(std::string_view layer) {
    return layer == kMosaicLayer;
}

SysSeconds slotOf(SysSeconds time) {
    const auto minute = floor<minutes>(time);
    return minute - minute.time_since_epoch() % kScanStep;
}

SysSeconds scanTime(std::string_view layer, SysSeconds slot) {
    if (isMosaic(layer))
        return slot;
    const auto lag = mix64(fnv1a(layer) ^ std::uint64_t(slot.time_since_epoch().count())) %
                     std::uint64_t(kScanLagSpan);
    return slot + seconds{kScanLagMin + int(lag)};
}

// The newest five minutes whose scan is done at `now`.
SysSeconds newestSlot(std::string_view layer, SysSeconds now) {
    const SysSeconds slot = slotOf(now);
    return scanTime(layer, slot) <= now ? slot : slot - kScanStep;
}

std::string joined(const std::vector<SysSeconds>& times) {
    std::string text;
    for (const auto t : times)
        text += (text.empty() ? "" : ",") + isoTime(t, true);
    return text;
}

std::string interval(SysSeconds first, SysSeconds last) {
    return isoTime(first, true) + "/" + isoTime(last, true) + "/PT" +
           std::to_string(kFrameStepMinutes) + "M";
}

std::optional<int> whole(std::string_view text, int low, int high) {
    int value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc() || end != text.data() + text.size() || value < low || value > high)
        return std::nullopt;
    return value;
}

std::string param(const WmsParams& params, const std::string& name) {
    const auto found = params.find(name);
    return found == params.end() ? std::string() : found->second;
}

MapRequestCheck refused(std::string code, std::string locator, std::string message) {
    return {std::nullopt, std::move(code), std::move(locator), std::move(message)};
}

std::optional<std::array<double, 4>> parseBox(const std::string& text) {
    std::array<double, 4> box{};
    std::size_t start = 0;
    for (std::size_t i = 0; i < box.size(); ++i) {
        const auto comma = text.find(',', start);
        if ((comma == std::string::npos) != (i + 1 == box.size()))
            return std::nullopt;
        const auto value = parseDecimal(std::string_view(text).substr(start, comma - start));
        if (!value)
            return std::nullopt;
        box[i] = *value;
        start = comma + 1;
    }
    if (box[0] >= box[2] || box[1] >= box[3])
        return std::nullopt;
    return box;
}

std::string extentXml(const std::optional<GeoExtent>& extent) {
    if (!extent)
        return {};
    const auto degrees = [](double v) {
        char text[32];
        std::snprintf(text, sizeof text, "%.4f", v);
        return std::string(text);
    };
    return "        <EX_GeographicBoundingBox>\n          <westBoundLongitude>" +
           degrees(extent->west) + "</westBoundLongitude>\n          <eastBoundLongitude>" +
           degrees(extent->east) + "</eastBoundLongitude>\n          <southBoundLatitude>" +
           degrees(extent->south) + "</southBoundLatitude>\n          <northBoundLatitude>" +
           degrees(extent->north) + "</northBoundLatitude>\n        </EX_GeographicBoundingBox>\n";
}

} // namespace

std::optional<TimeForm> timeFormFromName(std::string_view name) {
    if (name == "list")
        return TimeForm::List;
    if (name == "interval")
        return TimeForm::Interval;
    if (name == "mixed")
        return TimeForm::Mixed;
    return std::nullopt;
}

std::string_view timeFormName(TimeForm form) {
    switch (form) {
    case TimeForm::List:
        return "list";
    case TimeForm::Interval:
        return "interval";
    case TimeForm::Mixed:
        return "mixed";
    }
    return "list";
}

LayerTimes layerTimes(std::string_view layer, SysSeconds now, int count, TimeForm form) {
    if (isMosaic(layer))
        form = TimeForm::Interval;
    count = std::clamp(count, 1, kMaxFrameCount);
    const SysSeconds newest = newestSlot(layer, now);
    const int instants = form == TimeForm::List       ? count
                         : form == TimeForm::Interval ? 0
                                                      : std::min(kNewestInstants, count - 1);
    LayerTimes result;
    std::vector<SysSeconds> exact;
    for (int i = count - 1; i >= 0; --i) {
        const SysSeconds slot = newest - i * kScanStep;
        result.times.push_back(i < instants ? scanTime(layer, slot) : slot);
        if (i < instants)
            exact.push_back(result.times.back());
    }
    if (instants == count) {
        result.text = joined(exact);
    } else {
        // Some servers break the dimension's text over lines; readers must trim it.
        result.text = "\n        " + interval(result.times.front(),
                                              result.times[std::size_t(count - instants - 1)]);
        if (!exact.empty())
            result.text += "," + joined(exact);
        result.text += "\n      ";
    }
    return result;
}

GeoExtent siteExtent(double lat, double lon) {
    constexpr double kReachDegrees = 5.0;
    return {lon - kReachDegrees, lat - kReachDegrees, lon + kReachDegrees, lat + kReachDegrees};
}

bool namesLevelTwoLayers(std::string_view site) {
    return toUpper(site) == "KEAX";
}

bool layerHasTime(std::string_view layer, SysSeconds now, SysSeconds time) {
    const SysSeconds slot = slotOf(time);
    const SysSeconds newest = newestSlot(layer, now);
    if (slot > newest || slot < newest - (kMaxFrameCount - 1) * kScanStep)
        return false;
    return time == slot || time == scanTime(layer, slot);
}

std::string capabilitiesXml(std::string_view serviceUrl, std::string_view workspace,
                            const std::vector<CapabilityLayer>& layers) {
    const std::string href = htmlEscape(std::string(serviceUrl) + "?SERVICE=WMS&");
    std::string xml =
        "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
        "<WMS_Capabilities version=\"1.3.0\" updateSequence=\"1\" "
        "xmlns=\"http://www.opengis.net/wms\" xmlns:xlink=\"http://www.w3.org/1999/xlink\" "
        "xmlns:xsi=\"http://www.w3.org/2001/XMLSchema-instance\">\n"
        "  <Service>\n    <Name>WMS</Name>\n    <Title>" +
        htmlEscape(toUpper(workspace)) +
        " radar</Title>\n    <OnlineResource xlink:type=\"simple\" xlink:href=\"" + href +
        "\"/>\n  </Service>\n  <Capability>\n    <Request>\n"
        "      <GetCapabilities><Format>text/xml</Format><DCPType><HTTP><Get><OnlineResource "
        "xlink:type=\"simple\" xlink:href=\"" +
        href +
        "\"/></Get></HTTP></DCPType></GetCapabilities>\n"
        "      <GetMap><Format>image/png</Format><Format>image/jpeg</Format><Format>image/gif"
        "</Format><DCPType><HTTP><Get><OnlineResource xlink:type=\"simple\" xlink:href=\"" +
        href +
        "\"/></Get></HTTP></DCPType></GetMap>\n    </Request>\n"
        "    <Exception><Format>XML</Format><Format>INIMAGE</Format></Exception>\n"
        "    <Layer>\n      <Title>" +
        htmlEscape(std::string(workspace)) +
        "</Title>\n      <CRS>EPSG:3857</CRS>\n      <CRS>EPSG:4326</CRS>\n";
    for (const auto& layer : layers) {
        xml += "      <Layer queryable=\"1\" opaque=\"0\">\n        <Name>" +
               htmlEscape(layer.name) + "</Name>\n        <Title>" + htmlEscape(layer.title) +
               "</Title>\n        <CRS>EPSG:3857</CRS>\n" + extentXml(layer.extent) +
               "        <Dimension name=\"time\" default=\"" +
               isoTime(layer.times.times.back(), true) +
               "\" units=\"ISO8601\" nearestValue=\"1\">" + layer.times.text +
               "</Dimension>\n        <Style><Name>radar_reflectivity</Name>"
               "<Title>Reflectivity</Title></Style>\n      </Layer>\n";
    }
    return xml + "    </Layer>\n  </Capability>\n</WMS_Capabilities>\n";
}

std::string serviceExceptionXml(std::string_view code, std::string_view locator,
                                std::string_view message) {
    return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
           "<ServiceExceptionReport version=\"1.3.0\" xmlns=\"http://www.opengis.net/ogc\">\n"
           "  <ServiceException code=\"" +
           htmlEscape(code) + "\"" +
           (locator.empty() ? "" : " locator=\"" + htmlEscape(locator) + "\"") + ">\n    " +
           htmlEscape(message) + "\n  </ServiceException>\n</ServiceExceptionReport>\n";
}

MapRequestCheck checkGetMap(const WmsParams& params, std::string_view pathWorkspace) {
    MapRequest r;
    const std::string layers = toLower(param(params, "layers"));
    const auto colon = layers.find(':');
    r.workspace = colon == std::string::npos ? std::string(pathWorkspace) : layers.substr(0, colon);
    r.layer = colon == std::string::npos ? layers : layers.substr(colon + 1);
    if (layers.empty() || r.workspace.empty() || !r.layer.starts_with(r.workspace + "_") ||
        (!pathWorkspace.empty() && r.workspace != pathWorkspace))
        return refused("LayerNotDefined", "layers", "Could not find layer " + layers);
    const std::string crs = toUpper(param(params, params.count("crs") ? "crs" : "srs"));
    if (crs != "EPSG:3857" && crs != "EPSG:900913")
        return refused("InvalidCRS", "crs", "Error occurred decoding the espg code " + crs);
    const auto box = parseBox(param(params, "bbox"));
    if (!box)
        return refused("InvalidParameterValue", "bbox", "The request bounding box is invalid");
    r.bbox = *box;
    const auto width = whole(param(params, "width"), 1, kMaxMapSide);
    const auto height = whole(param(params, "height"), 1, kMaxMapSide);
    if (!width || !height)
        return refused("MissingOrInvalidParameter", width ? "height" : "width",
                       "width and height must be whole numbers from 1 to 4096");
    r.width = *width;
    r.height = *height;
    const std::string format = param(params, "format");
    if (format != "image/gif")
        return refused("InvalidFormat", "format",
                       "There is no support for creating maps in " + format + " format");
    if (const std::string time = param(params, "time"); !time.empty()) {
        r.time = parseIsoTime(time, &r.wholeSecond);
        if (!r.time)
            return refused("InvalidDimensionValue", "time", "Could not parse time " + time);
    }
    return {r, {}, {}, {}};
}

std::optional<SysSeconds> parseIsoTime(std::string_view text, bool* wholeSecond) {
    const std::string copy(text);
    int y = 0, mo = 0, d = 0, h = 0, mi = 0, s = 0, used = 0;
    if (std::sscanf(copy.c_str(), "%4d-%2d-%2dT%2d:%2d:%2d%n", &y, &mo, &d, &h, &mi, &s, &used) !=
            6 ||
        used != 19)
        return std::nullopt;
    std::string_view rest = std::string_view(copy).substr(19);
    bool whole = true;
    if (rest.starts_with(".")) {
        std::size_t digits = 1;
        while (digits < rest.size() && rest[digits] >= '0' && rest[digits] <= '9') {
            whole = whole && rest[digits] == '0';
            ++digits;
        }
        if (digits == 1)
            return std::nullopt;
        rest.remove_prefix(digits);
    }
    const year_month_day date{year{y}, month{unsigned(mo)}, day{unsigned(d)}};
    if ((rest != "Z" && rest != "+00:00") || !date.ok() || h > 23 || mi > 59 || s > 59)
        return std::nullopt;
    if (wholeSecond)
        *wholeSecond = whole;
    return SysSeconds(sys_days(date)) + hours{h} + minutes{mi} + seconds{s};
}

std::optional<double> parseDecimal(std::string_view text) {
    const std::string copy(text); // strtod wants the end of the number marked
    char* end = nullptr;
    const double value = std::strtod(copy.c_str(), &end);
    if (copy.empty() || end != copy.c_str() + copy.size())
        return std::nullopt;
    return value;
}

} // namespace nimbuscope::noaasim
