#pragma once

#include "noaa-sim/Conditions.h"
#include "noaa-sim/SiteTable.h"

#include <string>
#include <string_view>
#include <vector>

namespace nimbuscope::noaasim {

/// The location page puts its temperature cell beyond this offset: readers of the old page
/// look for the cell only from character 4000 on.
inline constexpr std::size_t kTemperatureCellMinOffset = 4000;
/// The forecast marker must lie beyond this offset for the same reason.
inline constexpr std::size_t kForecastMarkerMinOffset = 250;

/// "http://127.0.0.1:8080/radar/latest/DS.p19r0/si.keax.shtml" for base "http://127.0.0.1:8080/".
std::string radarPageUrl(std::string_view baseUrl, std::string_view site);
/// "http://127.0.0.1:8080/images/wtf/sct.jpg".
std::string conditionsImageUrl(std::string_view baseUrl, std::string_view imageCode);
/// "/MapClick.php?zip=64106": where the location search sends a known zip code.
std::string locationPagePath(std::string_view zip);

/// The forecast page of a location in the old form, with every marker the saver reads:
/// the city and state before `<a href="#contents">` and after "For:", the absolute radar page
/// link, `7-Day Forecast"><` followed by the conditions picture `<img src="..." alt="...">`,
/// and `<td class="big" ...>NN&deg;F</td>` beyond kTemperatureCellMinOffset.
std::string locationPage(std::string_view baseUrl, const SiteEntry& entry,
                         const Conditions& conditions);

/// The location search's answer for a text it cannot place (HTTP 200 in the old service).
std::string noMatchPage(std::string_view query);

/// The body of the service's HTTP 500 answer.
std::string serverErrorPage();

/// A page the service might send instead of a location (a notice behind a proxy, say): long
/// enough to be a page, with no radar link and none of the error pages' texts.
std::string contentErrorPage();

/// The radar page a location page links to; the saver only takes its address apart, but a
/// browser pointed at it shows the newest frame.
std::string radarPage(std::string_view baseUrl, std::string_view product, std::string_view site,
                      std::string_view newestFramePath);

/// The default and the accepted range of the loop page's frame interval.
inline constexpr int kLoopPageDefaultMs = 100;
inline constexpr int kLoopPageMinMs = 10;
inline constexpr int kLoopPageMaxMs = 10000;

/// An animated loop of the given frames, the way a person watches the radar in a browser:
/// every frame decoded in advance, then one shown every `intervalMs`, round and round,
/// centred on black. `framePaths` are site paths ("/radar/images/...").
std::string loopPage(std::string_view baseUrl, std::string_view site,
                     const std::vector<std::string>& framePaths, int intervalMs);

std::string htmlEscape(std::string_view text);

} // namespace nimbuscope::noaasim
