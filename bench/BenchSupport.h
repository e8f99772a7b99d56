#pragma once

#include "platform/LinuxPlatform.h"
#include "support/Clock.h"
#include "support/Log.h"

#include <QString>
#include <QTemporaryDir>

#include <chrono>
#include <string>

namespace nimbuscope::bench {

/// A clock standing still at the time the sample lists were made for.
class StillClock final : public Clock {
public:
    explicit StillClock(DateTime at) : at_(at) {}
    DateTime now() const override { return at_; }
    void sleep(int) override {}

private:
    DateTime at_;
};

/// The moment every sample is made at: 5 December 2026, 21:35:29 UTC.
inline std::chrono::sys_seconds sampleMoment() {
    using namespace std::chrono;
    return sys_days{year{2026} / December / 5} + hours{21} + minutes{35} + seconds{29};
}
inline DateTime sampleDateTime() {
    return DateTime::fromParts(2026, 12, 5, 21, 35, 29);
}

/// A log in a private folder with no log files, so nothing reaches the disk unless a
/// benchmark's error path runs, which then shows in the figures.
class QuietLog {
public:
    QuietLog() : clock_(sampleDateTime()), log_(clock_, platform_) { log_.setFolder(dir_.path()); }
    Log& log() { return log_; }
    const Clock& clock() const { return clock_; }

private:
    QTemporaryDir dir_;
    StillClock clock_;
    LinuxPlatform platform_;
    Log log_;
};

inline QString qs(const std::string& s) {
    return QString::fromStdString(s);
}

} // namespace nimbuscope::bench
