// The retriever on a loopback server. Its hostile answers are tested beside the bridge's transport
// (tests/bridge), which reads them with the same reader.
#include "retrieval/HttpRetriever.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QProcess>
#include <QSslConfiguration>
#include <QTcpServer>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <httplib.h>

#include <thread>

using namespace nimbuscope;

namespace {

/// A loopback server: "/page", and "/hop/N" N + 1 redirections from it.
class LoopbackServer {
public:
    LoopbackServer() {
        server_.Get("/page", [](const httplib::Request& req, httplib::Response& res) {
            res.set_content("hello " + req.get_header_value("User-Agent"), "text/html");
        });
        server_.Get(R"(/hop/(\d+))", [](const httplib::Request& req, httplib::Response& res) {
            const int left = std::stoi(req.matches[1]);
            res.set_redirect(left == 0 ? "/page" : "/hop/" + std::to_string(left - 1));
        });
        port_ = server_.bind_to_any_port("127.0.0.1");
        thread_ = std::thread([this] { server_.listen_after_bind(); });
        // Stopping a server that has not begun listening leaves it listening for ever.
        while (!server_.is_running()) {
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
    }
    ~LoopbackServer() {
        server_.stop();
        thread_.join();
    }
    QString url(const QString& path) const {
        return QStringLiteral("http://127.0.0.1:%1%2").arg(port_).arg(path);
    }

private:
    httplib::Server server_;
    std::thread thread_;
    int port_ = 0;
};

/// Answers the addresses of host "bridged" as told, as the bridge answers retired forms.
struct HeldAnswerer final : RequestAnswerer {
    bool handles(const QString& address) const override {
        return QUrl(address).host() == QLatin1String("bridged");
    }
    void start(const QString&, Done done) override { held.push_back(std::move(done)); }
    void abortAll() override { ++aborts; }
    void setReceiveTimeout(qint32) override {}

    std::vector<Done> held;
    int aborts = 0;
};

class HttpRetrieverTest : public ::testing::Test {
protected:
    /// Asks for `address` and polls it until it ends, or for eight seconds.
    qint16 fetch(const QString& address) {
        EXPECT_EQ(retriever.RetrieveAsync(address), QStringLiteral("ok"));
        QElapsedTimer t;
        t.start();
        while (retriever.RetrieveAsyncCompleted(address) == PageRetriever::Running &&
               t.elapsed() < 8000) {
            QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        }
        return retriever.RetrieveAsyncCompleted(address);
    }

