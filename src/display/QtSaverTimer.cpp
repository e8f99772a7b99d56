#include "display/QtSaverTimer.h"

#include <QPointer>
#include <QScopeGuard>

#include <algorithm>

namespace nimbuscope {

QtSaverTimer::QtSaverTimer(int intervalMs, bool enabled) : intervalMs_(intervalMs) {
    clock_.start();
    timer_.setTimerType(Qt::PreciseTimer);
    // One countdown at a time, restarted by hand once a tick returns.
    timer_.setSingleShot(true);
    QObject::connect(&timer_, &QTimer::timeout, &timer_, [this] { tick(); });
    setEnabled(enabled);
}

QtSaverTimer::~QtSaverTimer() = default;

void QtSaverTimer::setEnabled(bool enabled) {
    if (enabled == enabled_) {
        return;
    }
    enabled_ = enabled;
    restartCountdown();
}

void QtSaverTimer::setInterval(int ms) {
    intervalMs_ = ms;
    restartCountdown();
}

int QtSaverTimer::remainingTimeMs() const {
    return timer_.remainingTime();
}

void QtSaverTimer::restartCountdown() {
    // Inside a tick the countdown runs from now, but the tick it leads to waits for this one
    // to return.
    if (inTick_) {
        touchedInTick_ = true;
        touchedAtMs_ = clock_.elapsed();
        return;
    }
    if (enabled_ && intervalMs_ > 0) {
        dueMs_ = clock_.elapsed() + intervalMs_;
        timer_.start(intervalMs_);
    } else {
        timer_.stop();
    }
}

void QtSaverTimer::tick() {
    if (inTick_ || !enabled_) {
        return;
    }
    // Goes null with this timer, so a handler may delete the timer it runs on.
    const QPointer<QTimer> alive(&timer_);
    inTick_ = true;
    touchedInTick_ = false;
    // Reset even when the handler unwinds with an exception, or the timer would never tick
    // again; skipped when the handler destroyed this timer.
    const auto done = qScopeGuard([this, &alive] {
        if (alive) {
            inTick_ = false;
            resumeAfterTick();
        }
    });
    fire();
}

void QtSaverTimer::resumeAfterTick() {
    if (!enabled_ || intervalMs_ <= 0) {
        timer_.stop();
        return;
    }
    // Untouched, the next tick is due one interval after this one was: neither the tick's
    // work nor the time it waited for the processor delays the ones after it. Touched, it is
    // due one interval after the touch, so the work the tick did after setting the interval
    // (drawing the frame whose hold it set) is not added to that hold. Either way a tick
    // already due runs at once, and ticks missed meanwhile are dropped rather than run in a
    // burst.
    const qint64 now = clock_.elapsed();
    dueMs_ = std::max((touchedInTick_ ? touchedAtMs_ : dueMs_) + intervalMs_, now);
    timer_.start(int(dueMs_ - now));
}

std::unique_ptr<SaverTimer> QtSaverTimerFactory::create(int intervalMs, bool enabled) {
    return std::make_unique<QtSaverTimer>(intervalMs, enabled);
}

} // namespace nimbuscope
