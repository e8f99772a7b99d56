#include "BridgeCheck.h"

#include "bridge/AlertForms.h"
#include "bridge/BridgeFrames.h"
#include "bridge/LegacyFormsBridge.h"

#include <QEventLoop>
#include <QJsonDocument>
#include <QJsonObject>

namespace nimbuscope {

namespace {

constexpr qint64 kSecondsPerMinute = 60;
constexpr qint64 kSecondsPerHour = 3600;
constexpr qint64 kSecondsPerDay = 24 * kSecondsPerHour;

QString statusLine(const BridgeAnswer& a) {
    if (!a.answered) {
        return QStringLiteral("no answer (") + a.error + QLatin1Char(')');
    }
    return QStringLiteral("HTTP %1, %2, %3 bytes")
        .arg(a.status)
        .arg(a.contentType.isEmpty() ? QStringLiteral("no type")
                                     : QString::fromLatin1(a.contentType))
        .arg(a.body.size());
}

QString ageText(qint64 seconds) {
    if (seconds < 0) {
        return QStringLiteral("%1 min in the future").arg(-seconds / kSecondsPerMinute);
    }
    if (seconds >= 2 * kSecondsPerDay) {
        return QStringLiteral("%1 days old").arg(seconds / kSecondsPerDay);
    }
    return QStringLiteral("%1 h %2 min old")
        .arg(seconds / kSecondsPerHour)
        .arg(seconds % kSecondsPerHour / kSecondsPerMinute);
}

/// The temperature as the answer gives it: value and unit.
QString givenTemperature(const QByteArray& body) {
    const QJsonObject t = QJsonDocument::fromJson(body)
                              .object()
                              .value(QLatin1String("properties"))
                              .toObject()
                              .value(QLatin1String("temperature"))
                              .toObject();
    const QJsonValue value = t.value(QLatin1String("value"));
    const QString shown = value.isDouble() ? QString::number(value.toDouble())
                          : value.isNull() ? QStringLiteral("null")
                                           : QStringLiteral("(not a number)");
    return shown + QLatin1Char(' ') + t.value(QLatin1String("unitCode")).toString();
}

QString shownTemperature(const Observation& obs) {
    return obs.temperatureF
               ? QString::number(wholeDegrees(*obs.temperatureF)) + QChar(0xB0) + QLatin1Char('F')
               : QStringLiteral("no temperature");
}

} // namespace

BridgeCheck::BridgeCheck(const BridgeConfig& config, BridgeTransport& transport, QTextStream& out)
    : config_(config), transport_(transport, bridgeBaseMappings(config)), out_(out) {}

BridgeAnswer BridgeCheck::fetch(const BridgeGet& get) {
    BridgeAnswer got;
    QEventLoop loop;
    bool finished = false;
    out_ << "GET " << rebasedURL(get.url, bridgeBaseMappings(config_)) << Qt::endl;
    transport_.get(get, [&](const BridgeAnswer& a) {
        got = a;
        finished = true;
        loop.quit();
    });
    if (!finished) {
        loop.exec();
    }
    out_ << "    " << statusLine(got) << Qt::endl;
    return got;
}

bool BridgeCheck::report(const QString& step, bool ok, const QString& detail) {
    out_ << (ok ? "  ok    " : "  FAIL  ") << step << ": " << detail << Qt::endl;
    allOk_ = allOk_ && ok;
    return ok;
}

void BridgeCheck::reportUnread(const QString& step, const QByteArray& body,
                               const QString& otherwise) {
    const QString problem = problemText(body);
    report(step, false, problem.isEmpty() ? otherwise : problem);
}

std::optional<LatLon> BridgeCheck::checkSearch(const QString& zip) {
    BridgeGet get;
    get.url = config_.locationSearchURL + QStringLiteral("?inputstring=") + zip;
    get.followRedirects = false;
    const BridgeAnswer a = fetch(get);
    const auto where = latLonFromAddress(QString::fromLatin1(a.location));
    report(QStringLiteral("location search"), a.redirected() && where.has_value(),
           QStringLiteral("Location: ") + QString::fromLatin1(a.location));
    return where;
}

std::optional<PointFacts> BridgeCheck::checkPoints(LatLon where) {
    BridgeGet get;
    get.url = pointsURL(config_.apiURL, where.lat, where.lon);
    get.api = true;
    const BridgeAnswer a = fetch(get);
    const auto point = a.ok() ? parsePoints(a.body) : std::nullopt;
    if (!point) {
        reportUnread(QStringLiteral("points"), a.body, QStringLiteral("not a points answer"));
    } else if (!point->hasRadar()) {
        report(QStringLiteral("points"), false,
               QStringLiteral("no radar covers %1 (radarStation is null); the setup refuses "
                              "it: choose a radar site under City")
                   .arg(point->cityState()));
    } else {
        report(QStringLiteral("points"), true,
               QStringLiteral("radar %1, %2, stations %3")
                   .arg(point->radarStation, point->cityState(), point->observationStations));
    }
    return point;
}

std::optional<Observation> BridgeCheck::checkObservation(const QString& station) {
    BridgeGet get;
    get.url = latestObservationURL(config_.apiURL, station);
    get.api = true;
    const BridgeAnswer o = fetch(get);
    const auto obs = o.ok() ? parseObservation(o.body) : std::nullopt;
    if (!obs) {
        out_ << "    not an observation: " << problemText(o.body) << Qt::endl;
        return std::nullopt;
    }
    const auto age = observationAgeSeconds(*obs, config_.utcNow());
    out_ << "    "
         << (age ? obs->timestamp.toString(Qt::ISODate) + QStringLiteral(", ") + ageText(*age)
                 : QStringLiteral("no time stamp"))
         << ", \"" << obs->text << "\", " << givenTemperature(o.body) << " -> "
         << shownTemperature(*obs) << ", picture " << conditionClass(obs->text, obs->icon)
         << Qt::endl;
    if (isCurrentObservation(*obs, config_.utcNow())) {
        return obs;
    }
    out_ << "    not current (older than 2 hours, or empty): the saver asks the next station"
         << Qt::endl;
    return std::nullopt;
}

void BridgeCheck::checkObservations(const PointFacts& point) {
    if (point.observationStations.isEmpty()) {
        report(QStringLiteral("stations"), false, QStringLiteral("the points answer names none"));
        return;
    }
    BridgeGet list;
    list.url = point.observationStations;
    list.api = true;
    const BridgeAnswer a = fetch(list);
    const QStringList stations = a.ok() ? parseStationList(a.body) : QStringList();
    if (!report(QStringLiteral("stations"), !stations.isEmpty(), stations.mid(0, 5).join(u' '))) {
        return;
    }
    for (const QString& id : stations.mid(0, LegacyFormsBridge::kMaxStationsTried)) {
        if (const auto obs = checkObservation(id)) {
            report(QStringLiteral("observation ") + id, true,
                   QStringLiteral("the saver shows %1 and \"%2\"")
                       .arg(shownTemperature(*obs), obs->text));
            return;
        }
    }
    report(QStringLiteral("observation"), false,
           QStringLiteral("no current observation: the saver shows no temperature and no "
                          "conditions"));
}

std::optional<MapLayer> BridgeCheck::checkLayer(const QString& workspace, const QString& step) {
    BridgeGet caps;
    caps.url = capabilitiesURL(config_.mapServerURL, workspace);
    const BridgeAnswer c = fetch(caps);
    const auto layer = c.ok() ? findReflectivityLayer(c.body, workspace) : std::nullopt;
    report(step, layer.has_value(),
           layer ? QStringLiteral("%1, %2 times, newest %3")
                       .arg(layer->name)
                       .arg(layer->times.size())
                       .arg(layer->times.last())
                 : QStringLiteral("no reflectivity layer with times for ") + workspace);
    return layer;
}

void BridgeCheck::checkFrame(const MapLayer& layer, LatLon centre, double rangeNmi,
                             const QString& step) {
    const MercatorBox box = webMercatorBox(centre.lat, centre.lon, rangeNmi,
                                           BridgeFrames::kFrameWidth, BridgeFrames::kFrameHeight);
    BridgeGet map;
    map.url = getMapURL(config_.mapServerURL, layer, box, BridgeFrames::kFrameWidth,
                        BridgeFrames::kFrameHeight, layer.times.last());
    const BridgeAnswer m = fetch(map);
    report(step, m.ok() && isGifAnswer(m.contentType, m.body),
           QString::fromLatin1(m.body.left(6).toHex(' ')));
}

void BridgeCheck::checkFrames(const QString& site, LatLon where) {
    if (const auto layer = checkLayer(site.toLower(), QStringLiteral("capabilities"))) {
        const LatLon centre =
            layer->extent ? LatLon{layer->extent->centreLat(), layer->extent->centreLon()} : where;
        checkFrame(*layer, centre, BridgeFrames::kShortRangeNmi, QStringLiteral("frame"));
        MapLayer longRange = *layer;
        if (reachesPastLayer(
                *layer, webMercatorBox(centre.lat, centre.lon, BridgeFrames::kLongRangeNmi,
                                       BridgeFrames::kFrameWidth, BridgeFrames::kFrameHeight))) {
            out_ << "    " << layer->name << " ends short of the long-range frame's edges"
                 << Qt::endl;
            const auto mosaic =
                checkLayer(QString(kMosaicWorkspace), QStringLiteral("mosaic capabilities"));
            if (mosaic && BridgeFrames::mosaicServes(*layer, *mosaic, centre)) {
                longRange = *mosaic;
            }
        }
        checkFrame(longRange, centre, BridgeFrames::kLongRangeNmi,
                   QStringLiteral("long-range frame of ") + longRange.name);
    }
    BridgeGet still;
    still.url = stillURL(config_.stillsURL, site, 0);
    const BridgeAnswer s = fetch(still);
    report(QStringLiteral("standard still"), s.ok() && isGifAnswer(s.contentType, s.body),
           QStringLiteral("Last-Modified: ") + QString::fromLatin1(s.lastModified));
}

// The alerts the saver would show now, in its order, each with what decides its place.
void BridgeCheck::checkAlerts(LatLon where) {
    BridgeGet get;
    get.url = activeAlertsURL(config_.apiURL, where);
    get.api = true;
    const BridgeAnswer a = fetch(get);
    const auto alerts = a.ok() ? parseActiveAlerts(a.body) : std::nullopt;
    if (!alerts) {
        reportUnread(QStringLiteral("alerts"), a.body, QStringLiteral("not an alerts answer"));
        return;
    }
    const QList<WeatherAlert> shown = alertsInEffect(*alerts, config_.utcNow());
    report(QStringLiteral("alerts"), true,
           QStringLiteral("%1 listed, %2 shown").arg(alerts->size()).arg(shown.size()));
    for (const WeatherAlert& alert : shown) {
        out_ << "    " << alert.event.toUpper() << " until "
             << alert.end.toUTC().toString(Qt::ISODate) << " (" << severityName(alert.severity)
             << ", " << alert.messageType << ")" << Qt::endl;
    }
}

bool BridgeCheck::run(const QString& zip) {
    const auto where = checkSearch(zip);
    const auto point = where ? checkPoints(*where) : std::nullopt;
    if (where) {
        checkAlerts(*where);
    }
    if (point) {
        checkObservations(*point);
        if (point->hasRadar()) {
            checkFrames(point->radarStation, *where);
        }
    }
    out_ << (allOk_ ? "Every source answered in its documented form."
                    : "Some sources did not answer as documented (FAIL lines above).")
         << Qt::endl;
    return allOk_;
}

} // namespace nimbuscope
