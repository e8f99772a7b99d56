#include "noaa-sim/WmsForms.h"
#include "noaa-sim/TodayForms.h"

#include "ManualUtcClock.h"

#include <gtest/gtest.h>

using namespace nimbuscope::noaasim;
using namespace nimbuscope::noaasim::test;

namespace {

const SysSeconds kNow = utc(2026, 12, 5, 21, 37, 10);

// The instants a time dimension's text stands for, read as a client must: trimmed,
// comma-separated, each an instant or a start/end/PT<n>M interval.
std::vector<SysSeconds> expand(std::string text) {
    std::vector<SysSeconds> times;
    while (!text.empty()) {
        const auto comma = text.find(',');
        std::string item = text.substr(0, comma);
        text = comma == std::string::npos ? "" : text.substr(comma + 1);
        item.erase(0, item.find_first_not_of(" \n"));
        item.erase(item.find_last_not_of(" \n") + 1);
        const auto slash = item.find('/');
        if (slash == std::string::npos) {
            times.push_back(parseIsoTime(item).value());
            continue;
        }
        const auto second = item.find('/', slash + 1);
        const auto start = parseIsoTime(item.substr(0, slash)).value();
        const auto end = parseIsoTime(item.substr(slash + 1, second - slash - 1)).value();
        const int step = std::stoi(item.substr(second + 3));
        for (auto t = start; t <= end; t += minutes{step})
            times.push_back(t);
    }
    return times;
}

WmsParams getMap(std::initializer_list<std::pair<const std::string, std::string>> changes) {
    WmsParams p = {
        {"service", "WMS"},   {"request", "GetMap"},   {"layers", "keax:keax_sr_bref"},
        {"crs", "EPSG:3857"}, {"bbox", "-1,-2,3,4"},   {"width", "600"},
        {"height", "550"},    {"format", "image/gif"}, {"time", "2026-12-05T21:35:22.000Z"}};
    for (const auto& [name, value] : changes)
        p[name] = value;
    return p;
}

} // namespace

TEST(LayerTimes, EveryFormStandsForTheNewestScansUpToNow) {
    for (const auto form : {TimeForm::List, TimeForm::Interval, TimeForm::Mixed}) {
        SCOPED_TRACE(std::string(timeFormName(form)));
        const auto t = layerTimes("keax_sr_bref", kNow, 12, form);
        EXPECT_EQ(expand(t.text), t.times);
        ASSERT_EQ(t.times.size(), 12u);
        EXPECT_TRUE(std::is_sorted(t.times.begin(), t.times.end()));
        EXPECT_LE(t.times.back(), kNow);
        EXPECT_GT(t.times.back(), kNow - minutes{10});
        for (std::size_t i = 1; i < t.times.size(); ++i)
            EXPECT_NE(floor<minutes>(t.times[i]), floor<minutes>(t.times[i - 1]))
                << "a frame name keeps only the minute";
        for (const auto time : t.times)
            EXPECT_TRUE(layerHasTime("keax_sr_bref", kNow, time));
    }
    // Instants carry the seconds of the scan; the mosaic is always a whole-minute interval.
    const auto list = layerTimes("keax_sr_bref", kNow, 3, TimeForm::List);
    EXPECT_NE(list.times.back().time_since_epoch().count() % 60, 0);
    EXPECT_NE(list.text.find(".000Z,"), std::string::npos);
    EXPECT_NE(layerTimes(kMosaicLayer, kNow, 3, TimeForm::List).text.find("/PT5M"),
              std::string::npos);
}

