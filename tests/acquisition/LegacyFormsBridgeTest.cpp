#include "acquisition/LegacyFormsBridge.h"

#include "acquisition/LocationPage.h"
#include "acquisition/PageRetriever.h"
#include "platform/MemoryRegistry.h"
#include "settings/RegistryValues.h"
#include "support/FolderHandle.h"

#include "ParserTestSupport.h"
#include "common/RegistryValue.h"

#include <QImage>
#include <QTemporaryDir>

#include <map>

#include <sys/stat.h>

using namespace nimbuscope;
using namespace nimbuscope::test;

namespace {

QByteArray today(const char* name) {
    return fixtureBytes(QStringLiteral("today/") + QLatin1String(name));
}

BridgeAnswer http(int status, QByteArray body, QByteArray type = "application/geo+json") {
    BridgeAnswer a;
    a.answered = true;
    a.status = status;
    a.body = std::move(body);
    a.contentType = std::move(type);
    return a;
}

BridgeAnswer redirect(const char* location) {
    BridgeAnswer a = http(302, {}, "text/html");
    a.location = location;
    return a;
}

const QString kSearchSent = QStringLiteral("http://fake/zipcity.php?inputstring=64106");
const QString kPointsSent = QStringLiteral("http://fake/api/points/39.0997,-94.5786");

const QByteArray kGif = QByteArray("GIF89a") + QByteArray(7000, '\1') + ';';

/// Answers sub-requests from a table keyed by the address up to its query (GetMap answers
/// are keyed by their time); records every request sent.
class FakeTransport final : public BridgeTransport {
public:
    void get(const BridgeGet& request, Done done) override {
        sent.push_back(request);
        QString key = request.url;
        if (key.contains(QLatin1String("request=GetMap"))) {
            key = QStringLiteral("GetMap ") + key.mid(key.indexOf(QLatin1String("time=")) + 5);
        } else if (key.contains(QLatin1String("GetCapabilities"))) {
            key = key.left(key.indexOf(QLatin1Char('?')));
        }
        const auto it = answers.find(key);
        done(it != answers.end() ? it->second : http(404, "not found", "text/plain"));
    }
    void abortAll() override {}

    QStringList urls() const {
        QStringList out;
        for (const auto& r : sent) {
            out << r.url;
        }
        return out;
    }

    std::map<QString, BridgeAnswer> answers;
    std::vector<BridgeGet> sent;
};

class LegacyFormsBridgeTest : public ParserTest {
protected:
    LegacyFormsBridgeTest() {
        config.noaaHosts = {QStringLiteral("forecast.weather.gov"),
                            QStringLiteral("radar.weather.gov"),
                            QStringLiteral("radar2.weather.gov")};
        config.locationSearchURL = QStringLiteral("http://fake/zipcity.php");
        config.apiURL = QStringLiteral("http://fake/api/");
        config.mapServerURL = QStringLiteral("http://fake/geoserver/");
        config.stillsURL = QStringLiteral("http://fake/ridge/standard/");
        config.utcNow = [this] { return now; };
        auto& a = transport.answers;
        a[kSearchSent] = redirect("http://fake/MapClick.php?lat=39.0997&lon=-94.5786");
        a[QStringLiteral("http://fake/zipcity.php?inputstring=00000")] = redirect("http://fake/");
        a[kPointsSent] = http(200, today("points-radar-city-stations.json"));
        a[QStringLiteral("https://api.weather.gov/gridpoints/EAX/45,51/stations")] =
            http(200, today("stations-feature-collection.json"));
        a[QStringLiteral("http://fake/api/stations/KMKC/observations/latest")] =
            http(200, today("observation-stale-time.json"));
        a[QStringLiteral("http://fake/api/stations/KMCI/observations/latest")] =
            http(200, today("observation-scattered-clouds.json"));
        a[QStringLiteral("http://fake/geoserver/keax/ows")] =
            http(200, today("capabilities-instant-list.xml"), "text/xml");
        a[QStringLiteral("GetMap 2026-12-06T22%3A44%3A22.000Z")] = http(200, kGif, "image/gif");
        a[QStringLiteral("GetMap 2026-12-06T22%3A39%3A10.000Z")] =
            http(200, today("service-exception-bad-parameter.xml"), "application/vnd.ogc.se_xml");
    }

