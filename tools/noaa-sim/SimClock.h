#pragma once

#include <chrono>

namespace nimbuscope::noaasim {

using SysSeconds = std::chrono::sys_seconds;

/// The simulated service's idea of "now", in UTC. Frame lists and the current conditions
/// follow it, so tests inject a clock they can move.
class UtcClock {
public:
    virtual ~UtcClock() = default;
    virtual SysSeconds now() const = 0;
};

class SystemUtcClock final : public UtcClock {
public:
    SysSeconds now() const override;
};

} // namespace nimbuscope::noaasim
