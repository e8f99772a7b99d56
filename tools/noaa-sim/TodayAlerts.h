#pragma once

#include "noaa-sim/SimClock.h"

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace nimbuscope::noaasim {

/// An alert to issue: "Tornado Warning:Severe:45" issues a severe tornado warning ending
/// 45 minutes after it was issued.
struct AlertSpec {
    std::string event;
    std::string severity; // Extreme, Severe, Moderate, Minor or Unknown
    int minutes = 0;      // 1..kMaxAlertMinutes
};

inline constexpr int kMaxAlertMinutes = 7 * 24 * 60;

/// "EVENT:SEVERITY:MINUTES"; the event may hold anything but a colon.
std::optional<AlertSpec> parseAlertSpec(std::string_view text);

/// The active alerts the simulated weather API serves for every place it knows. A cancelled
/// alert leaves the list and a Cancel message naming it stays a while, as the real service
/// lists one. Not thread-safe: TodaySite guards it.
class TodayAlerts {
public:
    /// How long a Cancel message stays listed.
    static constexpr std::chrono::minutes kCancelListed{10};

    /// Issues `spec` at `now`; answers the new alert's identifier.
    std::string issue(const AlertSpec& spec, SysSeconds now);
    /// Cancels the alerts in effect whose event or identifier is `which`; false when none.
    bool cancel(std::string_view which, SysSeconds now);

    /// The `/alerts/active?point=` answer at `now`; `point` as asked.
    std::string activeJson(std::string_view point, SysSeconds now) const;
    /// "IDENTIFIER<TAB>EVENT<TAB>SEVERITY<TAB>ENDS<TAB>Alert|Cancel" lines of what is listed.
    std::vector<std::string> lines(SysSeconds now) const;

private:
    struct Message {
        std::string id;
        AlertSpec spec;
        SysSeconds sent, ends;
        std::string cancels; // the identifier a Cancel message names; empty for an alert
        bool cancelled = false;
    };
    std::vector<const Message*> listed(SysSeconds now) const;
    SysSeconds lastChange(SysSeconds now) const;
    std::string nextId();

    std::vector<Message> messages_;
    int issued_ = 0;
};

} // namespace nimbuscope::noaasim
