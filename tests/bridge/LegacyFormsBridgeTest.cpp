#include "RecordedAnswers.h"

#include <QImage>

using namespace nimbuscope;
using namespace nimbuscope::test;

using LegacyFormsBridgeTest = RecordedPlaceTest;

TEST_F(LegacyFormsBridgeTest, ASearchBecomesALocationPageFromTheNearestCurrentObservation) {
    const BridgeResult r = ask(kSearch);
    ASSERT_EQ(r.status, PageRetriever::Done);
    EXPECT_EQ(r.finalUrl, kPlacePage);
    EXPECT_EQ(transport.urls(), QStringList({kSearchSent, kPointsSent, kStationsSent,
                                             kLatestOf.arg("KSHN"), kLatestOf.arg("KOLM")}));
    EXPECT_FALSE(transport.sent[0].followRedirects) << "the redirect is read, not followed";
    const Shown shown = read(r);
    EXPECT_EQ(shown.templateURL, "http://radar.weather.gov/radar/images/@@@@@/SI.klwx/#####.noaa");
    EXPECT_EQ(shown.cityState, "Arlington, VA");
    EXPECT_EQ(shown.forecast, "Mostly Cloudy"); // the second station: the first one's is empty
    EXPECT_EQ(shown.temperature, 73);           // 22.8 degC

    // The stored final address comes back on later passes: the place is remembered.
    transport.sent.clear();
    EXPECT_EQ(ask(kPlacePage).status, PageRetriever::Done);
    EXPECT_EQ(transport.urls().size(), 2) << transport.urls().join(u' ').toStdString();
    EXPECT_EQ(QImage::fromData(ask(shown.imageURL).body).size(), QSize(55, 58));

    // Months old at every station: nothing rather than old weather, three stations at most.
    bridge.reset();
    now = utc("2022-06-01T12:00:00Z");
    transport.answers[kLatestOf.arg("KTIW")] = transport.answers[kLatestOf.arg("KOLM")];
    const Shown stale = read(ask(kSearch));
    EXPECT_EQ(stale.temperature, kNoTemperature);
    EXPECT_EQ(stale.forecast, "");
    EXPECT_EQ(stale.imageURL, "http://forecast.weather.gov/bridge/conditions/unknown.jpg");
    EXPECT_TRUE(transport.urls().contains(kLatestOf.arg("KTIW")));
    EXPECT_FALSE(transport.urls().contains(kLatestOf.arg("QCNW1")));
}

TEST_F(LegacyFormsBridgeTest, APlaceNoRadarCoversIsAPlaceWithTheUnavailablePicture) {
    transport.answers[kPointsSent] = http(200, today("points-no-radar-utqiagvik-ak.json"));
    transport.answers[QStringLiteral("http://fake/api/gridpoints/AFG/168,398/stations")] =
        http(200, today("stations-urls-only.json"));
    transport.answers[kLatestOf.arg("KTOP")] = http(200, today("observation-latest-kfll.json"));
    const BridgeResult page = ask(kSearch);
    ASSERT_EQ(page.status, PageRetriever::Done);
    EXPECT_TRUE(isNoRadarPage(locationPageText(page.body)));
    const Shown shown = read(page);
    EXPECT_EQ(shown.templateURL, "http://radar.weather.gov/radar/images/@@@@@/SI.none/#####.noaa");
    EXPECT_EQ(shown.cityState, "Utqiagvik, AK");
    EXPECT_EQ(shown.temperature, 73) << "the place's weather is still shown";

    // Its lists name two frames of the hour, which are the saver's own picture: no network.
    transport.sent.clear();
    EXPECT_EQ(ask(kRadar + "loopdata/DS.p20-r/none.txt").body,
              "../../images/DS.p20-r/SI.NONE/SI.NONE.dd.20220302.2355.gif\n"
              "../../images/DS.p20-r/SI.NONE/SI.NONE.dd.20220303.0000.gif\n");
    EXPECT_EQ(ask(kRadar + "images/DS.p20-r/SI.NONE/SI.NONE.dd.20220303.0000.gif").body,
              kNoRadarPicture);
    EXPECT_TRUE(transport.sent.empty());
}

