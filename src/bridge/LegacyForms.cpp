#include "bridge/LegacyForms.h"

#include "support/StringUtils.h"

#include <QRegularExpression>
#include <QUrlQuery>

#include <algorithm>

namespace nimbuscope {

namespace {

// The readers look for the forecast marker from character 250 and the temperature cell from
// character 4000; the page keeps a margin beyond both.
constexpr qsizetype kForecastMarkerMinOffset = 250;
constexpr qsizetype kTemperatureCellMinOffset = 4000;
constexpr qsizetype kOffsetMargin = 200;
constexpr double kMaxLatitude = 90.0;
constexpr double kMaxLongitude = 180.0;

QRegularExpression loopListPath() {
    return QRegularExpression(
        QStringLiteral(R"(^/(?:radar/)?loopdata/(DS\.p19r0|DS\.p20-r)/([A-Za-z0-9]{3,4})\.txt$)"));
}

QRegularExpression framePath() {
    return QRegularExpression(
        QStringLiteral(
            R"(^/(?:radar/)?images/(DS\.p19r0|DS\.p20-r)/SI\.([A-Za-z0-9]{3,4})/([^/]+)\.gif$)"),
        QRegularExpression::CaseInsensitiveOption);
}

QRegularExpression conditionsPath() {
    return QRegularExpression(QStringLiteral(R"(^/bridge/conditions/([a-z]+)\.jpg$)"));
}

std::optional<double> coordinate(const QUrlQuery& query, const QString& key, double limit) {
    bool ok = false;
    const double value = query.queryItemValue(key).toDouble(&ok);
    if (!ok || value < -limit || value > limit) {
        return std::nullopt;
    }
    return value;
}

/// Text as the old pages' readers show it: they decode no entities and cut at quotes and
/// tags, so quotes become typographic ones and angle brackets go.
QString pageText(const QString& text) {
    QString out;
    for (const QChar c : text) {
        if (c == QLatin1Char('\'')) {
            out += QChar(0x2019);
        } else if (c == QLatin1Char('"')) {
            out += QChar(0x201D);
        } else if (c != QLatin1Char('<') && c != QLatin1Char('>') && c >= QLatin1Char(' ')) {
            out += c;
        }
    }
    return out;
}

QString hostRoot(const QString& host) {
    return QStringLiteral("http://") + host + QLatin1Char('/');
}

} // namespace

std::optional<LatLon> latLonFromAddress(const QString& address) {
    const QUrlQuery query(QUrl(address).query());
    for (const auto& [latKey, lonKey] :
         {std::pair{QStringLiteral("lat"), QStringLiteral("lon")},
          std::pair{QStringLiteral("textField1"), QStringLiteral("textField2")}}) {
        const auto lat = coordinate(query, latKey, kMaxLatitude);
        const auto lon = coordinate(query, lonKey, kMaxLongitude);
        if (lat && lon) {
            return LatLon{*lat, *lon};
        }
    }
    return std::nullopt;
}

LegacyRequest classifyLegacyRequest(const QString& address, const QStringList& hosts) {
    LegacyRequest r;
    const QUrl url(address);
    const QString scheme = url.scheme().toLower();
    if (!url.isValid() || (scheme != QLatin1String("http") && scheme != QLatin1String("https")) ||
        !hosts.contains(url.host(), Qt::CaseInsensitive)) {
        return r;
    }
    const QString path = url.path();
    if (path.compare(QLatin1String("/zipcity.php"), Qt::CaseInsensitive) == 0) {
        const QUrlQuery query(url.query());
        if (query.hasQueryItem(QStringLiteral("inputstring"))) {
            r.form = LegacyForm::LocationSearch;
            r.query = query.queryItemValue(QStringLiteral("inputstring"), QUrl::FullyDecoded);
        }
    } else if (path.compare(QLatin1String("/MapClick.php"), Qt::CaseInsensitive) == 0) {
        if (const auto where = latLonFromAddress(address)) {
            r.form = LegacyForm::LocationPage;
            r.lat = where->lat;
            r.lon = where->lon;
        }
    } else if (const auto m = loopListPath().match(path); m.hasMatch()) {
        r.form = LegacyForm::FrameList;
        r.product = m.captured(1);
        r.site = m.captured(2).toUpper();
    } else if (const auto f = framePath().match(path); f.hasMatch()) {
        r.form = LegacyForm::Frame;
        r.product = f.captured(1);
        r.site = f.captured(2).toUpper();
        r.frameName = f.captured(3);
    } else if (const auto c = conditionsPath().match(path); c.hasMatch()) {
        r.form = LegacyForm::ConditionsImage;
        r.conditionClass = c.captured(1);
    }
    return r;
}

bool isNoRadarPage(const QString& page) {
    return page.contains(kNoRadarNotice);
}

QString legacyLocationPageURL(const QString& forecastHost, LatLon where) {
    return hostRoot(forecastHost) +
           QStringLiteral("MapClick.php?lat=%1&lon=%2")
               .arg(QString::number(where.lat, 'f', 4), QString::number(where.lon, 'f', 4));
}

QString legacyConditionsImageURL(const QString& forecastHost, const QString& conditionClass) {
    return hostRoot(forecastHost) + QStringLiteral("bridge/conditions/") + conditionClass +
           QStringLiteral(".jpg");
}

QString legacyRadarPageURL(const QString& radarHost, const QString& site) {
    return hostRoot(radarHost) + QStringLiteral("radar/latest/DS.p19r0/si.") + site.toLower() +
           QStringLiteral(".shtml");
}

QByteArray legacyLocationPage(const LegacyLocationFacts& facts) {
    const QString city = pageText(facts.cityState);
    QString page =
        QStringLiteral("<html>\n<head>\n<title>National Weather Service Forecast for: ") + city +
        QStringLiteral("</title>\n</head>\n<body>\n<table width=\"100%\"><tr>"
                       "<td class=\"location\">") +
        city +
        QStringLiteral("<a href=\"#contents\"><img src=\"/images/skipgraphic.gif\" "
                       "alt=\"Skip Navigation Links\"></a></td></tr></table>\n");
    // "For:" is followed by exactly 11 characters up to the span holding the city.
    page += QStringLiteral("<p><span class=\"label\">Forecast For:</span> <span class=\"city\">") +
            city + QStringLiteral("</span></p>\n<a href=\"") + facts.radarPageURL +
            QStringLiteral("\"><img src=\"/images/radar_small.gif\" alt=\"Local Radar\"></a>\n");
    if (facts.noRadar) {
        page += QStringLiteral("<p class=\"notice\">") + kNoRadarNotice +
                QStringLiteral(" Choose a radar site under City.</p>\n");
    }
    while (page.size() < kForecastMarkerMinOffset + kOffsetMargin) {
        page += QStringLiteral("<!-- current conditions from the nearest observing station -->\n");
    }
    page += QStringLiteral("<a name=\"contents\"></a>\n<table><tr><td><img src=\"/images/"
                           "7dayfcst.jpg\" alt=\"7-Day Forecast\"></td></tr>\n");
    const QString forecast = pageText(facts.forecast);
    if (!facts.conditionsImageURL.isEmpty()) {
        page += QStringLiteral("<tr><td class=\"conditions\"><img src=\"") +
                facts.conditionsImageURL + QStringLiteral("\" width=\"55\" height=\"58\" alt=\"") +
                forecast + QStringLiteral("\"><br>") + forecast + QStringLiteral("</td></tr>\n");
    }
    page += QStringLiteral("</table>\n");
    while (page.size() < kTemperatureCellMinOffset + kOffsetMargin) {
        page += QStringLiteral("<!-- temperature and conditions follow below this notice -->\n");
    }
    if (facts.temperatureF) {
        page += QStringLiteral("<table class=\"current\"><tr><td class=\"big\" align=\"center\">") +
                QString::number(*facts.temperatureF) +
                QStringLiteral("&deg;F</td><td>Current Conditions</td></tr></table>\n");
    }
    page += QStringLiteral("</body>\n</html>\n");
    return textToAnsi(page);
}

QString legacyFrameName(const QString& site, const QDateTime& utc) {
    return QStringLiteral("SI.") + site.toUpper() + QStringLiteral(".dd.") +
           utc.toUTC().toString(QStringLiteral("yyyyMMdd.HHmm"));
}

QByteArray legacyFrameListText(const QString& product, const QString& site,
                               const QStringList& frameNames) {
    QByteArray text;
    for (const QString& name : frameNames) {
        // Lists lived in radar/loopdata/<product>/, two levels below radar/.
        text += QStringLiteral("../../images/%1/SI.%2/%3.gif\n")
                    .arg(product, site.toUpper(), name)
                    .toLatin1();
    }
    return text;
}

QByteArray legacyUnavailableFrame() {
    return QByteArrayLiteral("Radar frame unavailable\n");
}

} // namespace nimbuscope

namespace nimbuscope {

QByteArray padGif(const QByteArray& gif, qsizetype minBytes) {
    constexpr char kTrailer = 0x3B;
    constexpr char kExtension = 0x21;
    constexpr char kComment = char(0xFE);
    constexpr qsizetype kMaxSubBlock = 255;
    if (gif.size() >= minBytes || !gif.startsWith("GIF8") || !gif.endsWith(kTrailer)) {
        return gif;
    }
    QByteArray out = gif.left(gif.size() - 1);
    out += kExtension;
    out += kComment;
    // Sub-blocks of up to 255 bytes each, then the block terminator and the trailer.
    while (out.size() + 2 < minBytes) {
        // Each sub-block costs its length byte too; the terminator and trailer follow.
        const qsizetype n = std::clamp(minBytes - out.size() - 3, qsizetype(1), kMaxSubBlock);
        out += char(n);
        out += QByteArray(n, ' ');
    }
    out += char(0);
    out += kTrailer;
    return out;
}

} // namespace nimbuscope