    BridgeResult ask(const QString& address) {
        LegacyFormsBridge& b =
            bridge ? *bridge : *(bridge = std::make_unique<LegacyFormsBridge>(config, transport));
        EXPECT_TRUE(b.handles(address)) << address.toStdString();
        BridgeResult result;
        bool called = false;
        b.start(address, [&](const BridgeResult& r) {
            result = r;
            called = true;
        });
        EXPECT_TRUE(called) << "the fake transport answers at once";
        return result;
    }

    QDateTime now = QDateTime::fromString(QStringLiteral("2026-12-06T23:10:00Z"), Qt::ISODate);
    BridgeConfig config;
    FakeTransport transport;
    std::unique_ptr<LegacyFormsBridge> bridge;
};

const QString kSearch = QStringLiteral("http://forecast.weather.gov/zipcity.php?inputstring=64106");
const QString kShortList =
    QStringLiteral("http://radar.weather.gov/radar/loopdata/DS.p19r0/keax.txt");
const QString kLongList =
    QStringLiteral("http://radar.weather.gov/radar/loopdata/DS.p20-r/keax.txt");
const QString kFramePath =
    QStringLiteral("http://radar.weather.gov/radar/images/DS.p19r0/SI.KEAX/");

} // namespace

TEST_F(LegacyFormsBridgeTest, ASearchBecomesALocationPageFromTheNearestFreshObservation) {
    const BridgeResult r = ask(kSearch);
    ASSERT_EQ(r.status, PageRetriever::Done);
    EXPECT_EQ(r.finalUrl, "http://forecast.weather.gov/MapClick.php?lat=39.0997&lon=-94.5786");
    EXPECT_EQ(transport.urls(),
              QStringList({"http://fake/zipcity.php?inputstring=64106",
                           "http://fake/api/points/39.0997,-94.5786",
                           "https://api.weather.gov/gridpoints/EAX/45,51/stations",
                           "http://fake/api/stations/KMKC/observations/latest",
                           "http://fake/api/stations/KMCI/observations/latest"}));
    EXPECT_FALSE(transport.sent[0].followRedirects) << "the redirect is read, not followed";
    EXPECT_TRUE(transport.sent[1].api && transport.sent[3].api);

    const QString page = locationPageText(r.body);
    const LocationPageConfig cfg{QStringLiteral("radar.weather.gov"), {}, {}};
    QString templateURL, cityState, imageURL, forecast;
    qint16 temperature = 0;
    ASSERT_TRUE(parseZipCityStatics(page, templateURL, cityState, cfg, log));
    parseZipCityDynamics(page, imageURL, forecast, temperature, cfg, log);
    EXPECT_EQ(templateURL, "http://radar.weather.gov/radar/images/@@@@@/SI.keax/#####.noaa");
    EXPECT_EQ(cityState, "Kansas City, MO");
    EXPECT_EQ(forecast, "Partly Cloudy"); // the second station: the first one's is stale
    EXPECT_EQ(temperature, 46);

    // The stored final address comes back on later passes: the place is remembered.
    transport.sent.clear();
    EXPECT_EQ(ask(QString::fromLatin1(r.finalUrl)).status, PageRetriever::Done);
    EXPECT_EQ(transport.urls().size(), 2) << transport.urls().join(u' ').toStdString();
    const BridgeResult picture = ask(imageURL);
    ASSERT_EQ(picture.status, PageRetriever::Done);
    EXPECT_TRUE(picture.body.endsWith("\xFF\xD9"));
    EXPECT_EQ(QImage::fromData(picture.body).size(), QSize(55, 58));
}

