#pragma once

#include <QByteArray>
#include <QString>

#include <functional>

namespace nimbuscope {

/// What an answerer made of a request, in the page-retrieval component's terms.
struct AnsweredRequest {
    qint16 status = 0; ///< a `PageRetriever::Status`
    QByteArray body;
    QByteArray finalUrl; ///< empty: the address asked for
};

/// Answers some requests of the page-retrieval component itself, in place of the network:
/// the component asks it first and polls its answers like any transfer's.
class RequestAnswerer {
public:
    using Done = std::function<void(const AnsweredRequest&)>;

    virtual ~RequestAnswerer() = default;

    /// True when `address` is one this answerer answers.
    virtual bool handles(const QString& address) const = 0;
    /// Answers `address` through `done`, possibly before returning. A failure comes back as
    /// a failed transfer.
    virtual void start(const QString& address, Done done) = 0;
    /// Stops the answerer's own transfers: the component's requests were killed.
    virtual void abortAll() = 0;
    /// Longest wait for data of the answerer's own transfers, in milliseconds.
    virtual void setReceiveTimeout(qint32 ms) = 0;
};

} // namespace nimbuscope
