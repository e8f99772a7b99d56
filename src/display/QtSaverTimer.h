#pragma once

#include "display/SaverTimer.h"

#include <QElapsedTimer>
#include <QTimer>

#include <memory>

namespace nimbuscope {

/// A saver timer on a precise QTimer (the coarse kind fires up to 5 % early).
///
/// Enabling a disabled timer starts a fresh countdown; enabling one that is already enabled
/// leaves its countdown alone. Setting the interval while enabled restarts the countdown. A
/// non-positive interval keeps the timer from firing, though it stays enabled. Ticks never
/// overlap: while a tick runs, the countdown is stopped. A tick that leaves the timer's
/// interval and state alone keeps the pace: the next tick is due one interval after this one
/// was (at once if that has passed), so neither a tick's work nor its lateness adds up over
/// a long run of ticks. A tick that sets the interval or re-enables the timer starts a full
/// countdown at that moment, as a form timer does; the tick it leads to still waits for the
/// running one to return. A tick whose handler runs a nested event loop never sees a
/// second tick of the same timer inside it.
class QtSaverTimer final : public SaverTimer {
public:
    QtSaverTimer(int intervalMs, bool enabled);
    ~QtSaverTimer() override;
    QtSaverTimer(const QtSaverTimer&) = delete;
    QtSaverTimer& operator=(const QtSaverTimer&) = delete;

    void setEnabled(bool enabled) override;
    bool isEnabled() const override { return enabled_; }
    void setInterval(int ms) override;
    int interval() const override { return intervalMs_; }

    /// Milliseconds until the next tick; -1 when none is counting down (disabled, a
    /// non-positive interval, or inside a tick).
    int remainingTimeMs() const;

private:
    void restartCountdown();
    void tick();
    /// Starts the countdown once a tick has returned.
    void resumeAfterTick();

    QTimer timer_;
    int intervalMs_;
    bool enabled_ = false;
    bool inTick_ = false;
    /// Whether the running tick set the interval or switched the timer, and when it last did.
    bool touchedInTick_ = false;
    qint64 touchedAtMs_ = 0;
    /// When the counting-down tick is due, in clock_ milliseconds.
    qint64 dueMs_ = 0;
    QElapsedTimer clock_;
};

/// Makes the program's real timers.
class QtSaverTimerFactory final : public SaverTimerFactory {
public:
    std::unique_ptr<SaverTimer> create(int intervalMs, bool enabled) override;
};

} // namespace nimbuscope
