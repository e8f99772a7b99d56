#include "acquisition/FrameList.h"
#include "acquisition/CacheNames.h"

#include "ParserTestSupport.h"

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
        input.product = kProduct;
        input.caption = QStringLiteral("Short Range Radar");
        input.zipcode = QStringLiteral("66604");
        input.dataDirectory = QStringLiteral("/cache/data/");
        input.templateURL = kTemplate;
        input.gmtNow = DateTime::fromParts(2026, 1, 5, 20, 50);
        input.discardAfterMinutes = 60;
        input.ownServers = {QStringLiteral("radar.weather.gov")};
        input.listText = normaliseRadarList(fixtureText(QStringLiteral("loop_absolute.txt")),
                                            kTemplate, kRadarServer);
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

TEST(FrameListAddress, ListAddressFromTemplateSite) {
    const struct {
        const char* server;
        const char* templateURL;
        const char* expected;
    } rows[] = {
        {"http://radar.weather.gov/",
         "http://radar.weather.gov/radar/images/@@@@@/SI.ktwx/#####.noaa",
         "http://radar.weather.gov/radar/loopdata/DS.p19r0/ktwx.txt"},
        {"http://127.0.0.1:8080", "http://h/radar/images/@@@@@/si.kabc/#####.noaa",
         "http://127.0.0.1:8080/radar/loopdata/DS.p19r0/kabc.txt"},
        {"http://mirror.example/noaa/radar/", "http://h/radar/images/@@@@@/SI.kict/#####.noaa",
         "http://mirror.example/noaa/radar/loopdata/DS.p19r0/kict.txt"},
        {"http://radar.weather.gov/", "http://h/radar/images/@@@@@/#####.noaa", ""},
        {"http://radar.weather.gov/", "", ""},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.templateURL);
        EXPECT_EQ(radarListURL(row.server, row.templateURL, kProduct), QString(row.expected));
    }
}

TEST_F(FrameListTest, AllThreeLineFormsBecomeTheSameAbsoluteFramesFromTemplateOrServer) {
    QStringList expected;
    for (const char* t :
         {"2002", "2007", "2012", "2017", "2022", "2027", "2032", "2037", "2042", "2047"}) {
        expected << kFrameBase + frame(t);
    }
    for (const char* fixture :
         {"loop_dotdot_relative.txt", "loop_radar_rooted.txt", "loop_absolute.txt"}) {
        SCOPED_TRACE(fixture);
        const QString text =
            normaliseRadarList(fixtureText(QString::fromLatin1(fixture)), kTemplate, kRadarServer);
        EXPECT_EQ(text.split('\n', Qt::SkipEmptyParts), expected);
    }
    const QString rooted = fixtureText(QStringLiteral("loop_radar_rooted.txt"));
    const QString dotdot = fixtureText(QStringLiteral("loop_dotdot_relative.txt"));
    // A template built from a relative radar link has ".gov//radar/"; frame addresses do not.
    const QString doubled =
        QStringLiteral("http://radar.weather.gov//radar/images/@@@@@/SI.ktwx/#####.noaa");
    EXPECT_TRUE(normaliseRadarList(dotdot, doubled, kRadarServer).startsWith(kFrameBase));
    // Without a template the national server stands in.
    EXPECT_TRUE(normaliseRadarList(rooted, "", "http://127.0.0.1:8080")
                    .startsWith("http://127.0.0.1:8080/radar/images/DS.p19r0/SI.ktwx/"));
}

// A name without a valid time gives the local clock and logs the error's number.
TEST_F(FrameListTest, FilenameToDate) {
    const struct {
        const char* name;
        std::optional<DateTime> time;
        int number;
    } rows[] = {
        {"ktwx.dd.20260105.1402.noaa", DateTime::fromParts(2026, 1, 5, 14, 2), 0},
        {"KTWX.DD.20261231.2359.NOAA", DateTime::fromParts(2026, 12, 31, 23, 59), 0},
        {"/tmp/Nimbuscope/data/66604.DS.p19r0.ktwx.dd.20260105.0004.noaa",
         DateTime::fromParts(2026, 1, 5, 0, 4), 0},
        {"ktwx.20260105.1402.noaa", {}, 13},   {"ktwx.dd.2026o105.1402.noaa", {}, 13},
        {"ktwx.dd.20260105", {}, 13},          {"ktwx.dd.20261305.1402.noaa", {}, 5},
        {"ktwx.dd.20260230.1402.noaa", {}, 5}, {"ktwx.dd.20260105.2400.noaa", {}, 5},
        {"ktwx.dd.20260105.2360.noaa", {}, 5},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        EXPECT_EQ(filenameToDate(row.name, clock, log), row.time.value_or(clock.now()));
        EXPECT_EQ(errorLog().contains(QStringLiteral("ERROR :: filenameToDate :: (%1) - ")
                                          .arg(row.number)),
                  row.number != 0);
    }
}

