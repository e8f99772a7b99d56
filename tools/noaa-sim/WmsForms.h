#pragma once

#include "noaa-sim/SimClock.h"

#include <array>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace nimbuscope::noaasim {

/// How a layer's capabilities write its time dimension.
enum class TimeForm {
    List,     // every scan as an instant: "2026-12-05T21:10:22.000Z,2026-12-05T21:15:41.000Z,..."
    Interval, // one start/end/period interval of whole five minutes: "start/end/PT5M"
    Mixed,    // the older scans as an interval, the newest three as instants after it
};

std::optional<TimeForm> timeFormFromName(std::string_view name);
std::string_view timeFormName(TimeForm form);

/// The national mosaic's workspace and layer.
inline constexpr std::string_view kMosaicWorkspace = "conus";
inline constexpr std::string_view kMosaicLayer = "conus_bref_qcd";
/// A request box wider than this (half its width, in Web Mercator metres) asks for the
/// long-range view.
inline constexpr double kLongRangeHalfWidth = 450'000.0;

/// The times a layer advertises at `now`: the text of its time dimension and the instants it
/// stands for, oldest first, the newest at or before `now`. Site layers scan every five
/// minutes, each scan some seconds after the five minutes, differing per site and scan; in
/// the interval form (and the mosaic, always an interval) times fall on whole five minutes.
struct LayerTimes {
    std::string text;
    std::vector<SysSeconds> times;
};
LayerTimes layerTimes(std::string_view layer, SysSeconds now, int count, TimeForm form);

/// Whether a layer would answer with data for `time` at `now`: a time it advertises in any
/// form within the last kMaxFrameCount scans.
bool layerHasTime(std::string_view layer, SysSeconds now, SysSeconds time);

/// Degrees of longitude and latitude a layer's data covers.
struct GeoExtent {
    double west, south, east, north;
};
/// A site layer covers five degrees around the site, as the real ones do; the mosaic the
/// lower 48 states.
GeoExtent siteExtent(double lat, double lon);
inline constexpr GeoExtent kMosaicExtent{-130.0, 20.0, -60.0, 55.0};

/// Sites whose workspace names its base reflectivity `<site>_bref_raw` (and velocity
/// `_bvel_raw`), as the recorded workspaces of the real map server do; the others use
/// `_sr_bref` and `_sr_bvel`.
bool namesLevelTwoLayers(std::string_view site);

/// The capabilities of a workspace: GetMap in image/gif among its formats, and for each
/// layer its name, title, extent and time dimension (with the given text).
struct CapabilityLayer {
    std::string name;
    std::string title;
    LayerTimes times;
    std::optional<GeoExtent> extent;
};
std::string capabilitiesXml(std::string_view serviceUrl, std::string_view workspace,
                            const std::vector<CapabilityLayer>& layers);

/// The type the map server gives its capabilities and exception reports.
inline constexpr std::string_view kWmsXml = "text/xml;charset=UTF-8";

/// An OGC service exception report, the answer (with HTTP 200) to a request it cannot serve.
std::string serviceExceptionXml(std::string_view code, std::string_view locator,
                                std::string_view message);

/// Query parameters with their names in lower case, as the map server reads them.
using WmsParams = std::map<std::string, std::string>;

/// A GetMap request, checked.
struct MapRequest {
    std::string workspace; // "keax" or "conus"
    std::string layer;     // "keax_sr_bref"
    std::array<double, 4> bbox{};
    int width = 0;
    int height = 0;
    std::optional<SysSeconds> time; // none: the newest; unparsable times are refused
    bool wholeSecond = true;        // false when the time has a fraction of a second
};

struct MapRequestCheck {
    std::optional<MapRequest> request;
    std::string code;    // the exception code when refused
    std::string locator; // the parameter at fault
    std::string message;
};

/// Checks a GetMap request sent to `/geoserver/<pathWorkspace>/ows` (empty workspace for the
/// global `/geoserver/ows`): layers "<ws>:<layer>" (or "<layer>" under a workspace path),
/// crs EPSG:3857, a bbox with min below max, width and height 1..4096, format image/gif.
MapRequestCheck checkGetMap(const WmsParams& params, std::string_view pathWorkspace);

/// "2026-12-05T21:37:22.000Z" or "...22Z" or "...22+00:00"; nothing for anything else.
std::optional<SysSeconds> parseIsoTime(std::string_view text, bool* wholeSecond = nullptr);

/// A number written in decimal and nothing else ("-94.5785", "1e3"); nothing otherwise.
std::optional<double> parseDecimal(std::string_view text);

} // namespace nimbuscope::noaasim
