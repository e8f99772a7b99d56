#include "bridge/CurrentForms.h"
#include "bridge/MapServerForms.h"

#include "RecordedAnswers.h"

#include <array>
#include <cmath>

using namespace nimbuscope;
using namespace nimbuscope::test;

namespace {

QDateTime utc(const char* iso) {
    return QDateTime::fromString(QLatin1String(iso), Qt::ISODate);
}

} // namespace

TEST(CurrentFormsTest, PointsAnswersNameRadarCityAndStationsOrNoRadar) {
    struct Row {
        const char* file;
        std::optional<std::array<const char*, 3>> facts; // radar, city and state, stations
    };
    const Row rows[] = {
        {"points-30,-85-sumatra-fl.json",
         {{"KTLH", "Sumatra, FL", "https://api.weather.gov/gridpoints/TAE/58,65/stations"}}},
        {"points-21.305,-157.858-honolulu-hi.json",
         {{"PHMO", "Urban Honolulu, HI",
           "https://api.weather.gov/gridpoints/HFO/154,145/stations"}}},
        {"points-47.212,-123.106-shelton-wa.json",
         {{"KLGX", "Shelton, WA", "https://api.weather.gov/gridpoints/SEW/96,55/stations"}}},
        {"points-38.886,-77.094-arlington-va.json",
         {{"KLWX", "Arlington, VA", "https://api.weather.gov/gridpoints/LWX/95,71/stations"}}},
        {"points-no-radar-utqiagvik-ak.json",
         {{"", "Utqiagvik, AK", "https://api.weather.gov/gridpoints/AFG/168,398/stations"}}},
        {"problem-adjust-point-precision.json", std::nullopt},
        {"forbidden-without-user-agent.html", std::nullopt},
    };
    for (const Row& row : rows) {
        const auto point = parsePoints(today(row.file));
        ASSERT_EQ(point.has_value(), row.facts.has_value()) << row.file;
        if (point) {
            const auto& [radar, cityState, stations] = *row.facts;
            EXPECT_EQ(point->radarStation, radar) << row.file;
            EXPECT_EQ(point->hasRadar(), *radar != '\0') << row.file;
            EXPECT_EQ(point->cityState(), cityState) << row.file;
            EXPECT_EQ(point->observationStations, stations) << row.file;
        }
    }
    // A radar station no site could be named is no answer to build addresses from.
    EXPECT_FALSE(parsePoints(R"({"properties":{"radarStation":"../x"}})"));
    EXPECT_EQ(problemText(today("problem-adjust-point-precision.json")).left(40),
              "Adjusting Precision Of Point Coordinate:");
    EXPECT_TRUE(problemText(today("forbidden-without-user-agent.html")).isEmpty());
}

TEST(CurrentFormsTest, StationListsNearestFirstInBothForms) {
    const QStringList recorded = parseStationList(today("stations-sew-96,55-shelton-wa.json"));
    EXPECT_EQ(recorded.size(), 34);
    EXPECT_EQ(recorded.mid(0, 3), QStringList({"KSHN", "KOLM", "KTIW"}));
    EXPECT_EQ(parseStationList(today("stations-urls-only.json")), QStringList({"KTOP", "KFOE"}));
    EXPECT_TRUE(parseStationList(today("forbidden-without-user-agent.html")).isEmpty());
}

