#include "acquisition/FrameList.h"
#include "acquisition/LocationPage.h"
#include "bridge/BridgeTransport.h"
#include "bridge/LegacyForms.h"

#include "RecordedAnswers.h"

#include <QImage>

#include <array>
#include <cmath>

using namespace nimbuscope;
using namespace nimbuscope::test;

namespace {

const QStringList kNoaaHosts = {QStringLiteral("forecast.weather.gov"),
                                QStringLiteral("radar.weather.gov"),
                                QStringLiteral("radar2.weather.gov")};

QDateTime utc(const char* iso) {
    return QDateTime::fromString(QLatin1String(iso), Qt::ISODate);
}

} // namespace

TEST(LegacyRequestTest, OnlyRetiredFormsOnNoaasOwnHostsAreBridged) {
    using enum LegacyForm;
    struct Row {
        const char* address;
        LegacyForm form;
    };
    const Row rows[] = {
        {"http://forecast.weather.gov/zipcity.php?inputstring=64106", LocationSearch},
        {"https://forecast.weather.gov/zipcity.php?inputstring=Kansas%20City", LocationSearch},
        {"http://forecast.weather.gov/MapClick.php?lat=39.0997&lon=-94.5786", LocationPage},
        {"http://forecast.weather.gov/MapClick.php?textField1=39.1&textField2=-94.6", LocationPage},
        {"http://forecast.weather.gov/MapClick.php?zip=64106", None},
        {"http://radar.weather.gov/radar/loopdata/DS.p19r0/keax.txt", FrameList},
        {"http://radar.weather.gov/radar/loopdata/DS.p20-r/keax.txt", FrameList},
        {"http://radar.weather.gov/radar/loopdata/DS.p99/keax.txt", None},
        {"http://radar2.weather.gov/radar/images/DS.p19r0/SI.KEAX/SI.KEAX.dd.20261206.2244.gif",
         Frame},
        {"http://forecast.weather.gov/bridge/conditions/sct.jpg", ConditionsImage},
        // The old-form server in tests, and any other host, is fetched as it stands.
        {"http://127.0.0.1:8080/zipcity.php?inputstring=64106", None},
        {"http://radar.weather.gov.example.org/radar/loopdata/DS.p19r0/keax.txt", None},
        {"ftp://radar.weather.gov/radar/loopdata/DS.p19r0/keax.txt", None},
        {"http://radar.weather.gov/radar/latest/DS.p19r0/si.keax.shtml", None},
    };
    for (const Row& row : rows) {
        EXPECT_EQ(classifyLegacyRequest(QLatin1String(row.address), kNoaaHosts).form, row.form)
            << row.address;
    }
    const LegacyRequest frame = classifyLegacyRequest(
        QStringLiteral("http://radar.weather.gov/radar/images/DS.p20-r/SI.keax/"
                       "SI.KEAX.dd.20261206.2244.gif"),
        kNoaaHosts);
    EXPECT_EQ(frame.product, "DS.p20-r");
    EXPECT_EQ(frame.site, "KEAX");
    EXPECT_EQ(frame.frameName, "SI.KEAX.dd.20261206.2244");
}

TEST(LegacyRequestTest, RedirectLocationFormsGiveTheCoordinates) {
    struct Row {
        const char* location;
        std::optional<std::pair<double, double>> expected;
    };
    const Row rows[] = {
        {"https://forecast.weather.gov/MapClick.php?lat=39.0997&lon=-94.5786",
         std::pair{39.0997, -94.5786}},
        {"//forecast.weather.gov/MapClick.php?CityName=Topeka&state=KS&site=TOP&textField1=39.0483"
         "&textField2=-95.678",
         std::pair{39.0483, -95.678}},
        {"MapClick.php?lon=-94.5786&lat=39.0997", std::pair{39.0997, -94.5786}},
        {"https://forecast.weather.gov/MapClick.php?lat=139&lon=-94", std::nullopt},
        {"https://www.weather.gov/", std::nullopt},
        {"https://forecast.weather.gov/zipcity.php?inputstring=00000", std::nullopt},
    };
    for (const Row& row : rows) {
        const auto got = latLonFromAddress(QLatin1String(row.location));
        ASSERT_EQ(got.has_value(), row.expected.has_value()) << row.location;
        if (got) {
            EXPECT_DOUBLE_EQ(got->lat, row.expected->first) << row.location;
            EXPECT_DOUBLE_EQ(got->lon, row.expected->second) << row.location;
        }
    }
}

class LegacyPageTest : public ParserTest {};

