#pragma once

#include "display/SaverTimer.h"

#include "common/FakeClock.h"

#include <QScopeGuard>

#include <algorithm>
#include <cmath>
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

    void setEnabled(bool enabled) override {
        if (enabled != enabled_) {
            enabled_ = enabled;
            restartCountdown();
        }
    }
    bool isEnabled() const override { return enabled_; }
    void setInterval(int ms) override {
        intervalMs_ = ms;
        restartCountdown();
    }
    int interval() const override { return intervalMs_; }

    /// Virtual milliseconds at which the timer fires next; nothing when it is not counting.
    std::optional<qint64> dueMs() const { return dueMs_; }
    void tick() { // runs the handler once, as the timer firing would
        if (inTick_ || !enabled_) {
            return;
        }
        inTick_ = true;
        dueMs_.reset();
        const auto done = qScopeGuard([this] {
            inTick_ = false;
            restartCountdown();
        });
        fire();
    }

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

    std::unique_ptr<SaverTimer> create(int intervalMs, bool enabled) override {
        return std::make_unique<VirtualTimer>(*this, intervalMs, enabled);
    }

    qint64 nowMs() const {
        const qint64 clock = std::llround((clock_.now().days() - start_.days()) * kMsPerDay);
        steadyMs_ += std::max<qint64>(clock - lastClockMs_, 0);
        lastClockMs_ = clock;
        return steadyMs_;
    }

    void advanceTo(qint64 ms) { // moves the steady time, and the clock with it, forward
        const qint64 step = ms - nowMs();
        if (step > 0) {
            clock_.set(DateTime(start_.days() + double(lastClockMs_ + step) / kMsPerDay));
            nowMs();
        }
    }

    /// The enabled timer due first; of timers due together, the one scheduled first.
    VirtualTimer* nextDue() const {
        VirtualTimer* next = nullptr;
        for (VirtualTimer* t : timers_) {
            if (t->dueMs_ &&
                (next == nullptr || *t->dueMs_ < *next->dueMs_ ||
                 (*t->dueMs_ == *next->dueMs_ && t->scheduledOrder_ < next->scheduledOrder_))) {
                next = t;
            }
        }
        return next;
    }

private:
    friend class VirtualTimer;
    static constexpr double kMsPerDay = 86400000.0;

    FakeClock& clock_;
    DateTime start_;
    mutable qint64 steadyMs_ = 0;
    mutable qint64 lastClockMs_ = 0; // the clock in milliseconds since the start, as last seen
    std::vector<VirtualTimer*> timers_;
    std::uint64_t order_ = 0;
};

inline VirtualTimer::VirtualTimer(VirtualTimers& owner, int intervalMs, bool enabled)
    : owner_(owner), intervalMs_(intervalMs) {
    owner_.timers_.push_back(this);
    setEnabled(enabled);
}

inline VirtualTimer::~VirtualTimer() {
    std::erase(owner_.timers_, this);
}

inline void VirtualTimer::restartCountdown() {
    if (inTick_) {
        return;
    }
    if (enabled_ && intervalMs_ > 0) {
        dueMs_ = owner_.nowMs() + intervalMs_;
        scheduledOrder_ = ++owner_.order_;
    } else {
        dueMs_.reset();
    }
}

} // namespace nimbuscope::test
