#include "noaa-sim/PageForms.h"
#include "noaa-sim/Conditions.h"
#include "noaa-sim/ConditionsImage.h"

#include "ManualUtcClock.h"

#include <QImage>
#include <gtest/gtest.h>

#include <algorithm>

using namespace nimbuscope::noaasim;
using namespace nimbuscope::noaasim::test;

namespace {

constexpr std::string_view kBase = "http://127.0.0.1:50123/";
constexpr std::string_view kDomain = "127.0.0.1:50123";

std::string lower(std::string_view s) {
    std::string out(s);
    std::transform(out.begin(), out.end(), out.begin(),
                   [](unsigned char c) { return std::tolower(c); });
    return out;
}

std::size_t ifind(std::string_view page, std::string_view what, std::size_t from = 0) {
    return lower(page).find(lower(what), from);
}

std::string trim(std::string s) {
    s.erase(0, s.find_first_not_of(" \r\n"));
    s.erase(s.find_last_not_of(" \r\n") + 1);
    return s;
}

// The readers of the page, rule by rule, as the saver applies them.
std::string cityBeforeContentsLink(const std::string& page) {
    const auto a = ifind(page, "<a href=\"#contents\">");
    const std::string before = page.substr(0, a);
    return trim(before.substr(before.rfind('>') + 1));
}

std::string cityAfterFor(const std::string& page) {
    std::string rest = page.substr(page.find("For:") + 15);
    rest = rest.substr(rest.find('>') + 1);
    return trim(rest.substr(0, rest.find('<')));
}

std::string radarLinkAt(const std::string& page, std::size_t marker) {
    const auto s = lower(page).rfind("http://", marker);
    if (s == std::string::npos)
        return {};
    EXPECT_GE(s + 80, marker) << "an absolute link starts at most 80 characters before the marker";
    const std::string url = page.substr(s, 80);
    const auto html = url.find("html");
    return html == std::string::npos ? url.substr(0, url.find('"')) : url.substr(0, html + 4);
}

struct PageCase {
    SiteEntry entry;
    Conditions now;
};

const PageCase kPages[] = {
    {{"64106", "KEAX", "Kansas City", "MO"}, {"Partly Cloudy", "sct", 72}},
    {{"98101", "KATX", "Seattle", "WA"}, {"Light Rain", "ra", 41}},
    {{"55401", "KMPX", "Minneapolis", "MN"}, {"Light Snow", "sn", -12}},
    {{"84101", "KMTX", "Salt Lake City", "UT"}, {"Thunderstorms", "tsra", 104}},
};

} // namespace

TEST(LocationPage, NamesTheCityAndStateInBothFormsTheReadersUse) {
    for (const auto& c : kPages) {
        const std::string page = locationPage(kBase, c.entry, c.now);
        EXPECT_EQ(cityBeforeContentsLink(page), c.entry.city + ", " + c.entry.state);
        EXPECT_EQ(cityAfterFor(page), c.entry.city + ", " + c.entry.state);
        // The "For:" form is only read from pages of the "total_forecast" kind.
        EXPECT_EQ(ifind(page, "total_forecast"), std::string::npos);
    }
}

TEST(LocationPage, LinksTheRadarPageAbsolutelyUnderBothMarkers) {
    for (const auto& c : kPages) {
        const std::string page = locationPage(kBase, c.entry, c.now);
        const std::string expected =
            std::string(kBase) + "radar/latest/DS.p19r0/si." + lower(c.entry.site) + ".shtml";
        // Found through the service domain (the configured case) ...
        const auto withDomain = page.find(std::string(kDomain) + "/radar/latest");
        ASSERT_NE(withDomain, std::string::npos);
        EXPECT_EQ(radarLinkAt(page, withDomain), expected);
        // ... and through the bare path, when the saver still names NOAA's domain.
        const auto bare = page.find("/radar/latest");
        EXPECT_EQ(page.find("/radar/latest", bare + 1), std::string::npos) << "one radar link only";
        EXPECT_EQ(radarLinkAt(page, bare), expected);
    }
}

TEST(LocationPage, PutsTheConditionsPictureAfterTheForecastMarker) {
    for (const auto& c : kPages) {
        const std::string page = locationPage(kBase, c.entry, c.now);
        const auto f = ifind(page, "7-Day Forecast\"><", kForecastMarkerMinOffset);
        ASSERT_NE(f, std::string::npos);
        const auto i = ifind(page, "<img src=\"", f);
        ASSERT_NE(i, std::string::npos);
        std::string tag = page.substr(i + 10, 260);
        tag = tag.substr(0, tag.find('>') + 1);
        EXPECT_EQ(tag.substr(0, tag.find('"')),
                  std::string(kBase) + "images/wtf/" + c.now.imageCode + ".jpg");
        const auto alt = tag.find("alt=\"");
        ASSERT_NE(alt, std::string::npos);
        const std::string forecast = tag.substr(alt + 5, 150);
        EXPECT_EQ(forecast.substr(0, forecast.find('"')), c.now.forecast);
    }
}

