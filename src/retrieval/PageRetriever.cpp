#include "retrieval/PageRetriever.h"

#include "support/Error.h"

namespace nimbuscope {

namespace {

// Addresses and lines come from lists a server wrote: a log line shows only so much of one.
constexpr qsizetype kLoggedTextLength = 300;

} // namespace

QString loggableText(const QString& text) {
    QString shown = text.left(kLoggedTextLength);
    for (QChar& c : shown) {
        if (c.category() == QChar::Other_Control) {
            c = QLatin1Char('?');
        }
    }
    if (text.size() > kLoggedTextLength) {
        shown += QStringLiteral("...");
    }
    return shown;
}

QString transferFailureLine(const QString& procedure, const QString& address, qint16 status) {
    return QStringLiteral("ERROR :: ") + procedure + QStringLiteral(" :: transfer failed: ") +
           transferFailureText(status) + QStringLiteral(" (status ") + QString::number(status) +
           QStringLiteral(") - ") + loggableText(address);
}

QString transferFailureText(qint16 status) {
    if (const int code = PageRetriever::httpStatusOf(status); code != 0) {
        return QStringLiteral("HTTP ") + QString::number(code);
    }
    switch (status) {
    case PageRetriever::ConnectionFailed:
        return QStringLiteral("no connection or no answer");
    case PageRetriever::TimedOut:
        return QStringLiteral("timed out");
    case PageRetriever::Aborted:
        return QStringLiteral("aborted");
    case PageRetriever::BodyTooLarge:
        return QStringLiteral("body too large");
    case PageRetriever::TooManyRedirects:
        return QStringLiteral("too many or unsafe redirections");
    case PageRetriever::BadAddress:
        return QStringLiteral("not an http address");
    case PageRetriever::UnknownRequest:
        return QStringLiteral("unknown request");
    case PageRetriever::HeadersTooLarge:
        return QStringLiteral("headers too large");
    case PageRetriever::InvalidResponse:
        return QStringLiteral("not an HTTP answer");
    case PageRetriever::Truncated:
        return QStringLiteral("answer cut short");
    default:
        return QStringLiteral("failed");
    }
}

void ComponentFactory::registerCreator(const QString& identifier, Creator creator) {
    creators_[identifier] = std::move(creator);
}

std::unique_ptr<PageRetriever> ComponentFactory::create(const QString& identifier) const {
    const auto it = creators_.find(identifier);
    std::unique_ptr<PageRetriever> made;
    if (it != creators_.end() && it->second) {
        made = it->second();
    }
    if (!made) {
        throw Error::of(err::CannotCreateObject);
    }
    return made;
}

PageRetriever& RetrieverSlot::obtain() {
    if (!retriever_) {
        retriever_ = components_.create(QString::fromLatin1(ComponentFactory::kRetrievePg));
    }
    return *retriever_;
}

} // namespace nimbuscope
