#include "bridge/LegacyForms.h"

#include "RecordedAnswers.h"

#include <QImage>

using namespace nimbuscope;
using namespace nimbuscope::test;

namespace {

const QStringList kNoaaHosts = {QStringLiteral("forecast.weather.gov"),
                                QStringLiteral("radar.weather.gov"),
                                QStringLiteral("radar2.weather.gov")};

LegacyRequest classify(const QString& address) {
    return classifyLegacyRequest(address, kNoaaHosts);
}

} // namespace

TEST(LegacyRequestTest, OnlyRetiredFormsOnNoaasOwnHostsAreBridgedAndRedirectsGiveThePlace) {
    using enum LegacyForm;
    const std::map<QString, LegacyForm> forms = {
        {"", None},          {"search", LocationSearch}, {"page", LocationPage},
        {"list", FrameList}, {"frame", Frame},           {"conditions", ConditionsImage}};
    for (const QStringList& row : goldenRows("legacy-requests.tsv")) {
        EXPECT_EQ(classify(row[0]).form, forms.at(row.value(1))) << row[0].toStdString();
    }
    const LegacyRequest frame = classify(
        "http://radar.weather.gov/radar/images/DS.p20-r/SI.keax/SI.KEAX.dd.20261206.2244.gif");
    EXPECT_EQ(frame.product, "DS.p20-r");
    EXPECT_EQ(frame.site, "KEAX");
    EXPECT_EQ(frame.frameName, "SI.KEAX.dd.20261206.2244");

    for (const QStringList& row : goldenRows("redirect-locations.tsv")) {
        SCOPED_TRACE(row[0].toStdString());
        const auto got = latLonFromAddress(row[0]);
        ASSERT_EQ(got.has_value(), row.size() == 3);
        if (got) {
            EXPECT_DOUBLE_EQ(got->lat, row[1].toDouble());
            EXPECT_DOUBLE_EQ(got->lon, row[2].toDouble());
        }
    }
}

using LegacyPageTest = RecordedPlaceTest;

TEST_F(LegacyPageTest, TheRebuiltLocationPageReadsBackThroughTheSaversOwnParser) {
    const struct {
        std::optional<int> temperatureF;
        const char* forecast;
        qint16 shownTemperature;
        bool noRadar;
    } rows[] = {{46, "Partly Cloudy", 46, false},
                {-4, "Light Snow <& \"Fog\">", -4, false},
                {std::nullopt, "Fog/Mist", kNoTemperature, true}};
    for (const auto& row : rows) {
        SCOPED_TRACE(row.forecast);
        const QString site = row.noRadar ? QString(kNoRadarSite) : QStringLiteral("KEAX");
        LegacyLocationFacts facts;
        facts.noRadar = row.noRadar;
        facts.radarPageURL = legacyRadarPageURL(QStringLiteral("radar.weather.gov"), site);
        facts.cityState = QStringLiteral("Coeur d'Alene, ID");
        facts.conditionsImageURL =
            legacyConditionsImageURL(QStringLiteral("forecast.weather.gov"), "scattered");
        facts.forecast = QLatin1String(row.forecast);
        facts.temperatureF = row.temperatureF;
        const BridgeResult page = BridgeResult::answered(legacyLocationPage(facts));
        const Shown shown = read(page);
        EXPECT_FALSE(isLocationErrorPage(locationPageText(page.body)));
        EXPECT_EQ(isNoRadarPage(locationPageText(page.body)), row.noRadar);
        EXPECT_EQ(shown.templateURL, "http://radar.weather.gov/radar/images/@@@@@/SI." +
                                         site.toLower() + "/#####.noaa");
        EXPECT_EQ(shown.cityState, QString::fromUtf8("Coeur d’Alene, ID"));
        EXPECT_EQ(shown.imageURL, "http://forecast.weather.gov/bridge/conditions/scattered.jpg");
        EXPECT_EQ(
            shown.forecast,
            QString::fromUtf8(row.forecast).replace(u'"', QChar(0x201D)).remove(u'<').remove(u'>'));
        EXPECT_EQ(shown.temperature, row.shownTemperature);
        EXPECT_EQ(classify(shown.imageURL).conditionClass, "scattered");
    }
}

TEST(LegacyFramesTest, SmallGifsArePaddedPastTheUnavailableSizeAndStillDecode) {
    const QByteArray pixel = QByteArray::fromHex(
        "474946383961010001008000000000ffffffff21f90401000000002c00000000010001000002024401003b");
    const QByteArray padded = padGif(pixel);
    EXPECT_GE(padded.size(), kLegacyMinFrameBytes);
    EXPECT_LE(padded.size(), kLegacyMinFrameBytes + 1);
    const QImage image = QImage::fromData(padded, "GIF");
    ASSERT_FALSE(image.isNull());
    EXPECT_EQ(image.pixel(0, 0), QImage::fromData(pixel, "GIF").pixel(0, 0));
    // Big enough already, or not a whole GIF: left as it is.
    EXPECT_EQ(padGif(pixel, 10), pixel);
    EXPECT_EQ(padGif("GIF89a cut short"), "GIF89a cut short");
}
