#pragma once

#include "support/DateTime.h"
#include "support/Platform.h"

#include <QString>

namespace nimbuscope {

class Clock;
class Log;

/// Working set of `pid` in whole kilobytes; 1234 on the 9x family or when it cannot be read.
qint32 processMemoryKb(Platform& platform, qint32 pid);

/// System facts for the rest of the program: plain values, never an error.
class SystemUtils {
public:
    static constexpr qint32 kUnknownMemoryKb = 1234;

    SystemUtils(Platform& platform, Log& log, const Clock& clock)
        : platform_(platform), log_(log), clock_(clock) {}

    /// The login name, or empty text.
    QString getCurrentUserName();
    /// The temporary folder with exactly one trailing separator; empty when the system
    /// gives none.
    QString getTempFolder();
    /// Minutes to add to local time to get UTC.
    double getGMTBias();
    /// The current UTC date and time.
    DateTime getGMT();
    qint32 GetProcessMemory(qint32 pid);
    OSVersionInfo getOSVersion() { return platform_.versionEx(); }
    /// True unless the platform is of the NT family.
    bool OSis9x();

    Platform& platform() { return platform_; }

private:
    static double biasOf(const TimeZoneInfo& tz);

    Platform& platform_;
    Log& log_;
    const Clock& clock_;
};

} // namespace nimbuscope
