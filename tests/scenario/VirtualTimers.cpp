#include "VirtualTimers.h"

#include <QScopeGuard>

#include <algorithm>
#include <cmath>

namespace nimbuscope::test {

namespace {
constexpr double kMsPerDay = 86400000.0;
}

VirtualTimer::VirtualTimer(VirtualTimers& owner, int intervalMs, bool enabled)
    : owner_(owner), intervalMs_(intervalMs) {
    owner_.timers_.push_back(this);
    setEnabled(enabled);
}

VirtualTimer::~VirtualTimer() {
    std::erase(owner_.timers_, this);
}

void VirtualTimer::setEnabled(bool enabled) {
    if (enabled != enabled_) {
        enabled_ = enabled;
        restartCountdown();
    }
}

void VirtualTimer::setInterval(int ms) {
    intervalMs_ = ms;
    restartCountdown();
}

void VirtualTimer::restartCountdown() {
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

void VirtualTimer::tick() {
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

std::unique_ptr<SaverTimer> VirtualTimers::create(int intervalMs, bool enabled) {
    return std::make_unique<VirtualTimer>(*this, intervalMs, enabled);
}

qint64 VirtualTimers::nowMs() const {
    const qint64 clock = std::llround((clock_.now().days() - start_.days()) * kMsPerDay);
    steadyMs_ += std::max<qint64>(clock - lastClockMs_, 0);
    lastClockMs_ = clock;
    return steadyMs_;
}

void VirtualTimers::advanceTo(qint64 ms) {
    const qint64 step = ms - nowMs();
    if (step > 0) {
        clock_.set(DateTime(start_.days() + double(lastClockMs_ + step) / kMsPerDay));
        nowMs();
    }
}

VirtualTimer* VirtualTimers::nextDue() const {
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

} // namespace nimbuscope::test
