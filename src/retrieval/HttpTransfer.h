#pragma once

#include "retrieval/HttpResponseReader.h"

#include <QAbstractSocket>
#include <QByteArray>
#include <QList>
#include <QObject>
#include <QTimer>
#include <QUrl>

#include <optional>
#include <utility>

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

    /// What a request says beyond its address, and which answers it keeps.
    struct Asking {
        /// Sent after Host and User-Agent; an Accept here stands instead of "*/*".
        QList<std::pair<QByteArray, QByteArray>> headers;
        /// Any whole answer ends the transfer as `Done`, whatever its status, with its status,
        /// head and body readable; a redirection past `maxRedirects` is then the answer, so
        /// with no redirections allowed the caller reads each one itself.
        bool anyStatus = false;
    };

    /// `url` must be an http or https address with a host.
    HttpTransfer(QUrl url, QByteArray userAgent, Limits limits, QObject* parent = nullptr);
    HttpTransfer(QUrl url, QByteArray userAgent, Limits limits, Asking asking,
                 QObject* parent = nullptr);
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
    /// The HTTP status of the last answer, 0 before a whole head came.
    int answerStatus() const;
    /// A header of the last answer's head; empty when it has none.
    QByteArray answerHeader(const QByteArray& name) const;

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
    Asking asking_;
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

/// The program's user agent: name, version and the contact address the README gives.
QByteArray programUserAgent();

} // namespace nimbuscope