TEST_F(LegacyFormsBridgeTest, RedirectsNoMatchAndFailuresComeBackAsTheOldFormsDid) {
    // A mirror that sends the request on to NOAA's own host is followed to the configured base.
    const QString adjusted = QStringLiteral("http://fake/api/points/38.8860,-77.0940");
    transport.answers[adjusted] = transport.answers[kPointsSent];
    BridgeAnswer& moved = transport.answers[kPointsSent] = http(301, {}, "text/html");
    moved.location = "https://api.weather.gov/points/38.8860,-77.0940";
    EXPECT_EQ(read(ask(kSearch)).cityState, "Arlington, VA");
    EXPECT_EQ(transport.urls().mid(1, 3), QStringList({kPointsSent, adjusted, kStationsSent}));

    bridge.reset();
    const BridgeResult noMatch = ask("http://forecast.weather.gov/zipcity.php?inputstring=00000");
    ASSERT_EQ(noMatch.status, PageRetriever::Done);
    EXPECT_TRUE(noMatch.body.contains("An error has occurred in your search"));
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

TEST_F(LegacyFormsBridgeTest, ListsCarryTheLayersExactTimesAndTheLongRangeTheMosaics) {
    const BridgeResult shortList = ask(kShortList);
    const BridgeResult longList = ask(kLongList);
    ASSERT_EQ(shortList.status, PageRetriever::Done);
    const QList<QByteArray> lines = shortList.body.trimmed().split('\n');
    ASSERT_EQ(lines.size(), 17);
    EXPECT_EQ(lines.front(), "../../images/DS.p19r0/SI.KLWX/SI.KLWX.dd.20210221.1029.gif");
    EXPECT_EQ(lines.back(), "../../images/DS.p19r0/SI.KLWX/SI.KLWX.dd.20210221.1221.gif");
    // klwx_bref_raw ends about five degrees from the site: the long range comes from the mosaic.
    EXPECT_EQ(longList.body.trimmed().split('\n').back(),
              "../../images/DS.p20-r/SI.KLWX/SI.KLWX.dd.20210221.1220.gif");
    EXPECT_EQ(transport.urls().size(), 2) << "one capabilities answer of each workspace a pass";
    ask(kShortList);
    EXPECT_EQ(transport.urls().size(), 2);

    EXPECT_EQ(ask(kShortFrames + "SI.KLWX.dd.20210221.1221.gif").body, kGif);
    EXPECT_TRUE(transport.urls().back().contains(
        "&layers=klwx:klwx_bref_raw&styles=radar_reflectivity&crs=EPSG:3857&"));
    EXPECT_EQ(ask(kLongFrames + "SI.KLWX.dd.20210221.1220.gif").body, kGif);
    const MercatorBox wide = webMercatorBox(38.976, -77.487, 248.0, 600, 550);
    EXPECT_TRUE(transport.urls().back().contains(
        QStringLiteral("&bbox=%1,%2,").arg(wide.minX, 0, 'f', 1).arg(wide.minY, 0, 'f', 1)))
        << "centred on the site, from its layer's extent";
    // An XML error in place of a frame, or a name no list gave, is the unavailable answer.
    for (const char* name : {"SI.KLWX.dd.20210221.1214.gif", "SI.KLWX.dd.20210221.2000.gif"}) {
        const BridgeResult bad = ask(kShortFrames + name);
        EXPECT_EQ(bad.status, PageRetriever::Done);
        EXPECT_LT(bad.body.size(), 6000);
        EXPECT_TRUE(bad.body.endsWith('\n'));
    }
}

TEST_F(LegacyFormsBridgeTest, APassAsksNoMoreThanTheOldFormsDid) {
    // Old forms: the location page, the conditions picture, two lists, one request per frame.
    ask(kSearch); // the first search learns the place
    for (int pass = 0; pass < 2; ++pass) {
        transport.sent.clear();
        ask(read(ask(kPlacePage)).imageURL);
        ask(kShortList);
        ask(kLongList);
        ask(kShortFrames + "SI.KLWX.dd.20210221.1221.gif");
        EXPECT_LE(transport.sent.size(), 4u + 1u) << transport.urls().join(u' ').toStdString();
        now = now.addSecs(5 * 60);
    }
}

TEST_F(LegacyFormsBridgeTest, WhenTheMapServerFailsTheStillsStandInAskedOnceAPass) {
    transport.answers[kKlwxCapabilities] =
        http(404, today("capabilities-error-tomcat-404.html"), "text/html");
    BridgeAnswer still = http(200, kGif, "image/gif");
    still.lastModified = "Thu, 03 Mar 2022 00:27:31 GMT";
    transport.answers[QStringLiteral("http://fake/ridge/standard/KLWX_0.gif")] = still;
    transport.answers[QStringLiteral("http://fake/ridge/standard/KLWX_9.gif")] = still;
    const QList<QByteArray> lines = ask(kShortList).body.trimmed().split('\n');
    ASSERT_EQ(lines.size(), 10);
    EXPECT_TRUE(lines.back().endsWith("SI.KLWX.dd.20220303.0027.gif"));
    EXPECT_TRUE(lines.front().endsWith("SI.KLWX.dd.20220302.2342.gif"));
    EXPECT_TRUE(ask(kLongList).body.startsWith("../../images/DS.p20-r/SI.KLWX/"));
    EXPECT_EQ(transport.urls(),
              QStringList({kKlwxCapabilities, "http://fake/ridge/standard/KLWX_0.gif"}));
    transport.sent.clear();
    for (const QString& frames : {kShortFrames, kLongFrames}) {
        EXPECT_EQ(ask(frames + "SI.KLWX.dd.20220303.0027.gif").body, kGif);
        EXPECT_EQ(ask(frames + "SI.KLWX.dd.20220302.2342.gif").body, kGif);
    }
    EXPECT_EQ(transport.urls(), QStringList({"http://fake/ridge/standard/KLWX_9.gif"}))
        << "each still once for both products";

    now = now.addSecs(BridgeFrames::kReuseSeconds);
    transport.answers.erase(QStringLiteral("http://fake/ridge/standard/KLWX_0.gif"));
    transport.answers[kKlwxCapabilities] = {};
    EXPECT_EQ(ask(kShortList).status, PageRetriever::ConnectionFailed);
}

TEST_F(LegacyFormsBridgeTest, WithoutTheLayersExtentFramesCentreOnTheStoredLocation) {
    transport.answers[QStringLiteral(
        "http://fake/geoserver/ktop/ows?service=WMS&version=1.3.0&request=GetCapabilities")] =
        http(200, today("capabilities-interval-period.xml"), "text/xml");
    transport.answers[QStringLiteral("GetMap ktop:ktop_sr_bref 2026-12-06T21:04:30Z")] =
        http(200, "GIF89a tiny;", "image/gif");
    const QString list = kRadar + "loopdata/DS.p20-r/ktop.txt";
    const QString frame = QStringLiteral(
        "http://radar2.weather.gov/radar/images/DS.p20-r/SI.KTOP/SI.KTOP.dd.20261206.2104.gif");
    ask(list);
    EXPECT_EQ(ask(frame).body, "Radar frame unavailable\n") << "no centre is known";

    bridge.reset();
    config.storedLocationURL = [] {
        return QStringLiteral("http://forecast.weather.gov/MapClick.php?lat=39.0483&lon=-95.678");
    };
    ask(list);
    EXPECT_GE(ask(frame).body.size(), kLegacyMinFrameBytes) << "a small GIF is padded";
    const MercatorBox box = webMercatorBox(39.0483, -95.678, 248.0, 600, 550);
    EXPECT_TRUE(transport.urls().back().contains(
        QStringLiteral("&bbox=%1,%2,").arg(box.minX, 0, 'f', 1).arg(box.minY, 0, 'f', 1)));
}
