#pragma once

#include <QByteArray>
#include <QString>

#include <functional>
#include <map>
#include <memory>

namespace nimbuscope {

/// The page-retrieval component: fetches pages and images in the background, one request
/// per address text. Callers start a request, poll it from timer ticks, collect the body
/// and free it; nothing blocks.
class PageRetriever {
public:
    /// Answers of `RetrieveAsyncCompleted`. Everything above `Done` is a failure; an answer
    /// whose HTTP status is not 2xx fails as `kHttpErrorBase` + its status code.
    enum Status : qint16 {
        Running = 0,
        Done = 1,
        ConnectionFailed = 2,
        TimedOut = 3,
        Aborted = 4,
        BodyTooLarge = 5,
        TooManyRedirects = 6,
        BadAddress = 7,
        UnknownRequest = 8,
        HeadersTooLarge = 9,
        InvalidResponse = 10,
        Truncated = 11,
    };
    static constexpr qint16 kHttpErrorBase = 1000;
    static constexpr qint16 httpError(int statusCode) {
        return qint16(kHttpErrorBase + statusCode);
    }
    /// The HTTP status code of an `httpError` status; 0 for any other status.
    static constexpr int httpStatusOf(qint16 status) {
        return status > kHttpErrorBase ? status - kHttpErrorBase : 0;
    }

    /// Kills a request survives untouched; see `KillAsyncRetrieve`.
    static constexpr int kKillsRemembered = 4;

    virtual ~PageRetriever() = default;

    /// "ok" when the request is queued (an empty or malformed address included: it fails on
    /// the next poll); any other text describes why it could not be queued.
    virtual QString RetrieveAsync(const QString& address) = 0;
    virtual qint16 RetrieveAsyncCompleted(const QString& address) = 0;
    /// The response body, unchanged.
    virtual QByteArray RetrieveAsyncPage(const QString& address) = 0;
    /// The final address after redirections as bytes; one byte or none means "none".
    virtual QByteArray GetResultURL(const QString& address) = 0;
    virtual void FreePage(const QString& address) = 0;
    /// Aborts every transfer that is running. A killed request that is polled again is
    /// sent afresh, so a caller's retry is a real retry. A request its caller has neither
    /// polled, read nor sent again since `kKillsRemembered` kills ago has been given up on
    /// (its pass ended) and may be forgotten: polled after that, it is `UnknownRequest`.
    virtual void KillAsyncRetrieve(const QString& unused = {}) = 0;
    /// Empty when no transfer is running.
    virtual QString RetrieveIsActive(const QString& unused = {}) = 0;
    /// Longest wait for data, in milliseconds.
    virtual void SetRcvTimeout(qint32 ms) = 0;
};

/// What a failed status means, for the error log: "HTTP 500", "timed out" ...
QString transferFailureText(qint16 status);
/// A text a server chose (an address, a list line) as a log line may show it: cut to a
/// readable length, its control characters shown as "?".
QString loggableText(const QString& text);
/// The error-log line of a failed transfer: "ERROR :: procedure :: transfer failed: cause
/// (status N) - address", the address as `loggableText` shows it.
QString transferFailureLine(const QString& procedure, const QString& address, qint16 status);

/// Creates components by their identifier, as the system's object creation does, so that a
/// test can substitute a fake or make creation fail.
class ComponentFactory {
public:
    static constexpr const char* kRetrievePg = "RetrievePg.RetrievePg.1";
    using Creator = std::function<std::unique_ptr<PageRetriever>()>;

    void registerCreator(const QString& identifier, Creator creator);
    /// The new component; raises error 429 when the identifier is unknown or creation fails.
    std::unique_ptr<PageRetriever> create(const QString& identifier) const;

private:
    std::map<QString, Creator> creators_;
};

/// The one page-retrieval component of a saver window (or of the setup dialog run alone),
/// made by the factory when first needed and kept for every later transfer.
class RetrieverSlot {
public:
    explicit RetrieverSlot(const ComponentFactory& components) : components_(components) {}

    /// The component, made now when there is none yet; raises the factory's error when it
    /// cannot be made.
    PageRetriever& obtain();
    /// The component, or null while none is made.
    PageRetriever* get() const { return retriever_.get(); }
    /// Puts a component in (a test's fake), or takes it out.
    void reset(std::unique_ptr<PageRetriever> retriever = {}) { retriever_ = std::move(retriever); }

private:
    const ComponentFactory& components_;
    std::unique_ptr<PageRetriever> retriever_;
};

} // namespace nimbuscope
