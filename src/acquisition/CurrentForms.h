#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QList>
#include <QString>
#include <QStringList>

#include <optional>

namespace nimbuscope {

/// Pure readers of NOAA's current services (api.weather.gov JSON, the map server's WMS
/// capabilities) and the few formulas the bridge builds its requests from.

/// What `/points/{lat},{lon}` says about a place.
struct PointFacts {
    QString radarStation;        ///< "KTOP"
    QString city;                ///< "Topeka"
    QString state;               ///< "KS"
    QString observationStations; ///< address of the station list, nearest first
};
/// Nothing when the body is not a points answer with a radar station.
std::optional<PointFacts> parsePoints(const QByteArray& json);

/// Station identifiers of a station list, nearest first: `features[].properties
/// .stationIdentifier`, or the last path part of each `observationStations` address.
QStringList parseStationList(const QByteArray& json);

/// The latest observation of one station.
struct Observation {
    QDateTime timestamp; ///< invalid when absent
    QString text;        ///< textDescription, may be empty
    std::optional<double> temperatureC;
    QString icon; ///< may be empty
};
std::optional<Observation> parseObservation(const QByteArray& json);
/// An observation worth showing: recent enough and saying something.
bool isUsableObservation(const Observation& obs, const QDateTime& utcNow, qint64 maxAgeSeconds);
/// Whole degrees Fahrenheit, rounded half away from zero.
int celsiusToFahrenheit(double celsius);

/// The condition class the conditions picture is drawn for: "clear", "few", "scattered",
/// "broken", "overcast", "rain", "snow", "thunder", "fog", "wind" or "unknown"; from the
/// icon's code when there is one, else from the text.
QString conditionClass(const QString& text, const QString& icon);
bool isConditionClass(const QString& name);

/// `title` and `detail` of an application/problem+json body, joined; empty when the body is
/// not one.
QString problemText(const QByteArray& json);

/// The part of a WMS capabilities document the bridge reads for one layer.
struct LayerTimes {
    /// Exact time strings as the server wrote them (intervals expanded), oldest first.
    QStringList times;
    /// Centre of the layer's geographic bounding box, when the document gives one.
    std::optional<double> centreLat;
    std::optional<double> centreLon;
};
/// Nothing when the document is not capabilities (an XML error body, say) or lacks the layer.
std::optional<LayerTimes> parseCapabilities(const QByteArray& xml, const QString& layerName);
/// The instants of one time dimension value: a comma list of instants and of
/// "start/end/period" intervals, each instant kept as written (an interval's instants in the
/// start's form). At most `limit` of the newest are kept.
QStringList expandTimeDimension(const QString& value, qsizetype limit);
/// An ISO 8601 instant ("2026-08-17T20:50:22.000Z"); invalid when it is not one.
QDateTime parseInstant(const QString& text);

/// A Web Mercator box (EPSG:3857 metres) centred on a place, `rangeNmi` to the top and
/// bottom edges on the ground (hence widened by 1/cos(latitude)), as wide as `width` to
/// `height` pixels make it.
struct MercatorBox {
    double minX, minY, maxX, maxY;
};
MercatorBox webMercatorBox(double lat, double lon, double rangeNmi, int width, int height);

/// The addresses of the current services, from their configured bases (each ending in "/").
QString pointsURL(const QString& apiURL, double lat, double lon); ///< four decimals at most
QString latestObservationURL(const QString& apiURL, const QString& station);
QString capabilitiesURL(const QString& mapServerURL, const QString& site);
/// The site's super-resolution base reflectivity at `time`, copied exactly from the list.
QString getMapURL(const QString& mapServerURL, const QString& site, const MercatorBox& box,
                  int width, int height, const QString& time);
QString stillURL(const QString& stillsURL, const QString& site, int index);

/// A frame answer is a GIF only when it says so and starts like one.
bool isGifAnswer(const QByteArray& contentType, const QByteArray& body);

} // namespace nimbuscope
