#pragma once

#include "noaa-sim/FaultPlan.h"
#include "noaa-sim/NoaaSite.h"
#include "noaa-sim/SimOptions.h"
#include "noaa-sim/TodaySite.h"

#include <memory>
#include <string>
#include <vector>

namespace nimbuscope::noaasim {

/// The simulated service on HTTP: answers GETs through NoaaSite (TodaySite in today mode)
/// with the faults of its
/// FaultPlan applied, and the control requests under /_sim/ (never subject to faults):
///   POST /_sim/fault?path=PATTERN&kind=KIND   add or replace a fault (kind=none removes it)
///   POST /_sim/clear                          remove every fault
///   POST /_sim/frames?count=N[&product=P]     frames per loop list (both products if none);
///                                             in today mode, times per radar layer
///   POST /_sim/list-form?form=F               relative, rooted or absolute list lines
///   POST /_sim/time-form?form=F               today mode: list, interval or mixed times
///   POST /_sim/alert?alert=EVENT:SEVERITY:MIN today mode: issue an alert ("ok ID")
///   POST /_sim/alert/cancel?which=EVENT|ID    today mode: cancel the alerts in effect
///   GET  /_sim/alerts                         today mode: the alerts listed, one a line
///   POST /_sim/requests/clear                 forget the request log
///   GET  /_sim/faults                         "PATTERN=KIND" lines
///   GET  /_sim/requests                       "<host> <target> <status>[ <fault>]" lines
class SimServer {
public:
    SimServer(SimOptions options, SiteTable sites, const UtcClock& clock);
    ~SimServer();
    SimServer(const SimServer&) = delete;
    SimServer& operator=(const SimServer&) = delete;

    /// Binds options.host:options.port (a free port for 0) and answers on worker threads
    /// until stop(). False, with the reason in `error`, when the address cannot be bound.
    bool start(std::string& error);
    /// Wakes delayed and trickling answers, stops listening and waits for the workers.
    void stop();

    int port() const;
    /// "http://127.0.0.1:PORT/"
    std::string baseUrl() const;
    FaultPlan& faults();
    NoaaSite& site();
    /// The current services' site in today mode, else null.
    TodaySite* today();
    std::vector<std::string> requestLog() const;

private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

} // namespace nimbuscope::noaasim