TEST(CurrentFormsTest, ObservationsAreCurrentForTwoHoursInEveryTemperatureUnit) {
    struct Row {
        const char* file;
        const char* now;
        bool current;
        std::optional<int> shownF;
        const char* picture;
    };
    const Row rows[] = {
        {"observation-latest-kfll.json", "2022-03-03T00:30:00Z", true, 73, "broken"},
        {"observation-latest-kfll.json", "2022-03-03T01:53:00Z", true, 73, "broken"},
        {"observation-latest-kfll.json", "2022-03-03T01:53:01Z", false, 73, "broken"},
        {"observation-latest-kfll.json", "2022-06-01T12:00:00Z", false, 73, "broken"},
        {"observation-fahrenheit.json", "2022-03-03T00:30:00Z", true, 42, "fog"},
        {"observation-old-unit-form.json", "2022-03-03T00:30:00Z", true, 73, "few"},
        {"observation-null-temperature.json", "2026-12-06T23:10:00Z", true, std::nullopt, "rain"},
        {"observation-empty-text-null-icon.json", "2026-12-06T23:10:00Z", false, std::nullopt,
         "unknown"},
        {"observation-stale-time.json", "2026-12-06T23:10:00Z", false, 26, "clear"},
    };
    for (const Row& row : rows) {
        const auto obs = parseObservation(today(row.file));
        ASSERT_TRUE(obs) << row.file;
        EXPECT_EQ(isCurrentObservation(*obs, utc(row.now)), row.current) << row.file << row.now;
        EXPECT_EQ(obs->temperatureF ? std::optional(wholeDegrees(*obs->temperatureF))
                                    : std::nullopt,
                  row.shownF)
            << row.file;
        EXPECT_EQ(conditionClass(obs->text, obs->icon), row.picture) << row.file;
    }
    EXPECT_FALSE(parseObservation(today("forbidden-without-user-agent.html")));
    const auto text = parseObservation(
        R"({"properties":{"temperature":{"unitCode":"wmoUnit:degC","value":"22.8"}}})");
    ASSERT_TRUE(text);
    EXPECT_FALSE(text->temperatureF) << "a value that is not a number is no temperature";
}

TEST(CurrentFormsTest, TemperatureUnitsConvertToFahrenheitAndUnknownOnesGiveNone) {
    struct Row {
        const char* unit;
        std::optional<double> value;
        std::optional<double> fahrenheit;
    };
    const Row rows[] = {
        {"wmoUnit:degC", 0.0, 32.0},  {"unit:degC", -40.0, -40.0},
        {"wmoUnit:degF", 71.6, 71.6}, {"unit:degF", -3.0, -3.0},
        {"wmoUnit:K", 273.15, 32.0},  {"wmoUnit:K", 300.0, 80.33},
        {"wmoUnit:degR", 500.0, {}},  {"", 20.0, {}},
        {"wmoUnit:degC", {}, {}},
    };
    for (const Row& row : rows) {
        const auto got = fahrenheitOf(QLatin1String(row.unit), row.value);
        ASSERT_EQ(got.has_value(), row.fahrenheit.has_value()) << row.unit;
        if (got) {
            EXPECT_NEAR(*got, *row.fahrenheit, 0.01) << row.unit;
        }
    }
}

TEST(CurrentFormsTest, ConditionTextNamingWeatherOutranksTheIcon) {
    struct Row {
        const char* text;
        const char* icon;
        const char* expected;
    };
    const char* const few = "https://api.weather.gov/icons/land/day/few?size=medium";
    const Row rows[] = {
        {"Haze", few, "fog"},
        {"Light Rain and Fog/Mist", few, "rain"},
        {"Smoke", "https://api.weather.gov/icons/land/day/skc?size=medium", "fog"},
        {"Thunderstorms and Rain", "", "thunder"},
        {"Light Snow and Fog/Mist", "", "snow"},
        {"Breezy", "", "wind"},
        {"Mostly Cloudy", few, "few"}, // the sky: the icon decides
        {"Clear", "https://api.weather.gov/icons/land/night/wind_skc?size=medium", "wind"},
        {"", "https://api.weather.gov/icons/land/day/tsra_sct,40/rain?size=medium", "thunder"},
        {"Mostly Cloudy", "", "broken"},
        {"Cloudy", "", "overcast"},
        {"Mostly Clear", "", "few"},
        {"Fair", "", "clear"},
        {"", "", "unknown"},
    };
    for (const Row& row : rows) {
        EXPECT_EQ(conditionClass(QLatin1String(row.text), QLatin1String(row.icon)), row.expected)
            << row.text << row.icon;
        EXPECT_TRUE(isConditionClass(QLatin1String(row.expected)));
    }
    EXPECT_FALSE(isConditionClass(QStringLiteral("../../etc")));
}

