#include "noaa-sim/FrameList.h"

#include "noaa-sim/SiteTable.h"

#include <algorithm>
#include <cctype>
#include <cstdio>

namespace nimbuscope::noaasim {

namespace {

using namespace std::chrono;

constexpr std::string_view kDateMarker = ".dd.";

std::optional<int> digits(std::string_view text, std::size_t at, std::size_t count) {
    if (at + count > text.size())
        return std::nullopt;
    int value = 0;
    for (std::size_t i = at; i < at + count; ++i) {
        if (!std::isdigit(static_cast<unsigned char>(text[i])))
            return std::nullopt;
        value = value * 10 + (text[i] - '0');
    }
    return value;
}

std::size_t findIgnoringCase(std::string_view text, std::string_view what) {
    const auto found =
        std::search(text.begin(), text.end(), what.begin(), what.end(), [](char a, char b) {
            return std::tolower(static_cast<unsigned char>(a)) ==
                   std::tolower(static_cast<unsigned char>(b));
        });
    return found == text.end() ? std::string_view::npos : std::size_t(found - text.begin());
}

} // namespace

std::optional<ListForm> listFormFromName(std::string_view name) {
    if (name == "relative")
        return ListForm::Relative;
    if (name == "rooted")
        return ListForm::Rooted;
    if (name == "absolute")
        return ListForm::Absolute;
    return std::nullopt;
}

std::string_view listFormName(ListForm form) {
    switch (form) {
    case ListForm::Relative:
        return "relative";
    case ListForm::Rooted:
        return "rooted";
    case ListForm::Absolute:
        return "absolute";
    }
    return "relative";
}

bool isProduct(std::string_view product) {
    return std::find(kProducts.begin(), kProducts.end(), product) != kProducts.end();
}

std::vector<SysSeconds> frameTimes(SysSeconds now, int count) {
    constexpr minutes step{kFrameStepMinutes};
    const auto minute = floor<minutes>(now);
    const SysSeconds newest = minute - minute.time_since_epoch() % step;
    std::vector<SysSeconds> times;
    for (int i = std::clamp(count, 0, kMaxFrameCount) - 1; i >= 0; --i)
        times.push_back(newest - i * step);
    return times;
}

std::string frameName(std::string_view site, SysSeconds time) {
    const auto day = floor<days>(time);
    const year_month_day date{day};
    const hh_mm_ss clock{time - day};
    char stamp[32];
    std::snprintf(stamp, sizeof stamp, "%04d%02u%02u.%02d%02d", int(date.year()),
                  unsigned(date.month()), unsigned(date.day()), int(clock.hours().count()),
                  int(clock.minutes().count()));
    return "SI." + toUpper(site) + std::string(kDateMarker) + stamp;
}

std::optional<SysSeconds> frameTimeFromName(std::string_view name) {
    const auto marker = findIgnoringCase(name, kDateMarker);
    if (marker == std::string_view::npos)
        return std::nullopt;
    const std::string_view rest = name.substr(marker + kDateMarker.size());
    const auto y = digits(rest, 0, 4), mo = digits(rest, 4, 2), d = digits(rest, 6, 2);
    if (!y || !mo || !d || rest.size() < 9 || rest[8] != '.')
        return std::nullopt;
    const auto h = digits(rest, 9, 2), mi = digits(rest, 11, 2);
    if (!h || !mi || *h > 23 || *mi > 59)
        return std::nullopt;
    const year_month_day date{year{*y}, month{unsigned(*mo)}, day{unsigned(*d)}};
    if (!date.ok())
        return std::nullopt;
    return SysSeconds(sys_days(date)) + hours{*h} + minutes{*mi};
}

std::string framePath(std::string_view product, std::string_view site, SysSeconds time) {
    return "/radar/images/" + std::string(product) + "/SI." + toUpper(site) + "/" +
           frameName(site, time) + ".gif";
}

std::string frameListText(ListForm form, std::string_view baseUrl, std::string_view product,
                          std::string_view site, SysSeconds now, int count) {
    std::string text;
    for (const auto time : frameTimes(now, count)) {
        const std::string path = framePath(product, site, time);
        switch (form) {
        case ListForm::Relative:
            // The list lives in /radar/loopdata/<product>/, two levels below /radar/.
            text += "../.." + path.substr(std::string_view("/radar").size());
            break;
        case ListForm::Rooted:
            text += path;
            break;
        case ListForm::Absolute:
            text += std::string(baseUrl) + path.substr(1);
            break;
        }
        text += '\n';
    }
    return text;
}

} // namespace nimbuscope::noaasim
