#include "bridge/MapServerForms.h"

#include <QList>
#include <QRegularExpression>
#include <QUrl>
#include <QXmlStreamReader>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <map>
#include <tuple>

namespace nimbuscope {

namespace {

constexpr double kEarthRadiusM = 6378137.0; // the sphere of Web Mercator
constexpr double kMetresPerNmi = 1852.0;
constexpr double kPi = 3.14159265358979323846;
constexpr double kDegreesPerHalfTurn = 180.0;
// More instants than a day of frames would be no use to a loop.
constexpr qsizetype kMaxLayerTimes = 1000;

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

std::optional<double> number(QStringView text) {
    bool ok = false;
    const double v = text.trimmed().toDouble(&ok);
    return ok && std::isfinite(v) ? std::optional<double>(v) : std::nullopt;
}

struct LayerScan {
    QString name;
    QString timeValue;
    QString style;
    std::optional<double> west, east, south, north;

    std::optional<GeoBox> extent() const {
        if (west && east && south && north) {
            return GeoBox{*west, *south, *east, *north};
        }
        return std::nullopt;
    }
};

void readBoundingBox(QXmlStreamReader& xml, LayerScan& layer) {
    // WMS 1.1.1 writes the extent as attributes of one element.
    const auto a = xml.attributes();
    layer.west = number(a.value(QLatin1String("minx")));
    layer.east = number(a.value(QLatin1String("maxx")));
    layer.south = number(a.value(QLatin1String("miny")));
    layer.north = number(a.value(QLatin1String("maxy")));
}

void readStyle(QXmlStreamReader& xml, LayerScan& layer) {
    while (xml.readNextStartElement()) {
        if (xml.name() == QLatin1String("Name") && layer.style.isEmpty()) {
            layer.style = xml.readElementText().trimmed();
        } else {
            xml.skipCurrentElement();
        }
    }
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
    } else if (tag == QLatin1String("Style")) {
        readStyle(xml, layer);
    } else if (tag == QLatin1String("westBoundLongitude")) {
        layer.west = number(xml.readElementText());
    } else if (tag == QLatin1String("eastBoundLongitude")) {
        layer.east = number(xml.readElementText());
    } else if (tag == QLatin1String("southBoundLatitude")) {
        layer.south = number(xml.readElementText());
    } else if (tag == QLatin1String("northBoundLatitude")) {
        layer.north = number(xml.readElementText());
    } else if (tag == QLatin1String("LatLonBoundingBox")) {
        readBoundingBox(xml, layer);
    }
}

/// Every named layer of the document with its times, or nothing when it is no capabilities.
std::optional<QList<MapLayer>> timedLayers(const QByteArray& xml) {
    QXmlStreamReader reader(xml);
    QList<LayerScan> stack;
    QList<MapLayer> layers;
    bool sawCapabilities = false;
    while (!reader.atEnd()) {
        reader.readNext();
        if (reader.isStartElement()) {
            if (reader.name().endsWith(QLatin1String("Capabilities"))) {
                sawCapabilities = true;
            } else if (reader.name() == QLatin1String("Layer")) {
                // A layer without an extent of its own has its parent's.
                LayerScan child;
                if (!stack.isEmpty()) {
                    const LayerScan& parent = stack.last();
                    std::tie(child.west, child.east, child.south, child.north) =
                        std::tie(parent.west, parent.east, parent.south, parent.north);
                }
                stack.append(child);
            } else if (!stack.isEmpty()) {
                readLayerChild(reader, stack.last());
            }
        } else if (reader.isEndElement() && reader.name() == QLatin1String("Layer") &&
                   !stack.isEmpty()) {
            const LayerScan scan = stack.takeLast();
            const QString name = scan.name.mid(scan.name.indexOf(QLatin1Char(':')) + 1);
            const QStringList times = expandTimeDimension(scan.timeValue, kMaxLayerTimes);
            if (!name.isEmpty() && !times.isEmpty()) {
                layers.append(MapLayer{{}, name, scan.style, times, scan.extent()});
            }
        }
    }
    if (!sawCapabilities || reader.hasError()) {
        return std::nullopt;
    }
    return layers;
}

/// How much a layer name is wanted as the workspace's base reflectivity; 0 not at all.
int preference(const QString& name, const QString& workspace) {
    const QString prefix = workspace + QLatin1Char('_');
    if (!name.startsWith(prefix, Qt::CaseInsensitive)) {
        return 0;
    }
    const QString kind = name.mid(prefix.size()).toLower();
    if (kind == QLatin1String("sr_bref")) {
        return 3;
    }
    if (kind == QLatin1String("bref_raw")) {
        return 2;
    }
    return kind.contains(QLatin1String("bref")) ? 1 : 0;
}

double latitudeOfY(double y) {
    return (2.0 * std::atan(std::exp(y / kEarthRadiusM)) - kPi / 2.0) * kDegreesPerHalfTurn / kPi;
}

} // namespace

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

