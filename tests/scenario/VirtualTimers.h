#pragma once

#include "display/SaverTimer.h"

#include "common/FakeClock.h"

#include <memory>
#include <optional>
#include <vector>

namespace nimbuscope::test {

class VirtualTimers;

/// A saver timer in virtual time, with the form timer's rules: enabling a disabled timer
/// starts a countdown from now, enabling an enabled one changes nothing, setting the
/// interval restarts the countdown, a non-positive interval never fires, and while a tick
/// runs the countdown waits for it to return (ticks never overlap).
class VirtualTimer final : public SaverTimer {
public:
    VirtualTimer(VirtualTimers& owner, int intervalMs, bool enabled);
    ~VirtualTimer() override;

    void setEnabled(bool enabled) override;
    bool isEnabled() const override { return enabled_; }
    void setInterval(int ms) override;
    int interval() const override { return intervalMs_; }

    /// Virtual milliseconds at which the timer fires next; nothing when it is not counting.
    std::optional<qint64> dueMs() const { return dueMs_; }
    void tick(); // runs the handler once, as the timer firing would

private:
    void restartCountdown();

    VirtualTimers& owner_;
    int intervalMs_;
    bool enabled_ = false;
    bool inTick_ = false;
    std::optional<qint64> dueMs_;
    std::uint64_t scheduledOrder_ = 0;

    friend class VirtualTimers;
};

/// Makes virtual timers and answers which one fires next. Timers count on a steady scale of
/// whole milliseconds since the factory was made: it follows the fake clock forward (a
/// handler that sleeps moves both) but not back, as real timers ignore a clock set back.
class VirtualTimers final : public SaverTimerFactory {
public:
    explicit VirtualTimers(FakeClock& clock) : clock_(clock), start_(clock.now()) {}

    std::unique_ptr<SaverTimer> create(int intervalMs, bool enabled) override;

    qint64 nowMs() const;
    void advanceTo(qint64 ms); // moves the steady time, and the clock with it, forward
    /// The enabled timer due first; of timers due together, the one scheduled first.
    VirtualTimer* nextDue() const;

private:
    friend class VirtualTimer;

    FakeClock& clock_;
    DateTime start_;
    mutable qint64 steadyMs_ = 0;
    mutable qint64 lastClockMs_ = 0; // the clock in milliseconds since the start, as last seen
    std::vector<VirtualTimer*> timers_;
    std::uint64_t order_ = 0;
};

} // namespace nimbuscope::test
