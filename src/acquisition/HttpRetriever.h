#pragma once

#include "acquisition/BridgeTransport.h"
#include "acquisition/HttpTransfer.h"
#include "acquisition/LegacyFormsBridge.h"
#include "acquisition/PageRetriever.h"

#include <QObject>
#include <QPointer>

#include <map>
#include <memory>

namespace nimbuscope {

/// The page-retrieval component. Each transfer is an HttpTransfer: a 2xx
/// answer is `Done` with its body, any other answer fails with its HTTP status
/// (`PageRetriever::httpError`); connection failures, time-outs, aborts, oversized heads and
/// bodies, answers cut short and redirect loops are distinct failure codes. With a bridge
/// configuration, requests for NOAA's retired forms on NOAA's hosts are answered by the
/// legacy-forms bridge, with the same polling, results and failure codes as any other
/// transfer.
class HttpRetriever final : public QObject, public PageRetriever {
    Q_OBJECT
public:
    /// No page, list or picture of the service comes near this; anything larger is refused.
    static constexpr qint64 kBodyCap = qint64(2) << 20;
    static constexpr int kMaxRedirects = 10;

    explicit HttpRetriever(QObject* parent = nullptr);
    explicit HttpRetriever(BridgeConfig bridge, QObject* parent = nullptr);
    ~HttpRetriever() override;

    QString RetrieveAsync(const QString& address) override;
    qint16 RetrieveAsyncCompleted(const QString& address) override;
    QByteArray RetrieveAsyncPage(const QString& address) override;
    QByteArray GetResultURL(const QString& address) override;
    void FreePage(const QString& address) override;
    void KillAsyncRetrieve(const QString& unused = {}) override;
    QString RetrieveIsActive(const QString& unused = {}) override;
    void SetRcvTimeout(qint32 ms) override { timeoutMs_ = ms; }

    static QByteArray userAgent();

private:
    struct Request {
        QPointer<HttpTransfer> transfer; // while it runs
        qint16 status = Running;
        bool killed = false;
        QByteArray body;
        QByteArray finalUrl;
        bool bridging = false;     // the bridge is answering it
        quint64 ticket = 0;        // tells a bridge answer for this start from a stale one
        quint64 touchedAtKill = 0; // the kill count when the caller last used it
    };

    void start(const QString& address, Request& request);
    void startBridged(const QString& address, Request& request);
    void onFinished(const QString& address, HttpTransfer* transfer);
    /// The caller's request for `address`, marked as still in use; null when there is none.
    Request* used(const QString& address);
    static void stop(Request& request, qint16 status);
    void forgetAbandoned();

    std::map<QString, Request> requests_;
    qint32 timeoutMs_ = 30000;
    quint64 nextTicket_ = 0;
    quint64 kills_ = 0;
    std::unique_ptr<HttpBridgeTransport> bridgeWire_;
    std::unique_ptr<PoliteTransport> bridgeTransport_;
    std::unique_ptr<LegacyFormsBridge> bridge_;
};

} // namespace nimbuscope
