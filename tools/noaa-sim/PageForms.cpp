#include "noaa-sim/PageForms.h"

#include <array>

namespace nimbuscope::noaasim {

namespace {

constexpr std::string_view kShortRange = "DS.p19r0";
// Room left between the padding and the temperature cell, so small changes in the text above
// cannot pull the cell back before the offset the readers start from.
constexpr std::size_t kTemperatureCellMargin = 200;

constexpr std::array<std::string_view, 14> kMenu = {
    "Local Forecast Office", "Current Conditions", "Radar Imagery",    "Satellite Images",
    "Climate Information",   "Hydrology",          "River Forecasts",  "Fire Weather",
    "Aviation Weather",      "Marine Forecasts",   "Tropical Weather", "Severe Weather",
    "Weather Safety",        "Contact Us"};

constexpr std::array<std::string_view, 6> kPeriods = {"Tonight", "Tomorrow",    "Tomorrow Night",
                                                      "Day 2",   "Day 2 Night", "Day 3"};

void appendHead(std::string& page, const SiteEntry& entry) {
    page += "<!DOCTYPE HTML PUBLIC \"-//W3C//DTD HTML 4.01 Transitional//EN\">\n"
            "<html>\n<head>\n<title>National Weather Service Forecast for: " +
            htmlEscape(entry.cityState()) +
            "</title>\n"
            "<meta http-equiv=\"Content-Type\" content=\"text/html; charset=iso-8859-1\">\n"
            "<meta name=\"DC.publisher\" content=\"NOAA National Weather Service\">\n"
            "<link rel=\"stylesheet\" type=\"text/css\" href=\"/main.css\">\n"
            "<script language=\"javascript\" type=\"text/javascript\" "
            "src=\"/master.js\"></script>\n</head>\n"
            "<body leftmargin=\"0\" topmargin=\"0\" marginwidth=\"0\" marginheight=\"0\">\n"
            "<table cellspacing=\"0\" cellpadding=\"0\" border=\"0\" width=\"100%\">\n";
    // The city and state stand right before the skip link: readers take the text between the
    // last ">" before `<a href="#contents">` and the link.
    page += "<tr><td class=\"location\" align=\"left\" height=\"19\">" +
            htmlEscape(entry.cityState()) +
            "<a href=\"#contents\"><img src=\"/images/skipgraphic.gif\" "
            "alt=\"Skip Navigation Links\" width=\"1\" height=\"1\" border=\"0\"></a></td></tr>\n"
            "</table>\n";
}

void appendMenu(std::string& page) {
    page += "<table cellspacing=\"0\" cellpadding=\"0\" border=\"0\" width=\"100%\"><tr>\n"
            "<td width=\"119\" valign=\"top\" class=\"nav\">\n";
    for (const auto item : kMenu) {
        std::string slug;
        for (const char c : item)
            slug += c == ' ' ? '_' : char(c | 0x20);
        page += "<a href=\"/" + slug + ".php\" class=\"nav\">" + std::string(item) + "</a><br>\n";
    }
    page += "</td>\n";
}

void appendLocationAndRadar(std::string& page, std::string_view baseUrl, const SiteEntry& entry) {
    // "For:" is followed by exactly 11 characters up to the span holding the city, so a
    // reader that skips 15 characters from "For:" and then to the next ">" lands on it.
    page += "<td valign=\"top\" width=\"100%\">\n<p class=\"forecastfor\"><span "
            "class=\"label\">Forecast For:</span> "
            "<span class=\"cityname\">" +
            htmlEscape(entry.cityState()) + "</span></p>\n";
    page += "<table align=\"right\" border=\"0\"><tr><td align=\"center\" class=\"radar\">"
            "<a href=\"" +
            radarPageUrl(baseUrl, entry.site) +
            "\"><img src=\"/images/radar_small.gif\" width=\"120\" height=\"110\" border=\"0\" "
            "alt=\"Local Radar\"></a><br>Local Radar</td></tr></table>\n";
}

void appendForecast(std::string& page, std::string_view baseUrl, const Conditions& now) {
    page += "<a name=\"contents\"></a>\n<table border=\"0\" cellpadding=\"2\"><tr>\n"
            "<td colspan=\"2\" align=\"left\"><img src=\"/images/7dayfcst.jpg\" width=\"196\" "
            "height=\"19\" alt=\"7-Day Forecast\"></td></tr>\n"
            "<tr><td align=\"center\" class=\"conditions\"><img src=\"" +
            conditionsImageUrl(baseUrl, now.imageCode) + "\" width=\"55\" height=\"58\" alt=\"" +
            htmlEscape(now.forecast) + "\"><br>" + htmlEscape(now.forecast) +
            "</td></tr></table>\n";
}

void appendDetails(std::string& page, const Conditions& now) {
    page += "<table border=\"0\" cellpadding=\"3\" width=\"100%\">\n";
    int temperature = now.temperatureF;
    for (std::size_t i = 0; i < kPeriods.size(); ++i) {
        const bool night = i % 2 == 0;
        temperature += night ? -9 : 12;
        page += "<tr><td class=\"period\" valign=\"top\"><b>" + std::string(kPeriods[i]) +
                ":</b></td><td class=\"text\">" + htmlEscape(now.forecast) + ", with a " +
                (night ? "low around " : "high near ") + std::to_string(temperature) +
                ". Winds light and variable, becoming south around 10 mph.</td></tr>\n";
    }
    page += "</table>\n";
}

void appendCurrent(std::string& page, const Conditions& now) {
    page += "<table class=\"current\" border=\"0\"><tr>\n"
            "<td class=\"big\" width=\"120\" align=\"center\">" +
            std::to_string(now.temperatureF) +
            "&deg;F</td>\n<td class=\"label\">Current Conditions</td></tr></table>\n";
}

} // namespace

std::string htmlEscape(std::string_view text) {
    std::string out;
    for (const char c : text) {
        switch (c) {
        case '&':
            out += "&amp;";
            break;
        case '<':
            out += "&lt;";
            break;
        case '>':
            out += "&gt;";
            break;
        case '"':
            out += "&quot;";
            break;
        case '\'':
            out += "&#39;";
            break;
        default:
            out += c;
        }
    }
    return out;
}

std::string radarPageUrl(std::string_view baseUrl, std::string_view site) {
    return std::string(baseUrl) + "radar/latest/" + std::string(kShortRange) + "/si." +
           toLower(site) + ".shtml";
}

std::string conditionsImageUrl(std::string_view baseUrl, std::string_view imageCode) {
    return std::string(baseUrl) + "images/wtf/" + std::string(imageCode) + ".jpg";
}

std::string locationPagePath(std::string_view zip) {
    return "/MapClick.php?zip=" + std::string(zip);
}

std::string locationPage(std::string_view baseUrl, const SiteEntry& entry,
                         const Conditions& conditions) {
    std::string page;
    appendHead(page, entry);
    appendMenu(page);
    appendLocationAndRadar(page, baseUrl, entry);
    appendForecast(page, baseUrl, conditions);
    appendDetails(page, conditions);
    // Hazards and links below the forecast, as long as the old pages had them, put the
    // current conditions box where its readers look for it.
    page += "<p class=\"hazards\">No hazards in effect.</p>\n<ul class=\"links\">\n";
    for (int line = 1; page.size() < kTemperatureCellMinOffset + kTemperatureCellMargin; ++line)
        page += "<li><a href=\"/product.php?issuedby=" + entry.site.substr(1) +
                "&amp;product=" + std::to_string(line) + "\">Area Forecast Discussion " +
                std::to_string(line) + "</a></li>\n";
    page += "</ul>\n";
    appendCurrent(page, conditions);
    page += "</td></tr></table>\n<p class=\"footer\">National Weather Service</p>\n"
            "</body>\n</html>\n";
    return page;
}

std::string noMatchPage(std::string_view query) {
    constexpr std::size_t kEchoLimit = 100;
    return "<html>\n<head>\n<title>National Weather Service - Location Search</title>\n"
           "</head>\n<body>\n<table border=\"0\"><tr>\n"
           "<td><img src=\"/images/error.jpg\" width=\"40\" height=\"40\" alt=\"\"></td>\n"
           "<td><b>An error has occurred in your search.</b> No location was found for \"" +
           htmlEscape(query.substr(0, kEchoLimit)) +
           "\". Please check the spelling or enter a five digit zip code.</td>\n"
           "</tr></table>\n</body>\n</html>\n";
}

std::string serverErrorPage() {
    return "<html>\n<head>\n<title>500 Server Error</title>\n</head>\n<body>\n"
           "<h1>Server Error</h1>\n<p>The server encountered an internal error and was unable "
           "to complete your request.</p>\n</body>\n</html>\n";
}

std::string contentErrorPage() {
    return "<html>\n<head>\n<title>National Weather Service</title>\n</head>\n<body>\n"
           "<h1>Service notice</h1>\n<p>This page is not available in your region at the "
           "moment. Please try again later.</p>\n</body>\n</html>\n";
}

std::string radarPage(std::string_view baseUrl, std::string_view product, std::string_view site,
                      std::string_view newestFramePath) {
    return "<html>\n<head>\n<title>Radar " + htmlEscape(toUpper(site)) + " " + htmlEscape(product) +
           "</title>\n</head>\n<body>\n<img src=\"" + std::string(baseUrl) +
           htmlEscape(newestFramePath.substr(1)) +
           "\" width=\"600\" height=\"550\" alt=\"Radar\">\n</body>\n</html>\n";
}

std::string loopPage(std::string_view baseUrl, std::string_view site,
                     const std::vector<std::string>& framePaths, int intervalMs) {
    std::string list;
    for (const std::string& path : framePaths) {
        // Site paths hold only letters, digits, '.', '-' and '/': safe inside a JS string.
        list += (list.empty() ? "\"" : ",\"") + std::string(baseUrl) + path.substr(1) + "\"";
    }
    return "<!DOCTYPE html>\n<html>\n<head>\n<title>Radar loop " + htmlEscape(toUpper(site)) +
           "</title>\n<style>html,body{margin:0;height:100%;background:#000}"
           "body{display:flex;align-items:center;justify-content:center}</style>\n</head>\n"
           "<body>\n<img id=\"frame\" width=\"600\" height=\"550\" alt=\"Radar\">\n<script>\n"
           "const frames = [" +
           list +
           "];\n"
           "const decoded = frames.map(src => { const i = new Image(); i.src = src; return i; });\n"
           "const shown = document.getElementById(\"frame\");\n"
           "let next = 0;\n"
           "function step() { shown.src = frames[next]; next = (next + 1) % frames.length; }\n"
           "step();\n"
           "setInterval(step, " +
           std::to_string(intervalMs) +
           ");\n"
           "</script>\n</body>\n</html>\n";
}

} // namespace nimbuscope::noaasim
