#include "bridge/CurrentForms.h"
#include "bridge/MapServerForms.h"

#include "RecordedAnswers.h"

using namespace nimbuscope;
using namespace nimbuscope::test;

namespace {

std::optional<double> numberOrNone(const QString& field) {
    return field.isEmpty() ? std::nullopt : std::optional(field.toDouble());
}

} // namespace

TEST(CurrentFormsTest, RecordedAnswersReadAsTheGoldenTablesSay) {
    for (const QStringList& row : goldenRows("points.tsv")) {
        SCOPED_TRACE(row.join(u' ').toStdString());
        const auto point = parsePoints(today(row[0]));
        ASSERT_EQ(point.has_value(), row[1] != QLatin1String("refused"));
        if (point) {
            EXPECT_EQ(point->radarStation, row[1]);
            EXPECT_EQ(point->cityState(), row[2]);
            EXPECT_EQ(point->observationStations, row[3]);
        }
    }
    for (const QStringList& row : goldenRows("observations.tsv")) {
        SCOPED_TRACE(row.join(u' ').toStdString());
        const auto obs = parseObservation(today(row[0]));
        ASSERT_TRUE(obs);
        EXPECT_EQ(isCurrentObservation(*obs, utc(row[1])), row[2] == QLatin1String("current"));
        const auto shown = numberOrNone(row[3]);
        EXPECT_EQ(obs->temperatureF ? std::optional(double(wholeDegrees(*obs->temperatureF)))
                                    : std::nullopt,
                  shown);
        EXPECT_EQ(conditionClass(obs->text, obs->icon), row[4]);
    }
    for (const QStringList& row : goldenRows("layers.tsv")) {
        SCOPED_TRACE(row.join(u' ').toStdString());
        const auto layer = findReflectivityLayer(today(row[0]), row[1]);
        ASSERT_EQ(layer.has_value(), !row[2].isEmpty());
        if (layer) {
            EXPECT_EQ(layer->name, row[2]);
            ASSERT_EQ(layer->times.size(), row[3].toInt());
            EXPECT_EQ(layer->times.front(), row[4]);
            EXPECT_EQ(layer->times.back(), row[5]);
        }
    }
    // A radar station no site could be named is no answer to build addresses from.
    EXPECT_FALSE(parsePoints(R"({"properties":{"radarStation":"../x"}})"));
    EXPECT_FALSE(parseObservation(today("forbidden-without-user-agent.html")));
    const auto text = parseObservation(
        R"({"properties":{"temperature":{"unitCode":"wmoUnit:degC","value":"22.8"}}})");
    ASSERT_TRUE(text);
    EXPECT_FALSE(text->temperatureF) << "a value that is not a number is no temperature";
    const QStringList stations = parseStationList(today("stations-sew-96,55-shelton-wa.json"));
    EXPECT_EQ(stations.size(), 34);
    EXPECT_EQ(stations.mid(0, 3), QStringList({"KSHN", "KOLM", "KTIW"}));
    EXPECT_EQ(parseStationList(today("stations-urls-only.json")), QStringList({"KTOP", "KFOE"}));
    EXPECT_TRUE(parseStationList(today("forbidden-without-user-agent.html")).isEmpty());
}

TEST(CurrentFormsTest, UnitsConditionsAndTimesFollowTheirGoldenTables) {
    for (const QStringList& row : goldenRows("temperatures.tsv")) {
        SCOPED_TRACE(row.join(u' ').toStdString());
        const auto got = fahrenheitOf(row[0], numberOrNone(row[1]));
        ASSERT_EQ(got.has_value(), !row[2].isEmpty());
        if (got) {
            EXPECT_NEAR(*got, row[2].toDouble(), 0.01);
        }
    }
    for (const QStringList& row : goldenRows("conditions.tsv")) {
        EXPECT_EQ(conditionClass(row[0], row[1]), row[2]) << row.join(u' ').toStdString();
        EXPECT_TRUE(isConditionClass(row[2]));
    }
    EXPECT_FALSE(isConditionClass(QStringLiteral("../../etc")));
    for (const QStringList& row : goldenRows("time-dimensions.tsv")) {
        EXPECT_EQ(expandTimeDimension(row[0], row[1].toInt()),
                  row[2].split(u',', Qt::SkipEmptyParts))
            << row[0].toStdString();
    }
}

TEST(CurrentFormsTest, AddressesUseThePointsCanonicalFormAndTheConfiguredBases) {
    for (const QStringList& row : goldenRows("point-addresses.tsv")) {
        EXPECT_EQ(pointsURL("http://a/api/", row[0].toDouble(), row[1].toDouble()), row[2]);
    }
    const QList<BaseMapping> bases = {
        {QStringLiteral("https://api.weather.gov/"), QStringLiteral("http://127.0.0.1:9/api/")},
        {QStringLiteral("https://forecast.weather.gov/zipcity.php"),
         QStringLiteral("http://127.0.0.1:9/zipcity.php")}};
    for (const QStringList& row : goldenRows("rebased-links.tsv")) {
        EXPECT_EQ(rebasedURL(row[0], bases), row[1]) << row[0].toStdString();
    }
    // A frame answer is a GIF only when it says so and starts like one.
    EXPECT_TRUE(isGifAnswer("Image/GIF; charset=binary", "GIF87a..."));
    EXPECT_FALSE(isGifAnswer("image/gif", today("service-exception-bad-parameter.xml")));
    EXPECT_FALSE(isGifAnswer("application/vnd.ogc.se_xml", "GIF89a"));
}
