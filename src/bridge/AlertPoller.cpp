#include "bridge/AlertPoller.h"

#include "retrieval/CacheFiles.h"
#include "support/FolderHandle.h"

#include <QRegularExpression>

#include <unistd.h>

namespace nimbuscope {

namespace {

constexpr QLatin1StringView kKeptHeader{"nimbuscope-alerts 1"};
// Answers for one point hold a few alerts of some kilobytes each.
constexpr qint64 kMaxKeptBytes = qint64(4) << 20;

bool isOwn(const FolderHandle& folder) {
    const std::optional<struct stat> info = folder.status();
    return info && info->st_uid == ::geteuid();
}

// The answer decides what a warning says on screen: only this user's own folder counts.
std::optional<QByteArray> keptText(const FolderHandle* folder) {
    if (folder == nullptr || !isOwn(*folder)) {
        return std::nullopt;
    }
    return folder->readFile(QString(kKeptAlertsFileName), kMaxKeptBytes);
}

} // namespace

QByteArray formatKeptAlerts(const KeptAlerts& kept) {
    return QByteArray(kKeptHeader.data(), kKeptHeader.size()) + '\t' + kept.zip.toUtf8() + '\n' +
           kept.answer;
}

std::optional<KeptAlerts> parseKeptAlerts(const QByteArray& text) {
    const qsizetype lineEnd = text.indexOf('\n');
    const QList<QByteArray> header = text.left(lineEnd).split('\t');
    if (lineEnd < 0 || header.size() != 2 || header[0] != QByteArrayView(kKeptHeader) ||
        !isPlainZip(QString::fromUtf8(header[1]))) {
        return std::nullopt;
    }
    return KeptAlerts{QString::fromUtf8(header[1]), text.mid(lineEnd + 1)};
}

std::optional<KeptAlerts> readKeptAlerts(const FolderHandle* folder) {
    const std::optional<QByteArray> text = keptText(folder);
    return text ? parseKeptAlerts(*text) : std::nullopt;
}

QList<WeatherAlert> keptAlertsInEffect(const FolderHandle* folder, const QString& zip,
                                       const QDateTime& utcNow) {
    const std::optional<KeptAlerts> kept = readKeptAlerts(folder);
    if (!kept || kept->zip != zip) {
        return {};
    }
    const auto alerts = parseActiveAlerts(kept->answer);
    return alerts ? alertsInEffect(*alerts, utcNow) : QList<WeatherAlert>();
}

std::optional<LatLon> alertPlaceOf(const QString& storedLocationURL, const QString& zip,
                                   const QString& templateURL, const KeptPlaces& kept) {
    if (const auto where = latLonFromAddress(storedLocationURL)) {
        return where;
    }
    if (const auto it = kept.searches.find(zip); !zip.isEmpty() && it != kept.searches.end()) {
        return it->second.where;
    }
    static const QRegularExpression siteRe(QStringLiteral(R"(/SI\.([A-Za-z0-9]{3,4})/)"));
    const QString site = siteRe.match(templateURL).captured(1).toUpper();
    for (const auto& [key, place] : kept.places) {
        if (!site.isEmpty() && place.point.radarStation == site) {
            const QStringList parts = key.split(QLatin1Char(','));
            return LatLon{parts[0].toDouble(), parts[1].toDouble()};
        }
    }
    return std::nullopt;
}

AlertPoller::AlertPoller(BridgeTransport& network, AlertPollerConfig config)
    : config_(std::move(config)), polite_(network, config_.utcNow),
      transport_(polite_, {{AlertPollerConfig().apiURL, config_.apiURL}}) {}

AlertPoller::~AlertPoller() {
    *alive_ = false;
}

bool AlertPoller::atLeast(const QDateTime& since, const QDateTime& now, qint64 seconds) {
    // Never asked yet, or a clock set back, counts as time enough.
    const qint64 elapsed = since.isValid() ? since.secsTo(now) : seconds;
    return elapsed < 0 || elapsed >= seconds;
}

QList<WeatherAlert> AlertPoller::shown() const {
    if (alertsZip_ != config_.zip()) {
        return {}; // asked for a location left since
    }
    return alertsInEffect(alerts_, config_.utcNow());
}

bool AlertPoller::askNow(const QDateTime& now) const {
    if (asking_) {
        return false;
    }
    const bool refresh = !shown().isEmpty() && atLeast(lastAsked_, now, config_.refreshSeconds);
    return (due_ || refresh) && atLeast(lastPlaceTry_, now, kPlaceRetrySeconds);
}

void AlertPoller::tick(bool downloads) {
    const QDateTime now = config_.utcNow();
    if (!downloads || !keptTaken_) {
        // A copy taking over, or starting, shows what was kept until its own answer comes.
        lookAtKept(now);
        keptTaken_ = downloads;
        if (!downloads) {
            return;
        }
    }
    if (!askNow(now)) {
        return;
    }
    lastPlaceTry_ = now;
    if (const auto where = config_.place ? config_.place() : std::nullopt) {
        due_ = false;
        lastPlaceTry_ = {};
        lastAsked_ = now;
        ask(*where);
    }
}

void AlertPoller::ask(LatLon where) {
    BridgeGet get;
    get.url = activeAlertsURL(config_.apiURL, where);
    get.api = true;
    get.conditional = true;
    asking_ = true;
    transport_.get(get, [this, alive = alive_, zip = config_.zip()](const BridgeAnswer& a) {
        if (!*alive) {
            return;
        }
        asking_ = false;
        if (a.ok()) {
            take(a.body, zip);
        }
    });
}

void AlertPoller::take(const QByteArray& answer, const QString& zip) {
    auto alerts = parseActiveAlerts(answer);
    if (!alerts) {
        return; // a problem answer says nothing about the alerts
    }
    alerts_ = std::move(*alerts);
    alertsZip_ = zip;
    if (const auto folder = config_.folder ? config_.folder() : nullptr; folder && isOwn(*folder)) {
        lastKept_ = formatKeptAlerts({zip, answer});
        folder->replaceFile(QString(kKeptAlertsFileName), lastKept_);
    }
}

void AlertPoller::lookAtKept(const QDateTime& now) {
    if (!atLeast(lastLook_, now, kLookSeconds)) {
        return;
    }
    lastLook_ = now;
    const auto text = keptText(config_.folder ? config_.folder().get() : nullptr);
    if (!text || *text == lastKept_) {
        return;
    }
    lastKept_ = *text;
    if (const auto kept = parseKeptAlerts(*text)) {
        if (auto alerts = parseActiveAlerts(kept->answer)) {
            alerts_ = std::move(*alerts);
            alertsZip_ = kept->zip;
        }
    }
}

} // namespace nimbuscope
