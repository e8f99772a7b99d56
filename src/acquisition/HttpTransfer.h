#pragma once

#include "acquisition/HttpResponseReader.h"

#include <QAbstractSocket>
#include <QByteArray>
#include <QObject>
#include <QTimer>
#include <QUrl>

#include <optional>

class QTcpSocket;

namespace nimbuscope {

/// One GET on a connection of its own, read in the calling (user-interface) thread as its
/// bytes arrive: the answer is bounded by HttpResponseReader, silence and a head that does
/// not come are limited in time, and redirections are followed. Nothing here blocks, and
/// aborting closes the connection at once, whatever the server is sending.
class HttpTransfer final : public QObject {
    Q_OBJECT
public:
    struct Limits {
        /// The longest silence, and the longest wait for a whole head after connecting;
        /// 0 or less: no limit.
        qint32 timeoutMs = 0;
        qsizetype bodyCap = 0;
        int maxRedirects = 0;
    };

    /// `url` must be an http or https address with a host.
    HttpTransfer(QUrl url, QByteArray userAgent, Limits limits, QObject* parent = nullptr);
    ~HttpTransfer() override;

    void start();
    /// Closes the connection and ends the transfer as `status`, without `finished`.
    void abort(qint16 status);

    /// A PageRetriever status: Running until the transfer has ended.
    qint16 status() const { return status_; }
    /// The body of a `Done` transfer.
    const QByteArray& body() const { return body_; }
    /// The address that answered, after redirections.
    const QUrl& url() const { return url_; }

signals:
    void finished();

private:
    void connectTo();
    void sendRequest();
    void onReadyRead();
    void onClosed();
    void onError(QAbstractSocket::SocketError error);
    void settle();
    void complete();
    void finish(qint16 status);
    void dropSocket();

    QUrl url_;
    QByteArray userAgent_;
    Limits limits_;
    int redirects_ = 0;
    QTcpSocket* socket_ = nullptr;
    std::optional<HttpResponseReader> reader_;
    QTimer silence_;
    QTimer headDeadline_;
    qint16 status_ = 0;
    QByteArray body_;
};

/// True for an address a transfer can fetch: http or https, with a host.
bool isFetchableUrl(const QUrl& url);

} // namespace nimbuscope
