#include "bridge/CurrentForms.h"

#include "bridge/MapServerForms.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>
#include <QUrl>

#include <algorithm>
#include <cmath>

namespace nimbuscope {

namespace {

constexpr double kFahrenheitPerCelsius = 9.0 / 5.0;
constexpr double kFreezingF = 32.0;
constexpr double kZeroCelsiusInKelvin = 273.15;
constexpr int kPointDecimals = 4;

QJsonObject propertiesOf(const QByteArray& json) {
    return QJsonDocument::fromJson(json).object().value(QLatin1String("properties")).toObject();
}

QString lastPathPart(const QString& address) {
    const QString path = QUrl(address).path();
    return path.mid(path.lastIndexOf(QLatin1Char('/')) + 1);
}

bool isRadarSiteId(const QString& id) {
    static const QRegularExpression re(QStringLiteral("^[A-Z0-9]{3,4}$"));
    return re.match(id).hasMatch();
}

// Words that name weather, checked before the icon: the icon of an observation often shows
// only the sky ("few") while the text says "Haze".
constexpr std::pair<const char*, const char*> kWeatherWords[] = {
    {"thunder", "thunder"}, {"tornado", "thunder"},  {"funnel", "thunder"}, {"snow", "snow"},
    {"sleet", "snow"},      {"freezing", "snow"},    {"ice", "snow"},       {"hail", "snow"},
    {"rain", "rain"},       {"drizzle", "rain"},     {"shower", "rain"},    {"fog", "fog"},
    {"mist", "fog"},        {"haze", "fog"},         {"smoke", "fog"},      {"dust", "fog"},
    {"sand", "fog"},        {"volcanic ash", "fog"}, {"wind", "wind"},      {"breezy", "wind"},
    {"blustery", "wind"}};

constexpr std::pair<const char*, const char*> kIconCodes[] = {
    {"tsra", "thunder"},  {"tornado", "thunder"}, {"hurricane", "thunder"}, {"tropical", "thunder"},
    {"snow", "snow"},     {"sleet", "snow"},      {"fzra", "snow"},         {"blizzard", "snow"},
    {"rain", "rain"},     {"fog", "fog"},         {"haze", "fog"},          {"smoke", "fog"},
    {"dust", "fog"},      {"wind", "wind"},       {"skc", "clear"},         {"few", "few"},
    {"sct", "scattered"}, {"bkn", "broken"},      {"ovc", "overcast"}};

constexpr std::pair<const char*, const char*> kSkyWords[] = {
    {"overcast", "overcast"}, {"mostly cloudy", "broken"}, {"partly", "scattered"},
    {"few clouds", "few"},    {"mostly clear", "few"},     {"mostly sunny", "few"},
    {"cloudy", "overcast"},   {"clear", "clear"},          {"fair", "clear"},
    {"sunny", "clear"}};

constexpr const char* kClasses[] = {"clear", "few",     "scattered", "broken", "overcast", "rain",
                                    "snow",  "thunder", "fog",       "wind",   "unknown"};

template <std::size_t N>
QString firstWordIn(const QString& text, const std::pair<const char*, const char*> (&words)[N]) {
    for (const auto& [word, name] : words) {
        if (text.contains(QLatin1String(word), Qt::CaseInsensitive)) {
            return QLatin1String(name);
        }
    }
    return {};
}

/// ".../icons/land/day/tsra_sct,40?size=medium": a pair of codes names the first period first.
QString iconClass(const QString& icon) {
    static const QRegularExpression codeRe(QStringLiteral(R"(/(?:day|night)/([a-z_]+))"));
    const auto m = codeRe.match(QUrl(icon).path());
    if (!m.hasMatch()) {
        return {};
    }
    for (const auto& [code, name] : kIconCodes) {
        if (m.captured(1).startsWith(QLatin1String(code))) {
            return QLatin1String(name);
        }
    }
    return {};
}

} // namespace

QString PointFacts::cityState() const {
    if (city.isEmpty() || state.isEmpty()) {
        return city + state;
    }
    return city + QStringLiteral(", ") + state;
}

std::optional<PointFacts> parsePoints(const QByteArray& json) {
    const QJsonObject p = propertiesOf(json);
    const QJsonValue radar = p.value(QLatin1String("radarStation"));
    if (!radar.isString() && !radar.isNull()) {
        return std::nullopt; // not a points answer at all
    }
    PointFacts facts;
    facts.radarStation = radar.toString().trimmed().toUpper();
    if (!facts.radarStation.isEmpty() && !isRadarSiteId(facts.radarStation)) {
        return std::nullopt;
    }
    const QJsonObject where = p.value(QLatin1String("relativeLocation"))
                                  .toObject()
                                  .value(QLatin1String("properties"))
                                  .toObject();
    facts.city = where.value(QLatin1String("city")).toString().trimmed();
    facts.state = where.value(QLatin1String("state")).toString().trimmed();
    facts.observationStations = p.value(QLatin1String("observationStations")).toString();
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

std::optional<double> fahrenheitOf(const QString& unitCode, std::optional<double> value) {
    if (!value || !std::isfinite(*value)) {
        return std::nullopt;
    }
    if (unitCode == QLatin1String("wmoUnit:degC") || unitCode == QLatin1String("unit:degC")) {
        return *value * kFahrenheitPerCelsius + kFreezingF;
    }
    if (unitCode == QLatin1String("wmoUnit:degF") || unitCode == QLatin1String("unit:degF")) {
        return *value;
    }
    if (unitCode == QLatin1String("wmoUnit:K")) {
        return (*value - kZeroCelsiusInKelvin) * kFahrenheitPerCelsius + kFreezingF;
    }
    return std::nullopt;
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
    const QJsonObject temperature = p.value(QLatin1String("temperature")).toObject();
    const QJsonValue value = temperature.value(QLatin1String("value"));
    obs.temperatureF =
        fahrenheitOf(temperature.value(QLatin1String("unitCode")).toString(),
                     value.isDouble() ? std::optional<double>(value.toDouble()) : std::nullopt);
    obs.icon = p.value(QLatin1String("icon")).toString();
    return obs;
}

std::optional<qint64> observationAgeSeconds(const Observation& obs, const QDateTime& utcNow) {
    if (!obs.timestamp.isValid()) {
        return std::nullopt;
    }
    return obs.timestamp.secsTo(utcNow);
}

bool isCurrentObservation(const Observation& obs, const QDateTime& utcNow) {
    const auto age = observationAgeSeconds(obs, utcNow);
    if (!age || *age > kObservationMaxAgeSeconds) {
        return false;
    }
    return !obs.text.isEmpty() || obs.temperatureF.has_value();
}

int wholeDegrees(double fahrenheit) {
    return int(std::lround(fahrenheit));
}

QString conditionClass(const QString& text, const QString& icon) {
    if (const QString weather = firstWordIn(text, kWeatherWords); !weather.isEmpty()) {
        return weather;
    }
    if (const QString fromIcon = iconClass(icon); !fromIcon.isEmpty()) {
        return fromIcon;
    }
    const QString sky = firstWordIn(text, kSkyWords);
    return sky.isEmpty() ? QStringLiteral("unknown") : sky;
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

QString canonicalCoordinate(double degrees) {
    QString text = QString::number(degrees, 'f', kPointDecimals);
    while (text.endsWith(QLatin1Char('0'))) {
        text.chop(1);
    }
    if (text.endsWith(QLatin1Char('.'))) {
        text.chop(1);
    }
    return text == QLatin1String("-0") ? QStringLiteral("0") : text;
}

QString pointsURL(const QString& apiURL, double lat, double lon) {
    return apiURL + QStringLiteral("points/") + canonicalCoordinate(lat) + QLatin1Char(',') +
           canonicalCoordinate(lon);
}

QString latestObservationURL(const QString& apiURL, const QString& station) {
    return apiURL + QStringLiteral("stations/") + station + QStringLiteral("/observations/latest");
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
