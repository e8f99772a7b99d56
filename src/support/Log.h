#pragma once

#include <QString>

namespace nimbuscope {

class Clock;
class Platform;

/// The error log "errorlog.txt" and the debug log "debuglog.txt" in the per-user folder.
/// Every operation swallows its own failures: logging never disturbs the saver.
class Log {
public:
    static constexpr qint64 kErrorLogLimit = 20000;

    Log(const Clock& clock, Platform& platform);

    /// The per-user folder the log files live in (with or without a trailing separator).
    void setFolder(const QString& folder) { folder_ = folder; }
    const QString& folder() const { return folder_; }

    /// Appends to "errorlog.txt" only when it already exists and is at most 20000 bytes;
    /// the first error of a run (and a call with `truncate` set) replaces its contents.
    void logError(const QString& message, bool& truncate);
    void logError(const QString& message) {
        bool truncate = false;
        logError(message, truncate);
    }
    /// A trace line, written while `debugLogOn` (or `force` with `memoryLogOn`).
    void logDebug(const QString& message, bool reset = false, bool force = false);
    /// A trace line prefixed with the working set in kilobytes, written while `memoryLogOn`.
    void logMemoryUse(const QString& message, bool reset = false);

    /// The full path of `fileName` in the log folder, with exactly one separator between.
    QString pathOf(const QString& fileName) const;

    bool firstErrorPending = false;
    bool debugLogOn = false;
    bool memoryLogOn = false;
    bool logIs9x = false;
    qint32 logProcessId = 0;

private:
    QString line(const QString& message) const;
    void write(const QString& fileName, const QString& line, bool replace);

    const Clock& clock_;
    Platform& platform_;
    QString folder_;
};

} // namespace nimbuscope