TEST(FrameListFreshness, WindowInBothDirections) {
    const DateTime reference = DateTime::fromParts(2026, 1, 6, 0, 4);
    const struct {
        DateTime frame;
        qint64 window;
        bool outside;
    } rows[] = {
        {DateTime::fromParts(2026, 1, 5, 23, 59), 300, false}, // across midnight: 5 minutes
        {DateTime::fromParts(2026, 1, 5, 23, 58), 300, true},
        {DateTime::fromParts(2026, 1, 6, 0, 9), 300, false},
        {DateTime::fromParts(2026, 1, 6, 0, 10), 300, true},
        {DateTime(1e9), 300, false}, // an invalid date is never judged
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.frame.generalDate().toStdString());
        EXPECT_EQ(isOutsideFreshness(row.frame, reference, row.window), row.outside);
    }
}

TEST_F(FrameListTest, CachedFramesAreChosenAndPutFirstInTimeOrder) {
    input.cacheFileNames = {
        "66604.DS.p19r0." + frame("1952"),
        "66604.DS.p19r0." + frame("1940"), // 67 minutes before the newest frame
        "66604.DS.p19r0." + frame("1947"), // exactly the 60-minute window
        "66604.DS.p19r0." + frame("2002"), // still listed
        "66604.DS.p19r0." + frame("1957"),
        "66604.DS.p19r0." + frame("2155"), // 68 minutes after the newest frame
        "66604.ds.P19R0." + frame("2047"), // still listed, other letter case
        "66604.DS.p19r0.loop.txt",         "66604.DS.p20-r." + frame("1957"),
        "66604.currentConditions.jpg",     "90210.DS.p19r0." + frame("1957"),
    };
    const RadarListParse r = parse();
    ASSERT_TRUE(r.ok);
    EXPECT_EQ(r.reference, DateTime::fromParts(2026, 1, 5, 20, 47));
    EXPECT_EQ(r.listedCachedCount, 2);
    EXPECT_EQ(r.displayProgressMaxAtLeast, 13);
    EXPECT_EQ(sources(r), QStringList({frame("1947"), frame("1952"), frame("1957"), frame("2002"),
                                       frame("2007"), frame("2012"), frame("2017"), frame("2022"),
                                       frame("2027"), frame("2032"), frame("2037"), frame("2042"),
                                       frame("2047")}));
    const FramePlanItem& first = r.items.first();
    EXPECT_EQ(first.fileName, "/cache/data/66604.DS.p19r0." + frame("1947"));
    EXPECT_EQ(first.caption, "Short Range Radar");
    EXPECT_EQ(first.radarID, kProduct);
    for (qsizetype i = 0; i < r.items.size(); ++i) {
        EXPECT_EQ(r.items[i].cycleFlag, i == r.items.size() - 1) << i;
    }
}

TEST_F(FrameListTest, WithoutTemplateNoCachedFrameIsTakenAndGmtIsTheReference) {
    input.templateURL.clear();
    input.cacheFileNames = {"66604.DS.p19r0." + frame("1957")};
    input.gmtNow = DateTime::fromParts(2026, 1, 5, 21, 40);
    const RadarListParse r = parse();
    EXPECT_EQ(r.reference, input.gmtNow);
    EXPECT_TRUE(r.oldFrames.isEmpty());
    // Against 21:40 the frames before 20:40 are stale.
    EXPECT_EQ(sources(r), QStringList({frame("2042"), frame("2047")}));
}

TEST_F(FrameListTest, OldFramesStopAfterMoreThan130) {
    for (int i = 0; i < 140; ++i) {
        input.cacheFileNames << QStringLiteral("66604.DS.p19r0.s%1.dd.20260105.2030.noaa")
                                    .arg(i, 3, 10, QLatin1Char('0'));
    }
    const RadarListParse r = parse();
    EXPECT_EQ(r.oldFrames.size(), kMaxOldFrames + 1);
    EXPECT_EQ(r.items.size(), kMaxOldFrames + 1 + 10);
}

TEST_F(FrameListTest, ListedFramesOutsideTheWindowAreSkipped) {
    input.listText = kFrameBase + frame("1930") + "\n" + kFrameBase + frame("2200") + "\n" +
                     kFrameBase + frame("2040") + "\n" + kFrameBase + frame("2047") + "\n";
    EXPECT_EQ(sources(parse()), QStringList({frame("2040"), frame("2047")}));
}

