#pragma once

#include "ScriptedNetwork.h"

#include <QMap>
#include <QString>

#include <random>

namespace nimbuscope::test {

/// A seeded, unreliable network for long scenarios: a share of the requests meets one of the
/// faults a real connection and a real server show. The same seed gives the same faults.
class FlakyNetwork {
public:
    enum Fault {
        Dropped,     // the connection breaks
        Silence,     // no answer at all: the receive time-out ends it
        ServerError, // an HTTP 500 page
        Truncated,   // the right answer, cut short
        Unavailable, // the server's radar-unavailable frame (garbage for other addresses)
        Trickle,     // data too slow to ever finish
        Garbage,     // random bytes
        kFaultKinds
    };

    /// Installs itself as `network`'s chaos; one request in `oneIn` gets a fault.
    FlakyNetwork(ScriptedNetwork& network, quint32 seed, int oneIn);
    ~FlakyNetwork();
    FlakyNetwork(const FlakyNetwork&) = delete;
    FlakyNetwork& operator=(const FlakyNetwork&) = delete;

    /// How many requests met each fault so far, by name.
    QMap<QString, int> faultsDealt() const;

private:
    std::optional<Outcome> decide(const QString& address);
    QByteArray garbage();

    ScriptedNetwork& network_;
    std::mt19937 random_;
    int oneIn_;
    int dealt_[kFaultKinds] = {};
};

} // namespace nimbuscope::test
