// A smoke test of the simulator over HTTP: each form the saver and the bridge read, one
// fault set at run time and one alert. The saver's own tests are what hold its answers to
// account; this only shows that each form is still served.
#include "noaa-sim/SimServer.h"
#include "noaa-sim/FrameList.h"

#include "ManualUtcClock.h"

#include <httplib.h>

#include <QImage>
#include <gtest/gtest.h>

#include <optional>

using namespace nimbuscope::noaasim;
using namespace nimbuscope::noaasim::test;

namespace {

constexpr const char* kAgent = "Nimbuscope/1.0 (nimbuscope@example.org)";

class SimServerSmoke : public ::testing::Test {
protected:
    void start(bool today) {
        SimOptions options;
        options.today = today;
        server.emplace(options, SiteTable::builtIn(), clock);
        std::string error;
        ASSERT_TRUE(server->start(error)) << error;
    }
    httplib::Result get(const std::string& target) {
        httplib::Client c("127.0.0.1", server->port());
        c.set_read_timeout(5, 0);
        return c.Get(target, {{"User-Agent", kAgent}});
    }
    httplib::Result post(const std::string& target, const httplib::Params& params = {}) {
        httplib::Client c("127.0.0.1", server->port());
        return c.Post(target, params);
    }
    bool has(const httplib::Result& r, const std::string& text) {
        return r && r->body.find(text) != std::string::npos;
    }

    ManualUtcClock clock{utc(2026, 12, 5, 21, 37)};
    std::optional<SimServer> server;
};

} // namespace

TEST_F(SimServerSmoke, ServesTheOldFormsAndAFaultSetAtRunTime) {
    ASSERT_NO_FATAL_FAILURE(start(false));
    const auto search = get("/zipcity.php?inputstring=64106");
    ASSERT_TRUE(search);
    EXPECT_EQ(search->get_header_value("Location"), server->baseUrl() + "MapClick.php?zip=64106");
    EXPECT_TRUE(has(get("/MapClick.php?zip=64106"), "radar/latest/DS.p19r0/si.keax.shtml"));
    EXPECT_TRUE(has(get("/zipcity.php?inputstring=00000"), "An error has occurred in your search"));

    const std::string list = "/radar/loopdata/DS.p19r0/keax.txt";
    EXPECT_EQ(get(list)->body, frameListText(ListForm::Relative, server->baseUrl(), "DS.p19r0",
                                             "KEAX", clock.now(), 18));
    const auto frame = get(framePath("DS.p19r0", "KEAX", frameTimes(clock.now(), 1).back()));
    EXPECT_FALSE(QImage::fromData(QByteArray::fromStdString(frame->body)).isNull());
    EXPECT_FALSE(
        QImage::fromData(QByteArray::fromStdString(get("/images/wtf/sct.jpg")->body)).isNull());
    EXPECT_EQ(get("/elsewhere")->status, 404);

    ASSERT_EQ(post("/_sim/fault", {{"path", list}, {"kind", "error"}})->status, 200);
    EXPECT_EQ(get(list)->status, 500);
}

TEST_F(SimServerSmoke, ServesTheCurrentFormsAndAnAlertUntilItIsCancelled) {
    ASSERT_NO_FATAL_FAILURE(start(true));
    EXPECT_EQ(get("/zipcity.php?inputstring=64106")->get_header_value("Location"),
              server->baseUrl() + "MapClick.php?lat=39.1031&lon=-94.5785");
    EXPECT_TRUE(has(get("/api/points/39.1031,-94.5785"), "KEAX"));
    EXPECT_TRUE(
        has(get("/geoserver/keax/ows?service=WMS&request=GetCapabilities"), "keax_bref_raw"));

    const std::string alerts = "/api/alerts/active?point=39.1031,-94.5785";
    EXPECT_FALSE(has(get(alerts), "Tornado Warning"));
    ASSERT_EQ(post("/_sim/alert?alert=Tornado%20Warning:Severe:30")->status, 200);
    EXPECT_TRUE(has(get(alerts), "Tornado Warning"));
    ASSERT_EQ(post("/_sim/alert/cancel?which=Tornado%20Warning")->status, 200);
    EXPECT_TRUE(has(get(alerts), "Cancel"));
}
