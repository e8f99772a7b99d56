#include "noaa-sim/FrameList.h"

#include "ManualUtcClock.h"

#include <gtest/gtest.h>

#include <sstream>

using namespace nimbuscope::noaasim;
using namespace nimbuscope::noaasim::test;

namespace {

constexpr std::string_view kBase = "http://127.0.0.1:50123/";

std::vector<std::string> lines(const std::string& text) {
    std::vector<std::string> out;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);)
        out.push_back(line);
    return out;
}

std::string replaceAll(std::string text, std::string_view from, std::string_view to) {
    for (auto at = text.find(from); at != std::string::npos; at = text.find(from, at + to.size()))
        text.replace(at, from.size(), to);
    return text;
}

} // namespace

TEST(FrameTimes, EndAtTheLastFiveMinuteMarkAndStepBackFiveMinutes) {
    const struct {
        SysSeconds now, newest, oldest;
    } rows[] = {
        {utc(2026, 12, 5, 21, 37, 59), utc(2026, 12, 5, 21, 35), utc(2026, 12, 5, 20, 10)},
        {utc(2026, 12, 5, 21, 35, 0), utc(2026, 12, 5, 21, 35), utc(2026, 12, 5, 20, 10)},
        {utc(2026, 12, 5, 21, 34, 59), utc(2026, 12, 5, 21, 30), utc(2026, 12, 5, 20, 5)},
        // Across midnight and the turn of the year.
        {utc(2027, 1, 1, 0, 2, 10), utc(2027, 1, 1, 0, 0), utc(2026, 12, 31, 22, 35)},
    };
    for (const auto& r : rows) {
        const auto times = frameTimes(r.now, 18);
        ASSERT_EQ(times.size(), 18u);
        EXPECT_EQ(times.back(), r.newest);
        EXPECT_EQ(times.front(), r.oldest);
        for (std::size_t i = 1; i < times.size(); ++i)
            EXPECT_EQ(times[i] - times[i - 1], minutes{5});
    }
    EXPECT_TRUE(frameTimes(utc(2026, 12, 5), 0).empty());
}

TEST(FrameNames, CarryTheDateAfterDotDdAndTheTimeAfterTheNextDotAndReadBackOnlyInThatForm) {
    const std::string name = frameName("keax", utc(2026, 12, 5, 21, 35));
    EXPECT_EQ(name, "SI.KEAX.dd.20261205.2135");
    // The saver's reading: eight digits after ".dd.", then HHMM after the first "." that follows.
    const std::string rest = name.substr(name.find(".dd.") + 4);
    EXPECT_EQ(rest.substr(0, 8), "20261205");
    EXPECT_EQ(rest.substr(rest.find('.') + 1, 4), "2135");
    EXPECT_EQ(frameName("KFTG", utc(2027, 1, 1, 0, 5)), "SI.KFTG.dd.20270101.0005");

    // Read back only when they follow the form.
    EXPECT_EQ(frameTimeFromName("SI.KEAX.dd.20261205.2135"), utc(2026, 12, 5, 21, 35));
    EXPECT_EQ(frameTimeFromName("x.DD.20240229.0000.gif"), utc(2024, 2, 29));
    for (const char* bad :
         {"EAX_20261205_2135", "SI.KEAX.dd.2026125.2135", "SI.KEAX.dd.20261305.2135",
          "SI.KEAX.dd.20260230.1200", "SI.KEAX.dd.20261205.2460", "SI.KEAX.dd.20261205-2135",
          "SI.KEAX.dd.20261205.21", ".dd.", ""})
        EXPECT_FALSE(frameTimeFromName(bad)) << bad;
}

TEST(FrameList, RelativeLinesResolveToTheFramesFromTheListsFolder) {
    const auto now = utc(2026, 12, 5, 21, 37);
    const std::string text = frameListText(ListForm::Relative, kBase, "DS.p19r0", "keax", now, 18);
    ASSERT_EQ(text.back(), '\n');
    const auto listed = lines(text);
    const auto times = frameTimes(now, 18);
    ASSERT_EQ(listed.size(), times.size());
    for (std::size_t i = 0; i < listed.size(); ++i) {
        EXPECT_EQ(listed[i],
                  "../../images/DS.p19r0/SI.KEAX/" + frameName("KEAX", times[i]) + ".gif");
        // The list sits in /radar/loopdata/DS.p19r0/, so "../../" is /radar/.
        EXPECT_EQ("/radar/" + listed[i].substr(6), framePath("DS.p19r0", "KEAX", times[i]));
    }
}

TEST(FrameList, EveryFormNormalisesToTheFrameAddressesTheSaverFetches) {
    // The saver's normaliser: "../../" becomes the template's base up to "/images" when the
    // text has it, else every "/radar/" does.
    const std::string templateBase = std::string(kBase) + "radar/";
    const auto now = utc(2026, 12, 5, 21, 37);
    const std::string expected =
        std::string(kBase) + framePath("DS.p20-r", "KEAX", frameTimes(now, 1).back()).substr(1);
    const std::string relative =
        frameListText(ListForm::Relative, kBase, "DS.p20-r", "KEAX", now, 3);
    EXPECT_EQ(lines(replaceAll(relative, "../../", templateBase)).back(), expected);
    const std::string rooted = frameListText(ListForm::Rooted, kBase, "DS.p20-r", "KEAX", now, 3);
    EXPECT_EQ(lines(replaceAll(rooted, "/radar/", templateBase)).back(), expected);
    const std::string absolute =
        frameListText(ListForm::Absolute, kBase, "DS.p20-r", "KEAX", now, 3);
    EXPECT_EQ(lines(absolute).back(), expected);
}

TEST(FrameList, MovesOnAsTheClockPassesAFiveMinuteMark) {
    ManualUtcClock clock(utc(2026, 12, 5, 21, 39, 30));
    const auto before =
        lines(frameListText(ListForm::Relative, kBase, "DS.p19r0", "KEAX", clock.now(), 18));
    clock.advance(seconds{29});
    EXPECT_EQ(lines(frameListText(ListForm::Relative, kBase, "DS.p19r0", "KEAX", clock.now(), 18)),
              before);
    clock.advance(seconds{1});
    const auto after =
        lines(frameListText(ListForm::Relative, kBase, "DS.p19r0", "KEAX", clock.now(), 18));
    ASSERT_EQ(after.size(), before.size());
    EXPECT_TRUE(std::equal(before.begin() + 1, before.end(), after.begin()));
    EXPECT_NE(after.back().find("SI.KEAX.dd.20261205.2140.gif"), std::string::npos);
}
