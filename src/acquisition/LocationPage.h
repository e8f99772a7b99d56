#pragma once

#include <QByteArray>
#include <QString>

#include <optional>

namespace nimbuscope {

class Log;

/// What the location page parsers need from the settings.
struct LocationPageConfig {
    /// The service's domain name ("weather.gov"); domain + "/radar/latest" marks the radar
    /// page link. Empty: only "/radar/latest" is looked for.
    QString serviceDomain;
    /// Base address of the alternate regional server ("alternateServerURL"); see
    /// `alternateWeatherBase`.
    QString alternateServerURL;
    /// The stored "templateURL" setting, used to make relative condition images absolute.
    QString templateURL;
};

inline constexpr qint16 kNoTemperature = -999;
/// Temperatures strictly between these two are shown.
inline constexpr qint16 kLowestShownTemperature = -200;
inline constexpr qint16 kHighestShownTemperature = 150;
/// A location page shorter than this is a failed transfer.
inline constexpr qsizetype kMinLocationPageLength = 50;

/// Every "'" of the page becomes a double quote, so the parsers need look for one quote only.
QString normaliseQuotes(QString page);
/// The retrieved body as the parsers read it: ANSI bytes to text, quotes normalised.
QString locationPageText(const QByteArray& body);

/// The address the location step fetches: the stored page address when there is one, else
/// the regional forecast server's location query for `zipcode`.
QString locationQueryURL(const QString& currentConditionsURL, const QString& forecastServerURL,
                         const QString& zipcode);
/// True for a location query address (it may redirect, and its page gives the statics).
bool isLocationQuery(const QString& address);

/// The alternate regional server's base address ending in "/weather/": the configured value
/// as it stands when it already ends so, else with "/" (if missing) and "weather/" appended.
QString alternateWeatherBase(const QString& alternateServerURL);

/// A radar page address rewritten into the frame template: "/si." -> "/SI.",
/// "/latest/" -> "/images/", ".shtml" -> "/#####.noaa", "DS.p19r0" -> "@@@@@" (exact).
QString radarTemplateFromPageURL(const QString& radarPageURL);

/// Reads the radar frame template and "City ST" from a location page. Both outputs start
/// empty; true when a radar page link was found. Debug lines as the step has always written
/// them; an unexpected error is trapped under "parseZipCityStatistics" and gives false.
bool parseZipCityStatics(const QString& page, QString& templateURL, QString& cityState,
                         const LocationPageConfig& config, Log& log);

/// What a location page gives that stays the same for the location.
struct LocationStatics {
    QString templateURL;
    QString cityState;
};
/// The statics of a location page, when they make a location the saver can use: the page
/// gives a radar page link (`parseZipCityStatics`) whose frame template keeps both
/// place-holders, "@@@@@" and "#####". Both the setup's zip code check and the download
/// pass store a location only from such a page.
std::optional<LocationStatics> usableLocationStatics(const QString& page,
                                                     const LocationPageConfig& config, Log& log);

/// Reads the current-conditions image address, the forecast text and the temperature
/// (`kNoTemperature` when absent). Always true; an unexpected error empties the forecast.
bool parseZipCityDynamics(const QString& page, QString& imageURL, QString& forecast,
                          qint16& temperature, const LocationPageConfig& config, Log& log);

/// True when the retrieved page is the server's error page or too short to be a page; the
/// step then clears its request flag and reports a network problem.
bool isLocationErrorPage(const QString& page);

/// What the location step shows for the parsed conditions.
struct ConditionsCaptions {
    QString currentTempF;      ///< " 72°" or empty
    QString currentConditions; ///< the forecast or empty
    QString debugLine;         ///< "FORECAST=..." or "FORECAST=NULL"; empty when none is due
};
ConditionsCaptions conditionsCaptions(qint16 temperature, const QString& forecast);

/// "Nimbuscope for City ST", with "  (zip)" added in zip-code mode (locationMode 1).
QString windowTitle(const QString& cityState, qint32 locationMode, const QString& zipcode);

} // namespace nimbuscope
