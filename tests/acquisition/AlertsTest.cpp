#include "acquisition/AlertForms.h"

#include "RecordedAnswers.h"

using namespace nimbuscope;
using namespace nimbuscope::test;

namespace {

QDateTime utc(const char* iso) {
    return QDateTime::fromString(QLatin1String(iso), Qt::ISODate);
}

constexpr qint64 kCentral = -6 * 3600;
constexpr qint64 kPacific = -8 * 3600;

} // namespace

TEST(AlertFormsTest, AnswersGiveTheAlertsInEffectMostSevereFirst) {
    struct Row {
        const char* file;
        const char* now;
        std::optional<int> listed; // features read; none: not an alerts answer
        QStringList shown;         // events in effect, in the order shown
    };
    const QString kTornado = QStringLiteral("Tornado Warning");
    const QString kWind = QStringLiteral("Wind Advisory");
    const QString kStatement = QStringLiteral("Special Weather Statement");
    const QString kAir = QStringLiteral("Air Quality Alert");
    const Row rows[] = {
        // Recorded: an update whose `ends` outlasts its `expires`.
        {"alerts-zone-orz004-flood-watch.json", "2019-12-20T21:33:59Z", 1, {}},
        {"alerts-zone-orz004-flood-watch.json", "2019-12-20T21:34:00Z", 1, {"Flood Watch"}},
        {"alerts-zone-orz004-flood-watch.json", "2019-12-21T14:00:00Z", 1, {"Flood Watch"}},
        {"alerts-zone-orz004-flood-watch.json", "2019-12-22T18:00:00Z", 1, {}},
        // Severity, then urgency, then the soonest end; a cancelled watch, the watch it
        // cancels, an expired, a future and a test message are not shown.
        {"alerts-point-ranked-cancelled-expired.json",
         "2026-12-05T21:00:00Z",
         11,
         {kTornado, "Flash Flood Warning", "Severe Thunderstorm Warning", kWind, kStatement, kAir}},
        // Without `ends` the alert ends at `expires`.
        {"alerts-point-ranked-cancelled-expired.json",
         "2026-12-05T21:30:00Z",
         11,
         {kTornado, kWind, kStatement, kAir}},
        {"alerts-point-ranked-cancelled-expired.json", "2026-12-05T21:45:00Z", 11,
         {kWind, kStatement, kAir}},
        {"alerts-point-empty.json", "2026-12-05T21:00:00Z", 0, {}},
        {"problem-alerts-invalid-point.json", "2026-12-05T21:00:00Z", std::nullopt, {}},
        {"forbidden-without-user-agent.html", "2026-12-05T21:00:00Z", std::nullopt, {}},
    };
    for (const Row& row : rows) {
        const auto alerts = parseActiveAlerts(today(row.file));
        ASSERT_EQ(alerts.has_value(), row.listed.has_value()) << row.file;
        if (!alerts) {
            continue;
        }
        EXPECT_EQ(alerts->size(), *row.listed) << row.file;
        QStringList shown;
        for (const WeatherAlert& a : alertsInEffect(*alerts, utc(row.now))) {
            shown << a.event;
        }
        EXPECT_EQ(shown, row.shown) << row.file << " at " << row.now;
    }
}

TEST(AlertFormsTest, BannerTextsOnTheLocalClock) {
    const auto recorded = parseActiveAlerts(today("alerts-zone-orz004-flood-watch.json"));
    const auto sample = parseActiveAlerts(today("alerts-point-ranked-cancelled-expired.json"));
    ASSERT_TRUE(recorded && sample);
    const QDateTime kansasNow = utc("2026-12-05T21:00:00Z");
    const QList<WeatherAlert> shown = alertsInEffect(*sample, kansasNow);
    ASSERT_EQ(shown.size(), 6);
    // Ends on another local day name it.
    EXPECT_EQ(alertHeadline(recorded->first(), utc("2019-12-20T22:00:00Z"), kPacific),
              "FLOOD WATCH until Sun 10:00 AM");
    EXPECT_EQ(alertHeadline(shown[0], kansasNow, kCentral), "TORNADO WARNING until 3:45 PM");
    EXPECT_EQ(alertHeadline(shown[3], kansasNow, kCentral), "WIND ADVISORY until Sun 12:00 AM");
    EXPECT_EQ(firstSentence(shown[0].instruction), "TAKE COVER NOW!");
    EXPECT_EQ(firstSentence(shown[2].instruction),
              "For your protection move to an interior room on the lowest floor of a building.");
    EXPECT_EQ(firstSentence(QStringLiteral("Call 5 1 1 or see https://tripcheck.com for roads")),
              "Call 5 1 1 or see https://tripcheck.com for roads");
    EXPECT_TRUE(anySevere(shown));
    EXPECT_FALSE(anySevere(shown.mid(3)));
    EXPECT_EQ(activeAlertsURL(QStringLiteral("http://fake/api/"), {39.10310, -94.5785}),
              "http://fake/api/alerts/active?point=39.1031,-94.5785");
}
