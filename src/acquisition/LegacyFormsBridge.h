#pragma once

#include "acquisition/BridgePlaces.h"
#include "acquisition/BridgeTransport.h"
#include "acquisition/CurrentForms.h"
#include "acquisition/LegacyForms.h"

#include <QDateTime>
#include <QString>
#include <QStringList>

#include <functional>
#include <map>
#include <memory>

namespace nimbuscope {

class FolderHandle;
class RegistryValues;

/// Where the bridge works and what it calls.
struct BridgeConfig {
    bool enabled = true;
    /// The location search, ending in "zipcity.php".
    QString locationSearchURL = QStringLiteral("https://forecast.weather.gov/zipcity.php");
    QString apiURL = QStringLiteral("https://api.weather.gov/");
    QString mapServerURL = QStringLiteral("https://opengeo.ncep.noaa.gov/geoserver/");
    QString stillsURL = QStringLiteral("https://radar.weather.gov/ridge/standard/");
    /// NOAA's own hosts (those of the host values' defaults): only requests to these for a
    /// retired form are answered by the bridge.
    QStringList noaaHosts;
    /// The host the rebuilt pages name for the radar page and its frames.
    QString radarHost = QStringLiteral("radar.weather.gov");
    std::function<QDateTime()> utcNow;
    /// The location page address the settings keep (its coordinates centre the frames when
    /// nothing better is known); may be empty.
    std::function<QString()> storedLocationURL;
    /// The cache folder where what was learnt of places is kept for the next runs; asked
    /// once, at the first need. Absent or null: kept for this run only.
    std::function<std::shared_ptr<const FolderHandle>()> keepFolder;
};

/// The bridge's settings as the settings store holds them; NOAA's hosts from the host
/// values' defaults.
BridgeConfig bridgeConfigFrom(RegistryValues& settings);

/// What a bridged request comes to, in the page-retrieval component's terms.
struct BridgeResult {
    qint16 status = 0; ///< a `PageRetriever::Status`
    QByteArray body;
    QByteArray finalUrl;
};

/// Answers the retired page, list and image forms on NOAA's hosts from NOAA's current
/// services, in the bytes the old forms had. Keeps what it learnt per place and per radar
/// site: where a search led and the place's radar site, city and stations for a week (in a
/// file of the cache folder, so across runs), the site's newest frame times (the frame
/// name's minute to the server's exact time) until the next list.
class LegacyFormsBridge {
public:
    using Done = std::function<void(const BridgeResult&)>;

    /// Frames per list, as many as the old lists carried.
    static constexpr qsizetype kListFrames = 18;
    static constexpr qint64 kPlaceKeepSeconds = 7 * 24 * 3600;
    /// Both lists of one pass come from one capabilities answer.
    static constexpr qint64 kCapabilitiesReuseSeconds = 120;
    /// An observation older than this is stale; the next station is tried.
    static constexpr qint64 kObservationMaxAgeSeconds = 2 * 3600;
    static constexpr int kMaxStationsTried = 3;
    static constexpr int kStillCount = 10;
    static constexpr qint64 kStillStepSeconds = 5 * 60;
    static constexpr int kFrameWidth = 600;
    static constexpr int kFrameHeight = 550;
    /// How far from the site the short- and long-range frames reach.
    static constexpr double kShortRangeNmi = 124.0;
    static constexpr double kLongRangeNmi = 248.0;

    LegacyFormsBridge(BridgeConfig config, BridgeTransport& transport);

    /// True when `address` is a retired form on NOAA's hosts and the bridge is on.
    bool handles(const QString& address) const;
    /// Answers `address` through `done`, possibly before returning. Every failure comes back
    /// as a failed transfer, never as a made-up page.
    void start(const QString& address, Done done);
    /// The current UTC time, from the configured clock.
    QDateTime now() const;

private:
    using Place = KeptPlace;
    struct SiteFrames {
        QDateTime capabilitiesAt;
        LayerTimes layer;
        bool fromCapabilities = false;
        /// Frame name -> the server's exact time string, or "still:<index>".
        std::map<QString, QString> frames;
        QDateTime stillsNewest;
        QByteArray newestStill;
    };

    void answerLocationSearch(const LegacyRequest& r, const QString& host, Done done);
    void answerLocationPage(LatLon where, const QString& host, Done done);
    void withPlace(LatLon where, std::function<void(const Place*, const BridgeAnswer&)> next);
    void withStations(const QString& key,
                      std::function<void(const Place*, const BridgeAnswer&)> next);
    void observe(const QStringList& stations, int index, std::optional<Observation> best,
                 std::function<void(std::optional<Observation>)> next);
    void answerFrameList(const LegacyRequest& r, Done done);
    void answerFromStills(const LegacyRequest& r, Done done);
    void answerFrame(const LegacyRequest& r, Done done);
    void answerStill(const LegacyRequest& r, int index, Done done);

    QString placeKey(LatLon where) const;
    QString mapURL(const QString& site, const QString& product, const QString& time) const;
    std::optional<LatLon> siteCentre(const QString& site) const;
    bool isFresh(const QDateTime& learnt) const;
    void loadKept();
    void saveKept();

    BridgeConfig config_;
    BridgeTransport& transport_;
    KeptPlaces kept_;
    bool keptLoaded_ = false;
    std::shared_ptr<const FolderHandle> keepFolder_;
    std::map<QString, SiteFrames> sites_;
};

} // namespace nimbuscope
