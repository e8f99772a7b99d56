#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QString>
#include <QStringList>

#include <optional>

namespace nimbuscope {

/// Pure readers of api.weather.gov's JSON answers and the few rules and addresses the bridge
/// builds on them.

/// What `/points/{lat},{lon}` says about a place.
struct PointFacts {
    QString radarStation;        ///< "KTOP"; empty when no radar covers the place
    QString city;                ///< "Topeka"; may be empty
    QString state;               ///< "KS"; may be empty
    QString observationStations; ///< address of the station list, nearest first; may be empty

    bool hasRadar() const { return !radarStation.isEmpty(); }
    /// "Topeka, KS", or whichever of the two is known.
    QString cityState() const;
};
/// Nothing when the body is not a points answer (a problem, an HTML page) or names its radar
/// station in a form no radar site has. `"radarStation": null` is a points answer for a place
/// no radar covers.
std::optional<PointFacts> parsePoints(const QByteArray& json);

/// Station identifiers of a station list, nearest first: `features[].properties
/// .stationIdentifier`, or the last path part of each `observationStations` address.
QStringList parseStationList(const QByteArray& json);

/// The latest observation of one station.
struct Observation {
    QDateTime timestamp; ///< invalid when absent
    QString text;        ///< textDescription, may be empty
    /// In degrees Fahrenheit whatever unit it came in; none when the value is null, not a
    /// number, or in a unit we do not know.
    std::optional<double> temperatureF;
    QString icon; ///< may be empty
};
std::optional<Observation> parseObservation(const QByteArray& json);
/// The temperature value of `{unitCode, value}` in degrees Fahrenheit: "wmoUnit:degC",
/// "unit:degC", "wmoUnit:degF", "unit:degF" and "wmoUnit:K" are known.
std::optional<double> fahrenheitOf(const QString& unitCode, std::optional<double> value);

/// An observation older than this is not current: the saver shows neither its temperature
/// nor its text, and the next station is asked.
inline constexpr qint64 kObservationMaxAgeSeconds = 2 * 3600;
/// Seconds from the observation to `utcNow`; nothing without a time stamp.
std::optional<qint64> observationAgeSeconds(const Observation& obs, const QDateTime& utcNow);
/// Current and saying something (a text or a temperature).
bool isCurrentObservation(const Observation& obs, const QDateTime& utcNow);
/// Whole degrees, rounded half away from zero: what the location page shows.
int wholeDegrees(double fahrenheit);

/// The condition class the conditions picture is drawn for: "clear", "few", "scattered",
/// "broken", "overcast", "rain", "snow", "thunder", "fog", "wind" or "unknown". The text
/// decides when it names weather (haze, rain, snow, thunder, wind, ...); the icon's code
/// otherwise, then the text's words for the sky.
QString conditionClass(const QString& text, const QString& icon);
bool isConditionClass(const QString& name);

/// `title` and `detail` of an application/problem+json body, joined; empty when the body is
/// not one.
QString problemText(const QByteArray& json);

/// A coordinate as the points service writes it: at most four decimals, no trailing zeros
/// ("30", "-94.5786", "47.6109").
QString canonicalCoordinate(double degrees);
/// The addresses of the current services, from their configured bases (each ending in "/").
QString pointsURL(const QString& apiURL, double lat, double lon);
QString latestObservationURL(const QString& apiURL, const QString& station);
QString stillURL(const QString& stillsURL, const QString& site, int index);

/// A frame answer is a GIF only when it says so and starts like one.
bool isGifAnswer(const QByteArray& contentType, const QByteArray& body);

} // namespace nimbuscope
