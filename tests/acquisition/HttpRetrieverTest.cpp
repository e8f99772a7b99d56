#include "retrieval/HttpRetriever.h"
#include "retrieval/HttpResponseReader.h"
#include "bridge/LegacyFormsAnswerer.h"

#include "support/Error.h"

#include "noaa-sim/SimServer.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QProcess>
#include <QSslConfiguration>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <httplib.h>

#include <thread>

using namespace nimbuscope;

namespace {

/// A loopback server with the answers the component must tell apart.
class LoopbackServer {
public:
    LoopbackServer() {
        server_.Get("/page", [](const httplib::Request& req, httplib::Response& res) {
            res.set_content("hello " + req.get_header_value("User-Agent"), "text/html");
        });
        server_.Get("/moved", [](const httplib::Request&, httplib::Response& res) {
            res.set_redirect("/page");
        });
        server_.Get("/loop", [](const httplib::Request&, httplib::Response& res) {
            res.set_redirect("/loop");
        });
        // "/hop/N" takes N more redirections to reach "/page".
        server_.Get(R"(/hop/(\d+))", [](const httplib::Request& req, httplib::Response& res) {
            const int left = std::stoi(req.matches[1]);
            res.set_redirect(left == 0 ? "/page" : "/hop/" + std::to_string(left - 1));
        });
        server_.Get("/silent", [this](const httplib::Request&, httplib::Response& res) {
            std::unique_lock lock(mutex_);
            released_.wait_for(lock, std::chrono::seconds(5), [this] { return release_; });
            res.set_content("late", "text/plain");
        });
        addCurrentForms();
        port_ = server_.bind_to_any_port("127.0.0.1");
        thread_ = std::thread([this] { server_.listen_after_bind(); });
        // Stopping a server that has not begun listening leaves it listening for ever.
        while (!server_.is_running()) {
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
    }
    ~LoopbackServer() {
        {
            std::lock_guard lock(mutex_);
            release_ = true;
        }
        released_.notify_all();
        server_.stop();
        thread_.join();
    }
    QString url(const char* path) const {
        return QStringLiteral("http://127.0.0.1:%1%2").arg(port_).arg(QLatin1String(path));
    }

    /// Headers the current-form answers saw, "User-Agent|Accept" per request.
    std::vector<std::string> seen() {
        std::lock_guard lock(mutex_);
        return seen_;
    }

private:
    /// A few of NOAA's current forms, enough for one bridged location search.
    void addCurrentForms() {
        const auto note = [this](const httplib::Request& req) {
            std::lock_guard lock(mutex_);
            seen_.push_back(req.get_header_value("User-Agent") + "|" +
                            req.get_header_value("Accept"));
        };
        server_.Get("/zipcity.php", [note](const httplib::Request& req, httplib::Response& res) {
            note(req);
            res.set_redirect("/MapClick.php?lat=39.0997&lon=-94.5786", 302);
        });
        server_.Get("/MapClick.php", [](const httplib::Request&, httplib::Response& res) {
            res.set_content("location page", "text/html");
        });
        server_.Get("/api/points/39.0997,-94.5786",
                    [this, note](const httplib::Request& req, httplib::Response& res) {
                        note(req);
                        res.set_content(R"({"properties":{"radarStation":"KEAX",
                            "observationStations":"http://127.0.0.1:)" +
                                            std::to_string(port_) + R"(/api/near/stations",
                            "relativeLocation":{"properties":{"city":"Kansas City","state":"MO"}}}})",
                                        "application/geo+json");
                    });
        server_.Get("/api/near/stations",
                    [note](const httplib::Request& req, httplib::Response& res) {
                        note(req);
                        res.set_content(R"({"observationStations":["https://x/stations/KMKC"]})",
                                        "application/geo+json");
                    });
        server_.Get("/api/stations/KMKC/observations/latest",
                    [note](const httplib::Request& req, httplib::Response& res) {
                        note(req);
                        res.set_content(R"({"properties":{"timestamp":"2026-12-06T22:53:00+00:00",
                            "textDescription":"Fair","temperature":{"value":10.0}}})",
                                        "application/geo+json");
                    });
    }

    std::vector<std::string> seen_;
    httplib::Server server_;
    std::thread thread_;
    int port_ = 0;
    std::mutex mutex_;
    std::condition_variable released_;
    bool release_ = false;
};

