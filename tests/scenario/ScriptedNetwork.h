#pragma once

#include "retrieval/PageRetriever.h"

#include "noaa-sim/NoaaSite.h"
#include "noaa-sim/SimClock.h"

#include "common/FakeClock.h"

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <functional>
#include <map>
#include <memory>
#include <optional>

namespace nimbuscope::test {

class VirtualTimers;

/// What one request gets.
struct Outcome {
    enum Kind {
        Answer,  // the simulated service's answer (or `body` when set), after the latency
        Fail,    // `status` (a failure code of PageRetriever) after the latency
        Silent,  // the server never answers: the receive time-out ends it (TimedOut)
        Trickle, // data keeps coming, too slowly to finish: it never completes
    };
    Kind kind = Answer;
    qint16 status = PageRetriever::ConnectionFailed;
    std::optional<QByteArray> body;
    std::optional<QByteArray> finalUrl;

    static Outcome fail(qint16 status = PageRetriever::ConnectionFailed) {
        return {Fail, status, {}, {}};
    }
    static Outcome silent() { return {Silent, PageRetriever::TimedOut, {}, {}}; }
    static Outcome trickle() { return {Trickle, PageRetriever::Running, {}, {}}; }
    static Outcome withBody(QByteArray body, std::optional<QByteArray> finalUrl = {}) {
        return {Answer, PageRetriever::Done, std::move(body), std::move(finalUrl)};
    }
};

/// The network as a scenario scripts it. Requests are answered by the simulated NOAA service
/// (tools/noaa-sim) on the rig's virtual clock, so pages, lists and frames follow the time as
/// the real service would; rules override the answers for addresses that match a pattern ("*"
/// matches any run of characters).
class ScriptedNetwork {
public:
    static constexpr const char* kBaseUrl = "http://127.0.0.1:8080/";
    static constexpr qint64 kDefaultLatencyMs = 150;

    ScriptedNetwork(const VirtualTimers& time, const FakeClock& clock);
    ~ScriptedNetwork();

    /// Every request matching `pattern` gets `outcome` (the newest rule first).
    void always(const QString& pattern, Outcome outcome) { rules_.push_back({pattern, outcome}); }
    /// Every request fails to connect (or, back online, is answered again).
    void setOffline(bool offline) { offline_ = offline; }

    /// The outcome of a request for `address` sent now; the answer is decided at once.
    Outcome decide(const QString& address);
    /// The simulated service's body and final address for `address`.
    Outcome simulated(const QString& address);

    noaasim::NoaaSite& site() { return *site_; }
    qint64 nowMs() const;

    /// Decides requests before the rules when set; nothing leaves them to the rules.
    std::function<std::optional<Outcome>(const QString& address)> chaos;

    /// Every request sent, in order (repeats after a kill included).
    QStringList requests;
    qint64 latencyMs = kDefaultLatencyMs;
    /// The receive time-out the saver set last.
    qint32 receiveTimeoutMs = 30000;

    /// How many requests were sent for addresses matching `pattern`.
    int count(const QString& pattern) const;

private:
    struct Rule {
        QString pattern;
        Outcome outcome;
    };
    class Utc;

    const VirtualTimers& time_;
    std::unique_ptr<Utc> utc_;
    std::unique_ptr<noaasim::NoaaSite> site_;
    std::vector<Rule> rules_;
    bool offline_ = false;
};

/// The page-retrieval component on a scripted network, in virtual time: a request completes
/// once its latency has passed on the rig's clock.
class ScriptedRetriever final : public PageRetriever {
public:
    explicit ScriptedRetriever(ScriptedNetwork& network) : net_(network) {}

    QString RetrieveAsync(const QString& address) override;
    qint16 RetrieveAsyncCompleted(const QString& address) override;
    QByteArray RetrieveAsyncPage(const QString& address) override;
    QByteArray GetResultURL(const QString& address) override;
    void FreePage(const QString& address) override;
    void KillAsyncRetrieve(const QString& unused = {}) override;
    QString RetrieveIsActive(const QString& unused = {}) override;
    void SetRcvTimeout(qint32 ms) override { net_.receiveTimeoutMs = ms; }

    int kills = 0;

private:
    struct Request {
        Outcome outcome;
        qint64 startedMs = 0;
        bool killed = false;
        bool finished = false;
        int touchedAtKill = 0;
    };
    void start(const QString& address);
    qint16 poll(Request& request);
    Request* used(const QString& address);

    ScriptedNetwork& net_;
    std::map<QString, Request> requests_;
};

} // namespace nimbuscope::test
