#include "retrieval/HttpRetriever.h"

#include "support/StringUtils.h"

namespace nimbuscope {

HttpRetriever::HttpRetriever(QObject* parent) : QObject(parent) {}

HttpRetriever::HttpRetriever(std::unique_ptr<RequestAnswerer> answerer, QObject* parent)
    : QObject(parent), answerer_(std::move(answerer)) {
    if (answerer_) {
        answerer_->setReceiveTimeout(timeoutMs_);
    }
}

void HttpRetriever::SetRcvTimeout(qint32 ms) {
    timeoutMs_ = ms;
    if (answerer_) {
        answerer_->setReceiveTimeout(ms);
    }
}

HttpRetriever::~HttpRetriever() {
    for (auto& [address, request] : requests_) {
        stop(request, Aborted);
    }
}

QByteArray HttpRetriever::userAgent() {
    return programUserAgent();
}

QString HttpRetriever::RetrieveAsync(const QString& address) {
    FreePage(address);
    start(address, requests_[address]);
    return QStringLiteral("ok");
}

void HttpRetriever::start(const QString& address, Request& request) {
    request = Request{};
    request.touchedAtKill = kills_;
    if (answerer_ && answerer_->handles(address)) {
        startBridged(address, request);
        return;
    }
    const QUrl url(address, QUrl::StrictMode);
    if (!isFetchableUrl(url)) {
        request.status = BadAddress;
        return;
    }
    auto* transfer =
        new HttpTransfer(url, userAgent(), {timeoutMs_, kBodyCap, kMaxRedirects}, this);
    request.transfer = transfer;
    connect(transfer, &HttpTransfer::finished, this,
            [this, address, transfer] { onFinished(address, transfer); });
    transfer->start();
}

void HttpRetriever::startBridged(const QString& address, Request& request) {
    request.bridging = true;
    request.ticket = ++nextTicket_;
    const quint64 ticket = request.ticket;
    answerer_->start(address, [this, address, ticket](const AnsweredRequest& result) {
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

void HttpRetriever::onFinished(const QString& address, HttpTransfer* transfer) {
    transfer->deleteLater();
    const auto it = requests_.find(address);
    if (it == requests_.end() || it->second.transfer != transfer) {
        return; // a transfer of a request that was freed or sent again
    }
    Request& request = it->second;
    request.transfer = nullptr;
    request.status = transfer->status();
    if (request.status == Done) {
        request.body = transfer->body();
        request.finalUrl = textToAnsi(transfer->url().toString(QUrl::FullyEncoded));
    }
}

void HttpRetriever::stop(Request& request, qint16 status) {
    if (HttpTransfer* transfer = request.transfer) {
        transfer->disconnect();
        transfer->abort(status);
        transfer->deleteLater();
        request.transfer = nullptr;
        request.status = status;
    }
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
    stop(it->second, Aborted);
    requests_.erase(it);
}

void HttpRetriever::KillAsyncRetrieve(const QString&) {
    for (auto& [address, request] : requests_) {
        if (request.bridging) {
            request.bridging = false;
            request.killed = true;
            request.status = Aborted;
        }
        if (request.transfer) {
            stop(request, Aborted);
            request.killed = true;
        }
    }
    if (answerer_) {
        answerer_->abortAll();
    }
    ++kills_;
    forgetAbandoned();
}

// A pass that fails or is cut short leaves its requests behind unfreed, and their addresses
// (frame names carry the time) never come again: without this the map grows for good.
void HttpRetriever::forgetAbandoned() {
    std::erase_if(requests_, [this](const auto& entry) {
        const Request& request = entry.second;
        return !request.transfer && !request.bridging &&
               kills_ - request.touchedAtKill > quint64(kKillsRemembered);
    });
}

QString HttpRetriever::RetrieveIsActive(const QString&) {
    for (const auto& [address, request] : requests_) {
        if (request.transfer || request.bridging) {
            return address;
        }
    }
    return {};
}

} // namespace nimbuscope