TEST(MapServerFormsTest, TheSitesBaseReflectivityLayerIsFoundWithItsExactTimes) {
    struct Row {
        const char* file;
        const char* workspace;
        const char* layer; // none found when null
        qsizetype times;
        const char* oldest;
        const char* newest;
    };
    const Row rows[] = {
        {"capabilities-klwx-bref-raw-only.xml", "klwx", "klwx_bref_raw", 17,
         "2021-02-21T10:29:40.000Z", "2021-02-21T12:21:11.000Z"},
        {"capabilities-instant-list.xml", "keax", "keax_sr_bref", 7, "2026-12-06T22:20:44.000Z",
         "2026-12-06T22:44:22.000Z"},
        {"capabilities-interval-period.xml", "ktop", "ktop_sr_bref", 5, "2026-12-06T20:00:00Z",
         "2026-12-06T21:04:30Z"},
        {"capabilities-conus-mosaic.xml", "conus", "conus_bref_qcd", 6, "2021-02-21T11:30:00.000Z",
         "2021-02-21T12:20:00.000Z"},
        {"capabilities-klwx-bref-raw-only.xml", "ktop", nullptr, 0, "", ""},
        {"service-exception-bad-parameter.xml", "keax", nullptr, 0, "", ""},
        {"capabilities-error-tomcat-404.html", "klwx", nullptr, 0, "", ""},
    };
    for (const Row& row : rows) {
        const auto layer = findReflectivityLayer(today(row.file), QLatin1String(row.workspace));
        ASSERT_EQ(layer.has_value(), row.layer != nullptr) << row.file << " " << row.workspace;
        if (layer) {
            EXPECT_EQ(layer->name, row.layer);
            EXPECT_EQ(layer->workspace, row.workspace);
            ASSERT_EQ(layer->times.size(), row.times) << row.file;
            EXPECT_EQ(layer->times.front(), row.oldest);
            EXPECT_EQ(layer->times.back(), row.newest);
        }
    }
    const auto klwx = findReflectivityLayer(today("capabilities-klwx-bref-raw-only.xml"), "klwx");
    EXPECT_EQ(klwx->style, "radar_reflectivity");
    ASSERT_TRUE(klwx->extent);
    EXPECT_DOUBLE_EQ(klwx->extent->centreLat(), 38.976);
    EXPECT_DOUBLE_EQ(klwx->extent->centreLon(), -77.487);
    EXPECT_FALSE(findReflectivityLayer(today("capabilities-interval-period.xml"), "ktop")->extent);

    // The real site layer holds the short range and ends short of the long range's edges.
    const auto box = [&](double nmi) { return webMercatorBox(38.976, -77.487, nmi, 600, 550); };
    EXPECT_FALSE(reachesPastLayer(*klwx, box(124.0)));
    EXPECT_TRUE(reachesPastLayer(*klwx, box(248.0)));
    const QString url =
        getMapURL("http://m/geoserver/", *klwx, box(124.0), 600, 550, klwx->times.back());
    EXPECT_TRUE(url.startsWith("http://m/geoserver/ows?service=WMS&version=1.3.0&request=GetMap"
                               "&layers=klwx:klwx_bref_raw&styles=radar_reflectivity&"));
    EXPECT_TRUE(url.endsWith("&time=2021-02-21T12%3A21%3A11.000Z"));
}

TEST(MapServerFormsTest, TimeDimensionsInEveryFormKeepTheNewestAndSkipWhatIsNotTime) {
    EXPECT_EQ(expandTimeDimension(QStringLiteral("2026-12-06T22:00:00.000Z/"
                                                 "2026-12-07T22:00:00.000Z/PT1M"),
                                  2),
              QStringList({"2026-12-07T21:59:00.000Z", "2026-12-07T22:00:00.000Z"}));
    // Mixed: an interval, then instants with and without milliseconds.
    EXPECT_EQ(expandTimeDimension(QStringLiteral("\n  2026-12-06T20:00:00.000Z/"
                                                 "2026-12-06T20:10:00.000Z/PT5M,"
                                                 "2026-12-06T20:13:17Z,2026-12-06T20:17:02.000Z\n"),
                                  10),
              QStringList({"2026-12-06T20:00:00.000Z", "2026-12-06T20:05:00.000Z",
                           "2026-12-06T20:10:00.000Z", "2026-12-06T20:13:17Z",
                           "2026-12-06T20:17:02.000Z"}));
    EXPECT_EQ(expandTimeDimension(QStringLiteral("current,2026-12-06T22:00:00Z/"
                                                 "2026-12-06T21:00:00Z/PT5M,x/y/PT0M,"
                                                 "2026-12-06T20:00:00Z/2026-12-06T21:00:00Z/PT0M"),
                                  10),
              QStringList());
}

