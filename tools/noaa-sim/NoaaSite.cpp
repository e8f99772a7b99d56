#include "noaa-sim/NoaaSite.h"

#include "noaa-sim/Conditions.h"
#include "noaa-sim/ConditionsImage.h"
#include "noaa-sim/PageForms.h"
#include "noaa-sim/RadarGif.h"

#include <algorithm>
#include <cstdlib>
#include <vector>

namespace nimbuscope::noaasim {

namespace {

constexpr std::string_view kHtml = "text/html; charset=iso-8859-1";

std::string param(const QueryParams& query, const std::string& key) {
    const auto found = query.find(key);
    if (found == query.end())
        return {};
    std::string_view value = found->second;
    while (!value.empty() && value.front() == ' ')
        value.remove_prefix(1);
    while (!value.empty() && value.back() == ' ')
        value.remove_suffix(1);
    return std::string(value);
}

// "keax.txt" -> "keax" when the name ends in `suffix` and starts with `prefix` (both
// compared without regard to case), else empty.
std::string_view between(std::string_view name, std::string_view prefix, std::string_view suffix) {
    if (name.size() <= prefix.size() + suffix.size() ||
        toLower(name.substr(0, prefix.size())) != toLower(prefix) ||
        toLower(name.substr(name.size() - suffix.size())) != toLower(suffix))
        return {};
    return name.substr(prefix.size(), name.size() - prefix.size() - suffix.size());
}

Reply notFound() {
    return {404, std::string(kHtml), "<html><body><h1>Not Found</h1></body></html>\n", {}, {}};
}

std::size_t productIndex(std::string_view product) {
    return std::size_t(std::find(kProducts.begin(), kProducts.end(), product) - kProducts.begin());
}

} // namespace

std::vector<std::string_view> pathParts(std::string_view path) {
    std::vector<std::string_view> parts;
    while (!path.empty()) {
        if (path.front() == '/') {
            path.remove_prefix(1);
            continue;
        }
        const auto slash = path.find('/');
        parts.push_back(path.substr(0, slash));
        path = slash == std::string_view::npos ? std::string_view() : path.substr(slash);
    }
    return parts;
}

NoaaSite::NoaaSite(SiteTable sites, const UtcClock& clock, std::string baseUrl, int frameCount,
                   ListForm form)
    : sites_(std::move(sites)), clock_(clock), baseUrl_(std::move(baseUrl)), form_(form) {
    frameCounts_.fill(std::clamp(frameCount, 0, kMaxFrameCount));
}

Reply NoaaSite::get(std::string_view path, const QueryParams& query) {
    const auto parts = pathParts(path);
    if (parts.size() == 1 && parts[0] == "zipcity.php")
        return locationSearch(query);
    if (parts.size() == 1 && parts[0] == "MapClick.php")
        return locationPageReply(query);
    if (parts.size() == 4 && parts[0] == "radar" && parts[1] == "loopdata")
        return loopList(parts[2], parts[3]);
    if (parts.size() == 5 && parts[0] == "radar" && parts[1] == "images")
        return frame(parts[2], parts[3], parts[4]);
    if (parts.size() == 4 && parts[0] == "radar" && parts[1] == "latest")
        return radarPageReply(parts[2], parts[3]);
    if (parts.size() == 3 && parts[0] == "radar" && parts[1] == "loop")
        return loopPageReply(parts[2], query);
    if (parts.size() == 3 && parts[0] == "images" && parts[1] == "wtf")
        return conditionsPicture(parts[2]);
    if (parts.empty())
        return {200,
                std::string(kHtml),
                "<html><body><h1>noaa-sim</h1><p>Location search: /zipcity.php?inputstring="
                "&lt;zip&gt;</p></body></html>\n",
                {},
                {}};
    return notFound();
}

Reply NoaaSite::locationSearch(const QueryParams& query) const {
    const std::string text = param(query, "inputstring");
    const SiteEntry* entry = sites_.byZip(text);
    if (!entry)
        entry = sites_.byCity(text);
    if (!entry)
        return {200, std::string(kHtml), noMatchPage(text), {}, {}};
    const std::string target = baseUrl_ + locationPagePath(entry->zip).substr(1);
    return {302,
            std::string(kHtml),
            "<html><body>Moved to <a href=\"" + target + "\">" + target + "</a></body></html>\n",
            target,
            {}};
}

Reply NoaaSite::locationPageReply(const QueryParams& query) const {
    const std::string zip = param(query, "zip");
    const SiteEntry* entry = sites_.byZip(zip);
    if (!entry)
        return {200, std::string(kHtml), noMatchPage(zip), {}, {}};
    return {200,
            std::string(kHtml),
            locationPage(baseUrl_, *entry, conditionsFor(*entry, clock_.now())),
            {},
            {}};
}

Reply NoaaSite::loopList(std::string_view product, std::string_view file) const {
    const std::string_view site = between(file, "", ".txt");
    if (!isProduct(product) || !isSiteId(site))
        return notFound();
    std::lock_guard lock(mutex_);
    return {200,
            "text/plain",
            frameListText(form_, baseUrl_, product, site, clock_.now(),
                          frameCounts_[productIndex(product)]),
            {},
            {}};
}

Reply NoaaSite::frame(std::string_view product, std::string_view folder, std::string_view file) {
    const std::string site = toUpper(between(folder, "SI.", ""));
    const std::string_view name = between(file, "", ".gif");
    const auto time = frameTimeFromName(name);
    if (!isProduct(product) || !isSiteId(site) || !time)
        return notFound();
    const std::string key =
        std::string(product) + "/" + site + "/" + std::to_string(time->time_since_epoch().count());
    const auto bytes = frames_.get(key, [&] { return radarFrameGif(site, product, *time); });
    return {200, "image/gif", *bytes, {}, {}};
}

Reply NoaaSite::radarPageReply(std::string_view product, std::string_view file) const {
    const std::string_view site = between(file, "si.", ".shtml");
    if (!isProduct(product) || !isSiteId(site))
        return notFound();
    const auto newest = frameTimes(clock_.now(), 1).front();
    return {200,
            std::string(kHtml),
            radarPage(baseUrl_, product, site, framePath(product, site, newest)),
            {},
            {}};
}

Reply NoaaSite::loopPageReply(std::string_view file, const QueryParams& query) const {
    const std::string_view site = between(file, "si.", ".html");
    if (!isSiteId(site))
        return notFound();
    int interval = kLoopPageDefaultMs;
    if (const std::string rate = param(query, "rate"); !rate.empty()) {
        interval = std::clamp(std::atoi(rate.c_str()), kLoopPageMinMs, kLoopPageMaxMs);
    }
    // Both products' listed frames in the order the saver shows them.
    const std::string upperSite = toUpper(site);
    std::vector<std::string> paths;
    std::lock_guard lock(mutex_);
    for (std::size_t i = 0; i < kProducts.size(); ++i) {
        for (const auto time : frameTimes(clock_.now(), frameCounts_[i]))
            paths.push_back(framePath(kProducts[i], upperSite, time));
    }
    return {200, std::string(kHtml), loopPage(baseUrl_, site, paths, interval), {}, {}};
}

Reply NoaaSite::conditionsPicture(std::string_view file) const {
    const auto jpeg = conditionsJpeg(between(file, "", ".jpg"));
    if (!jpeg)
        return notFound();
    return {200, "image/jpeg", *jpeg, {}, {}};
}

bool NoaaSite::setFrameCount(std::string_view product, int count) {
    if (count < 0 || count > kMaxFrameCount || (!product.empty() && !isProduct(product)))
        return false;
    std::lock_guard lock(mutex_);
    if (product.empty())
        frameCounts_.fill(count);
    else
        frameCounts_[productIndex(product)] = count;
    return true;
}

int NoaaSite::frameCount(std::string_view product) const {
    std::lock_guard lock(mutex_);
    return isProduct(product) ? frameCounts_[productIndex(product)] : 0;
}

void NoaaSite::setListForm(ListForm form) {
    std::lock_guard lock(mutex_);
    form_ = form;
}

ListForm NoaaSite::listForm() const {
    std::lock_guard lock(mutex_);
    return form_;
}

} // namespace nimbuscope::noaasim
