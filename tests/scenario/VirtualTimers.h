#pragma once

#include "display/SaverTimer.h"

#include "common/FakeClock.h"

#include <QList>
#include <QtGlobal>

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
    VirtualTimer(VirtualTimers& owner, int intervalMs, bool enabled, int sequence);
    ~VirtualTimer() override;

    void setEnabled(bool enabled) override;
    bool isEnabled() const override { return enabled_; }
    void setInterval(int ms) override;
    int interval() const override { return intervalMs_; }

    /// Virtual milliseconds at which the timer fires next; nothing when it is not counting.
    std::optional<qint64> dueMs() const { return dueMs_; }
    /// Runs the handler once, as the timer firing would.
    void tick();

    /// Every interval set on this timer, in order (the creation interval not included).
    QList<int> intervalsSet;
    int ticks = 0;
    const int sequence;

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

/// Makes virtual timers and answers which one fires next. Time is the fake clock's, counted
/// in whole milliseconds from the moment the factory was made.
class VirtualTimers final : public SaverTimerFactory {
public:
    explicit VirtualTimers(FakeClock& clock) : clock_(clock), start_(clock.now()) {}

    std::unique_ptr<SaverTimer> create(int intervalMs, bool enabled) override;

    /// Virtual milliseconds since the start, read from the clock (handlers may move it).
    qint64 nowMs() const;
    /// Moves the clock to `ms` (never backwards).
    void advanceTo(qint64 ms);
    /// The enabled timer due first; among timers due at the same moment, the one scheduled
    /// first. Nothing when no timer counts down.
    VirtualTimer* nextDue() const;

private:
    friend class VirtualTimer;
    std::uint64_t nextOrder() { return ++order_; }

    FakeClock& clock_;
    DateTime start_;
    std::vector<VirtualTimer*> timers_;
    std::uint64_t order_ = 0;
    int created_ = 0;
};

} // namespace nimbuscope::test
