#include "BridgeCheck.h"

#include "acquisition/CurrentForms.h"
#include "acquisition/LegacyForms.h"

#include <QEventLoop>

namespace nimbuscope {

namespace {

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

} // namespace

BridgeCheck::BridgeCheck(const BridgeConfig& config, BridgeTransport& transport, QTextStream& out)
    : config_(config), transport_(transport), out_(out) {}

BridgeAnswer BridgeCheck::fetch(const BridgeGet& get) {
    out_ << "GET " << get.url << Qt::endl;
    BridgeAnswer got;
    QEventLoop loop;
    bool finished = false;
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
    const QString problem = problemText(a.body);
    report(
        QStringLiteral("points"), point.has_value(),
        point ? QStringLiteral("radar %1, %2, %3, stations %4")
                    .arg(point->radarStation, point->city, point->state, point->observationStations)
              : (problem.isEmpty() ? QStringLiteral("not a points answer") : problem));
    return point;
}

bool BridgeCheck::checkObservations(const PointFacts& point) {
    BridgeGet list;
    list.url = point.observationStations;
    list.api = true;
    const BridgeAnswer a = fetch(list);
    const QStringList stations = a.ok() ? parseStationList(a.body) : QStringList();
    if (!report(QStringLiteral("stations"), !stations.isEmpty(), stations.mid(0, 5).join(u' '))) {
        return false;
    }
    const QDateTime now = config_.utcNow();
    for (const QString& id : stations.mid(0, LegacyFormsBridge::kMaxStationsTried)) {
        BridgeGet get;
        get.url = latestObservationURL(config_.apiURL, id);
        get.api = true;
        const BridgeAnswer o = fetch(get);
        const auto obs = o.ok() ? parseObservation(o.body) : std::nullopt;
        if (!obs) {
            report(QStringLiteral("observation ") + id, false, problemText(o.body));
            continue;
        }
        const bool usable =
            isUsableObservation(*obs, now, LegacyFormsBridge::kObservationMaxAgeSeconds);
        out_ << "    " << obs->timestamp.toString(Qt::ISODate) << " \"" << obs->text << "\" "
             << (obs->temperatureC ? QString::number(*obs->temperatureC) + QStringLiteral(" degC")
                                   : QStringLiteral("no temperature"))
             << ", class " << conditionClass(obs->text, obs->icon) << Qt::endl;
        if (usable) {
            return report(QStringLiteral("observation ") + id, true, QStringLiteral("recent"));
        }
        out_ << "    stale or empty: the bridge tries the next station" << Qt::endl;
    }
    return report(QStringLiteral("observation"), false, QStringLiteral("no recent observation"));
}

bool BridgeCheck::checkFrames(const QString& site, LatLon where) {
    const QString lower = site.toLower();
    BridgeGet caps;
    caps.url = capabilitiesURL(config_.mapServerURL, site);
    const BridgeAnswer c = fetch(caps);
    const auto layer =
        c.ok() ? parseCapabilities(c.body, lower + QStringLiteral("_sr_bref")) : std::nullopt;
    const bool timed = layer && !layer->times.isEmpty();
    report(QStringLiteral("capabilities"), timed,
           timed ? QStringLiteral("%1 times, newest %2")
                       .arg(layer->times.size())
                       .arg(layer->times.last())
                 : QStringLiteral("no times for ") + lower + QStringLiteral("_sr_bref"));
    if (timed) {
        const double lat = layer->centreLat.value_or(where.lat);
        const double lon = layer->centreLon.value_or(where.lon);
        const MercatorBox box =
            webMercatorBox(lat, lon, LegacyFormsBridge::kShortRangeNmi,
                           LegacyFormsBridge::kFrameWidth, LegacyFormsBridge::kFrameHeight);
        BridgeGet map;
        map.url = getMapURL(config_.mapServerURL, site, box, LegacyFormsBridge::kFrameWidth,
                            LegacyFormsBridge::kFrameHeight, layer->times.last());
        const BridgeAnswer m = fetch(map);
        report(QStringLiteral("frame"), m.ok() && isGifAnswer(m.contentType, m.body),
               QString::fromLatin1(m.body.left(6).toHex(' ')));
    }
    BridgeGet still;
    still.url = stillURL(config_.stillsURL, site, 0);
    const BridgeAnswer s = fetch(still);
    return report(QStringLiteral("standard still"), s.ok() && isGifAnswer(s.contentType, s.body),
                  QStringLiteral("Last-Modified: ") + QString::fromLatin1(s.lastModified));
}

bool BridgeCheck::run(const QString& zip) {
    const auto where = checkSearch(zip);
    if (!where) {
        return false;
    }
    const auto point = checkPoints(*where);
    if (!point) {
        return false;
    }
    checkObservations(*point);
    checkFrames(point->radarStation, *where);
    out_ << (allOk_ ? "Every source answered in its documented form."
                    : "Some sources did not answer as documented (FAIL lines above).")
         << Qt::endl;
    return allOk_;
}

} // namespace nimbuscope
