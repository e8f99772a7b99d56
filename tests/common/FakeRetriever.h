#pragma once

#include "retrieval/PageRetriever.h"

#include <QList>
#include <QMap>
#include <QStringList>

#include <optional>

namespace nimbuscope::test {

/// A page-retrieval component answering from a script. Each request for an address takes
/// the next queued response for it, else the one served for it, else fails with
/// `unscripted`. A response answers its polls in turn (the last status repeats). Like the
/// real component, a killed transfer that is polled again is sent afresh, and a freed one
/// is unknown.
class FakeRetriever final : public PageRetriever {
public:
    struct Response {
        QList<qint16> polls{Done};
        QByteArray body;
        QByteArray finalUrl;
    };
    struct Call {
        QString method;
        QString address;
    };

    /// Every request for `address` gets `response`.
    void serve(const QString& address, Response response) { served_[address] = response; }
    void serve(const QString& address, const QByteArray& body) {
        serve(address, {{Done}, body, {}});
    }
    /// The next request for `address` gets `response`, before any served one.
    void queue(const QString& address, Response response) { queued_[address].append(response); }
    /// RetrieveAsync(address) answers `answer` instead of "ok".
    void refuse(const QString& address, const QString& answer) { refused_[address] = answer; }
    void accept(const QString& address) { refused_.remove(address); }

    qint16 unscripted = ConnectionFailed;

    QList<Call> calls;
    /// Addresses given to RetrieveAsync, in order.
    QStringList requested() const;
    int requestCount(const QString& address) const { return int(requested().count(address)); }
    bool called(const char* method) const;
    qint32 rcvTimeout = 0;
    int kills = 0;

    QString RetrieveAsync(const QString& address) override;
    qint16 RetrieveAsyncCompleted(const QString& address) override;
    QByteArray RetrieveAsyncPage(const QString& address) override;
    QByteArray GetResultURL(const QString& address) override;
    void FreePage(const QString& address) override;
    void KillAsyncRetrieve(const QString& unused = {}) override;
    QString RetrieveIsActive(const QString& unused = {}) override;
    void SetRcvTimeout(qint32 ms) override { rcvTimeout = ms; }

private:
    struct Transfer {
        Response response;
        int polled = 0;
        qint16 last = Running;
        bool killed = false;
    };
    Response take(const QString& address);
    void record(const char* method, const QString& address) {
        calls.append({QString::fromLatin1(method), address});
    }

    QMap<QString, Response> served_;
    QMap<QString, QList<Response>> queued_;
    QMap<QString, QString> refused_;
    QMap<QString, Transfer> transfers_;
};

} // namespace nimbuscope::test
