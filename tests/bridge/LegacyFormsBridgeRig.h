#pragma once

// The legacy-forms bridge over recorded answers of the current services, at a fixed time.

#include "acquisition/LocationPage.h"
#include "retrieval/PageRetriever.h"
#include "bridge/LegacyFormsBridge.h"
#include "support/FolderHandle.h"

#include "RecordedAnswers.h"

#include <QImage>

namespace nimbuscope::test {

inline const QString kSearchSent = QStringLiteral("http://fake/zipcity.php?inputstring=22201");
inline const QString kPointsSent = QStringLiteral("http://fake/api/points/38.886,-77.094");
// The recorded points answer links to the default API host; the bridge asks the configured one.
inline const QString kStationsSent =
    QStringLiteral("http://fake/api/gridpoints/LWX/95,71/stations");
inline const QString& kLatestOf = kRecordedLatestOf;

inline const QByteArray kGif = QByteArray("GIF89a") + QByteArray(7000, '\1') + ';';
inline const QByteArray kNoRadarPicture =
    "\xFF\xD8 the saver's radar image unavailable picture \xFF\xD9";

class LegacyFormsBridgeTest : public ParserTest {
protected:
    LegacyFormsBridgeTest() {
        config.noaaHosts = {QStringLiteral("forecast.weather.gov"),
                            QStringLiteral("radar.weather.gov"),
                            QStringLiteral("radar2.weather.gov")};
        config.utcNow = [this] { return now; };
        config.noRadarPicture = [] { return kNoRadarPicture; };
        serveRecordedPlace(config, transport, kGif);
        auto& a = transport.answers;
        a[QStringLiteral("http://fake/zipcity.php?inputstring=00000")] = redirect("http://fake/");
        a[QStringLiteral("GetMap klwx:klwx_bref_raw 2021-02-21T12:14:16.000Z")] =
            http(200, today("service-exception-bad-parameter.xml"), "application/vnd.ogc.se_xml");
    }

    BridgeResult ask(const QString& address) {
        LegacyFormsBridge& b =
            bridge ? *bridge : *(bridge = std::make_unique<LegacyFormsBridge>(config, transport));
        EXPECT_TRUE(b.handles(address)) << address.toStdString();
        BridgeResult result;
        bool called = false;
        b.start(address, [&](const BridgeResult& r) {
            result = r;
            called = true;
        });
        EXPECT_TRUE(called) << "the recorded answers come at once";
        return result;
    }

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

    QDateTime now = QDateTime::fromString(QStringLiteral("2022-03-03T00:30:00Z"), Qt::ISODate);
    BridgeConfig config;
    RecordedTransport transport;
    std::unique_ptr<LegacyFormsBridge> bridge;
};

inline const QString kSearch =
    QStringLiteral("http://forecast.weather.gov/zipcity.php?inputstring=22201");
inline const QString kPlacePage =
    QStringLiteral("http://forecast.weather.gov/MapClick.php?lat=38.8860&lon=-77.0940");
inline const QString kShortList =
    QStringLiteral("http://radar.weather.gov/radar/loopdata/DS.p19r0/klwx.txt");
inline const QString kLongList =
    QStringLiteral("http://radar.weather.gov/radar/loopdata/DS.p20-r/klwx.txt");
inline const QString kShortFrames =
    QStringLiteral("http://radar.weather.gov/radar/images/DS.p19r0/SI.KLWX/");
inline const QString kLongFrames =
    QStringLiteral("http://radar.weather.gov/radar/images/DS.p20-r/SI.KLWX/");

} // namespace nimbuscope::test
