#pragma once

#include "support/DateTime.h"

namespace nimbuscope {

/// The one source of time. Nothing else reads the system clock, so tests can run hours of
/// saver life in virtual time.
class Clock {
public:
    virtual ~Clock() = default;
    /// The current local date and time.
    virtual DateTime now() const = 0;
    /// Blocks for `ms` milliseconds (a virtual clock just advances).
    virtual void sleep(int ms) = 0;
};

class SystemClock final : public Clock {
public:
    DateTime now() const override;
    void sleep(int ms) override;
};

} // namespace nimbuscope
