#include "bridge/AlertForms.h"
#include "bridge/AlertPoller.h"
#include "support/FolderHandle.h"

#include "RecordedAnswers.h"

#include <QTemporaryDir>

using namespace nimbuscope;
using namespace nimbuscope::test;

namespace {

const QLocale kUnitedStates(QLocale::English, QLocale::UnitedStates);
const QString kAlertsAt = QStringLiteral("http://fake/api/alerts/active?point=39.1031,-94.5785");

} // namespace

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

namespace {

/// Pollers over one cache folder, at a clock and a location the test moves.
struct PollerRig {
    QTemporaryDir dir;
    std::shared_ptr<const FolderHandle> folder = FolderHandle::open(dir.path());
    QDateTime now = utc("2026-12-05T21:00:00Z");
    QString zip = QStringLiteral("64106");
    std::optional<LatLon> place = LatLon{39.1031, -94.5785};
    RecordedTransport net;

    AlertPollerConfig config() {
        AlertPollerConfig c;
        c.apiURL = QStringLiteral("http://fake/api/");
        c.utcNow = [this] { return now; };
        c.zip = [this] { return zip; };
        c.folder = [this] { return folder; };
        c.place = [this] { return place; };
        return c;
    }
};

} // namespace

TEST(AlertPollerTest, TheDownloadingCopyAsksOnceThePlaceIsKnownAndKeepsWhatTheOthersShow) {
    PollerRig rig;
    RecordedTransport silent;
    BridgeAnswer ranked = http(200, today("alerts-point-ranked-cancelled-expired.json"));
    ranked.etag = "\"v1\"";
    rig.net.answers[kAlertsAt] = ranked;
    AlertPoller downloader(rig.net, rig.config());
    AlertPoller follower(silent, rig.config());
    // A place not yet known is looked for every thirty seconds.
    const std::optional<LatLon> place = std::exchange(rig.place, std::nullopt);
    downloader.tick(true);
    rig.now = rig.now.addSecs(AlertPoller::kPlaceRetrySeconds - 1);
    rig.place = place;
    downloader.tick(true);
    EXPECT_TRUE(rig.net.sent.empty());
    rig.now = rig.now.addSecs(1);
    downloader.tick(true);
    follower.tick(false);
    EXPECT_EQ(rig.net.urls(), QStringList({kAlertsAt}));
    EXPECT_EQ(downloader.shown().size(), 6);
    EXPECT_EQ(follower.shown().size(), 6) << "taken up from the cache folder";
    EXPECT_TRUE(silent.sent.empty());

    // While alerts are in effect they are asked again, conditionally.
    rig.now = rig.now.addSecs(120);
    rig.net.answers[kAlertsAt] = http(503, today("problem-alerts-invalid-point.json"));
    downloader.tick(true);
    ASSERT_EQ(rig.net.sent.size(), 2u);
    EXPECT_TRUE(rig.net.sent[1].headers.contains(
        std::pair<QByteArray, QByteArray>("If-None-Match", "\"v1\"")));
    EXPECT_EQ(downloader.shown().size(), 6) << "a failed request keeps what is known";

    // Each ends on the clock, with or without an answer.
    rig.now = utc("2026-12-05T21:45:00Z");
    EXPECT_EQ(downloader.shown().size(), 3);
    EXPECT_EQ(follower.shown().size(), 3);
    rig.zip = QStringLiteral("80301");
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
