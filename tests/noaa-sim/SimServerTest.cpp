#include "noaa-sim/SimServer.h"
#include "noaa-sim/FrameList.h"

#include "ManualUtcClock.h"

#include <httplib.h>

#include <QImage>
#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <sstream>
#include <thread>

using namespace nimbuscope::noaasim;
using namespace nimbuscope::noaasim::test;

namespace {

constexpr const char* kList = "/radar/loopdata/DS.p19r0/keax.txt";

// Sends one request over a plain socket and returns every byte that comes back before the
// server closes the connection.
std::string rawExchange(int port, const std::string& request) {
    const int fd = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(std::uint16_t(port));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    std::string received;
    if (connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0 &&
        send(fd, request.data(), request.size(), 0) == ssize_t(request.size())) {
        char buffer[4096];
        for (ssize_t n; (n = recv(fd, buffer, sizeof buffer, 0)) > 0;)
            received.append(buffer, std::size_t(n));
    }
    close(fd);
    return received;
}

std::vector<std::string> lines(const std::string& text) {
    std::vector<std::string> out;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);)
        out.push_back(line);
    return out;
}

class SimServerTest : public ::testing::Test {
protected:
    SimServerTest()
        : clock(utc(2026, 12, 5, 21, 37)), server(SimOptions{}, SiteTable::builtIn(), clock) {
        std::string error;
        EXPECT_TRUE(server.start(error)) << error;
    }

    httplib::Client client(const char* host = "127.0.0.1") {
        httplib::Client c(host, server.port());
        c.set_read_timeout(5, 0);
        return c;
    }
    std::string newestFramePath() {
        return framePath("DS.p19r0", "KEAX", frameTimes(clock.now(), 1).back());
    }
    httplib::Result post(const std::string& path, const httplib::Params& params = {}) {
        return client().Post(path, params);
    }
    void setFault(const std::string& pattern, const std::string& kind) {
        const auto r = post("/_sim/fault", {{"path", pattern}, {"kind", kind}});
        ASSERT_TRUE(r);
        ASSERT_EQ(r->status, 200) << r->body;
    }

    ManualUtcClock clock;
    SimServer server;
};

} // namespace

TEST_F(SimServerTest, RedirectsAKnownZipToItsLocationPage) {
    auto c = client();
    const auto r = c.Get("/zipcity.php?inputstring=64106");
    ASSERT_TRUE(r);
    EXPECT_EQ(r->status, 302);
    EXPECT_EQ(r->get_header_value("Location"), server.baseUrl() + "MapClick.php?zip=64106");
    c.set_follow_location(true);
    const auto page = c.Get("/zipcity.php?inputstring=Kansas%20City,%20MO");
    ASSERT_TRUE(page);
    EXPECT_EQ(page->status, 200);
    EXPECT_NE(page->body.find(server.baseUrl() + "radar/latest/DS.p19r0/si.keax.shtml"),
              std::string::npos);
    EXPECT_NE(page->body.find("Kansas City, MO<a href=\"#contents\">"), std::string::npos);
}

TEST_F(SimServerTest, AnswersAnUnknownZipWithTheNoMatchPage) {
    for (const char* target :
         {"/zipcity.php?inputstring=00000", "/zipcity.php", "/MapClick.php?zip=00000"}) {
        const auto r = client().Get(target);
        ASSERT_TRUE(r) << target;
        EXPECT_EQ(r->status, 200);
        EXPECT_NE(r->body.find("An error has occurred in your search"), std::string::npos);
    }
}

