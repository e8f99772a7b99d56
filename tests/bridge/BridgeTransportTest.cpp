// The bridge's sub-requests on a real socket, against the simulator's hostile answers: every
// one ends, within its bounds, as an answer of its status or as no answer saying why.
#include "bridge/BridgeTransport.h"

#include "noaa-sim/SimServer.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <gtest/gtest.h>

#include <optional>

using namespace nimbuscope;
using namespace nimbuscope::noaasim;

namespace {

constexpr int kTimeoutMs = 1000;
constexpr int kWaitMs = 10000;

BridgeGet getOf(const QString& url) {
    BridgeGet get;
    get.url = url;
    return get;
}

std::optional<BridgeAnswer> fetch(BridgeTransport& transport, const BridgeGet& get) {
    std::optional<BridgeAnswer> answer;
    transport.get(get, [&answer](const BridgeAnswer& a) { answer = a; });
    QElapsedTimer t;
    t.start();
    while (!answer && t.elapsed() < kWaitMs) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    }
    return answer;
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
    HttpBridgeTransport transport{[] { return kTimeoutMs; }};
};

} // namespace

TEST_F(BridgeTransportTest, HostileAnswersEndAsTheirStatusOrAsNoAnswerWithinTheBounds) {
    const struct {
        const char* fault;
        int status; // 0: no answer
        const char* why;
    } rows[] = {
        {nullptr, 200, ""},
        {"error", 500, ""},
        {"problem:404", 404, ""},
        {"header-bomb", 0, "headers too large"},
        {"slow-headers", 0, "timed out"},
        {"endless", 0, "body too large"},
        {"truncate", 0, "answer cut short"},
        {"drop", 0, "no connection or no answer"},
    };
    int n = 0;
    for (const auto& row : rows) {
        const std::string path = "/radar/loopdata/DS.p19r0/keax.txt?row=" + std::to_string(++n);
        SCOPED_TRACE(row.fault != nullptr ? row.fault : "none");
        if (row.fault != nullptr) {
            sim.faults().set(*parseFaultRule(path + "=" + row.fault));
        }
        const auto answer = fetch(transport, getOf(url(path)));
        ASSERT_TRUE(answer.has_value()) << "no report";
        EXPECT_EQ(answer->answered ? answer->status : 0, row.status);
        EXPECT_EQ(answer->error, QString::fromLatin1(row.why));
        EXPECT_EQ(answer->timedOut, row.status == 0 && QByteArray(row.fault) == "slow-headers");
        EXPECT_EQ(answer->body.isEmpty(), row.status == 0);
    }
}

TEST_F(BridgeTransportTest, AbortingEndsEveryRunningRequestAsNoAnswer) {
    sim.faults().set(*parseFaultRule("/radar/loopdata/DS.p19r0/keax.txt=slow-headers"));
    std::vector<BridgeAnswer> answers;
    for (int i = 0; i < 2; ++i) {
        transport.get(getOf(url("/radar/loopdata/DS.p19r0/keax.txt")),
                      [&answers](const BridgeAnswer& a) { answers.push_back(a); });
    }
    transport.abortAll();
    ASSERT_EQ(answers.size(), 2u);
    for (const BridgeAnswer& a : answers) {
        EXPECT_FALSE(a.answered);
        EXPECT_EQ(a.error, QStringLiteral("aborted"));
    }
}
