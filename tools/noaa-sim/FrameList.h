#pragma once

#include "noaa-sim/SimClock.h"

#include <array>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace nimbuscope::noaasim {

/// The two radar products: short range and long range base reflectivity.
inline constexpr std::array<std::string_view, 2> kProducts = {"DS.p19r0", "DS.p20-r"};
inline constexpr int kFrameStepMinutes = 5;
inline constexpr int kDefaultFrameCount = 18;
inline constexpr int kMaxFrameCount = 250;

/// How the lines of a loop list address their frames. The saver's normaliser accepts all three.
enum class ListForm {
    Relative, // "../../images/<product>/SI.<SITE>/<frame>.gif" (relative to
              // /radar/loopdata/<product>/)
    Rooted,   // "/radar/images/<product>/SI.<SITE>/<frame>.gif"
    Absolute, // "<base>radar/images/<product>/SI.<SITE>/<frame>.gif"
};

std::optional<ListForm> listFormFromName(std::string_view name);
std::string_view listFormName(ListForm form);
bool isProduct(std::string_view product);

/// Times of the newest `count` frames at `now`, oldest first, 5 minutes apart; the newest is
/// `now` rounded down to a multiple of 5 minutes.
std::vector<SysSeconds> frameTimes(SysSeconds now, int count);

/// "SI.KEAX.dd.20261205.2135": the date after ".dd.", the time after the next ".".
std::string frameName(std::string_view site, SysSeconds time);

/// The time a frame name carries, or nothing when it does not follow the frame-name form
/// (".dd.", eight digits of a real date, ".", four digits of a real time).
std::optional<SysSeconds> frameTimeFromName(std::string_view name);

/// "/radar/images/DS.p19r0/SI.KEAX/SI.KEAX.dd.20261205.2135.gif".
std::string framePath(std::string_view product, std::string_view site, SysSeconds time);

/// The loop list of one product and site: one line per frame, each ended by a line feed.
/// `baseUrl` ends in "/" and is only used by the absolute form.
std::string frameListText(ListForm form, std::string_view baseUrl, std::string_view product,
                          std::string_view site, SysSeconds now, int count);

} // namespace nimbuscope::noaasim
