#include "acquisition/RadarTimes.h"

#include "support/Error.h"

#include "ParserTestSupport.h"

using namespace nimbuscope;
using namespace nimbuscope::test;

namespace {

// Central standard time: UTC is local time + 360 minutes.
constexpr double kBias = 360;

QString cachedFrame(int hour, int minute) {
    return QStringLiteral("/cache/data/66604.DS.p19r0.ktwx.dd.20260105.%1%2.noaa")
        .arg(hour, 2, 10, QLatin1Char('0'))
        .arg(minute, 2, 10, QLatin1Char('0'));
}

// `count` active frames five minutes apart from the server time h:m, flagged as the cycle
// marking of the display list flags them.
QList<CycleRecord> cycle(int hour, int minute, int count) {
    QList<CycleRecord> out;
    for (int i = 0; i < count; ++i) {
        const int total = hour * 60 + minute + 5 * i;
        out.append({true, i == 0, i == count - 1, cachedFrame(total / 60, total % 60)});
    }
    return out;
}

class RadarTimesTest : public ParserTest {
protected:
    RadarTimesUpdate compute(const QList<CycleRecord>& items, qint32 playIndex = 0,
                             qint32 displayProgressVal = 0) {
        return computeRadarTimes(items, playIndex, displayProgressVal, kBias, clock, log);
    }
};

} // namespace

TEST(RadarTimeText, DateDroppedAndZeroSecondsShortened) {
    const struct {
        DateTime time;
        const char* text;
    } rows[] = {
        {DateTime::fromParts(2026, 1, 5, 14, 34), "2:34pm"},
        {DateTime::fromParts(2026, 1, 5, 0, 5), "12:05am"},
        {DateTime::fromParts(2026, 1, 5, 12, 0), "12:00pm"},
        {DateTime::fromParts(2026, 11, 25, 9, 7), "9:07am"},
        {DateTime::fromParts(2026, 1, 5, 14, 34, 17), "2:34:17 PM"},
    };
    for (const auto& row : rows) {
        EXPECT_EQ(radarTimeText(row.time), QString(row.text));
    }
}

TEST_F(RadarTimesTest, SpanTakesTheEarliestStartAndLatestEndOfTheFirstTwoCycles) {
    const struct {
        const char* name;
        qint32 playIndex;
        const char* caption;
        qint16 firstCount, secondCount;
        qint32 secondCycleStart, progressMaximum, progress;
        QList<CycleRecord> items;
    } rows[] = {
        // Short range 14:02-14:47 and long range 13:58-14:48, local time; index 12 is the
        // third frame of the second cycle.
        {"both products", 12, "1:58pm - 2:48pm", 10, 11, 10, 11, 2,
         cycle(20, 2, 10) + cycle(19, 58, 11)},
        {"one product", 0, "2:02pm - 2:47pm", 10, 0, 0, 10, 0, cycle(20, 2, 10)},
        {"single-frame cycle ends itself", 0, "1:58pm - 2:40pm", 1, 3, 1, 3, 0,
         cycle(20, 40, 1) + cycle(19, 58, 3)},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        const RadarTimesUpdate u = compute(row.items, row.playIndex);
        ASSERT_TRUE(u.hasTimes);
        EXPECT_EQ(u.caption, row.caption);
        EXPECT_EQ(u.cycles.cycleFrameCounts,
                  (std::array<qint16, 2>{row.firstCount, row.secondCount}));
        EXPECT_EQ(u.cycles.secondCycleStart, row.secondCycleStart);
        EXPECT_EQ(u.progressMaximum, row.progressMaximum);
        EXPECT_EQ(u.displayProgressVal, row.progress);
    }
}

TEST_F(RadarTimesTest, EmptyOrFullListClearsTheCaption) {
    EXPECT_TRUE(compute({}).clearCaption);
    QList<CycleRecord> full = cycle(20, 2, 10);
    while (full.size() < 300) {
        full.append({false, false, false, QString()});
    }
    const RadarTimesUpdate u = compute(full);
    EXPECT_TRUE(u.clearCaption);
    EXPECT_FALSE(u.hasTimes);
    full.removeLast();
    EXPECT_FALSE(compute(full).clearCaption) << "299 items are a list";
}

TEST_F(RadarTimesTest, InactiveFramesAreNeitherCountedNorShownInTheBar) {
    QList<CycleRecord> items = cycle(20, 2, 4);
    items.insert(1, {false, false, false, cachedFrame(20, 4)});
    const RadarTimesUpdate u = compute(items, 3);
    EXPECT_EQ(u.cycles.cycleFrameCounts[0], 4);
    EXPECT_EQ(u.displayProgressVal, 2) << "index 3 is the third active frame";

    // Played on an inactive frame, the bar steps its old value back.
    QList<CycleRecord> played = cycle(20, 2, 4);
    played.append({false, false, false, cachedFrame(20, 30)});
    EXPECT_EQ(compute(played, 4, 5).displayProgressVal, 4);
    EXPECT_EQ(compute(played, 4, 0).displayProgressVal, 0);
}

TEST_F(RadarTimesTest, MissingEndLeavesCaptionAlone) {
    QList<CycleRecord> items = cycle(20, 2, 3);
    items.last().cycleEnd = false;
    const RadarTimesUpdate u = compute(items);
    EXPECT_FALSE(u.clearCaption);
    EXPECT_FALSE(u.hasTimes);
    EXPECT_TRUE(u.caption.isEmpty());
    EXPECT_EQ(u.cycles.cycleFrameCounts[0], 3);
}

TEST_F(RadarTimesTest, ThirdCycleIsNotCountedAndAFourthIsAnError) {
    const QList<CycleRecord> three = cycle(20, 2, 2) + cycle(20, 12, 3) + cycle(19, 0, 4);
    const RadarTimesUpdate u = compute(three);
    EXPECT_EQ(u.cycles.cycleFrameCounts, (std::array<qint16, 2>{2, 3}));
    EXPECT_EQ(u.caption, "2:02pm - 2:22pm") << "only the first two cycles give the span";

    EXPECT_EQ(raisedNumber([&] { compute(three + cycle(21, 0, 2)); }), err::SubscriptOutOfRange)
        << "four cycles";
}
