#include "display/QtSaverTimer.h"

#include <QScopeGuard>

namespace nimbuscope {

QtSaverTimer::QtSaverTimer(int intervalMs, bool enabled) : intervalMs_(intervalMs) {
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
    // Inside a tick the countdown waits for the tick to return.
    if (inTick_) {
        return;
    }
    if (enabled_ && intervalMs_ > 0) {
        timer_.start(intervalMs_);
    } else {
        timer_.stop();
    }
}

void QtSaverTimer::tick() {
    if (inTick_ || !enabled_) {
        return;
    }
    const std::weak_ptr<int> alive = alive_;
    inTick_ = true;
    // Reset even when the handler unwinds with an exception, or the timer would never tick
    // again; skipped when the handler destroyed this timer.
    const auto done = qScopeGuard([this, &alive] {
        if (!alive.expired()) {
            inTick_ = false;
            restartCountdown();
        }
    });
    fire();
}

std::unique_ptr<SaverTimer> QtSaverTimerFactory::create(int intervalMs, bool enabled) {
    return std::make_unique<QtSaverTimer>(intervalMs, enabled);
}

} // namespace nimbuscope
