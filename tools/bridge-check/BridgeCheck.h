#pragma once

#include "acquisition/BridgeTransport.h"
#include "acquisition/LegacyFormsBridge.h"

#include <QTextStream>

namespace nimbuscope {

/// Walks the bridge's sources one after the other for a zip code, as the bridge would, and
/// prints what each answered. Blocking is fine here: this is a command, not the saver.
class BridgeCheck {
public:
    BridgeCheck(const BridgeConfig& config, BridgeTransport& transport, QTextStream& out);
    /// True when every source answered in its documented form.
    bool run(const QString& zip);

private:
    BridgeAnswer fetch(const BridgeGet& get);
    bool report(const QString& step, bool ok, const QString& detail);
    std::optional<LatLon> checkSearch(const QString& zip);
    std::optional<PointFacts> checkPoints(LatLon where);
    bool checkObservations(const PointFacts& point);
    bool checkFrames(const QString& site, LatLon where);

    const BridgeConfig& config_;
    BridgeTransport& transport_;
    QTextStream& out_;
    bool allOk_ = true;
};

} // namespace nimbuscope
