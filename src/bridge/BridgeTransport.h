#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QList>
#include <QString>

#include <functional>
#include <map>

namespace nimbuscope {

class HttpTransfer;

/// The HTTP statuses the bridge and its transport act on.
namespace http_status {
inline constexpr int kOk = 200;
inline constexpr int kFirstRedirection = 300;
inline constexpr int kNotModified = 304;
inline constexpr int kFirstClientError = 400;
inline constexpr int kForbidden = 403;
inline constexpr int kTooManyRequests = 429;
inline constexpr int kFirstServerError = 500;
} // namespace http_status

/// One sub-request of the legacy-forms bridge.
struct BridgeGet {
    QString url;
    /// An api.weather.gov call: asks for geo+json.
    bool api = false;
    /// False reads a redirect's Location instead of following it.
    bool followRedirects = true;
    /// Keep the answer's validators and ask with them next time; a 304 then answers with
    /// the kept body.
    bool conditional = false;
    QList<std::pair<QByteArray, QByteArray>> headers;
};

/// What came back: an HTTP answer of any status, or no answer and why.
struct BridgeAnswer {
    bool answered = false;
    int status = 0;
    bool timedOut = false;
    /// Not sent: the host is being left alone for a while.
    bool refused = false;
    QByteArray contentType;
    QByteArray location;
    QByteArray lastModified;
    QByteArray etag;
    QByteArray retryAfter;
    QByteArray body;
    QString error;

    bool ok() const {
        return answered && status >= http_status::kOk && status < http_status::kFirstRedirection;
    }
    bool redirected() const {
        return answered && status >= http_status::kFirstRedirection &&
               status < http_status::kFirstClientError;
    }
    /// 403, 429 and 5xx: the host turns us away for now, whatever the request was.
    bool turnedAway() const {
        return answered &&
               (status == http_status::kForbidden || status == http_status::kTooManyRequests ||
                status >= http_status::kFirstServerError);
    }
};

/// Where the bridge's sub-requests go. `done` may be called before `get` returns.
class BridgeTransport {
public:
    using Done = std::function<void(const BridgeAnswer&)>;
    virtual ~BridgeTransport() = default;
    virtual void get(const BridgeGet& request, Done done) = 0;
    /// Ends every running sub-request; each reports no answer.
    virtual void abortAll() = 0;
};

/// Sub-requests on our own bounded HTTP reader (HttpTransfer), with the program's user agent
/// and the receive time-out the retriever was given. Answers of any status come back whole;
/// a head or body past its bound, silence, a cut or no connection are no answer.
class HttpBridgeTransport final : public BridgeTransport {
public:
    /// Well above any page, capabilities document or map the bridge reads.
    static constexpr qsizetype kBodyCap = qsizetype(8) << 20;
    static constexpr int kMaxRedirects = 10;

    explicit HttpBridgeTransport(std::function<int()> timeoutMs);
    ~HttpBridgeTransport() override;
    void get(const BridgeGet& request, Done done) override;
    void abortAll() override;

private:
    std::function<int()> timeoutMs_;
    std::map<HttpTransfer*, Done> running_;
};

/// A default base address and the one configured in its place.
struct BaseMapping {
    QString defaultBase;    ///< "https://api.weather.gov/"
    QString configuredBase; ///< "http://127.0.0.1:8080/api/"
};

/// `url` on the configured base when it lies below a default one (any scheme or port of the
/// default's host, below its path); else `url` as it stands. Path and query are kept.
QString rebasedURL(const QString& url, const QList<BaseMapping>& mappings);

/// Sends every request, and every redirect it meets, to the configured bases: answers link
/// to NOAA's default hosts, and a mirror, a proxy or a test server must see those requests
/// too. Follows redirects itself, up to `kMaxRedirects`, unless the request reads them.
class ConfiguredBasesTransport final : public BridgeTransport {
public:
    static constexpr int kMaxRedirects = 10;

    ConfiguredBasesTransport(BridgeTransport& inner, QList<BaseMapping> mappings);
    void get(const BridgeGet& request, Done done) override;
    void abortAll() override { inner_.abortAll(); }

private:
    void send(BridgeGet request, int redirectsLeft, Done done);

    BridgeTransport& inner_;
    QList<BaseMapping> mappings_;
};

/// Good manners towards NOAA's services, around any transport: conditional requests
/// (ETag / Last-Modified) for what asks for them, and a back-off per host after 403, 429
/// and 5xx answers, during which requests to that host fail at once without being sent.
class PoliteTransport final : public BridgeTransport {
public:
    static constexpr qint64 kFirstBackOffSeconds = 5;
    static constexpr qint64 kLongestBackOffSeconds = 15 * 60;

    PoliteTransport(BridgeTransport& inner, std::function<QDateTime()> utcNow);
    void get(const BridgeGet& request, Done done) override;
    void abortAll() override { inner_.abortAll(); }

private:
    struct Kept {
        QByteArray etag, lastModified, contentType, body;
    };
    struct BackOff {
        QDateTime until;
        qint64 seconds = 0;
    };
    void noteAnswer(const QString& host, const BridgeAnswer& answer);

    BridgeTransport& inner_;
    std::function<QDateTime()> utcNow_;
    std::map<QString, Kept> kept_;
    std::map<QString, BackOff> backOff_;
};

} // namespace nimbuscope