TEST_F(LegacyFormsBridgeTest, NoMatchAndFailuresComeBackAsTheOldFormsDid) {
    const BridgeResult noMatch =
        ask(QStringLiteral("http://forecast.weather.gov/zipcity.php?inputstring=00000"));
    ASSERT_EQ(noMatch.status, PageRetriever::Done);
    EXPECT_TRUE(noMatch.body.contains("An error has occurred in your search"));

    transport.answers[kPointsSent] = http(503, "<html>Service Unavailable</html>", "text/html");
    EXPECT_EQ(ask(kSearch).status, PageRetriever::ConnectionFailed);
    transport.answers[kPointsSent] =
        http(403, today("forbidden-without-user-agent.html"), "text/html");
    EXPECT_EQ(ask(kSearch).status, PageRetriever::ConnectionFailed);
    transport.answers[kPointsSent] =
        http(404, R"({"title":"Data Unavailable For Requested Point","status":404})",
             "application/problem+json");
    EXPECT_TRUE(ask(kSearch).body.contains("error has occurred"));
    transport.answers[kSearchSent] = {};
    bridge.reset(); // a run that has not seen the search's answer yet
    EXPECT_EQ(ask(kSearch).status, PageRetriever::ConnectionFailed);
}

TEST_F(LegacyFormsBridgeTest, ListsCarryExactTimesAndFramesAreFetchedByThem) {
    ask(kSearch);
    transport.sent.clear();
    const BridgeResult shortList = ask(kShortList);
    const BridgeResult longList = ask(kLongList);
    ASSERT_EQ(shortList.status, PageRetriever::Done);
    const QList<QByteArray> lines = shortList.body.trimmed().split('\n');
    // Seven instants, two of them in one minute: six frames.
    ASSERT_EQ(lines.size(), 6);
    EXPECT_EQ(lines.back(), "../../images/DS.p19r0/SI.KEAX/SI.KEAX.dd.20261206.2244.gif");
    EXPECT_TRUE(longList.body.startsWith("../../images/DS.p20-r/SI.KEAX/"));
    EXPECT_EQ(transport.urls().size(), 1) << "both lists come from one capabilities answer";

    const BridgeResult frame = ask(kFramePath + "SI.KEAX.dd.20261206.2244.gif");
    ASSERT_EQ(frame.status, PageRetriever::Done);
    EXPECT_EQ(frame.body, kGif);
    const QString getMap = transport.urls().back();
    EXPECT_TRUE(getMap.startsWith("http://fake/geoserver/ows?service=WMS&version=1.3.0"
                                  "&request=GetMap&layers=keax:keax_sr_bref&"));
    EXPECT_TRUE(getMap.contains("&crs=EPSG:3857&") && getMap.contains("&width=600&height=550&") &&
                getMap.contains("&format=image/gif&"));
    // An XML error in place of a frame, or a name no list gave, is the unavailable answer.
    for (const char* name : {"SI.KEAX.dd.20261206.2239.gif", "SI.KEAX.dd.20261206.2000.gif"}) {
        const BridgeResult bad = ask(kFramePath + name);
        EXPECT_EQ(bad.status, PageRetriever::Done);
        EXPECT_LT(bad.body.size(), 6000);
        EXPECT_TRUE(bad.body.endsWith('\n'));
    }
}

