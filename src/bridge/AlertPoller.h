#pragma once

#include "bridge/AlertForms.h"
#include "bridge/BridgePlaces.h"
#include "bridge/BridgeTransport.h"
#include "support/ServiceAddresses.h"

#include <QByteArray>
#include <QDateTime>
#include <QString>

#include <functional>
#include <memory>
#include <optional>

namespace nimbuscope {

class FolderHandle;

/// The file in the cache folder where the copy that downloads keeps the last alerts answer
/// for the copies that share the cache. Its name has none of the endings the purges delete.
inline constexpr QLatin1StringView kKeptAlertsFileName{"alerts.json"};

/// What the kept file holds: the zip code the answer is for and the answer's bytes.
struct KeptAlerts {
    QString zip;
    QByteArray answer;
};
/// A first line "nimbuscope-alerts 1", a tab and the zip code, then the answer as it came.
QByteArray formatKeptAlerts(const KeptAlerts& kept);
std::optional<KeptAlerts> parseKeptAlerts(const QByteArray& text);
/// Only a regular file of this user's in a folder of this user's is read.
std::optional<KeptAlerts> readKeptAlerts(const FolderHandle* folder);
/// The alerts kept in `folder` for `zip` that are in effect at `utcNow`, in the order shown;
/// none when nothing readable is kept for that zip code.
QList<WeatherAlert> keptAlertsInEffect(const FolderHandle* folder, const QString& zip,
                                       const QDateTime& utcNow);

/// The place the alerts are asked for: the coordinates of the stored location page, else
/// where the bridge's kept search for `zip` led, else a kept place whose radar is the site
/// of `templateURL`.
std::optional<LatLon> alertPlaceOf(const QString& storedLocationURL, const QString& zip,
                                   const QString& templateURL, const KeptPlaces& kept);

/// What the alerts poller works with; every function is asked when needed.
struct AlertPollerConfig {
    QString apiURL = QLatin1String(service_defaults::kBridgeApiURL);
    std::function<QDateTime()> utcNow;
    /// The location's coordinates, when known.
    std::function<std::optional<LatLon>()> place;
    /// The location's zip code: alerts asked or kept for another are not shown.
    std::function<QString()> zip;
    /// The cache folder shared with the other copies; may answer null.
    std::function<std::shared_ptr<const FolderHandle>()> folder;
    /// How often the alerts are asked between passes while any is in effect.
    qint64 refreshSeconds = 120;
};

/// Keeps the place's active alerts, apart from the download passes: its requests never
/// count as, wait for or delay a pass. The copy that downloads asks at each pass and, while
/// any alert is in effect, every `refreshSeconds` between passes, conditionally and with the
/// bridge's manners (its own back-off, so a refusal of the alerts holds back no pass); it
/// keeps each answer in the cache folder. The other copies take up what is kept. A failed
/// request leaves the alerts known as they were: each ends on the clock at its own end.
class AlertPoller {
public:
    /// A place not yet known is looked for again this often.
    static constexpr qint64 kPlaceRetrySeconds = 30;
    /// A copy that does not download looks at the kept answer this often.
    static constexpr qint64 kLookSeconds = 2;

    AlertPoller(BridgeTransport& network, AlertPollerConfig config);
    ~AlertPoller();
    AlertPoller(const AlertPoller&) = delete;
    AlertPoller& operator=(const AlertPoller&) = delete;

    /// A download pass starts: the alerts are asked at the next tick.
    void passStarted() { due_ = true; }
    /// One tick of the saver's clock. `downloads`: this copy asks the service.
    void tick(bool downloads);
    /// The alerts in effect now, in the order shown.
    QList<WeatherAlert> shown() const;

private:
    void ask(LatLon where);
    void take(const QByteArray& answer, const QString& zip);
    void lookAtKept(const QDateTime& now);
    bool askNow(const QDateTime& now) const;
    static bool atLeast(const QDateTime& since, const QDateTime& now, qint64 seconds);

    AlertPollerConfig config_;
    PoliteTransport polite_;
    ConfiguredBasesTransport transport_;
    std::shared_ptr<bool> alive_ = std::make_shared<bool>(true);
    QList<WeatherAlert> alerts_;
    QString alertsZip_;
    QByteArray lastKept_;
    QDateTime lastAsked_, lastPlaceTry_, lastLook_;
    bool due_ = true;
    bool asking_ = false;
    bool keptTaken_ = false;
};

} // namespace nimbuscope
