#pragma once

#include "support/DateTime.h"

#include <QString>

#include <memory>

namespace nimbuscope {

class Clock;
class FolderHandle;
class Platform;

/// The error log "errorlog.txt" and the debug log "debuglog.txt" in the per-user folder.
/// Every operation swallows its own failures: logging never disturbs the saver. The files
/// are reached through the folder's handle and never through a link.
class Log {
public:
    static constexpr qint64 kErrorLogLimit = 20000;
    /// A line repeated for this long is summed up even while it goes on repeating.
    static constexpr qint64 kRepeatSummarySeconds = 600;

    Log(const Clock& clock, Platform& platform);

    /// The per-user folder the log files live in; null writes no log.
    void setFolder(std::shared_ptr<const FolderHandle> folder) { folder_ = std::move(folder); }
    /// Opens the folder at `folder` now and logs there from then on.
    void setFolder(const QString& folder);
    /// The folder's path ending in a separator; empty without one.
    QString folder() const;

    /// Appends to "errorlog.txt" only when it already exists; the first error of a run (and
    /// a call with `truncate` set) replaces its contents. A file past 20000 bytes is kept
    /// as "errorlog.1.txt" (replacing the one before) and a new one started, so the newest
    /// errors are always there. A line that repeats the one before is held back and
    /// counted: the count is written, as the line + " (repeated N times)", when another
    /// line comes, on `flush`, and every ten minutes while the repeats go on.
    void logError(const QString& message, bool& truncate);
    void logError(const QString& message) {
        bool truncate = false;
        logError(message, truncate);
    }
    /// A trace line, written while `debugLogOn` (or `force` with `memoryLogOn`).
    void logDebug(const QString& message, bool reset = false, bool force = false);
    /// A trace line prefixed with the working set in kilobytes, written while `memoryLogOn`.
    void logMemoryUse(const QString& message, bool reset = false);
    /// Writes the count of repeats still held back (the program is about to end).
    void flush();

    /// The full path of `fileName` in the log folder; empty without a folder.
    QString pathOf(const QString& fileName) const;

    bool firstErrorPending = false;
    bool debugLogOn = false;
    bool memoryLogOn = false;
    bool logIs9x = false;
    qint32 logProcessId = 0;

private:
    /// The error line written last, and how often it came again since it was written.
    struct Repeats {
        QString message;
        qint32 count = 0;
        DateTime lastAt;
        DateTime countedSince;
    };

    QString line(const QString& message, DateTime at) const;
    void writeError(const QString& line, bool replace);
    void writeDebug(const QString& line, bool replace);
    void writeRepeats();

    const Clock& clock_;
    Platform& platform_;
    std::shared_ptr<const FolderHandle> folder_;
    Repeats repeats_;
};

} // namespace nimbuscope
