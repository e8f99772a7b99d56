#pragma once

#include "bridge/BridgeConfig.h"
#include "bridge/BridgeTransport.h"
#include "bridge/CurrentForms.h"
#include "bridge/LegacyForms.h"
#include "bridge/MapServerForms.h"

#include <QTextStream>

#include <optional>

namespace nimbuscope {

/// Walks the bridge's sources one after the other for a zip code, as the bridge would, with
/// the bridge's own rules (the same layer choice, age rule and units), and prints what each
/// answered. Blocking is fine here: this is a command, not the saver.
class BridgeCheck {
public:
    BridgeCheck(const BridgeConfig& config, BridgeTransport& transport, QTextStream& out);
    /// True when every source answered in its documented form and a radar covers the place.
    bool run(const QString& zip);

private:
    BridgeAnswer fetch(const BridgeGet& get);
    bool report(const QString& step, bool ok, const QString& detail);
    /// A FAIL line for an answer not in its form: the problem it states, else `otherwise`.
    void reportUnread(const QString& step, const QByteArray& body, const QString& otherwise);
    std::optional<LatLon> checkSearch(const QString& zip);
    std::optional<PointFacts> checkPoints(LatLon where);
    void checkObservations(const PointFacts& point);
    std::optional<Observation> checkObservation(const QString& station);
    void checkFrames(const QString& site, LatLon where);
    void checkAlerts(LatLon where);
    std::optional<MapLayer> checkLayer(const QString& workspace, const QString& step);
    void checkFrame(const MapLayer& layer, LatLon centre, double rangeNmi, const QString& step);

    const BridgeConfig& config_;
    ConfiguredBasesTransport transport_;
    QTextStream& out_;
    bool allOk_ = true;
};

} // namespace nimbuscope