TEST(MapServerFormsTest, MapBoxIsCentredAndWidenedTowardsThePoles) {
    const MercatorBox equator = webMercatorBox(0.0, 0.0, 124.0, 600, 550);
    EXPECT_NEAR(equator.minX, -equator.maxX, 1e-6);
    EXPECT_NEAR(equator.maxY - equator.minY, 2 * 124 * 1852.0, 1.0);
    EXPECT_NEAR((equator.maxX - equator.minX) / (equator.maxY - equator.minY), 600.0 / 550, 1e-9);
    const MercatorBox north = webMercatorBox(60.0, -150.0, 124.0, 600, 550);
    EXPECT_NEAR(north.maxY - north.minY, 2 * (equator.maxY - equator.minY), 1.0);
    EXPECT_NEAR((north.minX + north.maxX) / 2, -150.0 / 180 * M_PI * 6378137.0, 1e-3);
    const GeoBox degrees = geoBoxOf(north);
    EXPECT_NEAR(degrees.centreLon(), -150.0, 1e-9);
    EXPECT_NEAR(degrees.north - 60.0, 124.0 / 60, 0.1) << "124 nmi are about two degrees";
}

TEST(CurrentFormsTest, AddressesUseThePointsCanonicalFormAndTheConfiguredBases) {
    struct Row {
        double lat, lon;
        const char* points;
    };
    for (const Row& row :
         {Row{30.0, -85.0, "30,-85"}, Row{39.0997, -94.5786, "39.0997,-94.5786"},
          Row{47.61085001, -122.33416, "47.6109,-122.3342"}, Row{-0.00001, 21.30500, "0,21.305"}}) {
        EXPECT_EQ(pointsURL("http://a/api/", row.lat, row.lon),
                  QStringLiteral("http://a/api/points/") + QLatin1String(row.points));
    }
    const QList<BaseMapping> bases = {
        {QStringLiteral("https://api.weather.gov/"), QStringLiteral("http://127.0.0.1:9/api/")},
        {QStringLiteral("https://forecast.weather.gov/zipcity.php"),
         QStringLiteral("http://127.0.0.1:9/zipcity.php")}};
    struct Link {
        const char* from;
        const char* to;
    };
    const Link links[] = {
        {"https://api.weather.gov/gridpoints/TAE/58,65/stations",
         "http://127.0.0.1:9/api/gridpoints/TAE/58,65/stations"},
        {"http://API.weather.gov/points/47.6109,-122.3342?x=%2C",
         "http://127.0.0.1:9/api/points/47.6109,-122.3342?x=%2C"},
        {"https://forecast.weather.gov/zipcity.php?inputstring=64106",
         "http://127.0.0.1:9/zipcity.php?inputstring=64106"},
        {"https://forecast.weather.gov/MapClick.php?lat=1&lon=2",
         "https://forecast.weather.gov/MapClick.php?lat=1&lon=2"},
        {"https://api.weather.gov.example.org/points/1,2",
         "https://api.weather.gov.example.org/points/1,2"},
        {"ftp://api.weather.gov/points/1,2", "ftp://api.weather.gov/points/1,2"},
    };
    for (const Link& link : links) {
        EXPECT_EQ(rebasedURL(QLatin1String(link.from), bases), link.to) << link.from;
    }
}

TEST(CurrentFormsTest, OnlyAGifSaidAndShapedSoIsAFrame) {
    EXPECT_TRUE(isGifAnswer("image/gif", "GIF89a..."));
    EXPECT_TRUE(isGifAnswer("Image/GIF; charset=binary", "GIF87a..."));
    EXPECT_FALSE(isGifAnswer("image/gif", today("service-exception-bad-parameter.xml")));
    EXPECT_FALSE(isGifAnswer("application/vnd.ogc.se_xml", "GIF89a"));
    EXPECT_FALSE(isGifAnswer("image/png", "\x89PNG"));
    EXPECT_FALSE(isGifAnswer("", ""));
}
