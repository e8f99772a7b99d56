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

    Log(const Clock& clock, Platform& platform);

    /// The per-user folder the log files live in; null writes no log.
    void setFolder(std::shared_ptr<const FolderHandle> folder) { folder_ = std::move(folder); }
    /// Opens the folder at `folder` now and logs there from then on.
    void setFolder(const QString& folder);
    /// The folder's path ending in a separator; empty without one.
    QString folder() const;

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

    /// The full path of `fileName` in the log folder; empty without a folder.
    QString pathOf(const QString& fileName) const;

    bool firstErrorPending = false;
    bool debugLogOn = false;
    bool memoryLogOn = false;
    bool logIs9x = false;
    qint32 logProcessId = 0;

private:
    QString line(const QString& message, DateTime at) const;
    void writeError(const QString& line, bool replace);
    void writeDebug(const QString& line, bool replace);

    const Clock& clock_;
    Platform& platform_;
    std::shared_ptr<const FolderHandle> folder_;
};

} // namespace nimbuscope
