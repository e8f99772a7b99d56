#include "setup/RadarList.h"

#include <QFile>

#include <gtest/gtest.h>

using namespace nimbuscope;

namespace {

QByteArray siteLine(const char* site, const char* city, const char* zip) {
    return QByteArray("\"http://radar.test/radar/latest/DS.p19r0/si.") + site + ".shtml\",\"" +
           city + "\",\"" + zip + "\"";
}

} // namespace

TEST(RadarListLines, EndAtCarriageReturnsWithOrWithoutLineFeeds) {
    const struct {
        const char* name;
        QByteArray bytes;
        QList<QByteArray> lines;
    } rows[] = {
        {"CR LF", "a\r\nb\r\n", {"a", "b"}},
        {"CR alone", "a\rb\r", {"a", "b"}},
        {"LF alone", "a\nb\n", {"a", "b"}},
        {"mixed", "a\rb\r\nc\nd", {"a", "b", "c", "d"}},
        {"no end after the last", "a\r\nb", {"a", "b"}},
        {"empty lines kept", "a\r\n\r\n\rb", {"a", "", "", "b"}},
        {"CR CR LF is an empty line", "a\r\r\nb", {"a", "", "b"}},
        {"empty file", "", {}},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        EXPECT_EQ(radarListLines(row.bytes), row.lines);
    }
}

TEST(RadarList, SiteLinesGiveCityZipAndFrameTemplate) {
    const struct {
        const char *line, *city, *zip, *templateURL;
    } rows[] = {
        {R"("http://h/radar/latest/DS.p19r0/si.keax.shtml","Town","12345")", "Town", "12345",
         "http://h/radar/images/@@@@@/SI.keax/#####.noaa"},
        // The address rewrite is exact and case-sensitive.
        {R"("http://h/radar/LATEST/ds.P19R0/SI.keax.SHTML","Town","12345")", "Town", "12345",
         "http://h/radar/LATEST/ds.P19R0/SI.keax.SHTML"},
        {R"("http://h/a/latest/b/latest/si.x.shtml","Town","12345")", "Town", "12345",
         "http://h/a/images/b/images/SI.x/#####.noaa"},
        {R"("HTTP://h/si.x.html","Town","12345")", "Town", "12345", "HTTP://h/SI.x.html"},
        // Fields are cut by their quotes, and only the last is the zip code.
        {R"("http://h/si.a.shtml","Dodge City","KS","ignored","67801")", "Dodge City", "67801",
         "http://h/SI.a/#####.noaa"},
        {R"("http://h/si.a.shtml", "Salina" , "672")", "Salina", "672", "http://h/SI.a/#####.noaa"},
        {"\"http://h/si.a.shtml\",\"Cayey \xf1\",\"00736\"", "Cayey \u00f1", "00736",
         "http://h/SI.a/#####.noaa"}, // Windows-1252
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.line);
        const RadarListRead read = parseRadarList(QByteArray("STATE: KS\r\n") + row.line);
        ASSERT_EQ(read.list.entries.size(), 2u);
        EXPECT_EQ(read.list.entries[1],
                  (RadarSiteEntry{QString::fromUtf8(row.city), "KS", QLatin1String(row.zip),
                                  QLatin1String(row.templateURL)}));
    }
}

TEST(RadarList, AnyOtherLineRepeatsTheItemBeforeIt) {
    const RadarListRead read = parseRadarList(
        "STATE: KS\r\n\r\n" + siteLine("ktwx", "Topeka", "66614") + "\r\n# a comment\r\n\r\n");
    EXPECT_EQ(read.list.items,
              QStringList({"--- KS ---", "--- KS ---", "    Topeka", "    Topeka", "    Topeka"}));
    EXPECT_EQ(read.list.entries[3], read.list.entries[2]);
    EXPECT_EQ(read.list.entries[1], read.list.entries[0]);
    EXPECT_EQ(parseRadarList("\r\n").list.items, QStringList({"---  ---"})) << "before any state";
}

TEST(RadarList, AMalformedSiteLineEndsTheReadingWithWhatWasReadKept) {
    const char* malformed[] = {
        "http://radar.test/radar/latest/DS.p19r0/si.kddc.shtml Dodge City 67801",
        "\"http://radar.test/si.kddc.shtml\" Dodge City 67801",
        "\"http://radar.test/si.kddc.shtml\",\"Dodge City",
    };
    for (const char* line : malformed) {
        SCOPED_TRACE(line);
        const QByteArray file = "STATE: KS\r\n" + siteLine("ktwx", "Topeka", "66614") + "\r\n" +
                                line + "\r\n" + siteLine("kict", "Wichita", "67202") + "\r\n";
        const RadarListRead read = parseRadarList(file);
        EXPECT_EQ(read.list.items, QStringList({"--- KS ---", "    Topeka"}));
        EXPECT_EQ(read.list.entries.size(), 2u);
        EXPECT_EQ(read.stoppedByError, 5);
    }
}

TEST(RadarList, AFileLongerThanTheTableStopsAtItsEnd) {
    QByteArray file = "STATE: KS\r\n";
    for (int i = 0; i < 300; ++i) {
        file += siteLine("ktwx", QByteArray::number(i).constData(), "66614") + "\r\n";
    }
    const RadarListRead read = parseRadarList(file);
    EXPECT_EQ(read.list.items.size(), RadarList::kCapacity);
    EXPECT_EQ(read.list.entries.size(), std::size_t(RadarList::kCapacity));
    EXPECT_EQ(read.list.items.last(), QStringLiteral("    249"));
    EXPECT_FALSE(read.stoppedByError);
}

// The list shipped with the program: every line read, every city usable as a location.
TEST(RadarListDataFile, EveryStateAndSiteOfTheShippedListIsRead) {
    QFile file(QStringLiteral(NIMBUSCOPE_RADAR_LIST));
    ASSERT_TRUE(file.open(QIODevice::ReadOnly)) << NIMBUSCOPE_RADAR_LIST;
    const QByteArray bytes = file.readAll();
    const RadarListRead read = parseRadarList(bytes);
    EXPECT_FALSE(read.stoppedByError);
    EXPECT_EQ(bytes.count("\r\n"), read.list.items.size()); // CR LF lines, nothing cut off
    EXPECT_LE(read.list.items.size(), RadarList::kCapacity);

    int cities = 0;
    QString state;
    for (std::size_t i = 0; i < read.list.entries.size(); ++i) {
        const RadarSiteEntry& e = read.list.entries[i];
        SCOPED_TRACE(read.list.items[qsizetype(i)].toStdString());
        if (isStateHeader(read.list.items[qsizetype(i)])) {
            EXPECT_TRUE(e.city.isEmpty());
            EXPECT_NE(e.state, state); // each state once
            state = e.state;
            continue;
        }
        ++cities;
        EXPECT_EQ(e.state, state);
        EXPECT_EQ(e.zipcode.size(), 5);
        EXPECT_TRUE(e.templateURL.startsWith(
            QStringLiteral("http://radar.weather.gov/radar/images/@@@@@/SI.")));
        EXPECT_TRUE(e.templateURL.endsWith(QStringLiteral("/#####.noaa")));
    }
    EXPECT_EQ(cities, 156);
}
