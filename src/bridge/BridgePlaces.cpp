#include "bridge/BridgePlaces.h"

#include "retrieval/CacheFiles.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>

#include <cerrno>
#include <cmath>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace nimbuscope {

namespace {

constexpr qint64 kMaxFileBytes = 64 * 1024;
constexpr int kMaxEntries = 100;
constexpr int kMaxStations = 10;
constexpr qsizetype kMaxText = 100;
constexpr double kMaxLat = 90.0;
constexpr double kMaxLon = 180.0;

// The file's names; the format's number changes with its meaning.
constexpr QLatin1StringView kFormat{"nimbuscope-places"};
constexpr int kFormatVersion = 2;
constexpr QLatin1StringView kPlaces{"places"};
constexpr QLatin1StringView kSearches{"searches"};
constexpr QLatin1StringView kLearnt{"learnt"};
constexpr QLatin1StringView kKey{"key"};
constexpr QLatin1StringView kRadarStation{"radarStation"};
constexpr QLatin1StringView kCity{"city"};
constexpr QLatin1StringView kState{"state"};
constexpr QLatin1StringView kStations{"stations"};
constexpr QLatin1StringView kText{"text"};
constexpr QLatin1StringView kLat{"lat"};
constexpr QLatin1StringView kLon{"lon"};

const QRegularExpression& placeKeyForm() {
    static const QRegularExpression re(QStringLiteral(R"(^-?\d{1,2}\.\d{4},-?\d{1,3}\.\d{4}$)"));
    return re;
}

const QRegularExpression& stationForm() {
    // Radar sites and observation stations alike: "KEAX", "KMCI", "TJUA".
    static const QRegularExpression re(QStringLiteral("^[A-Z0-9]{3,8}$"));
    return re;
}

/// Text that goes into a rebuilt page: short, no control characters, nothing of markup.
bool isPlainText(const QString& text) {
    if (text.isEmpty() || text.size() > kMaxText) {
        return false;
    }
    for (const QChar c : text) {
        if (c.category() == QChar::Other_Control || c == u'<' || c == u'>' || c == u'&' ||
            c == u'"') {
            return false;
        }
    }
    return true;
}

std::optional<double> coordinate(double v, double limit) {
    return std::isfinite(v) && std::abs(v) <= limit ? std::optional<double>(v) : std::nullopt;
}

std::optional<double> coordinate(const QString& text, double limit) {
    bool ok = false;
    const double v = text.toDouble(&ok);
    return ok ? coordinate(v, limit) : std::nullopt;
}

std::optional<double> coordinate(const QJsonValue& value, double limit) {
    return value.isDouble() ? coordinate(value.toDouble(), limit) : std::nullopt;
}

bool isValidPlaceKey(const QString& key) {
    if (!placeKeyForm().match(key).hasMatch()) {
        return false;
    }
    const QStringList parts = key.split(QLatin1Char(','));
    return coordinate(parts[0], kMaxLat) && coordinate(parts[1], kMaxLon);
}

bool isValidPlace(const QString& key, const KeptPlace& p) {
    if (!isValidPlaceKey(key) || !stationForm().match(p.point.radarStation).hasMatch() ||
        !isPlainText(p.point.city) || !isPlainText(p.point.state) ||
        p.stations.size() > kMaxStations) {
        return false;
    }
    for (const QString& s : p.stations) {
        if (!stationForm().match(s).hasMatch()) {
            return false;
        }
    }
    return true;
}

QString isoSecond(const QDateTime& t) {
    return t.toUTC().toString(Qt::ISODate);
}

/// Only a folder of this user's own holds the file: another user could otherwise feed the
/// bridge places or learn where this one looks.
bool isOwnFolder(const FolderHandle& folder) {
    const std::optional<struct stat> info = folder.status();
    return info && info->st_uid == ::geteuid();
}

} // namespace

QByteArray formatKeptPlaces(const KeptPlaces& kept) {
    // Only what a reader would accept is written: one odd city must not cost every place.
    QJsonArray places;
    for (const auto& [key, p] : kept.places) {
        KeptPlace written = p;
        written.stations = p.stations.mid(0, kMaxStations);
        if (places.size() < kMaxEntries && isValidPlace(key, written)) {
            places.append(QJsonObject{{kLearnt, isoSecond(p.learnt)},
                                      {kKey, key},
                                      {kRadarStation, p.point.radarStation},
                                      {kCity, p.point.city},
                                      {kState, p.point.state},
                                      {kStations, QJsonArray::fromStringList(written.stations)}});
        }
    }
    QJsonArray searches;
    for (const auto& [text, s] : kept.searches) {
        if (searches.size() < kMaxEntries && isPlainText(text) &&
            coordinate(s.where.lat, kMaxLat) && coordinate(s.where.lon, kMaxLon)) {
            searches.append(QJsonObject{{kLearnt, isoSecond(s.learnt)},
                                        {kText, text},
                                        {kLat, s.where.lat},
                                        {kLon, s.where.lon}});
        }
    }
    return QJsonDocument(
               QJsonObject{{kFormat, kFormatVersion}, {kPlaces, places}, {kSearches, searches}})
        .toJson(QJsonDocument::Compact);
}