TEST_F(SimServerTest, ServesListFramesAndPicturesAtTheAddressesItNames) {
    const auto list = client().Get(kList);
    ASSERT_TRUE(list);
    EXPECT_EQ(list->body, frameListText(ListForm::Relative, server.baseUrl(), "DS.p19r0", "KEAX",
                                        clock.now(), 18));
    const auto frame = client().Get(newestFramePath());
    ASSERT_TRUE(frame);
    EXPECT_EQ(frame->get_header_value("Content-Type"), "image/gif");
    EXPECT_GT(frame->body.size(), 6000u);
    const auto radarPage = client().Get("/radar/latest/DS.p19r0/si.keax.shtml");
    ASSERT_TRUE(radarPage);
    EXPECT_NE(radarPage->body.find(newestFramePath()), std::string::npos);
    const auto jpeg = client().Get("/images/wtf/sct.jpg");
    ASSERT_TRUE(jpeg);
    EXPECT_FALSE(
        QImage::fromData(QByteArray(jpeg->body.data(), qsizetype(jpeg->body.size()))).isNull());
    for (const char* missing :
         {"/radar/loopdata/DS.p21/keax.txt", "/radar/images/DS.p19r0/SI.KEAX/x.gif",
          "/images/wtf/nope.jpg", "/elsewhere"}) {
        const auto r = client().Get(missing);
        ASSERT_TRUE(r);
        EXPECT_EQ(r->status, 404) << missing;
    }
}

TEST_F(SimServerTest, DelayWaitsAndThenAnswers) {
    setFault(kList, "delay:300");
    const auto start = std::chrono::steady_clock::now();
    const auto r = client().Get(kList);
    ASSERT_TRUE(r);
    EXPECT_EQ(r->status, 200);
    EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(300));
}

TEST_F(SimServerTest, DropClosesTheConnectionWithoutAnAnswer) {
    setFault("/radar/*", "drop");
    EXPECT_FALSE(client().Get(kList));
    const std::string request =
        std::string("GET ") + kList + " HTTP/1.1\r\nHost: 127.0.0.1\r\nConnection: close\r\n\r\n";
    EXPECT_EQ(rawExchange(server.port(), request), "") << "not a byte of an answer";
    EXPECT_TRUE(client().Get("/zipcity.php?inputstring=64106")) << "other paths unaffected";
    server.faults().clear();
    EXPECT_EQ(rawExchange(server.port(), request).substr(0, 15), "HTTP/1.1 200 OK");
}

TEST_F(SimServerTest, ErrorAnswersAServerErrorPageContentAPageThatIsNeitherLocationNorError) {
    setFault("/zipcity.php", "error");
    const auto error = client().Get("/zipcity.php?inputstring=64106");
    ASSERT_TRUE(error);
    EXPECT_EQ(error->status, 500);
    EXPECT_NE(error->body.find("Server Error"), std::string::npos);

    setFault("/zipcity.php", "content");
    const auto r = client().Get("/zipcity.php?inputstring=64106");
    ASSERT_TRUE(r);
    EXPECT_EQ(r->status, 200);
    EXPECT_GE(r->body.size(), 50u);
    for (const char* marker : {"/radar/latest", "rror", "<a href=\"#contents\">"})
        EXPECT_EQ(r->body.find(marker), std::string::npos) << marker;
}

TEST_F(SimServerTest, TruncateSendsHalfAndCloses) {
    const std::string path = newestFramePath();
    const std::size_t whole = client().Get(path)->body.size();
    setFault(path, "truncate");
    std::string received;
    const auto r = client().Get(path, [&](const char* data, size_t n) {
        received.append(data, n);
        return true;
    });
    EXPECT_FALSE(r) << "the client sees the connection end before the announced length";
    EXPECT_EQ(received.size(), whole / 2);
}

TEST_F(SimServerTest, UnavailableAnswersTheSmallFrameOrAppendsALineFeed) {
    const std::string path = newestFramePath();
    const std::string normal = client().Get(path)->body;
    setFault(path, "unavailable");
    const auto small = client().Get(path);
    ASSERT_TRUE(small);
    EXPECT_LT(small->body.size(), 6000u);
    EXPECT_EQ(small->body.substr(0, 3), "GIF");
    setFault(path, "unavailable:lf");
    const auto lf = client().Get(path);
    ASSERT_TRUE(lf);
    EXPECT_EQ(lf->body, normal + "\n");
}

