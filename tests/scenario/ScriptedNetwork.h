#pragma once

#include "retrieval/PageRetriever.h"

#include "VirtualTimers.h"

#include "noaa-sim/NoaaSite.h"

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <functional>
#include <map>
#include <memory>
#include <optional>

namespace nimbuscope::test {

/// What one request gets.
struct Outcome {
    enum Kind {
        Answer,  // `body` after the latency
        Fail,    // `status` (a failure code of PageRetriever) after the latency
        Trickle, // data keeps coming, too slowly to finish: it never completes
    };
    Kind kind = Answer;
    qint16 status = PageRetriever::Done;
    QByteArray body;
    QByteArray finalUrl; // empty: the address asked

    static Outcome fail(qint16 status = PageRetriever::ConnectionFailed) { return {Fail, status}; }
    static Outcome withBody(QByteArray body) {
        return {Answer, PageRetriever::Done, std::move(body)};
    }
};

/// The network as a scenario scripts it. Requests are answered by the simulated NOAA service
/// (tools/noaa-sim) on the rig's virtual clock, so pages, lists and frames follow the time as
/// the real service would, unless `script` decides otherwise.
class ScriptedNetwork {
public:
    static constexpr const char* kBaseUrl = "http://127.0.0.1:8080/";

    ScriptedNetwork(const VirtualTimers& time, const FakeClock& clock);
    ~ScriptedNetwork();

    /// The outcome of a request for `address` sent now; the answer is decided at once.
    Outcome decide(const QString& address);
    /// The simulated service's answer for `address`, its redirects followed.
    Outcome simulated(const QString& address);
    /// How many requests were sent for addresses containing `part`.
    int count(const QString& part) const;

    noaasim::NoaaSite& site() { return *site_; }
    qint64 nowMs() const { return time_.nowMs(); }

    /// Decides requests before the simulated service; nothing leaves them to it.
    std::function<std::optional<Outcome>(const QString& address)> script;
    bool offline = false; // every request fails to connect
    QStringList requests; // every request sent, in order (repeats after a kill included)
    qint64 latencyMs = 150;

private:
    class Utc;

    const VirtualTimers& time_;
    std::unique_ptr<Utc> utc_;
    std::unique_ptr<noaasim::NoaaSite> site_;
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
    void FreePage(const QString& address) override { requests_.erase(address); }
    void KillAsyncRetrieve(const QString& unused = {}) override;
    QString RetrieveIsActive(const QString& unused = {}) override;
    void SetRcvTimeout(qint32) override {}

    int kills = 0;

private:
    struct Request {
        Outcome outcome;
        qint64 startedMs = 0;
        bool killed = false;
        bool finished = false;
    };
    void start(const QString& address);
    qint16 poll(Request& request);
    Request* find(const QString& address);
    Request* answered(const QString& address);

    ScriptedNetwork& net_;
    std::map<QString, Request> requests_;
};

} // namespace nimbuscope::test