TEST_F(FrameListTest, LastLineIsTheOneEndingWithinTenCharactersOfTheEnd) {
    const QString lines = kFrameBase + frame("2042") + "\n" + kFrameBase + frame("2047");
    const struct {
        const char* name;
        QString text;
        bool lastFlagged;
    } rows[] = {
        {"no final line feed", lines, true},
        {"final line feed", lines + "\n", true},
        {"trailing blanks", lines + "\n    \n", true},
        // Counted from the frame line's own line feed to the end of the text, which ends
        // in the line feed the parse adds.
        {"9 characters follow", lines + "\nabcdefg\n", true},
        {"10 characters follow", lines + "\nabcdefgh\n", false},
    };
    input.templateURL.clear(); // keep the reference at the current GMT
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        input.listText = row.text;
        const RadarListParse r = parse();
        ASSERT_EQ(r.items.size(), 2);
        EXPECT_FALSE(r.items[0].cycleFlag);
        EXPECT_EQ(r.items[1].cycleFlag, row.lastFlagged);
    }
}

TEST_F(FrameListTest, ListReferenceSkipsTrailingLineFeeds) {
    const QString text = kFrameBase + frame("2042") + "\n" + kFrameBase + frame("2047") + "\n\n";
    const ListReference ref = listReference(text, kTemplate, kProduct, input.gmtNow, log);
    EXPECT_EQ(ref.lastFrameName, frame("2047"));
    EXPECT_EQ(ref.base, kFrameBase);
    EXPECT_EQ(ref.time, DateTime::fromParts(2026, 1, 5, 20, 47));
    EXPECT_EQ(listReference("short\n", kTemplate, kProduct, input.gmtNow, log).time, input.gmtNow);
    // A last line without a time (an error page's "</html>") falls back to GMT, not to the
    // local clock, which would make every cached frame stale west of Greenwich.
    EXPECT_EQ(listReference(text + "</body></html>\n", kTemplate, kProduct, input.gmtNow, log).time,
              input.gmtNow);
}

TEST_F(FrameListTest, ChangedZipCodeStopsTheWalk) {
    int asked = 0;
    const RadarListParse r = parse([&] { return ++asked <= 3; });
    EXPECT_TRUE(r.ok);
    EXPECT_TRUE(r.stoppedByZipChange);
    EXPECT_EQ(r.items.size(), 3);
}

TEST_F(FrameListTest, TextsPast32767CharactersEndInTheErrorPathKeepingEarlierItems) {
    input.templateURL.clear();
    input.gmtNow = DateTime::fromParts(2026, 1, 5, 20, 47);
    const QString line = kFrameBase + frame("2047") + "\n";
    const auto listOf = [&](qsizetype workingLength) {
        // Blank padding first (too short to be a frame), then frame lines; the parse adds
        // one line feed of its own.
        const qsizetype lines = 300;
        const qsizetype pad = workingLength - 1 - lines * line.size() - 1;
        return QString(pad, ' ') + "\n" + line.repeated(lines);
    };
    input.listText = listOf(kMaxListPosition);
    RadarListParse r = parse();
    EXPECT_TRUE(r.ok);
    EXPECT_EQ(r.items.size(), 300);
    EXPECT_EQ(errorLog(), QString());

    input.listText = listOf(kMaxListPosition + 1);
    r = parse();
    EXPECT_FALSE(r.ok);
    EXPECT_EQ(r.items.size(), 300) << "the last line feed is the one past the limit";
    EXPECT_TRUE(errorLogged("ERROR :: parseRadarListItems :: (6) - Overflow"));

    input.listText = QString(40000, ' ') + "\n" + line.repeated(10);
    r = parse();
    EXPECT_FALSE(r.ok);
    EXPECT_TRUE(r.items.isEmpty()) << "every frame line lies past the limit";
}

TEST(FrameCacheNames, DownloadAddressOfTheChosenRegion) {
    const QString source =
        "http://radar.weather.gov/radar/images/DS.p19r0/SI.ktwx/ridge.ridge.noaa";
    const struct {
        bool alternate;
        const char* primary;
        const char* expected;
    } rows[] = {
        {false, "ridge", "http://radar.weather.gov/radar/images/DS.p19r0/SI.ktwx/ridge.ridge.gif"},
        {true, "ridge", "http://radar.weather.gov/radar/images/DS.p19r0/SI.ktwx/south.south.gif"},
        {true, "RIDGE", "http://radar.weather.gov/radar/images/DS.p19r0/SI.ktwx/ridge.ridge.gif"},
        {true, "", "http://radar.weather.gov/radar/images/DS.p19r0/SI.ktwx/ridge.ridge.gif"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.primary);
        EXPECT_EQ(frameDownloadURL(source, row.alternate, row.primary, "south"),
                  QString(row.expected));
    }
}
