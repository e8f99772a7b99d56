#pragma once

#include "retrieval/HttpTransfer.h"
#include "retrieval/PageRetriever.h"
#include "retrieval/RequestAnswerer.h"

#include <QObject>
#include <QPointer>

#include <map>
#include <memory>

namespace nimbuscope {

/// The page-retrieval component. Each transfer is an HttpTransfer: a 2xx
/// answer is `Done` with its body, any other answer fails with its HTTP status
/// (`PageRetriever::httpError`); connection failures, time-outs, aborts, oversized heads and
/// bodies, answers cut short and redirect loops are distinct failure codes. With an
/// answerer (the legacy-forms bridge), the requests it handles are answered by it instead,
/// with the same polling, results and failure codes as any other transfer.
class HttpRetriever final : public QObject, public PageRetriever {
    Q_OBJECT
public:
    /// No page, list or picture of the service comes near this; anything larger is refused.
    static constexpr qint64 kBodyCap = qint64(2) << 20;
    static constexpr int kMaxRedirects = 10;

    explicit HttpRetriever(QObject* parent = nullptr);
    explicit HttpRetriever(std::unique_ptr<RequestAnswerer> answerer, QObject* parent = nullptr);
    ~HttpRetriever() override;

    QString RetrieveAsync(const QString& address) override;
    qint16 RetrieveAsyncCompleted(const QString& address) override;
    QByteArray RetrieveAsyncPage(const QString& address) override;
    QByteArray GetResultURL(const QString& address) override;
    void FreePage(const QString& address) override;
    void KillAsyncRetrieve(const QString& unused = {}) override;
    QString RetrieveIsActive(const QString& unused = {}) override;
    void SetRcvTimeout(qint32 ms) override;

    static QByteArray userAgent();

private:
    struct Request {
        QPointer<HttpTransfer> transfer; // while it runs
        qint16 status = Running;
        bool killed = false;
        QByteArray body;
        QByteArray finalUrl;
        bool bridging = false;     // the answerer is answering it
        quint64 ticket = 0;        // tells an answer for this start from a stale one
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
    std::unique_ptr<RequestAnswerer> answerer_;
};

} // namespace nimbuscope
