#include "acquisition/BridgePlaces.h"

#include "acquisition/CacheFiles.h"

#include <QRegularExpression>
#include <QUrl>

#include <cerrno>
#include <cmath>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace nimbuscope {

namespace {

constexpr char kHeader[] = "nimbuscope-places 1";
constexpr qint64 kMaxFileBytes = 64 * 1024;
constexpr int kMaxEntries = 100;
constexpr int kMaxStations = 10;
constexpr qsizetype kMaxText = 100;
constexpr double kMaxLat = 90.0;
constexpr double kMaxLon = 180.0;
constexpr int kPlaceFields = 7;
constexpr int kSearchFields = 5;

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

std::optional<double> coordinate(const QString& text, double limit) {
    bool ok = false;
    const double v = text.toDouble(&ok);
    return ok && std::isfinite(v) && std::abs(v) <= limit ? std::optional<double>(v) : std::nullopt;
}

bool isValidPlaceKey(const QString& key) {
    if (!placeKeyForm().match(key).hasMatch()) {
        return false;
    }
    const QStringList parts = key.split(QLatin1Char(','));
    return coordinate(parts[0], kMaxLat) && coordinate(parts[1], kMaxLon);
}

std::optional<KeptPlace> placeFrom(const QStringList& f, const QString& key) {
    KeptPlace p;
    p.point.radarStation = f[3];
    p.point.city = f[4];
    p.point.state = f[5];
    p.stations = f[6].split(QLatin1Char(','));
    if (!isValidPlaceKey(key) || !stationForm().match(p.point.radarStation).hasMatch() ||
        !isPlainText(p.point.city) || !isPlainText(p.point.state) ||
        p.stations.size() > kMaxStations) {
        return std::nullopt;
    }
    for (const QString& s : p.stations) {
        if (!stationForm().match(s).hasMatch()) {
            return std::nullopt;
        }
    }
    return p;
}

std::optional<KeptSearch> searchFrom(const QStringList& f) {
    const auto lat = coordinate(f[3], kMaxLat);
    const auto lon = coordinate(f[4], kMaxLon);
    if (!lat || !lon) {
        return std::nullopt;
    }
    return KeptSearch{{*lat, *lon}, {}};
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
    QString out = QLatin1String(kHeader) + QLatin1Char('\n');
    int written = 0;
    for (const auto& [key, p] : kept.places) {
        QStringList f{QStringLiteral("P"),
                      isoSecond(p.learnt),
                      key,
                      p.point.radarStation,
                      p.point.city,
                      p.point.state,
                      p.stations.mid(0, kMaxStations).join(QLatin1Char(','))};
        if (written < kMaxEntries && placeFrom(f, key)) {
            out += f.join(QLatin1Char('\t')) + QLatin1Char('\n');
            ++written;
        }
    }
    written = 0;
    for (const auto& [text, s] : kept.searches) {
        if (written < kMaxEntries && isPlainText(text)) {
            const QStringList f{QStringLiteral("S"), isoSecond(s.learnt),
                                QString::fromLatin1(QUrl::toPercentEncoding(text)),
                                QString::number(s.where.lat, 'f', 6),
                                QString::number(s.where.lon, 'f', 6)};
            if (searchFrom(f)) {
                out += f.join(QLatin1Char('\t')) + QLatin1Char('\n');
                ++written;
            }
        }
    }
    return out.toUtf8();
}

KeptPlaces parseKeptPlaces(const QByteArray& text, const QDateTime& now, qint64 maxAgeSeconds,
                           bool* clean) {
    *clean = false;
    // Every line, the last one too, ends in a newline: a cut-off file is no file.
    QStringList lines = QString::fromUtf8(text).split(QLatin1Char('\n'));
    if (lines.size() < 2 || lines.takeFirst() != QLatin1String(kHeader) ||
        !lines.takeLast().isEmpty() || lines.size() > 2 * kMaxEntries) {
        return {};
    }
    KeptPlaces kept;
    bool dropped = false;
    for (const QString& line : lines) {
        const QStringList f = line.split(QLatin1Char('\t'));
        const QDateTime learnt =
            f.size() > 1 ? QDateTime::fromString(f[1], Qt::ISODate) : QDateTime();
        if (!learnt.isValid() || learnt.timeSpec() != Qt::UTC) {
            return {};
        }
        const qint64 age = learnt.secsTo(now);
        const bool fresh = age >= 0 && age < maxAgeSeconds;
        dropped = dropped || !fresh;
        if (f[0] == QLatin1String("P") && f.size() == kPlaceFields) {
            auto place = placeFrom(f, f[2]);
            if (!place) {
                return {};
            }
            place->learnt = learnt;
            if (fresh) {
                kept.places[f[2]] = *place;
            }
        } else if (f[0] == QLatin1String("S") && f.size() == kSearchFields) {
            const QString query = QUrl::fromPercentEncoding(f[2].toLatin1());
            auto search = searchFrom(f);
            if (!search || !isPlainText(query)) {
                return {};
            }
            search->learnt = learnt;
            if (fresh) {
                kept.searches[query] = *search;
            }
        } else {
            return {};
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