qint16 pollUntilDone(PageRetriever& r, const QString& address, int limitMs = 8000) {
    QElapsedTimer t;
    t.start();
    qint16 status = r.RetrieveAsyncCompleted(address);
    while (status == PageRetriever::Running && t.elapsed() < limitMs) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        status = r.RetrieveAsyncCompleted(address);
    }
    return status;
}

class HttpRetrieverTest : public ::testing::Test {
protected:
    LoopbackServer server;
    HttpRetriever retriever;
};

} // namespace

TEST(HttpRetrieverHostile, EachHostileAnswerFailsWithItsOwnStatusAndItsConnectionClosed) {
    using namespace nimbuscope::noaasim;
    const SystemUtcClock clock;
    SimServer sim(SimOptions{}, SiteTable::builtIn(), clock);
    std::string error;
    ASSERT_TRUE(sim.start(error)) << error;
    const struct {
        const char* fault;
        qint16 status;
    } rows[] = {
        {nullptr, PageRetriever::Done},
        {"error", PageRetriever::httpError(500)},
        {"problem:404", PageRetriever::httpError(404)},
        {"header-bomb", PageRetriever::HeadersTooLarge},
        {"slow-headers", PageRetriever::TimedOut},
        {"endless", PageRetriever::BodyTooLarge},
        {"oversized:2097153", PageRetriever::BodyTooLarge},
        {"truncate", PageRetriever::Truncated},
        {"reset", PageRetriever::Truncated},
        {"drop", PageRetriever::ConnectionFailed},
    };
    HttpRetriever retriever;
    retriever.SetRcvTimeout(1000);
    int n = 0;
    for (const auto& row : rows) {
        const std::string path = "/radar/loopdata/DS.p19r0/keax.txt?row=" + std::to_string(++n);
        SCOPED_TRACE(row.fault != nullptr ? row.fault : "none");
        if (row.fault != nullptr) {
            sim.faults().set(*parseFaultRule(path + "=" + row.fault));
        }
        const QString address = QString::fromStdString(sim.baseUrl() + path.substr(1));
        retriever.RetrieveAsync(address);
        EXPECT_EQ(pollUntilDone(retriever, address), row.status);
        EXPECT_EQ(retriever.RetrieveAsyncPage(address).isEmpty(),
                  row.status != PageRetriever::Done);
        retriever.FreePage(address);
        QElapsedTimer t;
        t.start();
        const auto answered = [&] {
            for (const std::string& line : sim.requestLog()) {
                if (line.find(path) != std::string::npos) {
                    return true;
                }
            }
            return false;
        };
        while (!answered() && t.elapsed() < 5000) {
            QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        }
        EXPECT_TRUE(answered()) << "the server still sends";
    }
}

TEST_F(HttpRetrieverTest, SendsItsUserAgentAndKeepsTheFinalAddress) {
    const QString address = server.url("/moved");
    retriever.RetrieveAsync(address);
    ASSERT_EQ(pollUntilDone(retriever, address), PageRetriever::Done);
    EXPECT_EQ(retriever.RetrieveAsyncPage(address), "hello " + HttpRetriever::userAgent());
    EXPECT_EQ(retriever.GetResultURL(address), server.url("/page").toLatin1());
    EXPECT_TRUE(HttpRetriever::userAgent().startsWith("Nimbuscope/"));
}

TEST_F(HttpRetrieverTest, FailuresHaveDistinctCodes) {
    const QString loop = server.url("/loop");
    retriever.RetrieveAsync(loop);
    EXPECT_EQ(pollUntilDone(retriever, loop), PageRetriever::TooManyRedirects);

    // Nothing listens on the port of a server that has stopped.
    QString refused;
    {
        LoopbackServer gone;
        refused = gone.url("/page");
    }
    retriever.RetrieveAsync(refused);
    EXPECT_EQ(pollUntilDone(retriever, refused), PageRetriever::ConnectionFailed);
}

TEST_F(HttpRetrieverTest, RedirectionsAreFollowedUpToTheLimit) {
    const struct {
        int redirections;
        qint16 status;
    } rows[] = {
        {HttpRetriever::kMaxRedirects, PageRetriever::Done},
        {HttpRetriever::kMaxRedirects + 1, PageRetriever::TooManyRedirects},
    };
    for (const auto& row : rows) {
        // "/hop/N" is N + 1 redirections from the page.
        const QString address = server.url("/hop/") + QString::number(row.redirections - 1);
        retriever.RetrieveAsync(address);
        EXPECT_EQ(pollUntilDone(retriever, address), row.status) << row.redirections;
        retriever.FreePage(address);
    }
}