TEST_F(LegacyFormsBridgeTest, WhenTheMapServerFailsTheTenStillsStandIn) {
    transport.answers[QStringLiteral("http://fake/geoserver/keax/ows")] =
        http(200, today("service-exception-bad-parameter.xml"), "application/vnd.ogc.se_xml");
    BridgeAnswer still = http(200, kGif, "image/gif");
    still.lastModified = "Sun, 06 Dec 2026 23:07:31 GMT";
    transport.answers[QStringLiteral("http://fake/ridge/standard/KEAX_0.gif")] = still;
    transport.answers[QStringLiteral("http://fake/ridge/standard/KEAX_9.gif")] = still;
    const BridgeResult list = ask(kShortList);
    ASSERT_EQ(list.status, PageRetriever::Done);
    const QList<QByteArray> lines = list.body.trimmed().split('\n');
    ASSERT_EQ(lines.size(), 10);
    EXPECT_TRUE(lines.back().endsWith("SI.KEAX.dd.20261206.2307.gif"));
    EXPECT_TRUE(lines.front().endsWith("SI.KEAX.dd.20261206.2222.gif"));

    transport.sent.clear();
    EXPECT_EQ(ask(kFramePath + "SI.KEAX.dd.20261206.2307.gif").body, kGif);
    EXPECT_TRUE(transport.sent.empty()) << "the newest still is already here";
    EXPECT_EQ(ask(kFramePath + "SI.KEAX.dd.20261206.2222.gif").body, kGif);
    EXPECT_EQ(transport.urls(), QStringList({"http://fake/ridge/standard/KEAX_9.gif"}));

    transport.answers.erase(QStringLiteral("http://fake/ridge/standard/KEAX_0.gif"));
    transport.answers[QStringLiteral("http://fake/geoserver/keax/ows")] = {};
    EXPECT_EQ(ask(kShortList).status, PageRetriever::ConnectionFailed);
}

TEST_F(LegacyFormsBridgeTest, APassAsksNoMoreThanTheOldFormsDid) {
    // Old forms: the location page, the conditions picture, two lists, one request per frame.
    ask(kSearch); // the first search learns the place
    for (int pass = 0; pass < 2; ++pass) {
        transport.sent.clear();
        const BridgeResult page = ask(
            QStringLiteral("http://forecast.weather.gov/MapClick.php?lat=39.0997&lon=-94.5786"));
        QString imageURL, forecast;
        qint16 temperature = 0;
        parseZipCityDynamics(locationPageText(page.body), imageURL, forecast, temperature, {}, log);
        ask(imageURL);
        ask(kShortList);
        ask(kLongList);
        ask(kFramePath + "SI.KEAX.dd.20261206.2244.gif");
        EXPECT_LE(transport.sent.size(), 4u + 1u) << transport.urls().join(u' ').toStdString();
        now = now.addSecs(5 * 60);
    }
}

TEST_F(LegacyFormsBridgeTest, TheFourSettingsPointTheBridgeAtAnotherServer) {
    MemoryRegistry registry;
    const auto put = [&](const char* name, const QVariant& value) {
        storeRegistryValue(registry, HKEY_LOCAL_MACHINE, QLatin1String(RegistryValues::kProductKey),
                           QLatin1String(name), value);
    };
    put("bridgeLocationSearchURL", QStringLiteral("http://fake/zipcity.php"));
    put("bridgeApiURL", QStringLiteral("http://fake/api/"));
    put("bridgeMapServerURL", QStringLiteral("http://fake/geoserver/"));
    put("bridgeStillsURL", QStringLiteral("http://fake/ridge/standard/"));
    RegistryValues settings(registry, platform, log);
    settings.loadRegistryValues();
    ASSERT_EQ(settings.getForecastServerURL(), "http://forecast.weather.gov/");
    config = bridgeConfigFrom(settings);
    config.utcNow = [this] { return now; };
    EXPECT_TRUE(config.enabled);

    ask(kSearch);
    ask(kShortList);
    ask(kFramePath + "SI.KEAX.dd.20261206.2244.gif");
    for (const QString& url : transport.urls()) {
        // The station list address is the one the points answer gave.
        EXPECT_TRUE(url.startsWith("http://fake/") || url.contains("/gridpoints/"))
            << url.toStdString();
    }
    EXPECT_EQ(transport.sent.size(), 7u);

    put("legacyFormsBridge", 0);
    settings.loadRegistryValues();
    EXPECT_FALSE(LegacyFormsBridge(bridgeConfigFrom(settings), transport).handles(kSearch))
        << "a stored 0 switches the bridge off";
}

