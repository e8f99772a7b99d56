#include "bridge/AlertForms.h"
#include "bridge/AlertPoller.h"
#include "support/FolderHandle.h"

#include "RecordedAnswers.h"

#include <QTemporaryDir>

using namespace nimbuscope;
using namespace nimbuscope::test;

const QLocale kUnitedStates(QLocale::English, QLocale::UnitedStates);
const QString kAlertsAt = QStringLiteral("http://fake/api/alerts/active?point=39.1031,-94.5785");

TEST(AlertFormsTest, AnswersGiveTheAlertsInEffectMostSevereFirstOnTheLocalClock) {
    for (const QStringList& row : goldenRows("alerts.tsv")) {
        SCOPED_TRACE(row.join(u' ').toStdString());
        const auto alerts = parseActiveAlerts(today(row[0]));
        ASSERT_EQ(alerts.has_value(), row[2] != QLatin1String("refused"));
        if (alerts) {
            EXPECT_EQ(alerts->size(), row[2].toInt());
            QStringList shown;
            for (const WeatherAlert& a : alertsInEffect(*alerts, utc(row[1]))) {
                shown << alertHeadline(a, utc(row[1]), row[3].toInt() * 3600, kUnitedStates);
            }
            EXPECT_EQ(shown, row.mid(4));
        }
    }
    const auto ranked = parseActiveAlerts(today("alerts-point-ranked-cancelled-expired.json"));
    ASSERT_TRUE(ranked);
    const QList<WeatherAlert> shown = alertsInEffect(*ranked, utc("2026-12-05T21:00:00Z"));
    ASSERT_EQ(shown.size(), 6);
    EXPECT_EQ(
        alertHeadline(shown[3], utc("2026-12-05T21:00:00Z"), -6 * 3600, QLocale(QLocale::German)),
        "WIND ADVISORY until So. 00:00");
    EXPECT_EQ(firstSentence(shown[0].instruction), "TAKE COVER NOW!");
    EXPECT_EQ(firstSentence(QStringLiteral("Call 5 1 1 or see https://tripcheck.com for roads")),
              "Call 5 1 1 or see https://tripcheck.com for roads");
    EXPECT_TRUE(anySevere(shown));
    EXPECT_FALSE(anySevere(shown.mid(3)));
}

TEST(AlertPollerTest, TheDownloadingCopyAsksOnceThePlaceIsKnownAndKeepsWhatTheOthersShow) {
    // Pollers over one cache folder, at a clock and a location the test moves.
    QTemporaryDir dir;
    const std::shared_ptr<const FolderHandle> folder = FolderHandle::open(dir.path());
    QDateTime now = utc("2026-12-05T21:00:00Z");
    QString zip = QStringLiteral("64106");
    std::optional<LatLon> place;
    AlertPollerConfig config;
    config.apiURL = QStringLiteral("http://fake/api/");
    config.utcNow = [&] { return now; };
    config.zip = [&] { return zip; };
    config.folder = [&] { return folder; };
    config.place = [&] { return place; };
    RecordedTransport net, silent;
    BridgeAnswer ranked = http(200, today("alerts-point-ranked-cancelled-expired.json"));
    ranked.etag = "\"v1\"";
    net.answers[kAlertsAt] = ranked;
    AlertPoller downloader(net, config);
    AlertPoller follower(silent, config);
    // A place not yet known is looked for every thirty seconds.
    downloader.tick(true);
    now = now.addSecs(AlertPoller::kPlaceRetrySeconds - 1);
    place = LatLon{39.1031, -94.5785};
    downloader.tick(true);
    EXPECT_TRUE(net.sent.empty());
    now = now.addSecs(1);
    downloader.tick(true);
    follower.tick(false);
    EXPECT_EQ(net.urls(), QStringList({kAlertsAt}));
    EXPECT_EQ(downloader.shown().size(), 6);
    EXPECT_EQ(follower.shown().size(), 6) << "taken up from the cache folder";
    EXPECT_TRUE(silent.sent.empty());

    // While alerts are in effect they are asked again every two minutes, conditionally.
    now = now.addSecs(119);
    downloader.tick(true);
    EXPECT_EQ(net.sent.size(), 1u) << "asked again too soon";
    now = now.addSecs(1);
    net.answers[kAlertsAt] = http(503, today("problem-alerts-invalid-point.json"));
    downloader.tick(true);
    ASSERT_EQ(net.sent.size(), 2u);
    EXPECT_TRUE(
        net.sent[1].headers.contains(std::pair<QByteArray, QByteArray>("If-None-Match", "\"v1\"")));
    EXPECT_EQ(downloader.shown().size(), 6) << "a failed request keeps what is known";

    // Each ends on the clock, with or without an answer.
    now = utc("2026-12-05T21:45:00Z");
    EXPECT_EQ(downloader.shown().size(), 3);
    EXPECT_EQ(follower.shown().size(), 3);
    zip = QStringLiteral("80301");
    EXPECT_TRUE(follower.shown().isEmpty()) << "alerts of a location left are not shown";
    EXPECT_FALSE(parseKeptAlerts("nimbuscope-alerts 1\t../x\n{}"));
}

TEST(AlertPollerTest, AlertsAreAskedForTheStoredPageThenTheKeptSearchThenTheKeptRadar) {
    KeptPlaces places;
    places.searches[QStringLiteral("64106")] = KeptSearch{{39.1031, -94.5785}, {}};
    places.places[QStringLiteral("38.8860,-77.0940")].point.radarStation = QStringLiteral("KLWX");
    for (const QStringList& row : goldenRows("alert-places.tsv")) {
        SCOPED_TRACE(row.join(u' ').toStdString());
        const auto where = alertPlaceOf(row[0], row[1], row[2], places);
        ASSERT_EQ(where.has_value(), !row[3].isEmpty());
        if (where) {
            EXPECT_DOUBLE_EQ(where->lat, row[3].toDouble());
        }
    }
}
