#pragma once

// Answers of NOAA's current services for the bridge's tests: the files of fixtures/today
// (recorded where a public recording exists) and a transport that serves them.

#include "acquisition/BridgeTransport.h"

#include "ParserTestSupport.h"

#include <QUrlQuery>

#include <map>
#include <vector>

namespace nimbuscope::test {

inline QByteArray today(const char* name) {
    return fixtureBytes(QStringLiteral("today/") + QLatin1String(name));
}

inline BridgeAnswer http(int status, QByteArray body, QByteArray type = "application/geo+json") {
    BridgeAnswer a;
    a.answered = true;
    a.status = status;
    a.body = std::move(body);
    a.contentType = std::move(type);
    return a;
}

inline BridgeAnswer redirect(const char* location, int status = 302) {
    BridgeAnswer a = http(status, {}, "text/html");
    a.location = location;
    return a;
}

/// Serves sub-requests from a table keyed by address; GetMap by "GetMap <layers> <time>",
/// capabilities by the address before the query. Anything else is a 404. Records every
/// request sent.
class RecordedTransport final : public BridgeTransport {
public:
    void get(const BridgeGet& request, Done done) override {
        sent.push_back(request);
        const auto it = answers.find(keyOf(request.url));
        done(it != answers.end() ? it->second : http(404, "not found", "text/plain"));
    }
    void abortAll() override {}

    static QString keyOf(const QString& url) {
        const QUrlQuery query(QUrl(url).query());
        if (query.queryItemValue(QStringLiteral("request")) == QLatin1String("GetMap")) {
            return QStringLiteral("GetMap ") + query.queryItemValue(QStringLiteral("layers")) +
                   QLatin1Char(' ') +
                   query.queryItemValue(QStringLiteral("time"), QUrl::FullyDecoded);
        }
        if (url.contains(QLatin1String("GetCapabilities"))) {
            return url.left(url.indexOf(QLatin1Char('?')));
        }
        return url;
    }

    QStringList urls() const {
        QStringList out;
        for (const auto& r : sent) {
            out << r.url;
        }
        return out;
    }

    std::map<QString, BridgeAnswer> answers;
    std::vector<BridgeGet> sent;
};

} // namespace nimbuscope::test
