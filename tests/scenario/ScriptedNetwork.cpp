#include "ScriptedNetwork.h"

#include <QUrl>
#include <QUrlQuery>

#include <algorithm>
#include <chrono>
#include <cmath>

namespace nimbuscope::test {

namespace {
constexpr int kMaxRedirects = 10;
// Days from the clock's epoch (30 December 1899) to 1 January 1970.
constexpr double kUnixEpochDays = 25569.0;
} // namespace

// The simulated service's UTC: the virtual local clock (the rig's platform has no zone offset).
class ScriptedNetwork::Utc final : public noaasim::UtcClock {
public:
    explicit Utc(const FakeClock& clock) : clock_(clock) {}
    noaasim::SysSeconds now() const override {
        const double seconds = (clock_.now().days() - kUnixEpochDays) * 86400.0;
        return noaasim::SysSeconds(std::chrono::seconds(qint64(std::floor(seconds + 1e-6))));
    }

private:
    const FakeClock& clock_;
};

ScriptedNetwork::ScriptedNetwork(const VirtualTimers& time, const FakeClock& clock)
    : time_(time), utc_(std::make_unique<Utc>(clock)),
      site_(std::make_unique<noaasim::NoaaSite>(noaasim::SiteTable::builtIn(), *utc_, kBaseUrl)) {}

ScriptedNetwork::~ScriptedNetwork() = default;

int ScriptedNetwork::count(const QString& part) const {
    return int(std::count_if(requests.begin(), requests.end(),
                             [&](const QString& address) { return address.contains(part); }));
}

Outcome ScriptedNetwork::decide(const QString& address) {
    requests.append(address);
    if (offline) {
        return Outcome::fail();
    }
    const std::optional<Outcome> scripted = script ? script(address) : std::nullopt;
    return scripted ? *scripted : simulated(address);
}

Outcome ScriptedNetwork::simulated(const QString& address) {
    QUrl url(address);
    for (int hop = 0; hop <= kMaxRedirects; ++hop) {
        if (!url.isValid() || url.scheme() != QLatin1String("http") || url.host().isEmpty()) {
            return Outcome::fail(PageRetriever::BadAddress);
        }
        noaasim::QueryParams query;
        for (const auto& [key, value] : QUrlQuery(url).queryItems(QUrl::FullyDecoded)) {
            query.emplace(key.toStdString(), value.toStdString());
        }
        const noaasim::Reply reply = site_->get(url.path().toStdString(), query);
        if (reply.status >= 300 && reply.status < 400 && !reply.location.empty()) {
            url = url.resolved(QUrl(QString::fromStdString(reply.location)));
            continue;
        }
        Outcome answer = Outcome::withBody(QByteArray::fromStdString(reply.body));
        answer.finalUrl = url.toString(QUrl::FullyEncoded).toLatin1();
        return answer;
    }
    return Outcome::fail(PageRetriever::TooManyRedirects);
}

void ScriptedRetriever::start(const QString& address) {
    requests_[address] = Request{net_.decide(address), net_.nowMs()};
}

ScriptedRetriever::Request* ScriptedRetriever::find(const QString& address) {
    const auto it = requests_.find(address);
    return it != requests_.end() ? &it->second : nullptr;
}

ScriptedRetriever::Request* ScriptedRetriever::answered(const QString& address) {
    Request* request = find(address);
    return request != nullptr && !request->killed && poll(*request) == Done ? request : nullptr;
}

QString ScriptedRetriever::RetrieveAsync(const QString& address) {
    start(address);
    return QStringLiteral("ok");
}

qint16 ScriptedRetriever::poll(Request& request) {
    if (request.finished) {
        return request.outcome.kind == Outcome::Answer ? qint16(Done) : request.outcome.status;
    }
    const qint64 elapsed = net_.nowMs() - request.startedMs;
    if (request.outcome.kind == Outcome::Trickle || elapsed < net_.latencyMs) {
        return Running;
    }
    request.finished = true;
    return poll(request);
}

qint16 ScriptedRetriever::RetrieveAsyncCompleted(const QString& address) {
    Request* request = find(address);
    if (request == nullptr) {
        return UnknownRequest;
    }
    if (request->killed) {
        // A killed request polled again is sent afresh, as the real component does.
        start(address);
        return Running;
    }
    return poll(*request);
}

QByteArray ScriptedRetriever::RetrieveAsyncPage(const QString& address) {
    const Request* request = answered(address);
    return request != nullptr ? request->outcome.body : QByteArray();
}

QByteArray ScriptedRetriever::GetResultURL(const QString& address) {
    const Request* request = answered(address);
    if (request == nullptr) {
        return {};
    }
    return request->outcome.finalUrl.isEmpty() ? address.toLatin1() : request->outcome.finalUrl;
}

void ScriptedRetriever::KillAsyncRetrieve(const QString&) {
    ++kills;
    for (auto& [address, request] : requests_) {
        request.killed = request.killed || !request.finished;
    }
}

QString ScriptedRetriever::RetrieveIsActive(const QString&) {
    for (auto& [address, request] : requests_) {
        if (!request.killed && poll(request) == Running) {
            return address;
        }
    }
    return {};
}

} // namespace nimbuscope::test
