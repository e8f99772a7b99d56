#include "bridge/AlertForms.h"
#include "bridge/AlertPoller.h"
#include "support/FolderHandle.h"

#include "RecordedAnswers.h"

#include <QTemporaryDir>

using namespace nimbuscope;
using namespace nimbuscope::test;

namespace {

QDateTime utc(const char* iso) {
    return QDateTime::fromString(QLatin1String(iso), Qt::ISODate);
}

constexpr qint64 kCentral = -6 * 3600;
constexpr qint64 kPacific = -8 * 3600;
const QLocale kUnitedStates(QLocale::English, QLocale::UnitedStates);

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
        {"alerts-point-ranked-cancelled-expired.json",
         "2026-12-05T21:45:00Z",
         11,
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
    EXPECT_EQ(
        alertHeadline(recorded->first(), utc("2019-12-20T22:00:00Z"), kPacific, kUnitedStates),
        "FLOOD WATCH until Sun 10:00 AM");
    EXPECT_EQ(alertHeadline(shown[0], kansasNow, kCentral, kUnitedStates),
              "TORNADO WARNING until 3:45 PM");
    EXPECT_EQ(alertHeadline(shown[3], kansasNow, kCentral, kUnitedStates),
              "WIND ADVISORY until Sun 12:00 AM");
    EXPECT_EQ(alertHeadline(shown[3], kansasNow, kCentral, QLocale(QLocale::German)),
              "WIND ADVISORY until So. 00:00");
    EXPECT_EQ(firstSentence(shown[0].instruction), "TAKE COVER NOW!");
    EXPECT_EQ(firstSentence(QStringLiteral("Call 5 1 1 or see https://tripcheck.com for roads")),
              "Call 5 1 1 or see https://tripcheck.com for roads");
    EXPECT_TRUE(anySevere(shown));
    EXPECT_FALSE(anySevere(shown.mid(3)));
    EXPECT_EQ(activeAlertsURL(QStringLiteral("http://fake/api/"), {39.10310, -94.5785}),
              "http://fake/api/alerts/active?point=39.1031,-94.5785");
}

namespace {

const QString kAlertsAt = QStringLiteral("http://fake/api/alerts/active?point=39.1031,-94.5785");

/// Pollers over one cache folder, at a clock and a location the test moves.
struct PollerRig {
    QTemporaryDir dir;
    std::shared_ptr<const FolderHandle> folder = FolderHandle::open(dir.path());
    QDateTime now = utc("2026-12-05T21:00:00Z");
    QString zip = QStringLiteral("64106");

