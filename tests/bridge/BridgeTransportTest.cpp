// Both doors to the network on a real socket against the simulator: the retriever the saver
// polls and the bridge's transport read every hostile answer with the same reader, and each
// ends, within its bounds, with the status that names it, its connection closed.
#include "retrieval/HttpRetriever.h"
#include "bridge/BridgeTransport.h"
#include "bridge/LegacyFormsAnswerer.h"

#include "noaa-sim/SimServer.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <gtest/gtest.h>

#include <optional>

using namespace nimbuscope;
using namespace nimbuscope::noaasim;

namespace {

/// Lets events run until `done` holds or `ms` have passed.
bool waitFor(const std::function<bool()>& done, int ms = 10000) {
    QElapsedTimer t;
    t.start();
    while (!done() && t.elapsed() < ms) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    }
    return done();
}

qint16 poll(PageRetriever& r, const QString& address) {
    qint16 status = PageRetriever::Running;
    waitFor([&] { return (status = r.RetrieveAsyncCompleted(address)) != PageRetriever::Running; });
    return status;
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
                transport.get(BridgeGet{address}, [&a](const BridgeAnswer& got) { a = got; });
                ASSERT_TRUE(waitFor([&] { return a.has_value(); })) << "no report";
                EXPECT_EQ(a->answered ? a->status : 0, row.status);
                EXPECT_EQ(a->error, QString::fromLatin1(row.why));
                EXPECT_EQ(a->timedOut, row.retrieved == PageRetriever::TimedOut);
                EXPECT_EQ(a->body.isEmpty(), row.status == 0);
            } else {
                retriever.RetrieveAsync(address);
                EXPECT_EQ(poll(retriever, address), row.retrieved);
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
            })) << "the server still sends, bridged " << bridged;
        }
    }
}

TEST_F(BridgeTransportTest, AbortingEndsEveryRunningRequestAsNoAnswer) {
    sim.faults().set(*parseFaultRule("/radar/loopdata/DS.p19r0/keax.txt=slow-headers"));
    std::vector<BridgeAnswer> answers;
    for (int i = 0; i < 2; ++i) {
        transport.get(BridgeGet{url("/radar/loopdata/DS.p19r0/keax.txt")},
                      [&answers](const BridgeAnswer& a) { answers.push_back(a); });
    }
    transport.abortAll();
    ASSERT_EQ(answers.size(), 2u);
    for (const BridgeAnswer& a : answers) {
        EXPECT_FALSE(a.answered);
        EXPECT_EQ(a.error, QStringLiteral("aborted"));
    }
}

// NOAA's retired search, answered by the bridge from today's services, which turn away a
// request that does not say who asks; the saver polls it as any other.
TEST(BridgedRetrieverTest, ARetiredSearchIsAnsweredWithTheSamePolling) {
    const SystemUtcClock clock;
    SimOptions options;
    options.today = true;
    SimServer today(options, SiteTable::builtIn(), clock);
    std::string error;
    ASSERT_TRUE(today.start(error)) << error;
    const QString base = QString::fromStdString(today.baseUrl());
    BridgeConfig config;
    config.noaaHosts = {QStringLiteral("forecast.weather.gov")};
    config.locationSearchURL = base + "zipcity.php";
    config.apiURL = base + "api/";
    config.utcNow = [] { return QDateTime::currentDateTimeUtc(); };
    HttpRetriever bridged(std::make_unique<LegacyFormsAnswerer>(config));
    const QString search =
        QStringLiteral("http://forecast.weather.gov/zipcity.php?inputstring=64106");
    ASSERT_EQ(bridged.RetrieveAsync(search), QStringLiteral("ok"));
    EXPECT_FALSE(bridged.RetrieveIsActive().isEmpty());
    bridged.KillAsyncRetrieve(); // sent afresh when polled, like any other
    ASSERT_EQ(poll(bridged, search), PageRetriever::Done);
    EXPECT_TRUE(bridged.RetrieveIsActive().isEmpty());
    EXPECT_TRUE(bridged.RetrieveAsyncPage(search).contains("Kansas City, MO"));
    EXPECT_EQ(bridged.GetResultURL(search),
              "http://forecast.weather.gov/MapClick.php?lat=39.1031&lon=-94.5785");

    // The same address on another host is fetched as it stands.
    const QString elsewhere = base + "zipcity.php?inputstring=64106";
    bridged.RetrieveAsync(elsewhere);
    ASSERT_EQ(poll(bridged, elsewhere), PageRetriever::Done);
    EXPECT_TRUE(bridged.GetResultURL(elsewhere).contains("/MapClick.php?lat=39.1031&lon=-94.5785"));
}
