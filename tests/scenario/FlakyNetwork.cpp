#include "FlakyNetwork.h"

#include "noaa-sim/RadarGif.h"

namespace nimbuscope::test {

namespace {

constexpr int kLongestGarbage = 8192;
const char* const kFaultNames[] = {"dropped",     "silence", "server error", "truncated",
                                   "unavailable", "trickle", "garbage"};

} // namespace

FlakyNetwork::FlakyNetwork(ScriptedNetwork& network, quint32 seed, int oneIn)
    : network_(network), random_(seed), oneIn_(oneIn) {
    network_.chaos = [this](const QString& address) { return decide(address); };
}

FlakyNetwork::~FlakyNetwork() {
    network_.chaos = nullptr;
}

QMap<QString, int> FlakyNetwork::faultsDealt() const {
    QMap<QString, int> dealt;
    for (int kind = 0; kind < kFaultKinds; ++kind) {
        dealt.insert(QString::fromLatin1(kFaultNames[kind]), dealt_[kind]);
    }
    return dealt;
}

QByteArray FlakyNetwork::garbage() {
    QByteArray bytes(int(std::uniform_int_distribution<int>(0, kLongestGarbage)(random_)), '\0');
    for (char& c : bytes) {
        c = char(random_());
    }
    return bytes;
}

std::optional<Outcome> FlakyNetwork::decide(const QString& address) {
    if (std::uniform_int_distribution<int>(1, oneIn_)(random_) != 1) {
        return std::nullopt;
    }
    const auto fault = Fault(std::uniform_int_distribution<int>(0, kFaultKinds - 1)(random_));
    ++dealt_[fault];
    switch (fault) {
    case Dropped:
        return Outcome::fail(PageRetriever::ConnectionFailed);
    case Silence:
        return Outcome::silent();
    case ServerError:
        return Outcome::fail(PageRetriever::httpError(500));
    case Truncated: {
        QByteArray body = network_.simulated(address).body.value_or(QByteArray());
        body.truncate(std::uniform_int_distribution<qsizetype>(0, body.size())(random_));
        return Outcome::withBody(body);
    }
    case Unavailable:
        if (address.endsWith(QLatin1String(".gif"))) {
            return Outcome::withBody(QByteArray::fromStdString(noaasim::unavailableFrameGif()));
        }
        return Outcome::withBody(garbage());
    case Trickle:
        return Outcome::trickle();
    case Garbage:
    case kFaultKinds:
        break;
    }
    return Outcome::withBody(garbage());
}

} // namespace nimbuscope::test