// HTTPS is TLS with the server's certificate checked: an untrusted one is refused, the same
// server once trusted answers.
TEST_F(HttpRetrieverTest, HttpsChecksTheServersCertificate) {
    QTemporaryDir dir;
    const QString key = dir.filePath("key.pem"), cert = dir.filePath("cert.pem");
    ASSERT_EQ(
        QProcess::execute("openssl", {"req", "-x509", "-newkey", "rsa:2048", "-nodes", "-keyout",
                                      key, "-out", cert, "-days", "1", "-subj", "/CN=localhost",
                                      "-addext", "subjectAltName=DNS:localhost"}),
        0);
    QTcpServer probe;
    ASSERT_TRUE(probe.listen(QHostAddress::LocalHost));
    const QString port = QString::number(probe.serverPort());
    probe.close();
    QProcess server;
    server.start("openssl", {"s_server", "-quiet", "-www", "-accept", "127.0.0.1:" + port, "-key",
                             key, "-cert", cert});
    ASSERT_TRUE(server.waitForStarted());
    QElapsedTimer t;
    t.start();
    for (QTcpSocket s; s.state() != QAbstractSocket::ConnectedState && t.elapsed() < 5000;) {
        s.connectToHost(QHostAddress::LocalHost, port.toUShort());
        s.waitForConnected(200);
    }
    const QString address = "https://localhost:" + port + "/";
    retriever.RetrieveAsync(address);
    EXPECT_EQ(pollUntilDone(retriever, address), PageRetriever::ConnectionFailed);
    retriever.FreePage(address);

    const QSslConfiguration before = QSslConfiguration::defaultConfiguration();
    QSslConfiguration trusting = before;
    trusting.addCaCertificates(cert);
    QSslConfiguration::setDefaultConfiguration(trusting);
    retriever.RetrieveAsync(address);
    EXPECT_EQ(pollUntilDone(retriever, address), PageRetriever::Done);
    EXPECT_TRUE(retriever.RetrieveAsyncPage(address).contains("s_server"));
    QSslConfiguration::setDefaultConfiguration(before);
    server.kill();
    server.waitForFinished();
}

TEST_F(HttpRetrieverTest, ReceiveTimeOutEndsASilentTransfer) {
    retriever.SetRcvTimeout(300);
    const QString address = server.url("/silent");
    retriever.RetrieveAsync(address);
    EXPECT_EQ(retriever.RetrieveIsActive(), address);
    EXPECT_EQ(pollUntilDone(retriever, address), PageRetriever::TimedOut);
    EXPECT_TRUE(retriever.RetrieveIsActive().isEmpty());
}

TEST_F(HttpRetrieverTest, BadAddressesAreQueuedAndFailOnTheNextPoll) {
    for (const QString& address :
         {QString(), QStringLiteral("not a url"), QStringLiteral("ftp://example.invalid/x"),
          QStringLiteral("http://")}) {
        EXPECT_EQ(retriever.RetrieveAsync(address), QStringLiteral("ok"));
        EXPECT_EQ(retriever.RetrieveAsyncCompleted(address), PageRetriever::BadAddress)
            << address.toStdString();
        EXPECT_TRUE(retriever.GetResultURL(address).isEmpty());
        retriever.FreePage(address);
    }
}

TEST_F(HttpRetrieverTest, KilledTransferIsSentAgainWhenPolled) {
    retriever.SetRcvTimeout(5000);
    const QString address = server.url("/page");
    const QString silent = server.url("/silent");
    retriever.RetrieveAsync(silent);
    retriever.KillAsyncRetrieve();
    EXPECT_TRUE(retriever.RetrieveIsActive().isEmpty());

    // The killed request starts afresh on its next poll.
    EXPECT_EQ(retriever.RetrieveAsyncCompleted(silent), PageRetriever::Running);
    EXPECT_EQ(retriever.RetrieveIsActive(), silent);
    retriever.FreePage(silent);
    EXPECT_TRUE(retriever.RetrieveIsActive().isEmpty());

    retriever.RetrieveAsync(address);
    EXPECT_EQ(pollUntilDone(retriever, address), PageRetriever::Done);
}

