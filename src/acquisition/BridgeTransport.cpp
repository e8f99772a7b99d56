#include "acquisition/BridgeTransport.h"

#include "acquisition/HttpRetriever.h"

#include <QNetworkReply>
#include <QNetworkRequest>
#include <QUrl>

#include <algorithm>

namespace nimbuscope {

namespace {

using namespace http_status;

BridgeAnswer answerOf(QNetworkReply& reply) {
    BridgeAnswer a;
    const QVariant status = reply.attribute(QNetworkRequest::HttpStatusCodeAttribute);
    a.answered = status.isValid();
    a.status = status.toInt();
    a.contentType = reply.rawHeader("Content-Type");
    a.location = reply.rawHeader("Location");
    a.lastModified = reply.rawHeader("Last-Modified");
    a.etag = reply.rawHeader("ETag");
    a.retryAfter = reply.rawHeader("Retry-After");
    if (a.answered && (reply.error() == QNetworkReply::NoError || a.status >= kFirstRedirection)) {
        a.body = reply.readAll();
    } else {
        a.answered = false;
        a.timedOut = reply.error() == QNetworkReply::OperationCanceledError ||
                     reply.error() == QNetworkReply::TimeoutError;
        a.error = reply.errorString();
    }
    return a;
}

} // namespace

QByteArray bridgeUserAgent() {
    return QByteArrayLiteral("Nimbuscope/" NIMBUSCOPE_VERSION " (nimbuscope@calderwick.example)");
}

QtBridgeTransport::QtBridgeTransport(QNetworkAccessManager& manager, std::function<int()> timeoutMs)
    : manager_(manager), timeoutMs_(std::move(timeoutMs)) {}

QtBridgeTransport::~QtBridgeTransport() {
    for (auto& [raw, reply] : running_) {
        if (reply) {
            reply->disconnect();
            reply->abort();
        }
    }
}

void QtBridgeTransport::get(const BridgeGet& request, Done done) {
    QNetworkRequest req{QUrl(request.url)};
    req.setHeader(QNetworkRequest::UserAgentHeader, bridgeUserAgent());
    if (request.api) {
        req.setRawHeader("Accept", "application/geo+json");
    }
    for (const auto& [name, value] : request.headers) {
        req.setRawHeader(name, value);
    }
    req.setAttribute(QNetworkRequest::RedirectPolicyAttribute,
                     request.followRedirects ? QNetworkRequest::NoLessSafeRedirectPolicy
                                             : QNetworkRequest::ManualRedirectPolicy);
    req.setMaximumRedirectsAllowed(HttpRetriever::kMaxRedirects);
    const int timeout = timeoutMs_ ? timeoutMs_() : 0;
    req.setTransferTimeout(std::max(timeout, 0));
    QNetworkReply* reply = manager_.get(req);
    running_[reply] = reply;
    QObject::connect(reply, &QNetworkReply::finished, reply, [this, reply, done] {
        running_.erase(reply);
        reply->deleteLater();
        done(answerOf(*reply));
    });
}

void QtBridgeTransport::abortAll() {
    // Aborting finishes each reply, which reports and leaves the map.
    const auto running = running_;
    for (const auto& [raw, reply] : running) {
        if (reply) {
            reply->abort();
        }
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
