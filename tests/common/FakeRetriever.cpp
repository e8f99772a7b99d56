#include "common/FakeRetriever.h"

#include <algorithm>

namespace nimbuscope::test {

QStringList FakeRetriever::requested() const {
    QStringList out;
    for (const Call& call : calls) {
        if (call.method == QLatin1String("RetrieveAsync")) {
            out.append(call.address);
        }
    }
    return out;
}

bool FakeRetriever::called(const char* method) const {
    return std::any_of(calls.cbegin(), calls.cend(),
                       [method](const Call& call) { return call.method == QLatin1String(method); });
}

FakeRetriever::Response FakeRetriever::take(const QString& address) {
    QList<Response>& queue = queued_[address];
    if (!queue.isEmpty()) {
        return queue.takeFirst();
    }
    const auto served = served_.constFind(address);
    if (served != served_.cend()) {
        return *served;
    }
    return Response{{unscripted}, {}, {}};
}

QString FakeRetriever::RetrieveAsync(const QString& address) {
    record("RetrieveAsync", address);
    const auto refused = refused_.constFind(address);
    if (refused != refused_.cend()) {
        return *refused;
    }
    transfers_[address] = Transfer{take(address)};
    return QStringLiteral("ok");
}

qint16 FakeRetriever::RetrieveAsyncCompleted(const QString& address) {
    record("RetrieveAsyncCompleted", address);
    const auto it = transfers_.find(address);
    if (it == transfers_.end()) {
        return UnknownRequest;
    }
    if (it->killed) {
        *it = Transfer{take(address)};
    }
    const QList<qint16>& polls = it->response.polls;
    it->last =
        polls.isEmpty() ? qint16(Done) : polls.at(qMin<qsizetype>(it->polled, polls.size() - 1));
    ++it->polled;
    return it->last;
}

QByteArray FakeRetriever::RetrieveAsyncPage(const QString& address) {
    record("RetrieveAsyncPage", address);
    const auto it = transfers_.constFind(address);
    return it != transfers_.cend() && it->last == Done ? it->response.body : QByteArray();
}

QByteArray FakeRetriever::GetResultURL(const QString& address) {
    record("GetResultURL", address);
    const auto it = transfers_.constFind(address);
    return it != transfers_.cend() && it->last == Done ? it->response.finalUrl : QByteArray();
}

void FakeRetriever::FreePage(const QString& address) {
    record("FreePage", address);
    transfers_.remove(address);
}

void FakeRetriever::KillAsyncRetrieve(const QString&) {
    record("KillAsyncRetrieve", {});
    ++kills;
    for (Transfer& t : transfers_) {
        if (t.last == Running) {
            t.killed = true;
        }
    }
}

QString FakeRetriever::RetrieveIsActive(const QString&) {
    for (auto it = transfers_.cbegin(); it != transfers_.cend(); ++it) {
        if (it->last == Running && !it->killed) {
            return it.key();
        }
    }
    return {};
}

} // namespace nimbuscope::test
