#include "acquisition/FrameList.h"

#include "ParserTestSupport.h"

#include <QRegularExpression>

using namespace nimbuscope;
using namespace nimbuscope::test;

namespace {

const QString kTemplate =
    QStringLiteral("http://radar.weather.gov/radar/images/@@@@@/SI.ktwx/#####.noaa");
const QString kRadarServer = QStringLiteral("http://radar.weather.gov/");
const QString kFrameBase =
    QStringLiteral("http://radar.weather.gov/radar/images/DS.p19r0/SI.ktwx/");
const QString kProduct = QStringLiteral("DS.p19r0");

QString frame(const char* hhmm) {
    return QStringLiteral("ktwx.dd.20260105.") + QLatin1String(hhmm) + QStringLiteral(".noaa");
}

class FrameListTest : public ParserTest {
protected:
    FrameListTest() {
        input.listText = normaliseRadarList(fixtureText(QStringLiteral("loop_absolute.txt")),
                                            kTemplate, kRadarServer);
        input.product = kProduct;
        input.caption = QStringLiteral("Short Range Radar");
        input.zipcode = QStringLiteral("66604");
        input.dataDirectory = QStringLiteral("/cache/data/");
        input.templateURL = kTemplate;
        input.gmtNow = DateTime::fromParts(2026, 1, 5, 20, 50);
        input.discardAfterMinutes = 60;
        input.ownServers = {QStringLiteral("radar.weather.gov")};
    }
    RadarListParse parse(std::function<bool()> unchanged = [] { return true; }) {
        return parseRadarList(input, unchanged, clock, log);
    }
    static QStringList sources(const RadarListParse& r) {
        QStringList out;
        for (const FramePlanItem& item : r.items) {
            out << item.sourceName.mid(kFrameBase.size());
        }
        return out;
    }

    RadarListInput input;
};

} // namespace

TEST_F(FrameListTest, AllThreeLineFormsBecomeTheSameAbsoluteFramesFromTemplateOrServer) {
    const QString expected = fixtureText(QStringLiteral("loop_normalised.txt"));
    // A template built from a relative radar link has ".gov//radar/"; frame addresses do not.
    const QString doubled =
        QStringLiteral("http://radar.weather.gov//radar/images/@@@@@/SI.ktwx/#####.noaa");
    for (const char* fixture :
         {"loop_dotdot_relative.txt", "loop_radar_rooted.txt", "loop_absolute.txt"}) {
        const QString text = fixtureText(QString::fromLatin1(fixture));
        EXPECT_EQ(normaliseRadarList(text, kTemplate, kRadarServer).trimmed(), expected.trimmed())
            << fixture;
        EXPECT_EQ(normaliseRadarList(text, doubled, kRadarServer).trimmed(), expected.trimmed());
    }
    // Without a template the national server stands in.
    EXPECT_TRUE(
        normaliseRadarList(fixtureText("loop_radar_rooted.txt"), "", "http://127.0.0.1:8080")
            .startsWith("http://127.0.0.1:8080/radar/images/DS.p19r0/SI.ktwx/"));
}

TEST_F(FrameListTest, FilenameToDate) {
    const QRegularExpression number(QStringLiteral(R"(ERROR :: filenameToDate :: \((\d+)\) - )"));
    for (const QStringList& row : goldenRows(QStringLiteral("frame_names.golden"))) {
        const qsizetype before = errorLog().size();
        const DateTime t = filenameToDate(row[0], clock, log);
        const QRegularExpressionMatch logged = number.match(errorLog().mid(before));
        EXPECT_EQ(goldenLine({row[0],
                              t == clock.now() ? QStringLiteral("clock")
                                               : t.toQDateTime().toString("yyyy-MM-dd HH:mm"),
                              logged.hasMatch() ? logged.captured(1) : QStringLiteral("0")}),
                  goldenLine(row));
    }
}

TEST_F(FrameListTest, CachedFramesWithinTheWindowOfTheNewestListedOneComeFirstInTimeOrder) {
    input.cacheFileNames = {
        "66604.DS.p19r0." + frame("1952"),
        "66604.DS.p19r0." + frame("1940"), // 67 minutes before the newest frame
        "66604.DS.p19r0." + frame("1947"), // exactly the 60-minute window
        "66604.DS.p19r0." + frame("2002"), // still listed
        "66604.DS.p19r0." + frame("2155"), // 68 minutes after the newest frame
        "66604.ds.P19R0." + frame("2047"), // still listed, other letter case
        "66604.DS.p19r0.loop.txt",         "66604.DS.p20-r." + frame("1957"),
        "66604.currentConditions.jpg",     "90210.DS.p19r0." + frame("1957"),
    };
    const RadarListParse r = parse();
    ASSERT_TRUE(r.ok);
    EXPECT_EQ(r.listedCachedCount, 2);
    EXPECT_EQ(r.displayProgressMaxAtLeast, 12);
    EXPECT_EQ(sources(r),
              QStringList({frame("1947"), frame("1952"), frame("2002"), frame("2007"),
                           frame("2012"), frame("2017"), frame("2022"), frame("2027"),
                           frame("2032"), frame("2037"), frame("2042"), frame("2047")}));
    EXPECT_EQ(r.items.first().fileName, "/cache/data/66604.DS.p19r0." + frame("1947"));
    for (qsizetype i = 0; i < r.items.size(); ++i) {
        EXPECT_EQ(r.items[i].cycleFlag, i == r.items.size() - 1) << i;
    }

    // Without a template no cached frame is taken, and the frames are judged against GMT.
    input.templateURL.clear();
    input.gmtNow = DateTime::fromParts(2026, 1, 5, 21, 40);
    EXPECT_EQ(sources(parse()), QStringList({frame("2042"), frame("2047")}));
    // A list ending in an error page's "</html>" is judged against GMT too, not the local
    // clock, which would make every cached frame stale west of Greenwich.
    EXPECT_EQ(
        listReference(input.listText + "</body></html>\n", kTemplate, kProduct, input.gmtNow, log)
            .time,
        input.gmtNow);
}

TEST_F(FrameListTest, TextsPast32767CharactersEndInTheErrorPathKeepingEarlierItems) {
    input.templateURL.clear();
    input.gmtNow = DateTime::fromParts(2026, 1, 5, 20, 47);
    const QString line = kFrameBase + frame("2047") + "\n";
    // Blank padding (too short to be a frame), then 300 frame lines; the parse adds one line
    // feed of its own.
    const auto listOf = [&](qsizetype length) {
        return QString(length - 2 - 300 * line.size(), ' ') + "\n" + line.repeated(300);
    };
    input.listText = listOf(kMaxListPosition);
    EXPECT_EQ(parse().items.size(), 300);
    EXPECT_EQ(errorLog(), QString());

    input.listText = listOf(kMaxListPosition + 1);
    const RadarListParse r = parse();
    EXPECT_FALSE(r.ok);
    EXPECT_EQ(r.items.size(), 300) << "the last line feed is the one past the limit";
    EXPECT_TRUE(errorLogged("ERROR :: parseRadarListItems :: (6) - Overflow"));
    input.listText = QString(40000, ' ') + "\n" + line.repeated(10);
    EXPECT_TRUE(parse().items.isEmpty()) << "every frame line lies past the limit";
}
