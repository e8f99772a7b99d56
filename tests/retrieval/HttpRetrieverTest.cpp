// The retriever on a loopback server. Its hostile answers are tested beside the bridge's transport
// (tests/bridge), which reads them with the same reader.
#include "retrieval/HttpRetriever.h"

#include "support/Error.h"

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

private:
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

TEST_F(HttpRetrieverTest, EachAddressEndsWithTheStatusThatNamesIt) {
    QString refused; // nothing listens on the port of a server that has stopped
    {
        LoopbackServer gone;
        refused = gone.url("/page");
    }
    const struct {
        QString address;
        qint16 status;
    } rows[] = {
        // "/hop/N" is N + 1 redirections from the page.
        {server.url("/hop/") + QString::number(HttpRetriever::kMaxRedirects - 1),
         PageRetriever::Done},
        {server.url("/hop/") + QString::number(HttpRetriever::kMaxRedirects),
         PageRetriever::TooManyRedirects},
        {server.url("/loop"), PageRetriever::TooManyRedirects},
        {refused, PageRetriever::ConnectionFailed},
    };
    for (const auto& row : rows) {
        retriever.RetrieveAsync(row.address);
        EXPECT_EQ(pollUntilDone(retriever, row.address), row.status) << row.address.toStdString();
        retriever.FreePage(row.address);
    }
    // Bad addresses are queued and fail on the next poll.
    for (const QString& address : {QString(), QStringLiteral("not a url"),
                                   QStringLiteral("ftp://example.invalid/x"), QStringLiteral("http://")}) {
        EXPECT_EQ(retriever.RetrieveAsync(address), QStringLiteral("ok"));
        EXPECT_EQ(retriever.RetrieveAsyncCompleted(address), PageRetriever::BadAddress)
            << address.toStdString();
        retriever.FreePage(address);
    }
    const QString moved = server.url("/moved");
    retriever.RetrieveAsync(moved);
    ASSERT_EQ(pollUntilDone(retriever, moved), PageRetriever::Done);
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
    factory.registerCreator(QStringLiteral("Failing.1"), [] { return nullptr; });
    for (const char* id : {"Missing.Component.1", "Failing.1"}) {
        try {
            factory.create(QLatin1String(id));
            ADD_FAILURE() << id;
        } catch (const Error& e) {
            EXPECT_EQ(e.number(), err::CannotCreateObject) << id;
        }
    }
}
