#include "acquisition/CurrentForms.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>
#include <QUrl>
#include <QXmlStreamReader>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <map>

namespace nimbuscope {

namespace {

constexpr double kEarthRadiusM = 6378137.0; // the sphere of Web Mercator
constexpr double kMetresPerNmi = 1852.0;
constexpr double kPi = 3.14159265358979323846;
// More instants than a day of frames would be no use to a loop.
constexpr qsizetype kMaxLayerTimes = 1000;

QJsonObject propertiesOf(const QByteArray& json) {
    return QJsonDocument::fromJson(json).object().value(QLatin1String("properties")).toObject();
}

QString lastPathPart(const QString& address) {
    const QString path = QUrl(address).path();
    return path.mid(path.lastIndexOf(QLatin1Char('/')) + 1);
}

/// "PT5M", "PT1H30M", "PT300S", "P1D": seconds, or 0 when it is not a duration we read.
qint64 durationSeconds(const QString& text) {
    const QRegularExpression re(
        QStringLiteral(R"(^P(?:(\d+)D)?(?:T(?:(\d+)H)?(?:(\d+)M)?(?:(\d+(?:\.\d+)?)S)?)?$)"));
    const auto m = re.match(text.trimmed());
    if (!m.hasMatch()) {
        return 0;
    }
    using namespace std::chrono;
    const auto whole = days(m.captured(1).toLongLong()) + hours(m.captured(2).toLongLong()) +
                       minutes(m.captured(3).toLongLong());
    return duration_cast<seconds>(whole).count() + qint64(m.captured(4).toDouble());
}

/// Writes `t` in the same shape as `model` (with or without seconds and milliseconds).
QString formatLike(const QDateTime& t, const QString& model) {
    if (model.contains(QLatin1Char('.'))) {
        return t.toString(QStringLiteral("yyyy-MM-ddTHH:mm:ss.zzzZ"));
    }
    if (model.count(QLatin1Char(':')) >= 2) {
        return t.toString(QStringLiteral("yyyy-MM-ddTHH:mm:ssZ"));
    }
    return t.toString(QStringLiteral("yyyy-MM-ddTHH:mmZ"));
}

void expandInterval(const QStringList& parts, qsizetype limit, std::map<QDateTime, QString>& out) {
    const QDateTime start = parseInstant(parts[0]);
    const QDateTime end = parseInstant(parts[1]);
    const qint64 step = durationSeconds(parts[2]);
    if (!start.isValid() || !end.isValid() || step <= 0 || end < start) {
        return;
    }
    const qint64 last = start.secsTo(end) / step;
    for (qint64 k = std::max<qint64>(0, last - limit + 1); k <= last; ++k) {
        const QDateTime t = start.addSecs(k * step);
        out[t] = formatLike(t, parts[0].trimmed());
    }
}

struct LayerScan {
    QString name;
    QString timeValue;
    std::optional<double> west, east, south, north;
};

std::optional<double> number(const QString& text) {
    bool ok = false;
    const double v = text.trimmed().toDouble(&ok);
    return ok ? std::optional<double>(v) : std::nullopt;
}

bool namesLayer(const QString& name, const QString& wanted) {
    return name.compare(wanted, Qt::CaseInsensitive) == 0 ||
           name.endsWith(QLatin1Char(':') + wanted, Qt::CaseInsensitive);
}

/// Reads the children of one <Layer> that the bridge needs; nested layers go on the stack.
void readLayerChild(QXmlStreamReader& xml, LayerScan& layer) {
    const auto tag = xml.name();
    if (tag == QLatin1String("Name") && layer.name.isEmpty()) {
        layer.name = xml.readElementText().trimmed();
    } else if ((tag == QLatin1String("Dimension") || tag == QLatin1String("Extent")) &&
               xml.attributes().value(QLatin1String("name")) == QLatin1String("time")) {
        const QString text = xml.readElementText().trimmed();
        if (!text.isEmpty()) {
            layer.timeValue = text;
        }
    } else if (tag == QLatin1String("westBoundLongitude")) {
        layer.west = number(xml.readElementText());
    } else if (tag == QLatin1String("eastBoundLongitude")) {
        layer.east = number(xml.readElementText());
    } else if (tag == QLatin1String("southBoundLatitude")) {
        layer.south = number(xml.readElementText());
    } else if (tag == QLatin1String("northBoundLatitude")) {
        layer.north = number(xml.readElementText());
    } else if (tag == QLatin1String("LatLonBoundingBox")) {
        const auto a = xml.attributes();
        layer.west = number(a.value(QLatin1String("minx")).toString());
        layer.east = number(a.value(QLatin1String("maxx")).toString());
        layer.south = number(a.value(QLatin1String("miny")).toString());
        layer.north = number(a.value(QLatin1String("maxy")).toString());
    }
}

constexpr std::pair<const char*, const char*> kCodes[] = {
    {"tsra", "thunder"},  {"tornado", "thunder"}, {"hurricane", "thunder"}, {"tropical", "thunder"},
    {"snow", "snow"},     {"sleet", "snow"},      {"fzra", "snow"},         {"blizzard", "snow"},
    {"rain", "rain"},     {"fog", "fog"},         {"haze", "fog"},          {"smoke", "fog"},
    {"dust", "fog"},      {"wind", "wind"},       {"skc", "clear"},         {"few", "few"},
    {"sct", "scattered"}, {"bkn", "broken"},      {"ovc", "overcast"}};

constexpr std::pair<const char*, const char*> kWords[] = {
    {"thunder", "thunder"},  {"snow", "snow"},         {"sleet", "snow"},
    {"freezing", "snow"},    {"ice", "snow"},          {"rain", "rain"},
    {"drizzle", "rain"},     {"shower", "rain"},       {"fog", "fog"},
    {"mist", "fog"},         {"haze", "fog"},          {"smoke", "fog"},
    {"dust", "fog"},         {"wind", "wind"},         {"breezy", "wind"},
    {"blustery", "wind"},    {"overcast", "overcast"}, {"mostly cloudy", "broken"},
    {"partly", "scattered"}, {"few clouds", "few"},    {"mostly clear", "few"},
    {"mostly sunny", "few"}, {"cloudy", "overcast"},   {"clear", "clear"},
    {"fair", "clear"},       {"sunny", "clear"}};

constexpr const char* kClasses[] = {"clear", "few",     "scattered", "broken", "overcast", "rain",
                                    "snow",  "thunder", "fog",       "wind",   "unknown"};

} // namespace

std::optional<PointFacts> parsePoints(const QByteArray& json) {
    const QJsonObject p = propertiesOf(json);
    PointFacts facts;
    facts.radarStation = p.value(QLatin1String("radarStation")).toString().trimmed().toUpper();
    const QJsonObject where = p.value(QLatin1String("relativeLocation"))
                                  .toObject()
                                  .value(QLatin1String("properties"))
                                  .toObject();
    facts.city = where.value(QLatin1String("city")).toString().trimmed();
    facts.state = where.value(QLatin1String("state")).toString().trimmed();
    facts.observationStations = p.value(QLatin1String("observationStations")).toString();
    if (facts.radarStation.isEmpty()) {
        return std::nullopt;
    }
    return facts;
}

QStringList parseStationList(const QByteArray& json) {
    const QJsonObject root = QJsonDocument::fromJson(json).object();
    QStringList ids;
    for (const auto& feature : root.value(QLatin1String("features")).toArray()) {
        const QString id = feature.toObject()
                               .value(QLatin1String("properties"))
                               .toObject()
                               .value(QLatin1String("stationIdentifier"))
                               .toString();
        if (!id.isEmpty()) {
            ids << id;
        }
    }
    if (ids.isEmpty()) {
        for (const auto& address : root.value(QLatin1String("observationStations")).toArray()) {
            const QString id = lastPathPart(address.toString());
            if (!id.isEmpty()) {
                ids << id;
            }
        }
    }
    return ids;
}

std::optional<Observation> parseObservation(const QByteArray& json) {
    QJsonParseError error;
    const QJsonDocument doc = QJsonDocument::fromJson(json, &error);
    if (error.error != QJsonParseError::NoError ||
        !doc.object().value(QLatin1String("properties")).isObject()) {
        return std::nullopt;
    }
    const QJsonObject p = doc.object().value(QLatin1String("properties")).toObject();
    Observation obs;
    obs.timestamp = parseInstant(p.value(QLatin1String("timestamp")).toString());
    obs.text = p.value(QLatin1String("textDescription")).toString().trimmed();
    const QJsonValue value =
        p.value(QLatin1String("temperature")).toObject().value(QLatin1String("value"));
    if (value.isDouble()) {
        obs.temperatureC = value.toDouble();
    }
    obs.icon = p.value(QLatin1String("icon")).toString();
    return obs;
}

bool isUsableObservation(const Observation& obs, const QDateTime& utcNow, qint64 maxAgeSeconds) {
    if (!obs.timestamp.isValid() || obs.timestamp.secsTo(utcNow) > maxAgeSeconds) {
        return false;
    }
    return !obs.text.isEmpty() || obs.temperatureC.has_value();
}

int celsiusToFahrenheit(double celsius) {
    return int(std::lround(celsius * 9.0 / 5.0 + 32.0));
}

QString conditionClass(const QString& text, const QString& icon) {
    // Icon codes: ".../icons/land/day/tsra_sct,40?size=medium"; a pair of codes names the
    // first period first.
    const QString path = QUrl(icon).path();
    const QRegularExpression codeRe(QStringLiteral(R"(/(?:day|night)/([a-z_]+))"));
    if (const auto m = codeRe.match(path); m.hasMatch()) {
        for (const auto& [code, name] : kCodes) {
            if (m.captured(1).startsWith(QLatin1String(code))) {
                return QLatin1String(name);
            }
        }
    }
    for (const auto& [word, name] : kWords) {
        if (text.contains(QLatin1String(word), Qt::CaseInsensitive)) {
            return QLatin1String(name);
        }
    }
    return QStringLiteral("unknown");
}

bool isConditionClass(const QString& name) {
    return std::any_of(std::begin(kClasses), std::end(kClasses),
                       [&](const char* c) { return name == QLatin1String(c); });
}

QString problemText(const QByteArray& json) {
    const QJsonObject o = QJsonDocument::fromJson(json).object();
    const QString title = o.value(QLatin1String("title")).toString();
    const QString detail = o.value(QLatin1String("detail")).toString();
    if (title.isEmpty() && detail.isEmpty()) {
        return {};
    }
    return detail.isEmpty() ? title : title + QStringLiteral(": ") + detail;
}

QDateTime parseInstant(const QString& text) {
    QDateTime t = QDateTime::fromString(text.trimmed(), Qt::ISODateWithMs);
    if (!t.isValid()) {
        t = QDateTime::fromString(text.trimmed(), Qt::ISODate);
    }
    return t.isValid() ? t.toUTC() : QDateTime();
}

QStringList expandTimeDimension(const QString& value, qsizetype limit) {
    std::map<QDateTime, QString> instants;
    for (const QString& item : value.split(QLatin1Char(','), Qt::SkipEmptyParts)) {
        const QStringList parts = item.split(QLatin1Char('/'));
        if (parts.size() == 3) {
            expandInterval(parts, limit, instants);
        } else if (const QDateTime t = parseInstant(item); parts.size() == 1 && t.isValid()) {
            instants[t] = item.trimmed();
        }
    }
    QStringList times;
    for (const auto& [t, text] : instants) {
        times << text;
    }
    return times.mid(std::max<qsizetype>(0, times.size() - limit));
}

std::optional<LayerTimes> parseCapabilities(const QByteArray& xml, const QString& layerName) {
    QXmlStreamReader reader(xml);
    QList<LayerScan> stack;
    bool sawCapabilities = false;
    while (!reader.atEnd()) {
        reader.readNext();
        if (reader.isStartElement()) {
            if (reader.name().endsWith(QLatin1String("Capabilities"))) {
                sawCapabilities = true;
            } else if (reader.name() == QLatin1String("Layer")) {
                stack.append(LayerScan{});
            } else if (!stack.isEmpty()) {
                readLayerChild(reader, stack.last());
            }
        } else if (reader.isEndElement() && reader.name() == QLatin1String("Layer") &&
                   !stack.isEmpty()) {
            const LayerScan layer = stack.takeLast();
            if (sawCapabilities && namesLayer(layer.name, layerName)) {
                LayerTimes found;
                found.times = expandTimeDimension(layer.timeValue, kMaxLayerTimes);
                if (layer.west && layer.east && layer.south && layer.north) {
                    found.centreLat = (*layer.south + *layer.north) / 2.0;
                    found.centreLon = (*layer.west + *layer.east) / 2.0;
                }
                return found;
            }
        }
    }
    return std::nullopt;
}

MercatorBox webMercatorBox(double lat, double lon, double rangeNmi, int width, int height) {
    const double phi = lat * kPi / 180.0;
    const double x = kEarthRadiusM * lon * kPi / 180.0;
    const double y = kEarthRadiusM * std::log(std::tan(kPi / 4.0 + phi / 2.0));
    const double halfHeight = rangeNmi * kMetresPerNmi / std::cos(phi);
    const double halfWidth = halfHeight * width / height;
    return {x - halfWidth, y - halfHeight, x + halfWidth, y + halfHeight};
}

QString pointsURL(const QString& apiURL, double lat, double lon) {
    return apiURL + QStringLiteral("points/") + QString::number(lat, 'f', 4) + QLatin1Char(',') +
           QString::number(lon, 'f', 4);
}

QString latestObservationURL(const QString& apiURL, const QString& station) {
    return apiURL + QStringLiteral("stations/") + station + QStringLiteral("/observations/latest");
}

QString capabilitiesURL(const QString& mapServerURL, const QString& site) {
    return mapServerURL + site.toLower() +
           QStringLiteral("/ows?service=WMS&version=1.3.0&request=GetCapabilities");
}

QString getMapURL(const QString& mapServerURL, const QString& site, const MercatorBox& box,
                  int width, int height, const QString& time) {
    const auto coordinate = [](double v) { return QString::number(v, 'f', 1); };
    return mapServerURL +
           QStringLiteral("ows?service=WMS&version=1.3.0&request=GetMap&layers=%1:%1_sr_bref"
                          "&styles=radar_reflectivity&crs=EPSG:3857&bbox=%2,%3,%4,%5"
                          "&width=%6&height=%7&format=image/gif&transparent=false&time=%8")
               .arg(site.toLower(), coordinate(box.minX), coordinate(box.minY),
                    coordinate(box.maxX), coordinate(box.maxY), QString::number(width),
                    QString::number(height), QString::fromLatin1(QUrl::toPercentEncoding(time)));
}

QString stillURL(const QString& stillsURL, const QString& site, int index) {
    return stillsURL + site.toUpper() + QLatin1Char('_') + QString::number(index) +
           QStringLiteral(".gif");
}

bool isGifAnswer(const QByteArray& contentType, const QByteArray& body) {
    const QByteArray type = contentType.split(';').value(0).trimmed().toLower();
    return type == "image/gif" && body.startsWith("GIF8");
}

} // namespace nimbuscope