KeptPlaces parseKeptPlaces(const QByteArray& text, const QDateTime& now, qint64 maxAgeSeconds,
                           bool* clean) {
    *clean = false;
    QJsonParseError error{};
    const QJsonObject root = QJsonDocument::fromJson(text, &error).object();
    const QJsonArray places = root.value(kPlaces).toArray();
    const QJsonArray searches = root.value(kSearches).toArray();
    if (error.error != QJsonParseError::NoError || root.value(kFormat) != kFormatVersion ||
        places.size() > kMaxEntries || searches.size() > kMaxEntries) {
        return {};
    }
    KeptPlaces kept;
    bool dropped = false;
    // When an entry was learnt; invalid when its time is no UTC time.
    const auto learntOf = [](const QJsonObject& entry) {
        const QDateTime t = QDateTime::fromString(entry.value(kLearnt).toString(), Qt::ISODate);
        return t.isValid() && t.timeSpec() == Qt::UTC ? t : QDateTime();
    };
    // Whether an entry learnt then is still to be used.
    const auto isFresh = [&](const QDateTime& learnt) {
        const qint64 age = learnt.secsTo(now);
        const bool fresh = age >= 0 && age < maxAgeSeconds;
        dropped = dropped || !fresh;
        return fresh;
    };
    for (const QJsonValue& v : places) {
        const QJsonObject e = v.toObject();
        const QString key = e.value(kKey).toString();
        KeptPlace p;
        p.point.radarStation = e.value(kRadarStation).toString();
        p.point.city = e.value(kCity).toString();
        p.point.state = e.value(kState).toString();
        p.learnt = learntOf(e);
        bool stationsAreText = e.value(kStations).isArray();
        for (const QJsonValue& s : e.value(kStations).toArray()) {
            stationsAreText = stationsAreText && s.isString();
            p.stations.append(s.toString());
        }
        if (!p.learnt.isValid() || !stationsAreText || !isValidPlace(key, p)) {
            return {};
        }
        if (isFresh(p.learnt)) {
            kept.places[key] = p;
        }
    }
    for (const QJsonValue& v : searches) {
        const QJsonObject e = v.toObject();
        const QString query = e.value(kText).toString();
        const std::optional<double> lat = coordinate(e.value(kLat), kMaxLat);
        const std::optional<double> lon = coordinate(e.value(kLon), kMaxLon);
        const QDateTime learnt = learntOf(e);
        if (!learnt.isValid() || !lat || !lon || !isPlainText(query)) {
            return {};
        }
        if (isFresh(learnt)) {
            kept.searches[query] = KeptSearch{{*lat, *lon}, learnt};
        }
    }
    *clean = !dropped;
    return kept;
}

KeptPlaces readKeptPlaces(const FolderHandle* folder, const QDateTime& now, qint64 maxAgeSeconds,
                          bool* clean) {
    *clean = false;
    if (folder == nullptr || !isOwnFolder(*folder)) {
        return {};
    }
    const QByteArray name = nativeName(QString(kKeptPlacesFileName));
    struct stat info {};
    if (::fstatat(folder->fd(), name.constData(), &info, AT_SYMLINK_NOFOLLOW) != 0) {
        *clean = errno == ENOENT; // nothing kept yet
        return {};
    }
    if (!S_ISREG(info.st_mode) || info.st_uid != ::geteuid() || info.st_size > kMaxFileBytes) {
        return {};
    }
    const std::optional<QByteArray> text =
        folder->readFile(QString(kKeptPlacesFileName), kMaxFileBytes);
    return text ? parseKeptPlaces(*text, now, maxAgeSeconds, clean) : KeptPlaces();
}

bool writeKeptPlaces(const FolderHandle* folder, const KeptPlaces& kept) {
    if (folder == nullptr || !isOwnFolder(*folder)) {
        return false;
    }
    try {
        replaceCacheFile(folder, folder->path() + kKeptPlacesFileName, formatKeptPlaces(kept));
        return true;
    } catch (...) {
        return false; // kept in memory for this run; the next learning tries again
    }
}

} // namespace nimbuscope