TEST_F(LegacyFormsBridgeTest, PoliteRequestsAskConditionallyAndBackOffAfterRefusals) {
    PoliteTransport polite(transport, [this] { return now; });
    const auto fetch = [&](const QString& url, bool conditional = true) {
        BridgeAnswer got;
        polite.get(BridgeGet{url, true, true, conditional, {}},
                   [&](const BridgeAnswer& a) { got = a; });
        return got;
    };
    BridgeAnswer first = http(200, today("points-radar-city-stations.json"));
    first.etag = "\"abc\"";
    first.lastModified = "Sun, 06 Dec 2026 23:00:00 GMT";
    transport.answers[kPointsSent] = first;
    fetch(kPointsSent);
    transport.answers[kPointsSent] = http(304, {});
    const BridgeAnswer again = fetch(kPointsSent);
    EXPECT_EQ(again.status, 200);
    EXPECT_EQ(again.body, first.body) << "a 304 answers with the kept body";
    const auto& headers = transport.sent.back().headers;
    EXPECT_TRUE(headers.contains(std::pair{QByteArray("If-None-Match"), QByteArray("\"abc\"")}));
    EXPECT_TRUE(headers.contains(
        std::pair{QByteArray("If-Modified-Since"), QByteArray("Sun, 06 Dec 2026 23:00:00 GMT")}));

    struct Row {
        int status;
        const char* retryAfter;
        qint64 quietSeconds;
    };
    for (const Row row :
         {Row{429, "", 5}, Row{503, "", 10}, Row{403, "60", 60}, Row{500, "", 40}}) {
        BridgeAnswer refusal = http(row.status, "busy", "text/html");
        refusal.retryAfter = row.retryAfter;
        transport.answers[kPointsSent] = refusal;
        fetch(kPointsSent);
        const std::size_t sentBefore = transport.sent.size();
        now = now.addSecs(row.quietSeconds - 1);
        EXPECT_TRUE(fetch(QStringLiteral("http://fake/api/anything")).refused) << row.status;
        EXPECT_EQ(transport.sent.size(), sentBefore) << "nothing is sent while backing off";
        EXPECT_FALSE(fetch(QStringLiteral("http://fake:8080/other")).refused);
        transport.sent.pop_back();
        now = now.addSecs(1);
    }
    transport.answers[kPointsSent] = first;
    EXPECT_TRUE(fetch(kPointsSent).ok());
    transport.answers[kPointsSent] = http(500, "busy", "text/html");
    fetch(kPointsSent);
    now = now.addSecs(PoliteTransport::kFirstBackOffSeconds);
    EXPECT_FALSE(fetch(kPointsSent).refused) << "a good answer starts the back-off afresh";
}

TEST_F(LegacyFormsBridgeTest, WithoutTheLayersExtentFramesCentreOnTheStoredLocation) {
    transport.answers[QStringLiteral("http://fake/geoserver/ktop/ows")] =
        http(200, today("capabilities-interval-period.xml"), "text/xml");
    transport.answers[QStringLiteral("GetMap 2026-12-06T21%3A04%3A30Z")] =
        http(200, "GIF89a tiny;", "image/gif");
    const QString list =
        QStringLiteral("http://radar.weather.gov/radar/loopdata/DS.p20-r/ktop.txt");
    const QString frame = QStringLiteral(
        "http://radar2.weather.gov/radar/images/DS.p20-r/SI.KTOP/SI.KTOP.dd.20261206.2104.gif");
    ask(list);
    EXPECT_EQ(ask(frame).body, "Radar frame unavailable\n") << "no centre is known";

    bridge.reset();
    config.storedLocationURL = [] {
        return QStringLiteral("http://forecast.weather.gov/MapClick.php?lat=39.0483&lon=-95.678");
    };
    ask(list);
    const BridgeResult got = ask(frame);
    EXPECT_GE(got.body.size(), kLegacyMinFrameBytes) << "a small GIF is padded";
    const MercatorBox box = webMercatorBox(39.0483, -95.678, 248.0, 600, 550);
    EXPECT_TRUE(transport.urls().back().contains(
        QStringLiteral("&bbox=%1,%2,").arg(box.minX, 0, 'f', 1).arg(box.minY, 0, 'f', 1)));
}

