#include "acquisition/LocationPage.h"

#include "ParserTestSupport.h"

using namespace nimbuscope;
using namespace nimbuscope::test;

namespace {

class LocationPageTest : public ParserTest {
protected:
    LocationPageTest() {
        config = {QStringLiteral("weather.gov"), QStringLiteral("http://www.crh.noaa.gov/"),
                  QStringLiteral("http://radar.weather.gov/radar/images/@@@@@/SI.ktwx/#####.noaa")};
    }
    /// A page's row of location_pages.golden.
    QStringList facts(const QString& fixture) {
        const QString page = locationPageText(fixtureBytes(fixture));
        QString templateURL, cityState, imageURL, forecast;
        qint16 temperature = 0;
        const bool found = parseZipCityStatics(page, templateURL, cityState, config, log);
        parseZipCityDynamics(page, imageURL, forecast, temperature, config, log);
        return {fixture,
                isLocationErrorPage(page) ? "error page" : "",
                found ? "found" : "",
                templateURL,
                cityState,
                imageURL,
                forecast,
                temperature == kNoTemperature ? "none" : QString::number(temperature)};
    }

    LocationPageConfig config;
};

} // namespace

TEST_F(LocationPageTest, RecordedAndMadeUpPages) {
    for (const QStringList& row : goldenRows(QStringLiteral("location_pages.golden"))) {
        EXPECT_EQ(goldenLine(facts(row[0])), goldenLine(row));
    }
    EXPECT_TRUE(
        errorLogged("ERROR :: parseZipCityStatistics :: (5) - Invalid procedure call or argument"))
        << "a relative radar link without an address near it";
    config.templateURL.clear();
    EXPECT_EQ(facts(QStringLiteral("ifps_relative_image.html"))[5],
              QStringLiteral("/forecasts/graphical/images/ifps/skc.png"))
        << "without a stored template a relative image stays relative";
}

TEST(LocationPageChecks, ConditionsCaptions) {
    const QString degree = QString(QChar(176));
    const struct {
        qint16 temperature;
        const char* forecast;
        QString tempCaption, conditions, debugLine;
    } rows[] = {
        {149, "", " 149" + degree, "", ""},
        {-199, "Snow", " -199" + degree, "Snow", ""},
        {150, "Sunny", "", "Sunny", "FORECAST=Sunny"},
        {-200, "", "", "", "FORECAST=NULL"},
        {kNoTemperature, "x", "", "", "FORECAST=NULL"},
    };
    for (const auto& row : rows) {
        const ConditionsCaptions c = conditionsCaptions(row.temperature, row.forecast);
        EXPECT_EQ(c.currentTempF + "|" + c.currentConditions + "|" + c.debugLine,
                  row.tempCaption + "|" + row.conditions + "|" + row.debugLine)
            << row.temperature;
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
    EXPECT_EQ(locationPageText(QByteArray("<a href='#x'>caf\xe9</a>")),
              QString::fromUtf8("<a href=\"#x\">café</a>"));
}
