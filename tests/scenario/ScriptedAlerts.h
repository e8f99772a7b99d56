#pragma once

#include "bridge/BridgeTransport.h"
#include "bridge/LegacyForms.h"

#include "noaa-sim/TodayAlerts.h"

#include <QDateTime>
#include <QStringList>

#include <functional>

namespace nimbuscope::test {

/// Where the rig's location lies (Kansas City, 64106).
inline constexpr LatLon kAlertsPlace{39.1031, -94.5785};

/// The weather service's active alerts as a scenario scripts them: the simulator's alerts
/// on the rig's clock, or an endpoint that fails or cannot be reached.
class ScriptedAlerts final : public BridgeTransport {
public:
    explicit ScriptedAlerts(std::function<QDateTime()> utcNow) : utcNow_(std::move(utcNow)) {}

    void get(const BridgeGet& request, Done done) override;
    void abortAll() override {}

    void issue(const char* event, const char* severity, int minutes);
    QDateTime utcNow() const { return utcNow_(); }

    /// Every request sent, in order.
    QStringList requests;
    /// Requests get a 503 problem answer.
    bool failing = false;
    /// Requests get no answer at all.
    bool offline = false;

private:
    noaasim::SysSeconds now() const;

    std::function<QDateTime()> utcNow_;
    noaasim::TodayAlerts alerts_;
};

} // namespace nimbuscope::test
