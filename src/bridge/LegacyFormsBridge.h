#pragma once

#include "bridge/BridgeConfig.h"
#include "bridge/BridgeFrames.h"
#include "bridge/BridgePlaces.h"
#include "bridge/BridgeTransport.h"
#include "bridge/CurrentForms.h"
#include "bridge/LegacyForms.h"

#include <QDateTime>
#include <QString>

#include <functional>

namespace nimbuscope {

/// Answers the retired page, list and image forms on NOAA's hosts from NOAA's current
/// services, in the bytes the old forms had. Keeps what it learnt per place: where a search
/// led and the place's radar site, city and stations for a week (in a file of the cache
/// folder, so across runs); the frames side is `BridgeFrames`. Every sub-request goes
/// through the configured bases, links taken from answers too.
class LegacyFormsBridge {
public:
    using Done = std::function<void(const BridgeResult&)>;

    static constexpr qint64 kPlaceKeepSeconds = 7 * 24 * 3600;
    /// Stations asked, nearest first, for a current observation.
    static constexpr int kMaxStationsTried = 3;

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
    using PlaceNext = std::function<void(const Place*, const BridgeAnswer&)>;

    void answerLocationSearch(const LegacyRequest& r, const QString& host, Done done);
    void answerLocationPage(LatLon where, const QString& host, Done done);
    void withPlace(LatLon where, PlaceNext next);
    void withStations(const QString& key, PlaceNext next);
    void observe(const QStringList& stations, int index,
                 std::function<void(std::optional<Observation>)> next);
    LegacyLocationFacts factsFor(const Place& place, const std::optional<Observation>& obs,
                                 const QString& host) const;
    std::optional<LatLon> placeOfSite(const QString& site) const;

    QString placeKey(LatLon where) const;
    bool isFresh(const QDateTime& learnt) const;
    void loadKept();
    void saveKept();

    BridgeConfig config_;
    ConfiguredBasesTransport transport_;
    KeptPlaces kept_;
    bool keptLoaded_ = false;
    std::shared_ptr<const FolderHandle> keepFolder_;
    BridgeFrames frames_;
};

} // namespace nimbuscope