TEST_F(LegacyPageTest, TheRebuiltLocationPageReadsBackThroughTheSaversOwnParsers) {
    struct Row {
        std::optional<int> temperatureF;
        const char* forecast;
        qint16 shownTemperature;
        bool noRadar;
    };
    for (const Row& row :
         {Row{46, "Partly Cloudy", 46, false}, Row{-4, "Light Snow <& \"Fog\">", -4, false},
          Row{std::nullopt, "Fog/Mist", kNoTemperature, true}}) {
        const QString site = row.noRadar ? QString(kNoRadarSite) : QStringLiteral("KEAX");
        LegacyLocationFacts facts;
        facts.noRadar = row.noRadar;
        facts.radarPageURL = legacyRadarPageURL(QStringLiteral("radar.weather.gov"), site);
        facts.cityState = QStringLiteral("Coeur d'Alene, ID");
        facts.conditionsImageURL =
            legacyConditionsImageURL(QStringLiteral("forecast.weather.gov"), "scattered");
        facts.forecast = QLatin1String(row.forecast);
        facts.temperatureF = row.temperatureF;
        const QString page = locationPageText(legacyLocationPage(facts));
        const LocationPageConfig config{QStringLiteral("radar.weather.gov"), {}, {}};

        QString templateURL, cityState, imageURL, forecast;
        qint16 temperature = 0;
        ASSERT_TRUE(parseZipCityStatics(page, templateURL, cityState, config, log));
        ASSERT_TRUE(parseZipCityDynamics(page, imageURL, forecast, temperature, config, log));
        EXPECT_FALSE(isLocationErrorPage(page));
        EXPECT_EQ(isNoRadarPage(page), row.noRadar);
        EXPECT_EQ(templateURL, "http://radar.weather.gov/radar/images/@@@@@/SI." + site.toLower() +
                                   "/#####.noaa");
        EXPECT_EQ(cityState, QString::fromUtf8("Coeur d’Alene, ID"));
        EXPECT_EQ(imageURL, "http://forecast.weather.gov/bridge/conditions/scattered.jpg");
        EXPECT_EQ(
            forecast,
            QString::fromUtf8(row.forecast).replace(u'"', QChar(0x201D)).remove(u'<').remove(u'>'));
        EXPECT_EQ(temperature, row.shownTemperature);
        EXPECT_EQ(classifyLegacyRequest(imageURL, kNoaaHosts).conditionClass, "scattered");
    }
}

TEST_F(LegacyPageTest, TheListReadsBackAsFramesWithTheirMinuteAndAddressesTheBridgeKnows) {
    const QString templateURL =
        QStringLiteral("http://radar.weather.gov/radar/images/@@@@@/SI.keax/#####.noaa");
    const QStringList names = {legacyFrameName("keax", utc("2026-12-06T23:59:44Z")),
                               legacyFrameName("KEAX", utc("2026-12-07T00:04:02Z"))};
    EXPECT_EQ(names[0], "SI.KEAX.dd.20261206.2359");
    const QString list =
        normaliseRadarList(QString::fromLatin1(legacyFrameListText("DS.p19r0", "keax", names)),
                           templateURL, QStringLiteral("http://radar.weather.gov/"));
    const QStringList lines = list.split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    ASSERT_EQ(lines.size(), 2);
    EXPECT_EQ(lines[1], "http://radar.weather.gov/radar/images/DS.p19r0/SI.KEAX/"
                        "SI.KEAX.dd.20261207.0004.noaa");
    EXPECT_EQ(filenameToDate(frameNameOf(lines[1]), clock, log),
              DateTime::fromParts(2026, 12, 7, 0, 4));
    QString frameAddress = lines[1];
    frameAddress.replace(QStringLiteral(".noaa"), QStringLiteral(".gif"));
    const LegacyRequest asked = classifyLegacyRequest(frameAddress, kNoaaHosts);
    EXPECT_EQ(asked.form, LegacyForm::Frame);
    EXPECT_EQ(asked.frameName, names[1]);
}

TEST(LegacyFramesTest, SmallGifsArePaddedPastTheUnavailableSizeAndStillDecode) {
    const QByteArray pixel = QByteArray::fromHex(
        "474946383961010001008000000000ffffffff21f90401000000002c00000000010001000002024401003b");
    const QByteArray padded = padGif(pixel);
    EXPECT_GE(padded.size(), kLegacyMinFrameBytes);
    EXPECT_LE(padded.size(), kLegacyMinFrameBytes + 1);
    EXPECT_TRUE(padded.endsWith(';'));
    const QImage image = QImage::fromData(padded, "GIF");
    ASSERT_FALSE(image.isNull());
    EXPECT_EQ(image.pixel(0, 0), QImage::fromData(pixel, "GIF").pixel(0, 0));
    // Big enough already, or not a whole GIF: left as it is.
    EXPECT_EQ(padGif(pixel, 10), pixel);
    EXPECT_EQ(padGif("GIF89a cut short"), "GIF89a cut short");
}