    AlertPollerConfig config() {
        AlertPollerConfig c;
        c.apiURL = QStringLiteral("http://fake/api/");
        c.utcNow = [this] { return now; };
        c.zip = [this] { return zip; };
        c.folder = [this] { return folder; };
        c.place = [] { return std::optional<LatLon>(LatLon{39.1031, -94.5785}); };
        return c;
    }
};

} // namespace

TEST(AlertPollerTest, TheDownloadingCopyAsksAndKeepsWhatTheOthersShow) {
    PollerRig rig;
    RecordedTransport net, silent;
    BridgeAnswer ranked = http(200, today("alerts-point-ranked-cancelled-expired.json"));
    ranked.etag = "\"v1\"";
    net.answers[kAlertsAt] = ranked;
    AlertPoller downloader(net, rig.config());
    AlertPoller follower(silent, rig.config());
    downloader.tick(true);
    follower.tick(false);
    ASSERT_EQ(net.sent.size(), 1u);
    EXPECT_EQ(downloader.shown().size(), 6);
    EXPECT_EQ(follower.shown().size(), 6) << "taken up from the cache folder";
    EXPECT_TRUE(silent.sent.empty());

    // While alerts are in effect they are asked again every two minutes, conditionally.
    rig.now = rig.now.addSecs(119);
    downloader.tick(true);
    EXPECT_EQ(net.sent.size(), 1u);
    rig.now = rig.now.addSecs(1);
    net.answers[kAlertsAt] = http(503, today("problem-alerts-invalid-point.json"));
    downloader.tick(true);
    ASSERT_EQ(net.sent.size(), 2u);
    EXPECT_TRUE(
        net.sent[1].headers.contains(std::pair<QByteArray, QByteArray>("If-None-Match", "\"v1\"")));
    EXPECT_EQ(downloader.shown().size(), 6) << "a failed request keeps what is known";

    // Each ends on the clock, with or without an answer.
    rig.now = utc("2026-12-05T21:45:00Z");
    EXPECT_EQ(downloader.shown().size(), 3);
    EXPECT_EQ(follower.shown().size(), 3);
    rig.zip = QStringLiteral("80301");
    EXPECT_TRUE(follower.shown().isEmpty()) << "alerts of a location left are not shown";
}

TEST(AlertPollerTest, WithoutAlertsOnlyAPassAsksAndAnUnknownPlaceIsLookedForAgain) {
    PollerRig rig;
    RecordedTransport net;
    net.answers[kAlertsAt] = http(200, today("alerts-point-empty.json"));
    std::optional<LatLon> place;
    AlertPollerConfig config = rig.config();
    config.place = [&place] { return place; };
    AlertPoller poller(net, config);
    poller.tick(true);
    rig.now = rig.now.addSecs(AlertPoller::kPlaceRetrySeconds - 1);
    place = LatLon{39.1031, -94.5785};
    poller.tick(true);
    EXPECT_TRUE(net.sent.empty()) << "a place not known is looked for every 30 s only";
    rig.now = rig.now.addSecs(1);
    poller.tick(true);
    ASSERT_EQ(net.sent.size(), 1u);
    rig.now = rig.now.addSecs(3600);
    poller.tick(true);
    EXPECT_EQ(net.sent.size(), 1u);
    poller.passStarted();
    poller.tick(true);
    EXPECT_EQ(net.sent.size(), 2u);
    EXPECT_EQ(net.sent[1].url, kAlertsAt);
}

TEST(AlertPollerTest, TheKeptFileAndThePlaceOfTheAlerts) {
    const KeptAlerts kept{QStringLiteral("64106"), QByteArray("{\"features\":[]}\n\tx")};
    const auto back = parseKeptAlerts(formatKeptAlerts(kept));
    ASSERT_TRUE(back);
    EXPECT_EQ(back->zip, kept.zip);
    EXPECT_EQ(back->answer, kept.answer);
    EXPECT_FALSE(parseKeptAlerts("nimbuscope-alerts 1\t../x\n{}"));
    EXPECT_FALSE(parseKeptAlerts("{\"features\":[]}"));

    KeptPlaces places;
    places.searches[QStringLiteral("64106")] = KeptSearch{{39.1031, -94.5785}, {}};
    places.places[QStringLiteral("38.8860,-77.0940")].point.radarStation = QStringLiteral("KLWX");
    struct Row {
        const char* stored;
        const char* zip;
        const char* templateURL;
        std::optional<double> lat;
    };
    const Row rows[] = {
        {"http://forecast.weather.gov/MapClick.php?lat=47.6109&lon=-122.3342", "64106", "",
         47.6109},
        {"http://127.0.0.1:8080/MapClick.php?zip=64106", "64106", "", 39.1031},
        {"", "22201", "http://radar.weather.gov/radar/images/@@@@@/SI.klwx/#####.noaa", 38.886},
        {"", "99999", "http://radar.weather.gov/radar/images/@@@@@/SI.keax/#####.noaa", {}},
    };
    for (const Row& row : rows) {
        const auto where = alertPlaceOf(QLatin1String(row.stored), QLatin1String(row.zip),
                                        QLatin1String(row.templateURL), places);
        ASSERT_EQ(where.has_value(), row.lat.has_value()) << row.zip;
        if (where) {
            EXPECT_DOUBLE_EQ(where->lat, *row.lat) << row.zip;
        }
    }
}