TEST_F(SimServerTest, TrickleSendsTheWholeAnswerSlowly) {
    const std::string normal = client().Get(kList)->body;
    setFault(kList, "trickle:2000");
    const auto start = std::chrono::steady_clock::now();
    const auto r = client().Get(kList);
    ASSERT_TRUE(r);
    EXPECT_EQ(r->body, normal);
    // 200 bytes every tenth of a second.
    const auto ticks = (normal.size() - 1) / 200;
    EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(100 * ticks));
}

TEST_F(SimServerTest, GarbageAnswersRandomBytesOfTheSameLength) {
    const std::string path = newestFramePath();
    const std::string normal = client().Get(path)->body;
    setFault(path, "garbage");
    const auto r = client().Get(path);
    ASSERT_TRUE(r);
    EXPECT_EQ(r->status, 200);
    EXPECT_EQ(r->body.size(), normal.size());
    EXPECT_NE(r->body.substr(0, 4), "GIF8");
}

TEST_F(SimServerTest, HostQualifiedFaultsHitOnlyThatRegion) {
    const std::string path = newestFramePath();
    setFault("127.0.0.1/radar/images/*", "unavailable");
    EXPECT_LT(client("127.0.0.1").Get(path)->body.size(), 6000u);
    EXPECT_GT(client("localhost").Get(path)->body.size(), 6000u);
}

TEST_F(SimServerTest, ControlRequestsChangeFaultsFramesAndFormsAtRunTime) {
    setFault("*", "drop");
    EXPECT_FALSE(client().Get(kList));
    const auto listed = client().Get("/_sim/faults");
    ASSERT_TRUE(listed) << "control requests are never faulted";
    EXPECT_EQ(listed->body, "*=drop\n");
    ASSERT_EQ(post("/_sim/clear")->status, 200);
    EXPECT_TRUE(client().Get(kList));

    EXPECT_EQ(post("/_sim/fault", {{"path", "/x"}, {"kind", "explode"}})->status, 400);
    EXPECT_EQ(post("/_sim/fault", {{"path", "/x"}, {"kind", "none"}})->status, 400);
    setFault("/x", "error");
    EXPECT_EQ(post("/_sim/fault", {{"path", "/x"}, {"kind", "none"}})->status, 200);
    EXPECT_TRUE(server.faults().rules().empty());

    ASSERT_EQ(post("/_sim/frames", {{"count", "17"}, {"product", "DS.p19r0"}})->status, 200);
    EXPECT_EQ(lines(client().Get(kList)->body).size(), 17u);
    EXPECT_EQ(server.site().frameCount("DS.p20-r"), 18);
    EXPECT_EQ(post("/_sim/frames", {{"count", "999"}})->status, 400);

    ASSERT_EQ(post("/_sim/list-form", {{"form", "absolute"}})->status, 200);
    EXPECT_EQ(client().Get(kList)->body.substr(0, 7), "http://");
    EXPECT_EQ(post("/_sim/list-form", {{"form", "sideways"}})->status, 400);
}

TEST_F(SimServerTest, LogsEveryRequestWithItsOutcome) {
    setFault(kList, "error");
    client().Get(kList);
    client().Get("/zipcity.php?inputstring=64106");
    const std::string host = "127.0.0.1:" + std::to_string(server.port());
    EXPECT_EQ(client().Get("/_sim/requests")->body,
              host + " " + kList + " 500 error\n" + host + " /zipcity.php?inputstring=64106 302\n");
    post("/_sim/requests/clear");
    EXPECT_EQ(client().Get("/_sim/requests")->body, "");
}

TEST_F(SimServerTest, StopsPromptlyWhileAnAnswerIsStillTrickling) {
    setFault("/radar/images/*", "trickle:10");
    std::thread slow([&] { client().Get(newestFramePath()); });
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    const auto start = std::chrono::steady_clock::now();
    server.stop();
    slow.join();
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5));
}
