#include "acquisition/HttpRetriever.h"

#include "support/StringUtils.h"

#include <QNetworkReply>
#include <QNetworkRequest>

namespace nimbuscope {

namespace {

bool isFetchable(const QUrl& url) {
    const QString scheme = url.scheme().toLower();
    return url.isValid() && !url.host().isEmpty() &&
           (scheme == QLatin1String("http") || scheme == QLatin1String("https"));
}

} // namespace

HttpRetriever::HttpRetriever(QObject* parent) : QObject(parent) {}

HttpRetriever::HttpRetriever(BridgeConfig bridge, QObject* parent) : QObject(parent) {
    bridgeWire_ = std::make_unique<QtBridgeTransport>(manager_, [this] { return timeoutMs_; });
    // The bridge's own time, so the back-off and the bridge agree on one clock.
    bridgeTransport_ =
        std::make_unique<PoliteTransport>(*bridgeWire_, [this] { return bridge_->now(); });
    bridge_ = std::make_unique<LegacyFormsBridge>(std::move(bridge), *bridgeTransport_);
}

HttpRetriever::~HttpRetriever() {
    // Replies are children of the manager; detach our handlers before they go.
    for (auto& [address, request] : requests_) {
        if (request.reply) {
            request.reply->disconnect(this);
            request.reply->abort();
        }
    }
}

QByteArray HttpRetriever::userAgent() {
    return bridgeUserAgent();
}

QString HttpRetriever::RetrieveAsync(const QString& address) {
    FreePage(address);
    start(address, requests_[address]);
    return QStringLiteral("ok");
}

void HttpRetriever::start(const QString& address, Request& request) {
    request = Request{};
    request.touchedAtKill = kills_;
    if (bridge_ && bridge_->handles(address)) {
        startBridged(address, request);
        return;
    }
    const QUrl url(address, QUrl::StrictMode);
    if (!isFetchable(url)) {
        request.status = BadAddress;
        return;
    }
    QNetworkRequest req(url);
    req.setHeader(QNetworkRequest::UserAgentHeader, userAgent());
    req.setAttribute(QNetworkRequest::RedirectPolicyAttribute,
                     QNetworkRequest::NoLessSafeRedirectPolicy);
    req.setMaximumRedirectsAllowed(kMaxRedirects);
    req.setTransferTimeout(timeoutMs_ > 0 ? timeoutMs_ : 0);

    QNetworkReply* reply = manager_.get(req);
    reply->setReadBufferSize(kReadBuffer);
    request.reply = reply;
    connect(reply, &QNetworkReply::readyRead, this,
            [this, address, reply] { onReadyRead(address, reply); });
    connect(reply, &QNetworkReply::finished, this,
            [this, address, reply] { onFinished(address, reply); });
}

void HttpRetriever::startBridged(const QString& address, Request& request) {
    request.bridging = true;
    request.ticket = ++nextTicket_;
    const quint64 ticket = request.ticket;
    bridge_->start(address, [this, address, ticket](const BridgeResult& result) {
        const auto it = requests_.find(address);
        if (it == requests_.end() || it->second.ticket != ticket || !it->second.bridging) {
            return; // freed, killed or sent again meanwhile
        }
        Request& r = it->second;
        r.bridging = false;
        r.status = result.body.size() > kBodyCap ? qint16(BodyTooLarge) : result.status;
        if (r.status == Done) {
            r.body = result.body;
            r.finalUrl = result.finalUrl.isEmpty() ? textToAnsi(address) : result.finalUrl;
        }
    });
}

HttpRetriever::Request* HttpRetriever::find(const QString& address, QNetworkReply* reply) {
    const auto it = requests_.find(address);
    if (it == requests_.end() || it->second.reply != reply) {
        return nullptr; // a reply of a request that was freed or sent again
    }
    return &it->second;
}

void HttpRetriever::onReadyRead(const QString& address, QNetworkReply* reply) {
    Request* request = find(address, reply);
    if (request == nullptr) {
        return;
    }
    request->body += reply->readAll();
    if (request->body.size() > kBodyCap) {
        request->abortCause = BodyTooLarge;
        reply->abort();
    }
}

qint16 HttpRetriever::failureStatus(const QNetworkReply& reply, qint16 abortCause) {
    switch (reply.error()) {
    case QNetworkReply::OperationCanceledError:
        // Qt reports its own transfer time-out like an abort; only we know our aborts.
        return abortCause != Running ? abortCause : qint16(TimedOut);
    case QNetworkReply::TimeoutError:
        return TimedOut;
    case QNetworkReply::TooManyRedirectsError:
    case QNetworkReply::InsecureRedirectError:
        return TooManyRedirects;
    case QNetworkReply::ProtocolUnknownError:
    case QNetworkReply::ProtocolInvalidOperationError:
        return BadAddress;
    default:
        return ConnectionFailed;
    }
}

void HttpRetriever::onFinished(const QString& address, QNetworkReply* reply) {
    reply->deleteLater();
    Request* request = find(address, reply);
    if (request == nullptr) {
        return;
    }
    request->reply = nullptr;
    // An error page is an answer like any other; a failure while reading a 2xx body (a
    // broken or over-compressed stream) is not.
    const QVariant httpStatus = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute);
    const bool answered = httpStatus.isValid() && request->abortCause == Running &&
                          (reply->error() == QNetworkReply::NoError || httpStatus.toInt() >= 400);
    if (answered) {
        request->body += reply->readAll();
        if (request->body.size() > kBodyCap) {
            request->status = BodyTooLarge;
            request->body.clear();
            return;
        }
        request->status = Done;
        request->finalUrl = textToAnsi(reply->url().toString(QUrl::FullyEncoded));
        return;
    }
    request->status = failureStatus(*reply, request->abortCause);
    request->body.clear();
}

