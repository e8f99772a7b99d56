#include "bridge/BridgeTransport.h"

#include "retrieval/HttpTransfer.h"
#include "retrieval/PageRetriever.h"

#include <QUrl>

#include <algorithm>

namespace nimbuscope {

namespace {

using namespace http_status;

BridgeAnswer noAnswer(qint16 status) {
    BridgeAnswer a;
    a.timedOut = status == PageRetriever::TimedOut || status == PageRetriever::Aborted;
    a.error = transferFailureText(status);
    return a;
}

BridgeAnswer answerOf(const HttpTransfer& transfer) {
    if (transfer.status() != PageRetriever::Done) {
        return noAnswer(transfer.status());
    }
    BridgeAnswer a;
    a.answered = true;
    a.status = transfer.answerStatus();
    a.contentType = transfer.answerHeader("Content-Type");
    a.location = transfer.answerHeader("Location");
    a.lastModified = transfer.answerHeader("Last-Modified");
    a.etag = transfer.answerHeader("ETag");
    a.retryAfter = transfer.answerHeader("Retry-After");
    a.body = transfer.body();
    return a;
}

} // namespace

HttpBridgeTransport::HttpBridgeTransport(std::function<int()> timeoutMs)
    : timeoutMs_(std::move(timeoutMs)) {}

HttpBridgeTransport::~HttpBridgeTransport() {
    for (const auto& [transfer, done] : running_) {
        delete transfer; // without a word: nobody is left to tell
    }
}

void HttpBridgeTransport::get(const BridgeGet& request, Done done) {
    const QUrl url(request.url, QUrl::StrictMode);
    if (!isFetchableUrl(url)) {
        done(noAnswer(PageRetriever::BadAddress));
        return;
    }
    HttpTransfer::Asking asking{request.headers, true};
    if (request.api) {
        asking.headers.prepend({"Accept", "application/geo+json"});
    }
    const int timeout = timeoutMs_ ? timeoutMs_() : 0;
    auto* transfer = new HttpTransfer(
        url, programUserAgent(), {timeout, kBodyCap, request.followRedirects ? kMaxRedirects : 0},
        std::move(asking));
    running_[transfer] = std::move(done);
    QObject::connect(transfer, &HttpTransfer::finished, transfer, [this, transfer] {
        const auto it = running_.find(transfer);
        const Done finished = std::move(it->second);
        running_.erase(it);
        transfer->deleteLater();
        finished(answerOf(*transfer));
    });
    transfer->start();
}

void HttpBridgeTransport::abortAll() {
    // Each ends as no answer; a report may start new sub-requests, which keep running.
    auto running = std::move(running_);
    running_.clear();
    for (auto& [transfer, done] : running) {
        transfer->abort(PageRetriever::Aborted);
        transfer->deleteLater();
        done(noAnswer(PageRetriever::Aborted));
    }
}

QString rebasedURL(const QString& url, const QList<BaseMapping>& mappings) {
    const QUrl target(url);
    const QString scheme = target.scheme().toLower();
    if (scheme != QLatin1String("http") && scheme != QLatin1String("https")) {
        return url;
    }
    const QString path = target.path(QUrl::FullyEncoded);
    for (const BaseMapping& m : mappings) {
        const QUrl base(m.defaultBase);
        const QString basePath = base.path(QUrl::FullyEncoded);
        if (m.configuredBase == m.defaultBase ||
            target.host().compare(base.host(), Qt::CaseInsensitive) != 0 ||
            !path.startsWith(basePath)) {
            continue;
        }
        QString rest = path.mid(basePath.size());
        if (target.hasQuery()) {
            rest += QLatin1Char('?') + target.query(QUrl::FullyEncoded);
        }
        return m.configuredBase + rest;
    }
    return url;
}

ConfiguredBasesTransport::ConfiguredBasesTransport(BridgeTransport& inner,
                                                   QList<BaseMapping> mappings)
    : inner_(inner), mappings_(std::move(mappings)) {}

void ConfiguredBasesTransport::get(const BridgeGet& request, Done done) {
    send(request, kMaxRedirects, std::move(done));
}

void ConfiguredBasesTransport::send(BridgeGet request, int redirectsLeft, Done done) {
    const bool follow = request.followRedirects;
    request.url = rebasedURL(request.url, mappings_);
    request.followRedirects = false;
    inner_.get(request, [this, request, follow, redirectsLeft, done](const BridgeAnswer& a) {
        static constexpr int kRedirects[] = {301, 302, 303, 307, 308};
        const bool redirect = a.answered && !a.location.isEmpty() &&
                              std::find(std::begin(kRedirects), std::end(kRedirects), a.status) !=
                                  std::end(kRedirects);
        if (!follow || !redirect || redirectsLeft <= 0) {
            done(a); // a redirect past the limit is no answer the caller can use
            return;
        }
        BridgeGet next = request;
        next.followRedirects = true;
        next.url = QUrl(request.url)
                       .resolved(QUrl::fromEncoded(a.location.trimmed()))
                       .toString(QUrl::FullyEncoded);
        send(std::move(next), redirectsLeft - 1, done);
    });
}

PoliteTransport::PoliteTransport(BridgeTransport& inner, std::function<QDateTime()> utcNow)
    : inner_(inner), utcNow_(std::move(utcNow)) {}

void PoliteTransport::get(const BridgeGet& request, Done done) {
    // A host and port: one server's refusal says nothing of another's.
    const QUrl url(request.url);
    const QString host = url.host().toLower() + QLatin1Char(':') + QString::number(url.port());
    if (const auto it = backOff_.find(host); it != backOff_.end() && utcNow_() < it->second.until) {
        BridgeAnswer refused;
        refused.refused = true;
        refused.error = QStringLiteral("backing off from ") + host;
        done(refused);
        return;
    }
    BridgeGet sent = request;
    if (request.conditional) {
        if (const auto it = kept_.find(request.url); it != kept_.end()) {
            if (!it->second.etag.isEmpty()) {
                sent.headers.append({"If-None-Match", it->second.etag});
            }
            if (!it->second.lastModified.isEmpty()) {
                sent.headers.append({"If-Modified-Since", it->second.lastModified});
            }
        }
    }
    inner_.get(sent, [this, request, host, done](const BridgeAnswer& answer) {
        noteAnswer(host, answer);
        BridgeAnswer given = answer;
        const auto kept = kept_.find(request.url);
        if (request.conditional && answer.status == kNotModified && kept != kept_.end()) {
            given.status = kOk;
            given.body = kept->second.body;
            given.contentType = kept->second.contentType;
            given.lastModified = kept->second.lastModified;
        } else if (request.conditional && answer.ok() &&
                   !(answer.etag.isEmpty() && answer.lastModified.isEmpty())) {
            kept_[request.url] =
                Kept{answer.etag, answer.lastModified, answer.contentType, answer.body};
        }
        done(given);
    });
}

void PoliteTransport::noteAnswer(const QString& host, const BridgeAnswer& answer) {
    if (!answer.turnedAway()) {
        if (answer.answered) {
            backOff_.erase(host);
        }
        return;
    }
    BackOff& b = backOff_[host];
    b.seconds =
        b.seconds == 0 ? kFirstBackOffSeconds : std::min(b.seconds * 2, kLongestBackOffSeconds);
    bool numeric = false;
    const qint64 asked = answer.retryAfter.trimmed().toLongLong(&numeric);
    const qint64 wait = numeric ? std::clamp(asked, b.seconds, kLongestBackOffSeconds) : b.seconds;
    b.until = utcNow_().addSecs(wait);
}

} // namespace nimbuscope
