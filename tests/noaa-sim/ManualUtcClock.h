#pragma once

#include "noaa-sim/SimClock.h"

#include <atomic>

namespace nimbuscope::noaasim::test {

using namespace std::chrono;

inline SysSeconds utc(int y, unsigned mo, unsigned d, int h = 0, int mi = 0, int s = 0) {
    return sys_days(year{y} / month{mo} / day{d}) + hours{h} + minutes{mi} + seconds{s};
}

/// A clock the test sets; the server's workers may read it while the test moves it.
class ManualUtcClock final : public UtcClock {
public:
    explicit ManualUtcClock(SysSeconds start) : seconds_(start.time_since_epoch().count()) {}
    SysSeconds now() const override { return SysSeconds(seconds{seconds_.load()}); }
    void set(SysSeconds t) { seconds_ = t.time_since_epoch().count(); }
    void advance(seconds by) { seconds_ += by.count(); }

private:
    std::atomic<seconds::rep> seconds_;
};

} // namespace nimbuscope::noaasim::test