HttpRetriever::Request* HttpRetriever::used(const QString& address) {
    const auto it = requests_.find(address);
    if (it == requests_.end()) {
        return nullptr;
    }
    it->second.touchedAtKill = kills_;
    return &it->second;
}

qint16 HttpRetriever::RetrieveAsyncCompleted(const QString& address) {
    Request* request = used(address);
    if (request == nullptr) {
        return UnknownRequest;
    }
    if (request->killed) {
        start(address, *request);
    }
    return request->status;
}

QByteArray HttpRetriever::RetrieveAsyncPage(const QString& address) {
    const Request* request = used(address);
    return request != nullptr && request->status == Done ? request->body : QByteArray();
}

QByteArray HttpRetriever::GetResultURL(const QString& address) {
    const Request* request = used(address);
    return request != nullptr && request->status == Done ? request->finalUrl : QByteArray();
}

void HttpRetriever::FreePage(const QString& address) {
    const auto it = requests_.find(address);
    if (it == requests_.end()) {
        return;
    }
    if (QNetworkReply* reply = it->second.reply) {
        reply->disconnect(this);
        reply->abort();
        reply->deleteLater();
    }
    requests_.erase(it);
}

void HttpRetriever::KillAsyncRetrieve(const QString&) {
    for (auto& [address, request] : requests_) {
        if (request.bridging) {
            request.bridging = false;
            request.killed = true;
            request.status = Aborted;
        }
        if (request.reply) {
            request.abortCause = Aborted;
            request.killed = true;
            request.reply->abort();
        }
    }
    if (bridgeTransport_) {
        bridgeTransport_->abortAll();
    }
    ++kills_;
    forgetAbandoned();
}

// A pass that fails or is cut short leaves its requests behind unfreed, and their addresses
// (frame names carry the time) never come again: without this the map grows for good.
void HttpRetriever::forgetAbandoned() {
    std::erase_if(requests_, [this](const auto& entry) {
        const Request& request = entry.second;
        return !request.reply && !request.bridging &&
               kills_ - request.touchedAtKill > quint64(kKillsRemembered);
    });
}

QString HttpRetriever::RetrieveIsActive(const QString&) {
    for (const auto& [address, request] : requests_) {
        if (request.reply || request.bridging) {
            return address;
        }
    }
    return {};
}

} // namespace nimbuscope
