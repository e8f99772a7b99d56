#pragma once

#include "acquisition/PageRetriever.h"

#include <QNetworkAccessManager>
#include <QObject>
#include <QPointer>
#include <QUrl>

#include <map>

class QNetworkReply;

namespace nimbuscope {

/// The page-retrieval component on Qt Network. Every completed HTTP response is `Done`
/// with its body, whatever its status code: callers recognise error pages by their content.
/// Connection failures, time-outs, aborts, oversized bodies and redirect loops are distinct
/// failure codes.
class HttpRetriever final : public QObject, public PageRetriever {
    Q_OBJECT
public:
    static constexpr qint64 kBodyCap = qint64(16) << 20;
    static constexpr int kMaxRedirects = 10;
    static constexpr qint64 kReadBuffer = qint64(64) << 10;

    explicit HttpRetriever(QObject* parent = nullptr);
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
        QPointer<QNetworkReply> reply;
        qint16 status = Running;
        qint16 abortCause = Running; // why we aborted it ourselves, if we did
        bool killed = false;
        QByteArray body;
        QByteArray finalUrl;
    };

    void start(const QString& address, Request& request);
    void onReadyRead(const QString& address, QNetworkReply* reply);
    void onFinished(const QString& address, QNetworkReply* reply);
    Request* find(const QString& address, QNetworkReply* reply);
    static qint16 failureStatus(const QNetworkReply& reply, qint16 abortCause);

    QNetworkAccessManager manager_;
    std::map<QString, Request> requests_;
    qint32 timeoutMs_ = 30000;
};

} // namespace nimbuscope
