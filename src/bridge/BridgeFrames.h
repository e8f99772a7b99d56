#pragma once

#include "bridge/BridgeConfig.h"
#include "bridge/LegacyForms.h"
#include "bridge/MapServerForms.h"

#include <QDateTime>
#include <QString>

#include <functional>
#include <map>
#include <optional>

namespace nimbuscope {

/// The retired frame lists and frames, from the map server: the site's base reflectivity
/// layer, the national mosaic for the long range where the site's layer does not reach that
/// far, the site's ten standard stills when the map server fails, and the "Radar image
/// unavailable" picture where no radar covers the place. Each source is asked at most once
/// a pass; which exact time a frame name stands for is kept until that product's next list.
class BridgeFrames {
public:
    using Done = std::function<void(const BridgeResult&)>;
    /// The site's position when its layer gives none: a place it covers, or nothing.
    using FallbackCentre = std::function<std::optional<LatLon>(const QString& site)>;

    /// Frames per list, as many as the old lists carried.
    static constexpr qsizetype kListFrames = 18;
    /// Both lists of one pass share one answer of each source.
    static constexpr qint64 kReuseSeconds = 120;
    static constexpr int kStillCount = 10;
    static constexpr qint64 kStillStepSeconds = 5 * 60;
    static constexpr int kFrameWidth = 600;
    static constexpr int kFrameHeight = 550;
    /// How far from the site the short- and long-range frames reach.
    static constexpr double kShortRangeNmi = 124.0;
    static constexpr double kLongRangeNmi = 248.0;

    BridgeFrames(const BridgeConfig& config, BridgeTransport& transport, FallbackCentre fallback);

    void answerList(const LegacyRequest& r, Done done);
    void answerFrame(const LegacyRequest& r, Done done);

    static double rangeNmi(const QString& product);
    /// The mosaic serves a long-range list when the site's layer ends short of the frame's
    /// edges and the mosaic's extent holds the site.
    static bool mosaicServes(const MapLayer& siteLayer, const MapLayer& mosaic, LatLon site);
    /// The two frames of a place no radar covers: five minutes apart, the newer on the hour,
    /// so a pass within the hour asks for nothing new.
    static QStringList placeholderFrameNames(const QDateTime& utcNow);

private:
    struct Capabilities {
        QDateTime at;
        std::optional<MapLayer> layer;
    };
    struct Stills {
        QDateTime at;
        QDateTime newest;
        std::map<int, QByteArray> bodies;
    };
    struct ProductFrames {
        std::optional<MapLayer> layer; ///< none: the stills
        /// Frame name -> the server's exact time string, or "still:<index>".
        std::map<QString, QString> frames;
    };
    using LayerNext = std::function<void(const std::optional<MapLayer>&, bool networkFailed)>;
    using StillsNext = std::function<void(const Stills*, const BridgeAnswer&)>;

    QDateTime now() const;
    bool isFresh(const QDateTime& at) const;
    void withCapabilities(const QString& workspace, LayerNext next);
    void withStills(const QString& site, StillsNext next);
    void answerFromLayer(const LegacyRequest& r, const MapLayer& siteLayer, Done done);
    void listFrom(const LegacyRequest& r, const MapLayer& layer, Done done);
    void answerFromStills(const LegacyRequest& r, Done done);
    void answerStill(const QString& site, int index, Done done);
    void answerMap(const LegacyRequest& r, const MapLayer& layer, const QString& time, Done done);
    std::optional<LatLon> centreOf(const QString& site) const;
    QByteArray noRadarFrame() const;

    const BridgeConfig& config_;
    BridgeTransport& transport_;
    FallbackCentre fallback_;
    std::map<QString, Capabilities> capabilities_; ///< by workspace
    std::map<QString, Stills> stills_;             ///< by site
    std::map<QString, ProductFrames> lists_;       ///< by site and product
};

} // namespace nimbuscope
