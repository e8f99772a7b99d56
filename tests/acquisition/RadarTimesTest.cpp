#include "acquisition/RadarTimes.h"

#include "support/Error.h"

#include "ParserTestSupport.h"

#include <QRegularExpression>

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

// "20:02x10 + 19:58x11": cycles given by their first frame's time and their frame count.
QList<CycleRecord> cycles(const QString& spec) {
    QList<CycleRecord> out;
    for (const QString& c : spec.split(u'+')) {
        const QStringList p = c.trimmed().split(QRegularExpression(QStringLiteral("[:x]")));
        out += cycle(p[0].toInt(), p[1].toInt(), p[2].toInt());
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

TEST_F(RadarTimesTest, SpanTakesTheEarliestStartAndLatestEndOfTheFirstTwoCycles) {
    for (const QStringList& row : goldenRows(QStringLiteral("radar_times.golden"))) {
        const RadarTimesUpdate u = compute(cycles(row[0]), row[1].toInt());
        EXPECT_TRUE(u.hasTimes);
        const auto& counts = u.cycles.cycleFrameCounts;
        EXPECT_EQ(
            goldenLine({row[0], row[1], u.caption,
                        QStringLiteral("%1 %2").arg(counts[0]).arg(counts[1]),
                        QString::number(u.cycles.secondCycleStart),
                        QString::number(u.progressMaximum), QString::number(u.displayProgressVal)}),
            goldenLine(row));
    }
}

TEST_F(RadarTimesTest, AnEmptyListClearsTheCaptionAndAnUnendedCycleLeavesIt) {
    EXPECT_TRUE(compute({}).clearCaption);
    QList<CycleRecord> unended = cycle(20, 2, 3);
    unended.last().cycleEnd = false;
    const RadarTimesUpdate u = compute(unended);
    EXPECT_FALSE(u.clearCaption || u.hasTimes);
    EXPECT_EQ(u.cycles.cycleFrameCounts[0], 3);
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

TEST_F(RadarTimesTest, AFourthCycleIsAnError) {
    EXPECT_EQ(raisedNumber([&] { compute(cycles("20:02x2 + 20:12x3 + 19:00x4 + 21:00x2")); }),
              err::SubscriptOutOfRange);
}
