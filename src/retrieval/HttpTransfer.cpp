#include "retrieval/HttpTransfer.h"

#include "retrieval/PageRetriever.h"

#include <QSslSocket>
#include <QTcpSocket>

namespace nimbuscope {

namespace {

constexpr qint64 kReadBuffer = qint64(64) << 10;
constexpr quint16 kHttpPort = 80;
constexpr quint16 kHttpsPort = 443;

bool isHttps(const QUrl& url) {
    return url.scheme().compare(QLatin1String("https"), Qt::CaseInsensitive) == 0;
}

bool isRedirection(int code) {
    return code == 301 || code == 302 || code == 303 || code == 307 || code == 308;
}

qint16 statusOfFailure(HttpResponseReader::Failure failure, qint64 bytesReceived) {
    switch (failure) {
    case HttpResponseReader::Failure::HeadTooLarge:
        return PageRetriever::HeadersTooLarge;
    case HttpResponseReader::Failure::BodyTooLarge:
        return PageRetriever::BodyTooLarge;
    case HttpResponseReader::Failure::Invalid:
        return PageRetriever::InvalidResponse;
    case HttpResponseReader::Failure::Truncated:
    case HttpResponseReader::Failure::None:
        break;
    }
    // A connection closed before a single byte came is no answer at all.
    return bytesReceived > 0 ? PageRetriever::Truncated : PageRetriever::ConnectionFailed;
}

} // namespace

bool isFetchableUrl(const QUrl& url) {
    const QString scheme = url.scheme().toLower();
    return url.isValid() && !url.host().isEmpty() &&
           (scheme == QLatin1String("http") || scheme == QLatin1String("https"));
}

HttpTransfer::HttpTransfer(QUrl url, QByteArray userAgent, Limits limits, QObject* parent)
    : HttpTransfer(std::move(url), std::move(userAgent), limits, Asking{}, parent) {}

HttpTransfer::HttpTransfer(QUrl url, QByteArray userAgent, Limits limits, Asking asking,
                           QObject* parent)
    : QObject(parent), url_(std::move(url)), userAgent_(std::move(userAgent)), limits_(limits),
      asking_(std::move(asking)), status_(PageRetriever::Running) {
    for (QTimer* timer : {&silence_, &headDeadline_}) {
        timer->setSingleShot(true);
        timer->setTimerType(Qt::PreciseTimer);
        connect(timer, &QTimer::timeout, this, [this] { finish(PageRetriever::TimedOut); });
    }
}

HttpTransfer::~HttpTransfer() {
    dropSocket();
}

void HttpTransfer::start() {
    connectTo();
}

int HttpTransfer::answerStatus() const {
    return reader_ && reader_->state() != HttpResponseReader::State::Head ? reader_->statusCode()
                                                                          : 0;
}

QByteArray HttpTransfer::answerHeader(const QByteArray& name) const {
    return answerStatus() != 0 ? reader_->header(name) : QByteArray();
}

void HttpTransfer::abort(qint16 status) {
    if (status_ == PageRetriever::Running) {
        status_ = status;
        silence_.stop();
        headDeadline_.stop();
        dropSocket();
    }
}

void HttpTransfer::connectTo() {
    dropSocket();
    reader_.emplace(limits_.bodyCap);
    const bool tls = isHttps(url_);
    if (tls && !QSslSocket::supportsSsl()) {
        finish(PageRetriever::ConnectionFailed);
        return;
    }
    socket_ = tls ? new QSslSocket(this) : new QTcpSocket(this);
    // Bytes wait in the kernel, not here, until this transfer takes them.
    socket_->setReadBufferSize(kReadBuffer);
    connect(socket_, &QAbstractSocket::readyRead, this, &HttpTransfer::onReadyRead);
    connect(socket_, &QAbstractSocket::disconnected, this, &HttpTransfer::onClosed);
    connect(socket_, &QAbstractSocket::errorOccurred, this, &HttpTransfer::onError);
    if (limits_.timeoutMs > 0) {
        silence_.start(limits_.timeoutMs);
        headDeadline_.start(limits_.timeoutMs);
    }
    if (tls) {
        auto* ssl = static_cast<QSslSocket*>(socket_);
        connect(ssl, &QSslSocket::encrypted, this, &HttpTransfer::sendRequest);
        ssl->connectToHostEncrypted(url_.host(), quint16(url_.port(kHttpsPort)));
    } else {
        connect(socket_, &QAbstractSocket::connected, this, &HttpTransfer::sendRequest);
        socket_->connectToHost(url_.host(), quint16(url_.port(kHttpPort)));
    }
}

void HttpTransfer::sendRequest() {
    QByteArray target = url_.path(QUrl::FullyEncoded).toLatin1();
    if (target.isEmpty()) {
        target = "/";
    }
    if (url_.hasQuery()) {
        target += '?' + url_.query(QUrl::FullyEncoded).toLatin1();
    }
    const QByteArray host =
        url_.adjusted(QUrl::RemoveUserInfo).authority(QUrl::FullyEncoded).toLatin1();
    QByteArray head =
        "GET " + target + " HTTP/1.1\r\nHost: " + host + "\r\nUser-Agent: " + userAgent_ + "\r\n";
    bool accept = false;
    for (const auto& [name, value] : asking_.headers) {
        // Values may echo a server's validators: a line break would forge headers.
        if (name.contains('\r') || name.contains('\n') || value.contains('\r') ||
            value.contains('\n')) {
            continue;
        }
        accept = accept || name.compare("Accept", Qt::CaseInsensitive) == 0;
        head += name + ": " + value + "\r\n";
    }
    if (!accept) {
        head += "Accept: */*\r\n";
    }
    // One request a connection: the answer ends at the latest when the server closes.
    socket_->write(head + "Connection: close\r\n\r\n");
}

void HttpTransfer::onReadyRead() {
    if (limits_.timeoutMs > 0) {
        silence_.start(limits_.timeoutMs);
    }
    while (socket_ != nullptr && socket_->bytesAvailable() > 0 &&
           (reader_->state() == HttpResponseReader::State::Head ||
            reader_->state() == HttpResponseReader::State::Body)) {
        reader_->feed(socket_->read(kReadBuffer));
    }
    settle();
}

void HttpTransfer::onClosed() {
    if (status_ != PageRetriever::Running || socket_ == nullptr) {
        return;
    }
    while (socket_->bytesAvailable() > 0 && reader_->state() != HttpResponseReader::State::Failed) {
        reader_->feed(socket_->read(kReadBuffer));
    }
    reader_->closed();
    settle();
}

void HttpTransfer::onError(QAbstractSocket::SocketError error) {
    if (error == QAbstractSocket::RemoteHostClosedError) {
        onClosed();
    } else if (status_ == PageRetriever::Running) {
        finish(reader_->bytesReceived() > 0 ? PageRetriever::Truncated
                                            : PageRetriever::ConnectionFailed);
    }
}

void HttpTransfer::settle() {
    if (status_ != PageRetriever::Running) {
        return;
    }
    switch (reader_->state()) {
    case HttpResponseReader::State::Head:
        return;
    case HttpResponseReader::State::Body:
        headDeadline_.stop();
        return;
    case HttpResponseReader::State::Failed:
        finish(statusOfFailure(reader_->failure(), reader_->bytesReceived()));
        return;
    case HttpResponseReader::State::Complete:
        complete();
        return;
    }
}

void HttpTransfer::complete() {
    const int code = reader_->statusCode();
    const QByteArray location = reader_->header("Location");
    const bool answerIsRedirection = asking_.anyStatus && redirects_ >= limits_.maxRedirects;
    if (!isRedirection(code) || location.isEmpty() || answerIsRedirection) {
        if (code / 100 == 2 || asking_.anyStatus) {
            body_ = reader_->body();
            finish(PageRetriever::Done);
        } else {
            finish(PageRetriever::httpError(code));
        }
        return;
    }
    const QUrl next = url_.resolved(QUrl::fromEncoded(location, QUrl::TolerantMode));
    if (++redirects_ > limits_.maxRedirects || (isHttps(url_) && !isHttps(next))) {
        finish(PageRetriever::TooManyRedirects);
    } else if (!isFetchableUrl(next)) {
        finish(PageRetriever::BadAddress);
    } else {
        url_ = next;
        connectTo();
    }
}

void HttpTransfer::finish(qint16 status) {
    if (status_ == PageRetriever::Running) {
        abort(status);
        emit finished();
    }
}

void HttpTransfer::dropSocket() {
    if (socket_ != nullptr) {
        socket_->disconnect(this);
        socket_->abort();
        socket_->deleteLater();
        socket_ = nullptr;
    }
}

QByteArray programUserAgent() {
    return QByteArrayLiteral("Nimbuscope/" NIMBUSCOPE_VERSION " (nimbuscope@calderwick.example)");
}

} // namespace nimbuscope
