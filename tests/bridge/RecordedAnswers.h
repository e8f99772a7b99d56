#pragma once

// Answers of NOAA's current services recorded where a public recording exists, golden tables of
// what the bridge reads from them, and the bridge over them at a fixed time.

#include "acquisition/LocationPage.h"
#include "bridge/BridgeConfig.h"
#include "bridge/BridgeTransport.h"
#include "bridge/LegacyFormsBridge.h"
#include "retrieval/PageRetriever.h"
#include "support/Log.h"

#include "common/FakeClock.h"

#include <QFile>
#include <QUrlQuery>
#include <gtest/gtest.h>

#include <map>
#include <vector>

namespace nimbuscope::test {

inline QByteArray fileBytes(const QString& path) {
    QFile f(path);
    EXPECT_TRUE(f.open(QIODevice::ReadOnly)) << "missing " << path.toStdString();
    return f.readAll();
}

/// A recorded answer of today's services.
inline QByteArray today(const QString& name) {
    return fileBytes(QStringLiteral(NIMBUSCOPE_ACQUISITION_FIXTURES "/today/") + name);
}

/// The text of golden/<name>.
inline QString golden(const char* name) {
    return QString::fromUtf8(fileBytes(QStringLiteral(NIMBUSCOPE_BRIDGE_GOLDEN "/") + name));
}

/// The rows of golden/<name>: fields split by tabs (runs of them align columns), "-" for an
/// empty field; blank lines and lines starting with "#" are skipped.
inline QList<QStringList> goldenRows(const char* name) {
    QList<QStringList> rows;
    for (const QString& line : golden(name).split(u'\n')) {
        if (line.trimmed().isEmpty() || line.startsWith(u'#')) {
            continue;
        }
        QStringList fields = line.split(u'\t', Qt::SkipEmptyParts);
        for (QString& field : fields) {
            field = field == QLatin1String("-") ? QString() : field.trimmed();
        }
        rows << fields;
    }
    EXPECT_FALSE(rows.isEmpty()) << name;
    return rows;
}

inline QDateTime utc(const QString& iso) {
    return QDateTime::fromString(iso, Qt::ISODate);
}

inline BridgeAnswer http(int status, QByteArray body, QByteArray type = "application/geo+json") {
    BridgeAnswer a;
    a.answered = true;
    a.status = status;
    a.body = std::move(body);
    a.contentType = std::move(type);
    return a;
}

/// Serves sub-requests from a table keyed by address, a map by "GetMap <layers> <time>".
/// Anything else is a 404. Records every
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

inline const QString kSearchSent = QStringLiteral("http://fake/zipcity.php?inputstring=22201");
inline const QString kPointsSent = QStringLiteral("http://fake/api/points/38.886,-77.094");
// The recorded points answer links to the default API host; the bridge asks the configured one.
inline const QString kStationsSent =
    QStringLiteral("http://fake/api/gridpoints/LWX/95,71/stations");
inline const QString kLatestOf = QStringLiteral("http://fake/api/stations/%1/observations/latest");
inline const QString kAlertsSent =
    QStringLiteral("http://fake/api/alerts/active?point=38.886,-77.094");
inline const QString kKlwxCapabilities = QStringLiteral(
    "http://fake/geoserver/klwx/ows?service=WMS&version=1.3.0&request=GetCapabilities");

inline const QString kSearch =
    QStringLiteral("http://forecast.weather.gov/zipcity.php?inputstring=22201");
inline const QString kPlacePage =
    QStringLiteral("http://forecast.weather.gov/MapClick.php?lat=38.8860&lon=-77.0940");
inline const QString kRadar = QStringLiteral("http://radar.weather.gov/radar/");
inline const QString kShortList = kRadar + "loopdata/DS.p19r0/klwx.txt";
inline const QString kLongList = kRadar + "loopdata/DS.p20-r/klwx.txt";
inline const QString kShortFrames = kRadar + "images/DS.p19r0/SI.KLWX/";
inline const QString kLongFrames = kRadar + "images/DS.p20-r/SI.KLWX/";

inline const QByteArray kGif = QByteArray("GIF89a") + QByteArray(7000, '\1') + ';';
inline const QByteArray kNoRadarPicture =
    "\xFF\xD8 the saver's radar image unavailable picture \xFF\xD9";

/// The bridge at http://fake/ over the answers of golden/recorded-place.tsv, at
/// 2022-03-03T00:30Z.
class RecordedPlaceTest : public ::testing::Test {
protected:
    RecordedPlaceTest() {
        config.noaaHosts = {QStringLiteral("forecast.weather.gov"),
                            QStringLiteral("radar.weather.gov"),
                            QStringLiteral("radar2.weather.gov")};
        config.utcNow = [this] { return now; };
        config.noRadarPicture = [] { return kNoRadarPicture; };
        config.locationSearchURL = QStringLiteral("http://fake/zipcity.php");
        config.apiURL = QStringLiteral("http://fake/api/");
        config.mapServerURL = QStringLiteral("http://fake/geoserver/");
        config.stillsURL = QStringLiteral("http://fake/ridge/standard/");
        for (const QStringList& row : goldenRows("recorded-place.tsv")) {
            BridgeAnswer& a = transport.answers[row[0]] =
                http(row[1].toInt(), {}, row[2].toLatin1());
            if (a.status == 302) {
                a.location = row[3].toLatin1();
            } else {
                a.body = row[3] == QLatin1String("gif") ? kGif : today(row[3]);
            }
        }
    }

    BridgeResult ask(const QString& address) {
        if (!bridge) {
            bridge = std::make_unique<LegacyFormsBridge>(config, transport);
        }
        EXPECT_TRUE(bridge->handles(address)) << address.toStdString();
        std::optional<BridgeResult> result;
        bridge->start(address, [&](const BridgeResult& r) { result = r; });
        EXPECT_TRUE(result) << "the recorded answers come at once";
        return result.value_or(BridgeResult{});
    }

    /// A location page as the saver's own parser reads it.
    struct Shown {
        QString templateURL, cityState, imageURL, forecast;
        qint16 temperature = 0;
    };
    Shown read(const BridgeResult& page) {
        Shown s;
        const QString text = locationPageText(page.body);
        const LocationPageConfig cfg{QStringLiteral("radar.weather.gov"), {}, {}};
        EXPECT_TRUE(parseZipCityStatics(text, s.templateURL, s.cityState, cfg, log));
        parseZipCityDynamics(text, s.imageURL, s.forecast, s.temperature, cfg, log);
        return s;
    }

    QDateTime now = utc(QStringLiteral("2022-03-03T00:30:00Z"));
    BridgeConfig config;
    RecordedTransport transport;
    std::unique_ptr<LegacyFormsBridge> bridge;
    FakeClock clock;
    FakePlatform platform;
    Log log{clock, platform};
};

} // namespace nimbuscope::test