TEST(LayerTimes, ScansFollowTheClockAndOldOrOddTimesHoldNoData) {
    const auto before = layerTimes("keax_sr_bref", kNow, 5, TimeForm::List).times;
    const auto after = layerTimes("keax_sr_bref", kNow + minutes{15}, 5, TimeForm::List).times;
    EXPECT_NE(std::find(after.begin(), after.end(), before.back()), after.end());
    EXPECT_GE(after.back() - before.back(), minutes{10});
    EXPECT_FALSE(layerHasTime("keax_sr_bref", kNow, before.back() + seconds{1}));
    EXPECT_FALSE(layerHasTime("keax_sr_bref", kNow, kNow + minutes{10}));
    EXPECT_FALSE(layerHasTime("keax_sr_bref", kNow, kNow - days{2}));
    EXPECT_NE(before, layerTimes("katx_sr_bref", kNow, 5, TimeForm::List).times)
        << "sites scan at their own times";
}

TEST(GetMap, AcceptsAWellFormedRequestAndNamesTheFaultOfOthers) {
    const auto ok = checkGetMap(getMap({}), "");
    ASSERT_TRUE(ok.request) << ok.message;
    EXPECT_EQ(ok.request->workspace, "keax");
    EXPECT_EQ(ok.request->layer, "keax_sr_bref");
    EXPECT_EQ(*ok.request->time, utc(2026, 12, 5, 21, 35, 22));
    EXPECT_TRUE(checkGetMap(getMap({{"layers", "keax_sr_bref"}}), "keax").request);

    const struct {
        std::pair<const std::string, std::string> change;
        const char* code;
    } rows[] = {
        {{"layers", "keax_sr_bref"}, "LayerNotDefined"},
        {{"layers", "keax:katx_sr_bref"}, "LayerNotDefined"},
        {{"crs", "EPSG:4326"}, "InvalidCRS"},
        {{"bbox", "3,-2,-1,4"}, "InvalidParameterValue"},
        {{"bbox", "1,2,3"}, "InvalidParameterValue"},
        {{"bbox", "1,2,3,4,5"}, "InvalidParameterValue"},
        {{"bbox", "-1,-2,3,4km"}, "InvalidParameterValue"},
        {{"width", "0"}, "MissingOrInvalidParameter"},
        {{"height", "5000"}, "MissingOrInvalidParameter"},
        {{"format", "image/png"}, "InvalidFormat"},
        {{"time", "yesterday"}, "InvalidDimensionValue"},
        {{"time", "2026-12-05T21:35:22"}, "InvalidDimensionValue"},
    };
    for (const auto& r : rows) {
        const auto refused = checkGetMap(getMap({r.change}), "");
        EXPECT_FALSE(refused.request) << r.change.first << "=" << r.change.second;
        EXPECT_EQ(refused.code, r.code) << r.change.first << "=" << r.change.second;
    }
}

TEST(IsoTimes, ReadTheFormsTheServicesWrite) {
    bool whole = false;
    EXPECT_EQ(parseIsoTime("2026-12-05T21:35:22.000Z", &whole), utc(2026, 12, 5, 21, 35, 22));
    EXPECT_TRUE(whole);
    EXPECT_EQ(parseIsoTime("2026-12-05T21:35:22.250Z", &whole), utc(2026, 12, 5, 21, 35, 22));
    EXPECT_FALSE(whole);
    EXPECT_EQ(parseIsoTime("2026-12-05T21:35:22+00:00"), utc(2026, 12, 5, 21, 35, 22));
    for (const char* bad : {"2026-02-30T00:00:00Z", "2026-12-05T24:00:00Z", "2026-12-05 21:35:22Z",
                            "2026-12-05T21:35:22.Z", "2026-12-05T21:35:22-05:00"})
        EXPECT_FALSE(parseIsoTime(bad)) << bad;
    EXPECT_EQ(isoTime(utc(2026, 12, 5, 21, 35, 22), true), "2026-12-05T21:35:22.000Z");
    EXPECT_EQ(httpDate(utc(2026, 12, 5, 21, 35, 22)), "Sat, 05 Dec 2026 21:35:22 GMT");
    EXPECT_EQ(parseHttpDate("Sat, 05 Dec 2026 21:35:22 GMT"), utc(2026, 12, 5, 21, 35, 22));
    EXPECT_FALSE(parseHttpDate("Sat, 31 Feb 2026 21:35:22 GMT"));
}
