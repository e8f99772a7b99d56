#include "acquisition/LocationPage.h"

#include "ParserTestSupport.h"

using namespace nimbuscope;
using namespace nimbuscope::test;

namespace {

const QString kTemplate =
    QStringLiteral("http://radar.weather.gov/radar/images/@@@@@/SI.ktwx/#####.noaa");

class LocationPageTest : public ParserTest {
protected:
    LocationPageTest() {
        config.serviceDomain = QStringLiteral("weather.gov");
        config.alternateServerURL = QStringLiteral("http://www.crh.noaa.gov/");
        config.templateURL = kTemplate;
    }
    static QString page(const QString& fixture) { return locationPageText(fixtureBytes(fixture)); }
    struct Statics {
        bool found;
        QString templateURL, cityState;
    };
    Statics statics(const QString& text) {
        Statics s{};
        s.found = parseZipCityStatics(text, s.templateURL, s.cityState, config, log);
        return s;
    }
    struct Dynamics {
        QString imageURL, forecast;
        qint16 temperature;
    };
    Dynamics dynamics(const QString& text) {
        Dynamics d{};
        EXPECT_TRUE(parseZipCityDynamics(text, d.imageURL, d.forecast, d.temperature, config, log));
        return d;
    }

    LocationPageConfig config;
};

} // namespace

TEST_F(LocationPageTest, StaticsOfRecordedPages) {
    const struct {
        const char* fixture;
        const char* templateURL;
        const char* cityState;
    } rows[] = {
        {"absolute_radar_link.html",
         "http://radar.weather.gov/radar/images/@@@@@/SI.ktwx/#####.noaa", "Topeka KS"},
        // The borrowed host keeps its slash before the rooted link; the list step repairs
        // ".gov//" when it builds frame addresses.
        {"relative_radar_link.html",
         "http://radar.weather.gov//radar/images/@@@@@/SI.ktwx/#####.noaa", "Lawrence, KS"},
        // "total_forecast" pages name the city after "For:", whatever precedes #contents.
        {"for_city_total_forecast.html",
         "http://radar.weather.gov/radar/images/@@@@@/SI.ktwx/#####.noaa", "Manhattan KS"},
        {"ifps_relative_image.html",
         "http://radar.weather.gov/radar/images/@@@@@/SI.kict/#####.noaa", "Salina KS"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.fixture);
        const Statics s = statics(page(QString::fromLatin1(row.fixture)));
        EXPECT_TRUE(s.found);
        EXPECT_EQ(s.templateURL, QString::fromLatin1(row.templateURL));
        EXPECT_EQ(s.cityState, QString::fromLatin1(row.cityState));
    }
}

TEST_F(LocationPageTest, TemplateTakesAtMost80CharactersAfterHttpAndAtLeastTen) {
    const QString link = QStringLiteral("/radar/latest/DS.p19r0/si.kabc.shtml\"><img src=\""
                                        "http://radar.weather.gov/ridge/Thumbs/ABC.png\">");
    const QString relativeTemplate =
        QStringLiteral("http://radar.weather.gov//radar/images/@@@@@/SI.kabc/#####.noaa");
    const struct {
        const char* name;
        QString page;
        QString templateURL;
    } rows[] = {
        // "http://" at 1, marker at 81: s + 80 >= p, so the 80 characters from s are taken.
        {"exactly 80", "http://" + QString(73, 'x') + link, "http://" + QString(73, 'x')},
        {"81", "http://" + QString(74, 'x') + link, relativeTemplate},
        {"no http before the link", "<p>" + link, relativeTemplate},
        {"template under ten characters", "http://ab\"/radar/latest/x", ""},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        const Statics s = statics(row.page);
        EXPECT_TRUE(s.found);
        EXPECT_EQ(s.templateURL, row.templateURL);
        EXPECT_EQ(s.cityState, QString()) << "no For: and no #contents";
    }
}

TEST_F(LocationPageTest, PagesWithoutARadarLinkKeepTheStoredStatics) {
    const QString withLink = page(QStringLiteral("absolute_radar_link.html"));
    const struct {
        const char* name;
        QString page;
    } rows[] = {
        {"server error page", page(QStringLiteral("server_error.html"))},
        {"search error page", page(QStringLiteral("search_error.html"))},
        {"link but error picture", withLink + "<img src=\"/images/ERROR.JPG\">"},
        {"link but error text", withLink + "<p>An Error Has Occurred</p>"},
        {"no link", QString(withLink).replace("/radar/latest", "/radar/recent")},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        const Statics s = statics(row.page);
        EXPECT_FALSE(s.found);
        EXPECT_TRUE(s.templateURL.isEmpty());
        EXPECT_TRUE(s.cityState.isEmpty());
    }
}

TEST_F(LocationPageTest, RelativeLinkWithoutAbsoluteAddressNearbyIsTrapped) {
    const QString text = "<p>" + QString(200, 'x') +
                         "<a href=\"/radar/latest/DS.p19r0/si.kabc.shtml\">" + QString(200, 'y');
    const Statics s = statics(text);
    EXPECT_FALSE(s.found);
    EXPECT_TRUE(
        errorLogged("ERROR :: parseZipCityStatistics :: (5) - Invalid procedure call or argument"));
}

