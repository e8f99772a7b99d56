#include "acquisition/LocationPage.h"

#include "acquisition/AdaTrap.h"
#include "acquisition/TextPositions.h"
#include "support/Log.h"
#include "support/StringUtils.h"

#include <cmath>
#include <limits>
#include <optional>

namespace nimbuscope {

using namespace textpos;

namespace {

const QString kRadarLatest = QStringLiteral("/radar/latest");
const QString kHttp = QStringLiteral("http://");
const QString kQuote = QStringLiteral("\"");
const QString kLocationQuery = QStringLiteral("zipcity.php?inputstring=");
// The place-holders of the frame template that the download fills in.
const QString kProductPlaceholder = QStringLiteral("@@@@@");
const QString kFramePlaceholder = QStringLiteral("#####");

// A link whose "http://" starts at most this far before the radar-page marker is absolute.
constexpr qsizetype kAbsoluteLinkSpan = 80;
// How far after a relative link an absolute address is looked for, to borrow its host.
constexpr qsizetype kRelativePrefixSpan = 160;
constexpr qsizetype kMinTemplateLength = 10;
// "For:" and the markup that follows it before the city cell.
constexpr qsizetype kCityAfterForOffset = 15;
constexpr qsizetype kForecastSearchFrom = 250;
constexpr qsizetype kTemperatureSearchFrom = 4000;
constexpr qsizetype kImgSrcMarkerLength = 10; // <img src="
constexpr qsizetype kImageTagLength = 260;
constexpr qsizetype kAltMarkerLength = 5; // alt="
constexpr qsizetype kAltForecastLength = 150;
constexpr qsizetype kForecastRowLength = 100;
constexpr qsizetype kForecastCellLength = 40;
constexpr qsizetype kTdMarkerLength = 4; // <td>
constexpr qsizetype kTemperatureCellLength = 200;
constexpr QChar kDegreeSign = QChar(176);

void debug(Log& log, const char* text) {
    log.logDebug(QString::fromLatin1(text));
}
void debug(Log& log, const char* text, const QString& value) {
    log.logDebug(QString::fromLatin1(text) + value);
}

// ----- statics -----

qsizetype radarPageMarker(const QString& page, const QString& serviceDomain) {
    qsizetype p = 0;
    if (!serviceDomain.isEmpty()) {
        p = find(page, serviceDomain + kRadarLatest);
    }
    return p > 0 ? p : find(page, kRadarLatest);
}

bool hasErrorText(const QString& page) {
    return page.contains(QStringLiteral("error.jpg"), Qt::CaseInsensitive) ||
           page.contains(QStringLiteral("error has occurred"), Qt::CaseInsensitive) ||
           page.contains(QStringLiteral("server error"), Qt::CaseInsensitive);
}

QString absoluteRadarPageURL(const QString& page, qsizetype s, Log& log) {
    debug(log, "parseZipCityStatics: +80< = FALSE");
    const QString url = mid(page, s, kAbsoluteLinkSpan);
    debug(log, "parseZipCityStatics: radarPageURL1=", url);
    const qsizetype html = find(url, u"html");
    return html > 0 ? url.left(html + 3) : cutBefore(url, kQuote);
}

// The scheme and host of an absolute address, with the slash that follows. NOAA's hosts end
// in ".gov/"; any other host (a local test server) ends at the first slash after the scheme.
// An address without a host part raises the invalid-call error of the callers' traps.
QString hostPart(const QString& address) {
    const qsizetype gov = findNoCase(address, u".gov/");
    if (gov > 0) {
        return address.left(gov + 4);
    }
    const qsizetype slash = find(address, u"/", kHttp.size() + 1);
    if (slash == 0) {
        throw Error::of(err::InvalidProcedureCall);
    }
    return address.left(slash);
}

QString relativeRadarPageURL(const QString& page, qsizetype p, Log& log) {
    QString suffix = mid(page, p, kAbsoluteLinkSpan);
    debug(log, "parseZipCityStatics: tmpURLsuffix1=", suffix);
    suffix = cutBefore(suffix, kQuote);
    debug(log, "parseZipCityStatics: tmpURLsuffix2=", suffix);
    QString prefix = mid(page, p, kRelativePrefixSpan);
    debug(log, "parseZipCityStatics: tmpURLprefix1=", prefix);
    // No absolute address near the link: mid() of position 0 ends in the error trap.
    prefix = mid(prefix, findNoCase(prefix, kHttp));
    debug(log, "parseZipCityStatics: tmpURLprefix2=", prefix);
    prefix = hostPart(prefix);
    debug(log, "parseZipCityStatics: tmpURLprefix3=", prefix);
    return prefix + suffix;
}

QString cityStateOf(const QString& page, Log& log) {
    const qsizetype a = findNoCase(page, u"<a href=\"#contents\">");
    const qsizetype b = find(page, u"For:");
    debug(log, "parseZipCityStatics: cityStateOFFSETs=",
          QString::number(a) + QStringLiteral(" OR ") + QString::number(b));
    QString text;
    if (!page.contains(QStringLiteral("total_forecast"), Qt::CaseInsensitive) && a > 0) {
        text = before(page, a);
        text = text.mid(text.lastIndexOf(QLatin1Char('>')) + 1);
    } else if (b < 1) {
        debug(log, "parseZipCityStatics: cityState=EMPTY");
        return {};
    } else {
        text = mid(page, b + kCityAfterForOffset);
        text = text.mid(text.indexOf(QLatin1Char('>')) + 1);
        text = cutBefore(text, u"<");
    }
    text.remove(QLatin1Char('\n'));
    text.remove(QLatin1Char('\r'));
    text = text.trimmed();
    debug(log, "parseZipCityStatics: cityState=(", text + QStringLiteral(")"));
    return text;
}

// ----- dynamics -----

QString forecastOf(const QString& page, const QString& tag, qsizetype f, Log& log) {
    const qsizetype alt = find(tag, u"alt=\"");
    if (alt > 0) {
        debug(log, "parseZipCityDynamics: ALT forecast exists at offset: ", QString::number(alt));
        return cutBefore(mid(tag, alt + kAltMarkerLength, kAltForecastLength), kQuote);
    }
    debug(log, "parseZipCityDynamics: ALT forecast DOES NOT EXIST");
    debug(log, "parseZipCityDynamics: looking for forecast");
    // Without the forecast row or its cell the forecast stays empty and the rest of the
    // page (image address, temperature) is still read.
    const qsizetype row = findNoCase(page, u"<tr align", f);
    if (row == 0) {
        return {};
    }
    const QString rowText = mid(page, row, kForecastRowLength);
    const qsizetype cell = findNoCase(rowText, u"<td>");
    if (cell == 0) {
        return {};
    }
    QString text = mid(rowText, cell + kTdMarkerLength, kForecastCellLength);
    text = cutBefore(text, u"</td>", Qt::CaseInsensitive);
    return text.replace(QStringLiteral("<br>"), QStringLiteral(" "));
}

// The template's scheme and host without the final slash, "radar." becoming "www.": where
// the forecast office keeps its own pictures. Empty when the template has no host.
QString templateHost(const QString& templateURL) {
    const qsizetype gov = find(templateURL, u".gov/");
    QString host;
    if (gov > 0) {
        host = templateURL.left(gov + 3);
    } else if (templateURL.startsWith(kHttp, Qt::CaseInsensitive)) {
        const qsizetype slash = find(templateURL, u"/", kHttp.size() + 1);
        host = slash > 0 ? templateURL.left(slash - 1) : QString();
    }
    return replaced(host, u"radar.", u"www.");
}

QString repairedImageURL(const QString& page, QString address, const LocationPageConfig& config,
                         bool& hw3, Log& log) {
    if (address.contains(QStringLiteral("/HW3php/"), Qt::CaseInsensitive)) {
        hw3 = true;
        address = replaced(address, u"/HW3php/", alternateWeatherBase(config.alternateServerURL),
                           Qt::CaseInsensitive);
    } else if (address.startsWith(QLatin1Char('/'))) {
        bool relative = false;
        if (page.contains(QStringLiteral("total_forecast"))) {
            debug(log, "parseZipCityDynamics: fixing total_forecast image!!!");
            relative = true;
        } else if (address.contains(QStringLiteral("ifps/"))) {
            debug(log, "parseZipCityDynamics: fixing ifps image!!!");
            relative = true;
        }
        if (relative && !config.templateURL.isEmpty()) {
            address = templateHost(config.templateURL) + address;
        }
    }
    debug(log, "parseZipCityDynamics: ccimgurl=(", address + QStringLiteral(")"));
    return address;
}

void readConditionsImage(const QString& page, QString& imageURL, QString& forecast, bool& hw3,
                         const LocationPageConfig& config, Log& log) {
    qsizetype f = findNoCase(page, u"7-Day Forecast\"><", kForecastSearchFrom);
    if (f == 0) {
        debug(log, "parseZipCityDynamics: 7-Day Forecast string not found with check #1");
        f = findNoCase(page, u"7dayfcst.jpg", kForecastSearchFrom);
    }
    if (f == 0) {
        debug(log, "parseZipCityDynamics: NO 7-Day Forecast string");
        return;
    }
    const qsizetype i = findNoCase(page, u"<img src=\"", f);
    if (i == 0) {
        debug(log, "parseZipCityDynamics: NO <img src=... string");
        return;
    }
    const QString tag = cutAfter(mid(page, i + kImgSrcMarkerLength, kImageTagLength), u">");
    debug(log, "parseZipCityDynamics: raw currentConditions URL tag: ", tag);
    forecast = forecastOf(page, tag, f, log);
    imageURL = cutBefore(tag, kQuote);
    debug(log, "parseZipCityDynamics: ***** Forecast=", forecast);
    debug(log, "parseZipCityDynamics: ***** currentConditionsImgURL=", imageURL);
    imageURL = repairedImageURL(page, imageURL, config, hw3, log);
}

// "72", "-5", "+3.5", ".5": optional sign, digits, at most one decimal point.
bool isPlainDecimal(const QString& text) {
    qsizetype i = (text.startsWith(QLatin1Char('+')) || text.startsWith(QLatin1Char('-'))) ? 1 : 0;
    bool digits = false;
    bool point = false;
    for (; i < text.size(); ++i) {
        if (text[i] >= QLatin1Char('0') && text[i] <= QLatin1Char('9')) {
            digits = true;
        } else if (text[i] == QLatin1Char('.') && !point) {
            point = true;
        } else {
            return false;
        }
    }
    return digits;
}

// A plain decimal number in whole degrees (rounded down), when it fits the 16-bit value.
std::optional<qint16> wholeDegrees(const QString& text) {
    if (!isPlainDecimal(text)) {
        return std::nullopt;
    }
    const double value = std::floor(text.toDouble());
    if (value < std::numeric_limits<qint16>::min() || value > std::numeric_limits<qint16>::max()) {
        return std::nullopt;
    }
    return qint16(value);
}

qint16 temperatureOf(const QString& page, Log& log) {
    const qsizetype k = findNoCase(page, u"<td class=\"big\"", kTemperatureSearchFrom);
    if (k == 0) {
        return kNoTemperature;
    }
    const QString cell = mid(page, k, kTemperatureCellLength);
    if (findNoCase(cell, u"&deg", 2) == 0) {
        debug(log, "parseZipCityDynamics: NO DEGREE SIGN");
        return kNoTemperature;
    }
    const qsizetype degree = find(cell, u"&deg;");
    if (degree == 0) {
        return kNoTemperature;
    }
    QString value = before(cell, degree);
    value = value.mid(value.lastIndexOf(QLatin1Char('>')) + 1).trimmed();
    return wholeDegrees(value).value_or(kNoTemperature);
}

} // namespace

QString normaliseQuotes(QString page) {
    return page.replace(QLatin1Char('\''), QLatin1Char('"'));
}

QString locationPageText(const QByteArray& body) {
    return normaliseQuotes(ansiToText(body));
}

QString locationQueryURL(const QString& currentConditionsURL, const QString& forecastServerURL,
                         const QString& zipcode) {
    if (!currentConditionsURL.isEmpty()) {
        return currentConditionsURL;
    }
    QString base = forecastServerURL;
    if (!base.endsWith(QLatin1Char('/'))) {
        base += QLatin1Char('/');
    }
    return base + kLocationQuery + zipcode;
}

bool isLocationQuery(const QString& address) {
    return address.contains(kLocationQuery, Qt::CaseInsensitive);
}

QString alternateWeatherBase(const QString& alternateServerURL) {
    QString base = alternateServerURL;
    if (base.endsWith(QStringLiteral("/weather/"), Qt::CaseInsensitive)) {
        return base;
    }
    if (!base.endsWith(QLatin1Char('/'))) {
        base += QLatin1Char('/');
    }
    return base + QStringLiteral("weather/");
}

QString radarTemplateFromPageURL(const QString& radarPageURL) {
    QString t = radarPageURL;
    t.replace(QStringLiteral("/si."), QStringLiteral("/SI."));
    t.replace(QStringLiteral("/latest/"), QStringLiteral("/images/"));
    t.replace(QStringLiteral(".shtml"), QStringLiteral("/#####.noaa"));
    t.replace(QStringLiteral("DS.p19r0"), kProductPlaceholder);
    return t;
}

bool parseZipCityStatics(const QString& page, QString& templateURL, QString& cityState,
                         const LocationPageConfig& config, Log& log) {
    templateURL.clear();
    cityState.clear();
    return adaTrapped(log, QStringLiteral("parseZipCityStatistics"),
                      QStringLiteral("parseZipCityStatics"), false, [&] {
                          const qsizetype p = radarPageMarker(page, config.serviceDomain);
                          if (p == 0 || hasErrorText(page)) {
                              debug(log, "parseZipCityStatics: saw error text or no /radar/latest");
                              return false;
                          }
                          debug(log, "parseZipCityStatics: about to parse radarPageURL");
                          const qsizetype s = findLast(page, kHttp, p, Qt::CaseInsensitive);
                          debug(log,
                                "parseZipCityStatics: radarPageURLoffset=", QString::number(s));
                          // With no "http://" before the marker at all the link cannot be absolute.
                          const QString url = (s > 0 && s + kAbsoluteLinkSpan >= p)
                                                  ? absoluteRadarPageURL(page, s, log)
                                                  : relativeRadarPageURL(page, p, log);
                          debug(log, "parseZipCityStatics: radarPageURL=", url);
                          templateURL = radarTemplateFromPageURL(url);
                          if (templateURL.size() < kMinTemplateLength) {
                              templateURL.clear();
                          }
                          debug(log, "parseZipCityStatics: ***** radarTemplateURL=", templateURL);
                          cityState = cityStateOf(page, log);
                          return true;
                      });
}

std::optional<LocationStatics> usableLocationStatics(const QString& page,
                                                     const LocationPageConfig& config, Log& log) {
    LocationStatics statics;
    if (!parseZipCityStatics(page, statics.templateURL, statics.cityState, config, log) ||
        !statics.templateURL.contains(kProductPlaceholder) ||
        !statics.templateURL.contains(kFramePlaceholder)) {
        return std::nullopt;
    }
    return statics;
}

bool parseZipCityDynamics(const QString& page, QString& imageURL, QString& forecast,
                          qint16& temperature, const LocationPageConfig& config, Log& log) {
    imageURL.clear();
    forecast.clear();
    temperature = kNoTemperature;
    const bool completed = adaTrapped(log, QStringLiteral("parseZipCityDynamics"), false, [&] {
        bool hw3 = false;
        readConditionsImage(page, imageURL, forecast, hw3, config, log);
        debug(log, "parseZipCityDynamics: HW3=", boolText(hw3));
        temperature = temperatureOf(page, log);
        return true;
    });
    if (!completed) {
        forecast.clear();
    }
    return true;
}

bool isLocationErrorPage(const QString& page) {
    return page.contains(QStringLiteral("Server Error"), Qt::CaseInsensitive) ||
           page.contains(QStringLiteral("An error has occurred in your search"),
                         Qt::CaseInsensitive) ||
           page.size() < kMinLocationPageLength;
}

ConditionsCaptions conditionsCaptions(qint16 temperature, const QString& forecast) {
    ConditionsCaptions c;
    if (temperature > kLowestShownTemperature && temperature < kHighestShownTemperature) {
        c.currentTempF = QStringLiteral(" ") + QString::number(temperature) + kDegreeSign;
        c.currentConditions = forecast;
    } else if (forecast.size() > 1) {
        c.currentConditions = forecast;
        c.debugLine = QStringLiteral("FORECAST=") + forecast;
    } else {
        c.debugLine = QStringLiteral("FORECAST=NULL");
    }
    return c;
}

QString windowTitle(const QString& cityState, qint32 locationMode, const QString& zipcode) {
    QString title = QStringLiteral("Nimbuscope for ") + cityState;
    if (locationMode == 1) {
        title += QStringLiteral("  (") + zipcode + QStringLiteral(")");
    }
    return title;
}

} // namespace nimbuscope
