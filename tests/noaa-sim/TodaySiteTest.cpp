// The simulator in today mode, over HTTP: the current services' forms and quirks.
#include "noaa-sim/Conditions.h"
#include "noaa-sim/SimServer.h"
#include "noaa-sim/TodayForms.h"

#include "ManualUtcClock.h"

#include <httplib.h>

#include <QImage>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QXmlStreamReader>
#include <gtest/gtest.h>

#include <cmath>

using namespace nimbuscope::noaasim;
using namespace nimbuscope::noaasim::test;

namespace {

constexpr const char* kAgent = "Nimbuscope/1.0 (nimbuscope@example.org)";
constexpr const char* kBox = "&crs=EPSG:3857&bbox=-10800000,4500000,-10200000,5000000"
                             "&width=600&height=550&format=image/gif&styles=radar_reflectivity";

SimOptions todayOptions() {
    SimOptions o;
    o.today = true;
    return o;
}

QJsonObject json(const std::string& body) {
    return QJsonDocument::fromJson(QByteArray::fromStdString(body)).object();
}

QJsonObject properties(const std::string& body) {
    return json(body).value(QStringLiteral("properties")).toObject();
}

// The value at the end of a path of member names.
QJsonValue at(const QJsonValue& from, std::initializer_list<const char*> path) {
    QJsonValue value = from;
    for (const char* name : path)
        value = value.toObject().value(QLatin1String(name));
    return value;
}

// The text of the time dimension of `layer` in a capabilities document.
std::string dimensionOf(const std::string& xml, const std::string& layer) {
    QXmlStreamReader reader(QByteArray::fromStdString(xml));
    std::string name;
    while (reader.readNextStartElement() || !reader.atEnd()) {
        if (!reader.isStartElement())
            continue;
        if (reader.name() == QStringLiteral("Name"))
            name = reader.readElementText().toStdString();
        else if (reader.name() == QStringLiteral("Dimension") && name == layer)
            return reader.readElementText().toStdString();
    }
    return {};
}

class TodaySiteTest : public ::testing::Test {
protected:
    TodaySiteTest()
        : clock(utc(2026, 12, 5, 21, 37)), server(todayOptions(), SiteTable::builtIn(), clock) {
        std::string error;
        EXPECT_TRUE(server.start(error)) << error;
    }

    httplib::Result get(const std::string& target,
                        httplib::Headers headers = {{"User-Agent", kAgent}}) {
        httplib::Client c("127.0.0.1", server.port());
        c.set_read_timeout(5, 0);
        return c.Get(target, headers);
    }
    // The answers link to the real API's host, whatever address they were asked at.
    std::string api() const { return std::string(kPublicApiBase); }

    ManualUtcClock clock;
    SimServer server;
};

} // namespace

TEST_F(TodaySiteTest, LocationSearchRedirectsWithCoordinatesInEachForm) {
    const struct {
        const char* zip;
        int status;
        const char* location;
    } rows[] = {
        {"64106", 302, "MapClick.php?lat=39.1031&lon=-94.5785"},
        {"80301", 301, "MapClick.php?lat=40.0497&lon=-105.2143"},
        {"60601", 302, "MapClick.php?textField1=41.8858&textField2=-87.6181"},
        {"Seattle,%20WA", 302, "MapClick.php?lat=47.61085&lon=-122.33416"},
    };
    for (const auto& r : rows) {
        const auto reply = get(std::string("/zipcity.php?inputstring=") + r.zip);
        ASSERT_TRUE(reply) << r.zip;
        EXPECT_EQ(reply->status, r.status) << r.zip;
        EXPECT_EQ(reply->get_header_value("Location"), server.baseUrl() + r.location);
    }
    const auto unknown = get("/zipcity.php?inputstring=99999");
    EXPECT_EQ(unknown->status, 200);
    EXPECT_FALSE(unknown->has_header("Location"));
    EXPECT_NE(unknown->body.find("An error has occurred in your search"), std::string::npos);
}

