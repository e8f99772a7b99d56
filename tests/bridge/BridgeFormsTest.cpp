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

TEST_F(LegacyPageTest, TheRebuiltLocationPageReadsBackThroughTheSaversOwnParserWithoutMarkup) {
    LegacyLocationFacts facts;
    facts.radarPageURL = legacyRadarPageURL(QStringLiteral("radar.weather.gov"), "KEAX");
    facts.cityState = QStringLiteral("Coeur d'Alene, ID");
    facts.conditionsImageURL =
        legacyConditionsImageURL(QStringLiteral("forecast.weather.gov"), "scattered");
    facts.forecast = QStringLiteral("Light Snow <b>& \"Fog\"</b>");
    facts.temperatureF = -4;
    const BridgeResult page = BridgeResult::answered(legacyLocationPage(facts));
    EXPECT_FALSE(isLocationErrorPage(locationPageText(page.body)));
    EXPECT_FALSE(isNoRadarPage(locationPageText(page.body)));
    const Shown shown = read(page);
    EXPECT_EQ(shown.templateURL, "http://radar.weather.gov/radar/images/@@@@@/SI.keax/#####.noaa");
    EXPECT_EQ(shown.cityState, QString::fromUtf8("Coeur d’Alene, ID"));
    EXPECT_EQ(shown.imageURL, "http://forecast.weather.gov/bridge/conditions/scattered.jpg");
    EXPECT_EQ(shown.forecast, QString::fromUtf8("Light Snow b& ”Fog”/b"));
    EXPECT_EQ(shown.temperature, -4);
    EXPECT_EQ(classify(shown.imageURL).conditionClass, "scattered");
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