std::optional<MapLayer> findReflectivityLayer(const QByteArray& xml, const QString& workspace) {
    const auto layers = timedLayers(xml);
    if (!layers) {
        return std::nullopt;
    }
    const MapLayer* best = nullptr;
    for (const MapLayer& layer : *layers) {
        const int wanted = preference(layer.name, workspace);
        if (wanted > 0 && (best == nullptr || wanted > preference(best->name, workspace))) {
            best = &layer;
        }
    }
    if (best == nullptr) {
        return std::nullopt;
    }
    MapLayer found = *best;
    found.workspace = workspace.toLower();
    return found;
}

MercatorBox webMercatorBox(double lat, double lon, double rangeNmi, int width, int height) {
    const double phi = lat * kPi / kDegreesPerHalfTurn;
    const double x = kEarthRadiusM * lon * kPi / kDegreesPerHalfTurn;
    const double y = kEarthRadiusM * std::log(std::tan(kPi / 4.0 + phi / 2.0));
    const double halfHeight = rangeNmi * kMetresPerNmi / std::cos(phi);
    const double halfWidth = halfHeight * width / height;
    return {x - halfWidth, y - halfHeight, x + halfWidth, y + halfHeight};
}

GeoBox geoBoxOf(const MercatorBox& box) {
    const double degreesPerMetre = kDegreesPerHalfTurn / (kPi * kEarthRadiusM);
    return {box.minX * degreesPerMetre, latitudeOfY(box.minY), box.maxX * degreesPerMetre,
            latitudeOfY(box.maxY)};
}

bool reachesPastLayer(const MapLayer& siteLayer, const MercatorBox& box) {
    return siteLayer.extent && !siteLayer.extent->contains(geoBoxOf(box));
}

QString capabilitiesURL(const QString& mapServerURL, const QString& workspace) {
    return mapServerURL + workspace.toLower() +
           QStringLiteral("/ows?service=WMS&version=1.3.0&request=GetCapabilities");
}

QString getMapURL(const QString& mapServerURL, const MapLayer& layer, const MercatorBox& box,
                  int width, int height, const QString& time) {
    const auto coordinate = [](double v) { return QString::number(v, 'f', 1); };
    const auto encoded = [](const QString& text) {
        return QString::fromLatin1(QUrl::toPercentEncoding(text));
    };
    return mapServerURL +
           QStringLiteral("ows?service=WMS&version=1.3.0&request=GetMap&layers=%1:%2"
                          "&styles=%3&crs=EPSG:3857&bbox=%4,%5,%6,%7"
                          "&width=%8&height=%9&format=image/gif&transparent=false&time=")
               .arg(encoded(layer.workspace), encoded(layer.name), encoded(layer.style),
                    coordinate(box.minX), coordinate(box.minY), coordinate(box.maxX),
                    coordinate(box.maxY), QString::number(width), QString::number(height)) +
           encoded(time);
}

} // namespace nimbuscope