TEST_F(TodaySiteTest, PointsNameTheRadarCityAndStationsOrExplainTheProblem) {
    const auto reply = get("/api/points/39.1031,-94.5785");
    EXPECT_EQ(reply->get_header_value("Content-Type"), "application/geo+json");
    const QJsonObject p = properties(reply->body);
    EXPECT_EQ(p.value(QStringLiteral("radarStation")).toString(), QStringLiteral("KEAX"));
    const QJsonValue where = at(p, {"relativeLocation", "properties"});
    EXPECT_EQ(at(where, {"city"}).toString(), QStringLiteral("Kansas City"));
    EXPECT_EQ(at(where, {"state"}).toString(), QStringLiteral("MO"));
    EXPECT_EQ(p.value(QStringLiteral("observationStations")).toString().toStdString(),
              api() + "gridpoints/EAX/44,51/stations");
    const QJsonObject noRadar = properties(get("/api/points/71.2906,-156.7886")->body);
    EXPECT_TRUE(noRadar.value(QStringLiteral("radarStation")).isNull());
    EXPECT_EQ(at(noRadar, {"relativeLocation", "properties", "city"}).toString(),
              QStringLiteral("Utqiagvik"));
    EXPECT_EQ(get("/zipcity.php?inputstring=99723")->status, 302);

    const struct {
        const char* point;
        int status;
        const char* type;
    } problems[] = {
        {"47.61085,-122.33416", 301, "AdjustPointPrecision"},
        {"0,0", 404, "InvalidPoint"},
        {"39.1031", 400, "InvalidParameter"},
        {"91,10", 400, "InvalidParameter"},
    };
    for (const auto& r : problems) {
        const auto bad = get(std::string("/api/points/") + r.point);
        EXPECT_EQ(bad->status, r.status) << r.point;
        EXPECT_EQ(bad->get_header_value("Content-Type"), "application/problem+json");
        const QJsonObject problem = json(bad->body);
        EXPECT_TRUE(
            problem.value(QStringLiteral("type")).toString().endsWith(QLatin1String(r.type)))
            << bad->body;
        EXPECT_EQ(problem.value(QStringLiteral("status")).toInt(), r.status);
    }
    EXPECT_EQ(get("/api/points/47.61085,-122.33416")->get_header_value("Location"),
              api() + "points/47.6109,-122.3342");
}

TEST_F(TodaySiteTest, ApiWithoutAUserAgentIsRefusedWithAnHtmlPage) {
    const auto reply = get("/api/points/39.1031,-94.5785", {{"User-Agent", ""}});
    ASSERT_TRUE(reply);
    EXPECT_EQ(reply->status, 403);
    EXPECT_EQ(reply->get_header_value("Content-Type").substr(0, 9), "text/html");
    EXPECT_NE(reply->body.find("Access Denied"), std::string::npos);
    EXPECT_EQ(get("/zipcity.php?inputstring=64106", {{"User-Agent", ""}})->status, 302)
        << "only the API sits behind that check";
}

TEST_F(TodaySiteTest, ObservationsShowTheQuirksTheNextStationMakesUpFor) {
    const auto stations = json(get("/api/gridpoints/EAX/44,51/stations")->body);
    const auto listed = stations.value(QStringLiteral("observationStations")).toArray();
    ASSERT_EQ(listed.size(), 3);
    EXPECT_EQ(listed[0].toString().toStdString(), api() + "stations/KMKC");
    const QJsonValue second = stations.value(QStringLiteral("features")).toArray()[1];
    EXPECT_EQ(at(second, {"properties", "stationIdentifier"}).toString(), QStringLiteral("KMCI"));

    const auto latest = [&](const char* station) {
        return properties(
            get(std::string("/api/stations/") + station + "/observations/latest")->body);
    };
    const auto ageOf = [&](const QJsonObject& o) {
        return clock.now() -
               *parseIsoTime(o.value(QStringLiteral("timestamp")).toString().toStdString());
    };
    EXPECT_GT(ageOf(latest("KMKC")), hours{24}) << "the nearest Kansas City station is stale";
    const QJsonObject current = latest("KMCI");
    EXPECT_LT(ageOf(current), hours{1});
    const Conditions page = conditionsFor(*SiteTable::builtIn().byZip("64106"), clock.now());
    EXPECT_EQ(current.value(QStringLiteral("textDescription")).toString().toStdString(),
              observationText(page.imageCode));
    const double celsius = at(current, {"temperature", "value"}).toDouble();
    EXPECT_EQ(std::lround(celsius * 9 / 5 + 32), page.temperatureF);

    const QJsonObject empty = latest("KBDU");
    EXPECT_EQ(empty.value(QStringLiteral("textDescription")).toString(), QString());
    EXPECT_TRUE(empty.value(QStringLiteral("icon")).isNull());
    EXPECT_TRUE(at(empty, {"temperature", "value"}).isNull());
    const QJsonObject fahrenheit = latest("KNYC");
    EXPECT_EQ(at(fahrenheit, {"temperature", "unitCode"}).toString(),
              QStringLiteral("wmoUnit:degF"));
    EXPECT_DOUBLE_EQ(at(fahrenheit, {"temperature", "value"}).toDouble(),
                     conditionsFor(*SiteTable::builtIn().byZip("10001"), clock.now()).temperatureF +
                         0.4);
    EXPECT_GT(ageOf(latest("KEDC")), days{100}) << "no Austin station is current";
    const QJsonObject noTemperature = latest("KMDW");
    EXPECT_FALSE(noTemperature.value(QStringLiteral("textDescription")).toString().isEmpty());
    EXPECT_TRUE(at(noTemperature, {"temperature", "value"}).isNull());

    const auto first = get("/api/stations/KMCI/observations/latest");
    const std::string stamp = first->get_header_value("Last-Modified");
    EXPECT_EQ(get("/api/stations/KMCI/observations/latest",
                  {{"User-Agent", kAgent}, {"If-Modified-Since", stamp}})
                  ->status,
              304);
    EXPECT_EQ(get("/api/stations/KXXX/observations/latest")->status, 404);
}

