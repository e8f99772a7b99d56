#include "ScriptedNetwork.h"

#include "VirtualTimers.h"

#include <QRegularExpression>
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

// True when `text` matches `pattern`, in which "*" stands for any run of characters.
bool wildcardMatch(const QString& pattern, const QString& text) {
    const QString regex = QRegularExpression::escape(pattern).replace(QLatin1String("\\*"), ".*");
    return QRegularExpression(QRegularExpression::anchoredPattern(regex)).match(text).hasMatch();
}

} // namespace

// The simulated service's UTC: the virtual local clock with no zone offset (the rig's
// platform reports a bias of 0).
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

qint64 ScriptedNetwork::nowMs() const {
    return time_.nowMs();
}

int ScriptedNetwork::count(const QString& pattern) const {
    return int(std::count_if(requests.begin(), requests.end(), [&](const QString& address) {
        return wildcardMatch(pattern, address);
    }));
}

Outcome ScriptedNetwork::decide(const QString& address) {
    requests.append(address);
    if (offline_) {
        return Outcome::fail();
    }
    if (std::optional<Outcome> outcome = chaos ? chaos(address) : std::nullopt) {
        return *outcome;
    }
    // The newest rule wins, as rules are added to change what came before.
    for (auto it = rules_.rbegin(); it != rules_.rend(); ++it) {
        if (wildcardMatch(it->pattern, address)) {
            return it->outcome;
        }
    }
    return simulated(address);
}

Outcome ScriptedNetwork::simulated(const QString& address) {
    QUrl url(address);
    for (int hop = 0; hop <= kMaxRedirects; ++hop) {
        if (!url.isValid() || url.scheme() != QLatin1String("http") || url.host().isEmpty()) {
            return Outcome::fail(PageRetriever::BadAddress);
        }
        noaasim::QueryParams query;
        const auto items = QUrlQuery(url).queryItems(QUrl::FullyDecoded);
        for (const auto& [key, value] : items) {
            query.emplace(key.toStdString(), value.toStdString());
        }
        const noaasim::Reply reply = site_->get(url.path().toStdString(), query);
        if (reply.status >= 300 && reply.status < 400 && !reply.location.empty()) {
            url = url.resolved(QUrl(QString::fromStdString(reply.location)));
            continue;
        }
        return Outcome::withBody(QByteArray::fromStdString(reply.body),
                                 url.toString(QUrl::FullyEncoded).toLatin1());
    }
    return Outcome::fail(PageRetriever::TooManyRedirects);
}

void ScriptedRetriever::start(const QString& address) {
    requests_[address] = Request{net_.decide(address), net_.nowMs(), false, false, kills};
}

ScriptedRetriever::Request* ScriptedRetriever::used(const QString& address) {
    const auto it = requests_.find(address);
    if (it == requests_.end()) {
        return nullptr;
    }
    it->second.touchedAtKill = kills;
    return &it->second;
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
    switch (request.outcome.kind) {
    case Outcome::Trickle:
        return Running;
    case Outcome::Silent:
        if (net_.receiveTimeoutMs <= 0 || elapsed < net_.receiveTimeoutMs) {
            return Running;
        }
        request.finished = true;
        return TimedOut;
    case Outcome::Answer:
    case Outcome::Fail:
        if (elapsed < net_.latencyMs) {
            return Running;
        }
        request.finished = true;
        return poll(request);
    }
    return Running;
}

qint16 ScriptedRetriever::RetrieveAsyncCompleted(const QString& address) {
    Request* request = used(address);
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
    Request* request = used(address);
    if (request == nullptr || request->killed || poll(*request) != Done) {
        return {};
    }
    return request->outcome.body.value_or(QByteArray());
}

QByteArray ScriptedRetriever::GetResultURL(const QString& address) {
    Request* request = used(address);
    if (request == nullptr || request->killed || poll(*request) != Done) {
        return {};
    }
    return request->outcome.finalUrl.value_or(address.toLatin1());
}

void ScriptedRetriever::FreePage(const QString& address) {
    requests_.erase(address);
}

void ScriptedRetriever::KillAsyncRetrieve(const QString&) {
    ++kills;
    for (auto& [address, request] : requests_) {
        if (!request.finished) {
            request.killed = true;
        }
    }
    // Requests left untouched over several kills are forgotten, as the real component does.
    std::erase_if(requests_, [this](const auto& entry) {
        return kills - entry.second.touchedAtKill > kKillsRemembered;
    });
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
