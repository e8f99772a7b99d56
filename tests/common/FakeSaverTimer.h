#pragma once

#include "display/SaverTimer.h"

#include <vector>

namespace nimbuscope::test {

/// A timer that never fires by itself; it records what the code under test set.
class FakeSaverTimer final : public SaverTimer {
public:
    explicit FakeSaverTimer(int intervalMs = 0, bool enabled = false)
        : interval_(intervalMs), enabled_(enabled) {}

    void setEnabled(bool enabled) override { enabled_ = enabled; }
    bool isEnabled() const override { return enabled_; }
    void setInterval(int ms) override {
        interval_ = ms;
        intervalsSet.push_back(ms);
    }
    int interval() const override { return interval_; }

    std::vector<int> intervalsSet;

private:
    int interval_;
    bool enabled_;
};

} // namespace nimbuscope::test