TEST(LocationPage, PutsTheOnlyTemperatureCellBeyondCharacter4000) {
    for (const auto& c : kPages) {
        const std::string page = locationPage(kBase, c.entry, c.now);
        const auto k = ifind(page, "<td class=\"big\"", kTemperatureCellMinOffset);
        ASSERT_NE(k, std::string::npos);
        EXPECT_EQ(ifind(page, "<td class=\"big\""), k);
        std::string cell = page.substr(k, 200);
        cell = cell.substr(0, cell.find("&deg;"));
        EXPECT_EQ(trim(cell.substr(cell.rfind('>') + 1)), std::to_string(c.now.temperatureF));
    }
}

TEST(LocationPage, HoldsNoTextThatReadsAsAnErrorPage) {
    for (const auto& c : kPages) {
        const std::string page = locationPage(kBase, c.entry, c.now);
        for (const char* word : {"error.jpg", "error has occurred", "server error"})
            EXPECT_EQ(ifind(page, word), std::string::npos) << word;
        // The saver turns every "'" into a double quote before reading the page.
        EXPECT_EQ(page.find('\''), std::string::npos);
    }
}

TEST(LocationPage, EscapesCityNamesThatLookLikeMarkup) {
    const SiteEntry odd{"00001", "KXXX", "A<b>\"C'", "ZZ"};
    const std::string page = locationPage(kBase, odd, {"Fog", "fg", 50});
    EXPECT_EQ(page.find("A<b>"), std::string::npos);
    EXPECT_NE(page.find("A&lt;b&gt;&quot;C&#39;, ZZ"), std::string::npos);
}

TEST(NoMatchPage, CarriesTheSearchErrorAndEscapesTheQuery) {
    const std::string page = noMatchPage("<script>" + std::string(300, 'x'));
    EXPECT_NE(page.find("An error has occurred in your search"), std::string::npos);
    EXPECT_EQ(page.find("<script>"), std::string::npos);
    EXPECT_NE(page.find("&lt;script&gt;"), std::string::npos);
    EXPECT_EQ(page.find(std::string(100, 'x')), std::string::npos) << "the echo is cut short";
    EXPECT_NE(serverErrorPage().find("Server Error"), std::string::npos);
}

TEST(ConditionsImage, IsASmallCompleteJpegForEveryKnownCode) {
    for (const char* code : {"skc", "few", "sct", "bkn", "ovc", "ra", "sn", "tsra", "fg"}) {
        const auto jpeg = conditionsJpeg(code);
        ASSERT_TRUE(jpeg) << code;
        ASSERT_GT(jpeg->size(), 3u);
        EXPECT_EQ(uint8_t((*jpeg)[jpeg->size() - 2]), 0xFF);
        EXPECT_EQ(uint8_t((*jpeg)[jpeg->size() - 1]), 0xD9);
        const QImage image =
            QImage::fromData(QByteArray(jpeg->data(), qsizetype(jpeg->size())), "JPG");
        EXPECT_EQ(image.size(), QSize(kConditionsWidth, kConditionsHeight)) << code;
    }
    EXPECT_FALSE(conditionsJpeg("../etc/passwd"));
    EXPECT_FALSE(conditionsJpeg(""));
}

TEST(LoopPage, AnimatesEveryFrameInOrderAtTheGivenInterval) {
    const std::vector<std::string> paths = {
        "/radar/images/DS.p19r0/SI.KEAX/SI.KEAX.dd.20261205.2130.gif",
        "/radar/images/DS.p19r0/SI.KEAX/SI.KEAX.dd.20261205.2135.gif",
        "/radar/images/DS.p20-r/SI.KEAX/SI.KEAX.dd.20261205.2135.gif"};
    const std::string page = loopPage(kBase, "keax", paths, 250);
    std::size_t at = 0;
    for (const std::string& path : paths) {
        const std::string url = "\"" + std::string(kBase) + path.substr(1) + "\"";
        const std::size_t found = page.find(url);
        ASSERT_NE(found, std::string::npos) << url;
        EXPECT_GT(found, at) << "frames keep their order";
        EXPECT_EQ(page.find(url, found + 1), std::string::npos) << "each frame once";
        at = found;
    }
    EXPECT_NE(page.find("setInterval(step, 250)"), std::string::npos);
    EXPECT_NE(page.find("<title>Radar loop KEAX</title>"), std::string::npos);
}