TEST_F(TodaySiteTest, CapabilitiesAdvertiseTimesEveryOneOfWhichMapsToARadarFrame) {
    for (const char* form : {"list", "interval", "mixed"}) {
        SCOPED_TRACE(form);
        server.today()->setTimeForm(*timeFormFromName(form));
        const auto caps =
            get("/geoserver/keax/ows?service=WMS&version=1.3.0&request=GetCapabilities");
        const std::string text = dimensionOf(caps->body, "keax_bref_raw");
        const auto expected =
            layerTimes("keax_bref_raw", clock.now(), kDefaultFrameCount, *timeFormFromName(form));
        EXPECT_EQ(text, expected.text);
        if (std::string(form) == "list") {
            EXPECT_NE(dimensionOf(caps->body, "keax_bvel_raw"), text)
                << "another layer, other times";
        }
        const auto frame = get(std::string("/geoserver/ows?service=WMS&version=1.3.0&request=GetMap"
                                           "&layers=keax:keax_bref_raw") +
                               kBox + "&time=" + isoTime(expected.times.back(), true));
        EXPECT_EQ(frame->get_header_value("Content-Type"), "image/gif");
        const QImage picture = QImage::fromData(QByteArray::fromStdString(frame->body));
        EXPECT_EQ(picture.size(), QSize(600, 550));
    }
    EXPECT_NE(dimensionOf(get("/geoserver/conus/ows?service=WMS&request=GetCapabilities")->body,
                          "conus_bref_qcd"),
              "");
    // Other sites name the super-resolution layer; every layer gives its extent.
    const std::string atlanta = get("/geoserver/kffc/ows?request=GetCapabilities")->body;
    EXPECT_NE(dimensionOf(atlanta, "kffc_sr_bref"), "");
    EXPECT_EQ(dimensionOf(atlanta, "kffc_bref_raw"), "");
    EXPECT_NE(atlanta.find("<westBoundLongitude>-89.3888</westBoundLongitude>"), std::string::npos);
    EXPECT_EQ(get("/geoserver/kzzz/ows?request=GetCapabilities")->status, 404);
}

TEST_F(TodaySiteTest, MapServerAnswersOddTimesWithABlankFrameAndBadRequestsWithXml) {
    const std::string map = std::string("/geoserver/ows?service=WMS&version=1.3.0&request=GetMap"
                                        "&layers=keax:keax_bref_raw") +
                            kBox + "&time=";
    const auto newest = layerTimes("keax_bref_raw", clock.now(), 1, TimeForm::List).times.back();
    const auto frame = get(map + isoTime(newest, true));
    const auto blank = get(map + isoTime(newest + seconds{1}, true));
    EXPECT_EQ(blank->status, 200);
    EXPECT_EQ(blank->get_header_value("Content-Type"), "image/gif");
    EXPECT_EQ(blank->body.substr(0, 4), "GIF8");
    EXPECT_LT(blank->body.size(), frame->body.size()) << "no echoes on the blank frame";

    const auto bad = get(map + "soon");
    EXPECT_EQ(bad->status, 200);
    EXPECT_EQ(bad->get_header_value("Content-Type").substr(0, 8), "text/xml");
    EXPECT_NE(bad->body.find("InvalidDimensionValue"), std::string::npos);

    server.faults().set({"/geoserver/ows", {FaultKind::WmsError, 0}});
    const auto failed = get(map + isoTime(newest, true));
    EXPECT_EQ(failed->status, 200);
    EXPECT_NE(failed->body.find("Error rendering coverage"), std::string::npos);
}

