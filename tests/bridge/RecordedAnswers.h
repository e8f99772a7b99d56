#pragma once

// Answers of NOAA's current services for the bridge's tests: the files of fixtures/today
// (recorded where a public recording exists) and a transport that serves them.

#include "bridge/BridgeConfig.h"
#include "bridge/BridgeTransport.h"

#include "acquisition/ParserTestSupport.h"

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

inline const QString kRecordedLatestOf =
    QStringLiteral("http://fake/api/stations/%1/observations/latest");

inline const QString kRecordedAlertsAt =
    QStringLiteral("http://fake/api/alerts/active?point=38.886,-77.094");

/// The bases of `config` at http://fake/, and a place served from recorded answers there:
/// a search for 22201 leading to Arlington, VA (radar KLWX), whose station list (Shelton's,
/// recorded) starts with an empty observation and then a current one (at 2022-03-03T00:30Z);
/// KLWX's workspace and the mosaic's, and `frame` for the newest frame of each.
inline void serveRecordedPlace(BridgeConfig& config, RecordedTransport& transport,
                               const QByteArray& frame) {
    config.locationSearchURL = QStringLiteral("http://fake/zipcity.php");
    config.apiURL = QStringLiteral("http://fake/api/");
    config.mapServerURL = QStringLiteral("http://fake/geoserver/");
    config.stillsURL = QStringLiteral("http://fake/ridge/standard/");
    auto& a = transport.answers;
    a[QStringLiteral("http://fake/zipcity.php?inputstring=22201")] =
        redirect("https://forecast.weather.gov/MapClick.php?lat=38.886&lon=-77.094");
    a[QStringLiteral("http://fake/api/points/38.886,-77.094")] =
        http(200, today("points-38.886,-77.094-arlington-va.json"));
    // The points answer links to the default API host; the configured one is asked.
    a[QStringLiteral("http://fake/api/gridpoints/LWX/95,71/stations")] =
        http(200, today("stations-sew-96,55-shelton-wa.json"));
    a[kRecordedLatestOf.arg("KSHN")] = http(200, today("observation-empty-text-null-icon.json"));
    a[kRecordedLatestOf.arg("KOLM")] = http(200, today("observation-latest-kfll.json"));
    a[kRecordedAlertsAt] = http(200, today("alerts-point-empty.json"));
    a[QStringLiteral("http://fake/geoserver/klwx/ows")] =
        http(200, today("capabilities-klwx-bref-raw-only.xml"), "text/xml");
    a[QStringLiteral("http://fake/geoserver/conus/ows")] =
        http(200, today("capabilities-conus-mosaic.xml"), "text/xml");
    a[QStringLiteral("GetMap klwx:klwx_bref_raw 2021-02-21T12:21:11.000Z")] =
        http(200, frame, "image/gif");
    a[QStringLiteral("GetMap conus:conus_bref_qcd 2021-02-21T12:20:00.000Z")] =
        http(200, frame, "image/gif");
}

} // namespace nimbuscope::test