// A failed pass leaves requests behind that nobody frees; they must not pile up for good.
TEST_F(HttpRetrieverTest, RequestsLeftUntouchedOverSeveralKillsAreForgotten) {
    retriever.SetRcvTimeout(5000);
    const QString finished = server.url("/page?left=finished");
    const QString killed = server.url("/silent?left=killed");
    const QString kept = server.url("/page?kept");
    ASSERT_EQ(retriever.RetrieveAsync(finished), QStringLiteral("ok"));
    ASSERT_EQ(pollUntilDone(retriever, finished), PageRetriever::Done);
    ASSERT_EQ(retriever.RetrieveAsync(kept), QStringLiteral("ok"));
    ASSERT_EQ(pollUntilDone(retriever, kept), PageRetriever::Done);
    retriever.RetrieveAsync(killed);

    const auto killTimes = [&](int times) {
        for (int i = 0; i < times; ++i) {
            retriever.KillAsyncRetrieve();
            EXPECT_EQ(retriever.RetrieveAsyncCompleted(kept), PageRetriever::Done);
        }
    };
    killTimes(PageRetriever::kKillsRemembered);
    EXPECT_EQ(retriever.RetrieveAsyncCompleted(finished), PageRetriever::Done);
    EXPECT_EQ(retriever.RetrieveAsyncCompleted(killed), PageRetriever::Running) << "sent again";

    killTimes(PageRetriever::kKillsRemembered + 1);
    EXPECT_EQ(retriever.RetrieveAsyncCompleted(finished), PageRetriever::UnknownRequest);
    EXPECT_EQ(retriever.RetrieveAsyncCompleted(killed), PageRetriever::UnknownRequest);
    EXPECT_TRUE(retriever.RetrieveAsyncPage(kept).startsWith("hello "));
}

TEST(ComponentFactory, CreatesByIdentifierAndFailsWithTheUsualError) {
    ComponentFactory factory;
    factory.registerCreator(QString::fromLatin1(ComponentFactory::kRetrievePg),
                            [] { return std::make_unique<HttpRetriever>(); });
    EXPECT_NE(factory.create(QString::fromLatin1(ComponentFactory::kRetrievePg)), nullptr);
    try {
        factory.create(QStringLiteral("Missing.Component.1"));
        FAIL() << "creation of an unknown component must fail";
    } catch (const Error& e) {
        EXPECT_EQ(e.number(), err::CannotCreateObject);
    }
    factory.registerCreator(QStringLiteral("Failing.1"), [] { return nullptr; });
    EXPECT_THROW(factory.create(QStringLiteral("Failing.1")), Error);
}

TEST_F(HttpRetrieverTest, NoaasRetiredSearchIsAnsweredByTheBridgeWithTheSamePolling) {
    BridgeConfig config;
    config.noaaHosts = {QStringLiteral("forecast.weather.gov")};
    config.locationSearchURL = server.url("/zipcity.php");
    config.apiURL = server.url("/api/");
    config.utcNow = [] { return QDateTime(QDate(2026, 12, 6), QTime(23, 10), Qt::UTC); };
    HttpRetriever bridged(std::make_unique<LegacyFormsAnswerer>(config));
    const QString search =
        QStringLiteral("http://forecast.weather.gov/zipcity.php?inputstring=64106");
    ASSERT_EQ(bridged.RetrieveAsync(search), QStringLiteral("ok"));
    EXPECT_FALSE(bridged.RetrieveIsActive().isEmpty());
    // A killed bridged request is sent afresh when polled, like any other.
    bridged.KillAsyncRetrieve();
    ASSERT_EQ(pollUntilDone(bridged, search), PageRetriever::Done);
    EXPECT_TRUE(bridged.RetrieveIsActive().isEmpty());
    EXPECT_TRUE(bridged.RetrieveAsyncPage(search).contains("Kansas City, MO"));
    EXPECT_EQ(bridged.GetResultURL(search),
              "http://forecast.weather.gov/MapClick.php?lat=39.0997&lon=-94.5786");
    const std::vector<std::string> seen = server.seen();
    ASSERT_GE(seen.size(), 4u);
    const std::string agent(HttpRetriever::userAgent().constData());
    EXPECT_EQ(seen.back(), agent + "|application/geo+json");
    EXPECT_EQ(seen.front().substr(0, agent.size() + 1), agent + "|");
    EXPECT_NE(agent.find("(nimbuscope@calderwick.example)"), std::string::npos);

    // The same address on another host is fetched as it stands.
    const QString elsewhere = server.url("/zipcity.php?inputstring=64106");
    bridged.RetrieveAsync(elsewhere);
    ASSERT_EQ(pollUntilDone(bridged, elsewhere), PageRetriever::Done);
    EXPECT_TRUE(bridged.GetResultURL(elsewhere).endsWith("/MapClick.php?lat=39.0997&lon=-94.5786"));
}
