// Both doors to the network on a real socket against the simulator: the retriever the saver
// polls and the bridge's transport read every hostile answer with the same reader, and each
// ends, within its bounds, with the status that names it, its connection closed.
#include "bridge/BridgeTransport.h"
#include "retrieval/HttpRetriever.h"

#include "noaa-sim/SimServer.h"

#include "RecordedAnswers.h"

#include <QCoreApplication>
#include <QElapsedTimer>

#include <optional>

using namespace nimbuscope;
using namespace nimbuscope::noaasim;
using namespace nimbuscope::test;

namespace {

BridgeGet plainGet(const QString& url) {
    BridgeGet get;
    get.url = url;
    return get;
}

/// Lets events run until `done` holds or `ms` have passed.
bool waitFor(const std::function<bool()>& done, int ms = 10000) {
    QElapsedTimer t;
    t.start();
    while (!done() && t.elapsed() < ms) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    }
    return done();
}

class BridgeTransportTest : public ::testing::Test {
protected:
    void SetUp() override {
        std::string error;
        ASSERT_TRUE(sim.start(error)) << error;
    }
    QString url(const std::string& path) const {
        return QString::fromStdString(sim.baseUrl() + path.substr(1));
    }

    SystemUtcClock clock;
    SimServer sim{SimOptions{}, SiteTable::builtIn(), clock};
    HttpBridgeTransport transport{[] { return 1000; }};
};

} // namespace

TEST_F(BridgeTransportTest, HostileAnswersEndAsTheirStatusThroughEitherDoor) {
    const struct {
        const char* fault;
        qint16 retrieved;
        int status; // the transport's; 0: no answer, for the reason given
        const char* why;
    } rows[] = {
        {nullptr, PageRetriever::Done, 200, ""},
        {"error", PageRetriever::httpError(500), 500, ""},
        {"problem:404", PageRetriever::httpError(404), 404, ""},
        {"header-bomb", PageRetriever::HeadersTooLarge, 0, "headers too large"},
        {"slow-headers", PageRetriever::TimedOut, 0, "timed out"},
        {"endless", PageRetriever::BodyTooLarge, 0, "body too large"},
        {"oversized:2097153", PageRetriever::BodyTooLarge, 200, ""}, // within the bridge's bound
        {"truncate", PageRetriever::Truncated, 0, "answer cut short"},
        {"reset", PageRetriever::Truncated, 0, "answer cut short"},
        {"drop", PageRetriever::ConnectionFailed, 0, "no connection or no answer"},
    };
    HttpRetriever retriever;
    retriever.SetRcvTimeout(1000);
    int n = 0;
    for (const auto& row : rows) {
        SCOPED_TRACE(row.fault != nullptr ? row.fault : "none");
        for (const bool bridged : {false, true}) {
            const std::string path = "/radar/loopdata/DS.p19r0/keax.txt?row=" + std::to_string(++n);
            if (row.fault != nullptr) {
                sim.faults().set(*parseFaultRule(path + "=" + row.fault));
            }
            const QString address = url(path);
            if (bridged) {
                std::optional<BridgeAnswer> a;
                transport.get(plainGet(address), [&a](const BridgeAnswer& got) { a = got; });
                ASSERT_TRUE(waitFor([&] { return a.has_value(); })) << "no report";
                EXPECT_EQ(a->answered ? a->status : 0, row.status);
                EXPECT_EQ(a->error, QString::fromLatin1(row.why));
                EXPECT_EQ(a->timedOut, row.retrieved == PageRetriever::TimedOut);
                EXPECT_EQ(a->body.isEmpty(), row.status == 0);
            } else {
                retriever.RetrieveAsync(address);
                waitFor([&] {
                    return retriever.RetrieveAsyncCompleted(address) != PageRetriever::Running;
                });
                EXPECT_EQ(retriever.RetrieveAsyncCompleted(address), row.retrieved);
                EXPECT_EQ(retriever.RetrieveAsyncPage(address).isEmpty(),
                          row.retrieved != PageRetriever::Done);
                retriever.FreePage(address);
            }
            // The simulator logs an answer only once the peer has gone.
            EXPECT_TRUE(waitFor([&] {
                for (const std::string& line : sim.requestLog()) {
                    if (line.find(path) != std::string::npos) {
                        return true;
                    }
                }
                return false;
            })) << "the server still sends, bridged "
                << bridged;
        }
    }
}

TEST_F(BridgeTransportTest, AbortingEndsEveryRunningRequestAsNoAnswer) {
    sim.faults().set(*parseFaultRule("/radar/loopdata/DS.p19r0/keax.txt=slow-headers"));
    std::vector<BridgeAnswer> answers;
    for (int i = 0; i < 2; ++i) {
        transport.get(plainGet(url("/radar/loopdata/DS.p19r0/keax.txt")),
                      [&answers](const BridgeAnswer& a) { answers.push_back(a); });
    }
    transport.abortAll();
    ASSERT_EQ(answers.size(), 2u);
    for (const BridgeAnswer& a : answers) {
        EXPECT_FALSE(a.answered);
        EXPECT_EQ(a.error, QStringLiteral("aborted"));
    }
}

TEST(PoliteTransportTest, RequestsAskConditionallyAndBackOffPerHostAfterRefusals) {
    RecordedTransport transport;
    QDateTime now = utc("2022-03-03T00:30:00Z");
    PoliteTransport polite(transport, [&now] { return now; });
    const auto fetch = [&](const QString& url) {
        BridgeAnswer got;
        polite.get(BridgeGet{url, true, true, true, {}}, [&](const BridgeAnswer& a) { got = a; });
        return got;
    };
    BridgeAnswer first = http(200, today("points-38.886,-77.094-arlington-va.json"));
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

    // Each refusal doubles the quiet time, unless the server names it.
    const struct {
        int status;
        const char* retryAfter;
        qint64 quietSeconds;
    } rows[] = {{429, "", 5}, {503, "", 10}, {403, "60", 60}, {500, "", 40}};
    for (const auto& row : rows) {
        BridgeAnswer refusal = http(row.status, "busy", "text/html");
        refusal.retryAfter = row.retryAfter;
        transport.answers[kPointsSent] = refusal;
        fetch(kPointsSent);
        const std::size_t sentBefore = transport.sent.size();
        now = now.addSecs(row.quietSeconds - 1);
        EXPECT_TRUE(fetch("http://fake/api/anything").refused) << row.status;
        EXPECT_EQ(transport.sent.size(), sentBefore) << "nothing is sent while backing off";
        EXPECT_FALSE(fetch("http://fake:8080/other").refused);
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