    LoopbackServer server;
    HeldAnswerer* answerer = new HeldAnswerer;
    HttpRetriever retriever{std::unique_ptr<RequestAnswerer>(answerer)};
};

} // namespace

TEST_F(HttpRetrieverTest, EachAddressEndsWithTheStatusThatNamesIt) {
    QTcpServer gone; // nothing listens on its port once it has closed
    ASSERT_TRUE(gone.listen(QHostAddress::LocalHost));
    const QString refused = QStringLiteral("http://127.0.0.1:%1/").arg(gone.serverPort());
    gone.close();
    const struct {
        QString address;
        qint16 status;
    } rows[] = {
        {server.url("/hop/%1").arg(HttpRetriever::kMaxRedirects - 1), PageRetriever::Done},
        {server.url("/hop/%1").arg(HttpRetriever::kMaxRedirects), PageRetriever::TooManyRedirects},
        {refused, PageRetriever::ConnectionFailed},
        // Bad addresses are queued and fail on the next poll.
        {QString(), PageRetriever::BadAddress},
        {"not a url", PageRetriever::BadAddress},
        {"ftp://example.invalid/x", PageRetriever::BadAddress},
        {"http://", PageRetriever::BadAddress},
    };
    for (const auto& row : rows) {
        EXPECT_EQ(fetch(row.address), row.status) << row.address.toStdString();
        retriever.FreePage(row.address);
    }
    const QString moved = server.url("/hop/0");
    ASSERT_EQ(fetch(moved), PageRetriever::Done);
    EXPECT_EQ(retriever.RetrieveAsyncPage(moved), "hello " + HttpRetriever::userAgent());
    EXPECT_EQ(retriever.GetResultURL(moved), server.url("/page").toLatin1());
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
    QProcess server; // says ACCEPT once it listens
    server.start("openssl",
                 {"s_server", "-www", "-accept", "127.0.0.1:" + port, "-key", key, "-cert", cert});
    ASSERT_TRUE(server.waitForStarted());
    while (!server.readAllStandardOutput().contains("ACCEPT") && server.waitForReadyRead(5000)) {
    }
    const QString address = "https://localhost:" + port + "/";
    EXPECT_EQ(fetch(address), PageRetriever::ConnectionFailed);

    const QSslConfiguration before = QSslConfiguration::defaultConfiguration();
    QSslConfiguration trusting = before;
    trusting.addCaCertificates(cert);
    QSslConfiguration::setDefaultConfiguration(trusting);
    EXPECT_EQ(fetch(address), PageRetriever::Done);
    EXPECT_TRUE(retriever.RetrieveAsyncPage(address).contains("s_server"));
    QSslConfiguration::setDefaultConfiguration(before);
    server.kill();
    server.waitForFinished();
}

// A failed pass kills what runs and leaves requests behind that nobody frees: each killed one
// starts afresh when polled, and none piles up for good.
TEST_F(HttpRetrieverTest, KilledRequestsAreSentAgainWhenPolledAndThoseLeftAreForgotten) {
    const QString bridged = QStringLiteral("http://bridged/zipcity.php?inputstring=64106");
    retriever.RetrieveAsync(bridged);
    EXPECT_EQ(retriever.RetrieveIsActive(), bridged);
    retriever.KillAsyncRetrieve();
    EXPECT_TRUE(retriever.RetrieveIsActive().isEmpty());
    EXPECT_EQ(answerer->aborts, 1);
    // An answer to the killed request is not taken for the one sent again.
    EXPECT_EQ(retriever.RetrieveAsyncCompleted(bridged), PageRetriever::Running);
    ASSERT_EQ(answerer->held.size(), 2u);
    answerer->held[0]({PageRetriever::Done, "stale", {}});
    EXPECT_EQ(retriever.RetrieveAsyncCompleted(bridged), PageRetriever::Running);
    answerer->held[1]({PageRetriever::Done, QByteArray(HttpRetriever::kBodyCap + 1, 'x'), {}});
    EXPECT_EQ(retriever.RetrieveAsyncCompleted(bridged), PageRetriever::BodyTooLarge);
    retriever.RetrieveAsync(bridged);
    answerer->held[2]({PageRetriever::Done, "page", {}});
    EXPECT_EQ(retriever.RetrieveAsyncCompleted(bridged), PageRetriever::Done);
    EXPECT_EQ(retriever.GetResultURL(bridged), bridged.toLatin1());

    retriever.SetRcvTimeout(5000);
    QTcpServer mute; // takes the request and never answers
    ASSERT_TRUE(mute.listen(QHostAddress::LocalHost));
    const QString killed = QStringLiteral("http://127.0.0.1:%1/killed").arg(mute.serverPort());
    const QString finished = server.url("/page?left=finished");
    const QString kept = server.url("/page?kept");
    ASSERT_EQ(fetch(finished), PageRetriever::Done);
    ASSERT_EQ(fetch(kept), PageRetriever::Done);
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
    EXPECT_EQ(retriever.RetrieveIsActive(), killed);

    killTimes(PageRetriever::kKillsRemembered + 1);
    EXPECT_EQ(retriever.RetrieveAsyncCompleted(finished), PageRetriever::UnknownRequest);
    EXPECT_EQ(retriever.RetrieveAsyncCompleted(killed), PageRetriever::UnknownRequest);
    EXPECT_TRUE(retriever.RetrieveAsyncPage(kept).startsWith("hello "));
}
