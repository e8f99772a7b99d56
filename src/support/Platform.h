#pragma once

#include <QString>

#include <optional>

namespace nimbuscope {

/// The system's time-zone record: minutes to add to local time to get UTC are
/// bias + daylightBias while `answer` is 2 (daylight time), else bias + standardBias.
struct TimeZoneInfo {
    qint32 bias = 0;
    qint32 standardBias = 0;
    qint32 daylightBias = 0;
    int answer = 0; // 0 unknown, 1 standard, 2 daylight
};

/// The system's version record. Platform id 2 is the NT family; anything else counts as 9x.
struct OSVersionInfo {
    static constexpr int kNtPlatform = 2;
    quint32 size = 148;
    quint32 major = 0;
    quint32 minor = 0;
    quint32 build = 0;
    quint32 platformId = 0;
    QString servicePack;
};

/// The system facts the program asks for. One implementation per system; tests inject
/// their own (for example a 9x-family platform).
class Platform {
public:
    virtual ~Platform() = default;

    /// The user's login name; nothing when the system cannot say.
    virtual std::optional<QString> userName() = 0;
    /// The folder for temporary files as the system gives it (may lack a trailing separator);
    /// empty when the system gives none.
    virtual QString tempPath() = 0;
    virtual TimeZoneInfo timeZoneInformation() = 0;
    /// Working-set (resident) size of process `pid` in bytes; nothing when it cannot be read.
    virtual std::optional<qint64> workingSetBytes(qint32 pid) = 0;
    virtual OSVersionInfo versionEx() = 0;
    virtual qint32 currentProcessId() = 0;
    /// Milliseconds since this process was started; nothing when the system cannot say.
    virtual std::optional<qint64> msSinceProcessStart() = 0;
    /// Expands %NAME% references from the environment; unknown names stay as written.
    virtual QString expandEnvironmentStrings(const QString& text) = 0;
};

} // namespace nimbuscope