namespace {

/// A bridge in a new run: nothing in memory, the same cache folder.
class KeptPlacesTest : public LegacyFormsBridgeTest {
protected:
    KeptPlacesTest() {
        config.keepFolder = [this] { return FolderHandle::open(dir.path()); };
    }

    QStringList askInNewRun(const QString& address) {
        bridge.reset();
        transport.sent.clear();
        EXPECT_EQ(ask(address).status, PageRetriever::Done);
        return transport.urls();
    }

    QString file() const { return dir.filePath(QString(kKeptPlacesFileName)); }
    void writeFile(const QByteArray& text) {
        QFile f(file());
        ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
        f.write(text);
    }

    QTemporaryDir dir;
};

} // namespace

TEST_F(KeptPlacesTest, ASecondRunWithinAWeekAsksNeitherTheSearchNorThePoints) {
    EXPECT_TRUE(askInNewRun(kSearch).contains(kPointsSent));
    struct stat st {};
    ASSERT_EQ(::stat(QFile::encodeName(file()).constData(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);

    now = now.addDays(6);
    const QStringList secondRun = askInNewRun(kSearch);
    EXPECT_FALSE(secondRun.contains(kSearchSent) || secondRun.contains(kPointsSent))
        << secondRun.join(u' ').toStdString();
    EXPECT_TRUE(secondRun.contains("http://fake/api/stations/KMCI/observations/latest"))
        << "observations are never kept";

    // Seven days after they were learnt, both are asked again, and kept anew.
    now = now.addDays(1);
    const QStringList weekLater = askInNewRun(kSearch);
    EXPECT_TRUE(weekLater.contains(kSearchSent) && weekLater.contains(kPointsSent));
    EXPECT_FALSE(askInNewRun(kSearch).contains(kPointsSent));
}

TEST_F(KeptPlacesTest, ADamagedOrForeignFileIsIgnoredAndReplaced) {
    const QByteArray good = "nimbuscope-places 1\n"
                            "P\t2026-12-06T20:00:00Z\t39.0997,-94.5786\tKEAX\tKansas City\tMO\t"
                            "KMCI\n";
    const struct {
        const char* name;
        QByteArray text;
    } rows[] = {
        {"foreign", "<html>not ours</html>\n"},
        {"cut off", good.chopped(1)},
        {"markup in the city", QByteArray(good).replace("Kansas City", "<b>x</b>")},
        {"site out of form", QByteArray(good).replace("KEAX", "../x")},
        {"latitude out of range", QByteArray(good).replace("39.0997", "99.0997")},
        {"learnt time not a time", QByteArray(good).replace("2026-12-06T20:00:00Z", "soon")},
        {"extra field", QByteArray(good).replace("\tKMCI", "\tKMCI\tx")},
        {"search without coordinates", good + "S\t2026-12-06T20:00:00Z\t64106\t\t-94.5\n"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        ASSERT_NO_FATAL_FAILURE(writeFile(row.text));
        const QStringList urls = askInNewRun(kSearch);
        EXPECT_TRUE(urls.contains(kPointsSent)) << "nothing of the file is trusted";
        EXPECT_FALSE(askInNewRun(kSearch).contains(kPointsSent)) << "the file was rewritten";
    }
    ASSERT_NO_FATAL_FAILURE(writeFile(good));
    EXPECT_FALSE(askInNewRun(kSearch).contains(kPointsSent)) << "the rows' damage alone counts";
}
