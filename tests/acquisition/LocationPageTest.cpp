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
    for (const QStringList& row : goldenRows(QStringLiteral("conditions_captions.golden"))) {
        const ConditionsCaptions c = conditionsCaptions(qint16(row[0].toInt()), row[1]);
        EXPECT_TRUE(c.currentTempF.isEmpty() || c.currentTempF.startsWith(u' ')) << "a blank first";
        EXPECT_EQ(goldenLine(
                      {row[0], row[1], c.currentTempF.trimmed(), c.currentConditions, c.debugLine}),
                  goldenLine(row));
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