TEST_F(TodaySiteTest, StandardStillsGoBackFiveMinutesEachWithTheirTimes) {
    std::vector<SysSeconds> stamps;
    for (int i = 0; i < 10; ++i) {
        const auto still = get("/ridge/standard/KEAX_" + std::to_string(i) + ".gif");
        ASSERT_EQ(still->status, 200) << i;
        EXPECT_EQ(still->body.substr(0, 4), "GIF8");
        stamps.push_back(*parseHttpDate(still->get_header_value("Last-Modified")));
    }
    EXPECT_LE(stamps.front(), clock.now());
    for (std::size_t i = 1; i < stamps.size(); ++i)
        EXPECT_EQ(stamps[i - 1] - stamps[i], minutes{5});
    for (const char* missing : {"/ridge/standard/KEAX_10.gif", "/ridge/standard/KZZZ_0.gif",
                                "/ridge/standard/KEAX_loop.gif"})
        EXPECT_EQ(get(missing)->status, 404) << missing;
}

TEST_F(TodaySiteTest, InjectedApiErrorsComeAsProblemJson) {
    server.faults().set({"/api/*", {FaultKind::Problem, 503}});
    const auto reply = get("/api/points/39.1031,-94.5785");
    EXPECT_EQ(reply->status, 503);
    EXPECT_EQ(json(reply->body).value(QStringLiteral("status")).toInt(), 503);
    server.faults().set({"/api/*", {FaultKind::Forbidden, 0}});
    EXPECT_EQ(get("/api/points/39.1031,-94.5785")->status, 403);
}

TEST_F(TodaySiteTest, AlertsOfEveryPlaceAreIssuedCancelledAndEndOnTheClock) {
    const std::string kansasCity = "/api/alerts/active?point=39.1031,-94.5785";
    const auto events = [this](const std::string& target) {
        std::vector<std::string> out;
        for (const QJsonValue& f : json(get(target)->body)[QStringLiteral("features")].toArray())
            out.push_back(at(f, {"properties", "event"}).toString().toStdString() + " " +
                          at(f, {"properties", "messageType"}).toString().toStdString());
        return out;
    };
    EXPECT_TRUE(events(kansasCity).empty()) << "none by default";
    httplib::Client control("127.0.0.1", server.port());
    ASSERT_EQ(control.Post("/_sim/alert?alert=Tornado%20Warning:Severe:30")->status, 200);
    ASSERT_EQ(control.Post("/_sim/alert?alert=Wind%20Advisory:Minor:90")->status, 200);
    EXPECT_EQ(control.Post("/_sim/alert?alert=Wind:Gale:90")->status, 400);
    EXPECT_EQ(events(kansasCity),
              (std::vector<std::string>{"Tornado Warning Alert", "Wind Advisory Alert"}));
    EXPECT_TRUE(events("/api/alerts/active?point=10,10").empty()) << "no place there";
    EXPECT_EQ(get("/api/alerts/active?point=139.1,-94.5")->status, 400);

    // The same list answers 304 to its own validator; a change answers anew.
    const std::string etag = get(kansasCity)->get_header_value("ETag");
    EXPECT_EQ(get(kansasCity, {{"User-Agent", kAgent}, {"If-None-Match", etag}})->status, 304);
    EXPECT_EQ(control.Post("/_sim/alert/cancel?which=Tornado%20Warning")->status, 200);
    EXPECT_EQ(control.Post("/_sim/alert/cancel?which=Tornado%20Warning")->status, 400);
    EXPECT_EQ(get(kansasCity, {{"User-Agent", kAgent}, {"If-None-Match", etag}})->status, 200);
    const auto listed = json(get(kansasCity)->body)[QStringLiteral("features")].toArray();
    ASSERT_EQ(listed.size(), 2);
    EXPECT_EQ(at(listed[1], {"properties", "messageType"}).toString(), QStringLiteral("Cancel"));
    EXPECT_TRUE(at(listed[1], {"properties", "references"}).toArray().size() == 1);

    clock.advance(std::chrono::minutes(89));
    EXPECT_EQ(events(kansasCity), std::vector<std::string>{"Wind Advisory Alert"});
    clock.advance(std::chrono::minutes(1));
    EXPECT_TRUE(events(kansasCity).empty());
    EXPECT_EQ(control.Get("/_sim/alerts")->body, "");
}