TEST_F(LocationPageTest, DynamicsOfRecordedPagesWithAndWithoutTemplate) {
    const struct {
        const char* fixture;
        const char* imageURL;
        const char* forecast;
        qint16 temperature;
    } rows[] = {
        {"absolute_radar_link.html", "http://forecast.weather.gov/images/wtf/ovc.jpg", "Overcast",
         72},
        {"relative_radar_link.html", "http://forecast.weather.gov/images/wtf/few.jpg", "Fair", -4},
        {"for_city_total_forecast.html", "http://www.weather.gov/images/wtf/sct.jpg",
         "Partly Cloudy", 58},
        {"ifps_relative_image.html",
         "http://www.weather.gov/forecasts/graphical/images/ifps/skc.png", "Clear", 31},
        {"hw3php_image_7dayfcst_marker.html",
         "http://www.crh.noaa.gov/weather/images/fcicons/skc.jpg", "Sunny", 88},
        {"no_temperature_cell.html", "http://forecast.weather.gov/images/wtf/ra.jpg", "Light Rain",
         kNoTemperature},
        {"no_image_after_forecast_marker.html", "", "", 65},
        {"forecast_row_without_alt.html", "http://forecast.weather.gov/images/wtf/bkn.jpg",
         "Mostly Cloudy", 45},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.fixture);
        const Dynamics d = dynamics(page(QString::fromLatin1(row.fixture)));
        EXPECT_EQ(d.imageURL, QString::fromLatin1(row.imageURL));
        EXPECT_EQ(d.forecast, QString::fromLatin1(row.forecast));
        EXPECT_EQ(d.temperature, row.temperature);
    }
    config.templateURL.clear();
    EXPECT_EQ(dynamics(page(QStringLiteral("ifps_relative_image.html"))).imageURL,
              QStringLiteral("/forecasts/graphical/images/ifps/skc.png"))
        << "without a stored template a relative image stays relative";
}

TEST_F(LocationPageTest, TemperatureCellOfAPageWithoutForecast) {
    const struct {
        const char* cell;
        qint16 temperature;
    } rows[] = {
        {"<td class=\"big\">72&deg;F", 72},
        {"<td class=\"big\">50&deg;F</td>", 50},
        {"<TD CLASS=\"BIG\" width=\"120\"><b> -12 &deg;F", -12},
        {"<td class=\"big\">72.6&deg;F", 72},
        {"<td class=\"big\">-200&deg;F", -200},
        {"<td class=\"big\">N/A&deg;F", kNoTemperature},
        {"<td class=\"big\">99999&deg;F", kNoTemperature},
        {"<td class=\"big\">72&DEG;F", kNoTemperature},
        {"<td class=\"big\">72 F", kNoTemperature},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.cell);
        const Dynamics d = dynamics(QString(4000, ' ') + QString::fromLatin1(row.cell));
        EXPECT_EQ(d.temperature, row.temperature);
        EXPECT_EQ(d.imageURL, QString()) << "no forecast marker, no image";
        EXPECT_EQ(d.forecast, QString());
    }
    EXPECT_EQ(dynamics(QString(3000, ' ') + "<td class=\"big\">72&deg;F").temperature,
              kNoTemperature)
        << "the cell is looked for from character 4000";
}

TEST(LocationPageChecks, ErrorPagesAndShortPages) {
    for (const char* f : {"server_error.html", "search_error.html", "short_49_characters.html"}) {
        EXPECT_TRUE(isLocationErrorPage(fixtureText(QLatin1String(f)))) << f;
    }
    for (const char* f : {"short_50_characters.html", "absolute_radar_link.html"}) {
        EXPECT_FALSE(isLocationErrorPage(fixtureText(QLatin1String(f)))) << f;
    }
}

TEST(LocationPageChecks, ConditionsCaptions) {
    const QString degree = QString(QChar(176));
    const struct {
        qint16 temperature;
        const char* forecast;
        QString tempCaption, conditions, debugLine;
    } rows[] = {
        {72, "Sunny", " 72" + degree, "Sunny", ""},
        {149, "", " 149" + degree, "", ""},
        {-199, "Snow", " -199" + degree, "Snow", ""},
        {150, "Sunny", "", "Sunny", "FORECAST=Sunny"},
        {-200, "", "", "", "FORECAST=NULL"},
        {kNoTemperature, "x", "", "", "FORECAST=NULL"},
        {kNoTemperature, "Fog", "", "Fog", "FORECAST=Fog"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.temperature);
        const ConditionsCaptions c = conditionsCaptions(row.temperature, row.forecast);
        EXPECT_EQ(c.currentTempF, row.tempCaption);
        EXPECT_EQ(c.currentConditions, row.conditions);
        EXPECT_EQ(c.debugLine, row.debugLine);
    }
}

TEST(LocationPageChecks, AddressesAndPageText) {
    EXPECT_EQ(locationQueryURL("", "http://forecast.weather.gov", "66604"),
              "http://forecast.weather.gov/zipcity.php?inputstring=66604");
    EXPECT_EQ(locationQueryURL("http://x.gov/MapClick.php?zoneid=KSZ040", "http://f/", "66604"),
              "http://x.gov/MapClick.php?zoneid=KSZ040");
    EXPECT_TRUE(isLocationQuery("http://f/ZIPCITY.PHP?InputString=66604"));
    EXPECT_FALSE(isLocationQuery("http://x.gov/MapClick.php?zoneid=KSZ040"));

    EXPECT_EQ(alternateWeatherBase("http://www.crh.noaa.gov"), "http://www.crh.noaa.gov/weather/");
    EXPECT_EQ(alternateWeatherBase("http://www.crh.noaa.gov/weather/"),
              "http://www.crh.noaa.gov/weather/");

    EXPECT_EQ(locationPageText(QByteArray("<a href='#x'>caf\xe9</a>")),
              QString::fromUtf8("<a href=\"#x\">café</a>"));
}
