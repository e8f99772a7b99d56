#pragma once

#include "support/DateTime.h"

#include <QByteArray>
#include <QString>

#include <memory>

namespace nimbuscope {

class Clock;
class InstanceLock;
class InstanceLocks;

/// Copies of the saver that run side by side (one per screen in a host, the host's preview
/// beside a full-screen copy) share one cache and take turns at the downloads: the copy that
/// holds the download lock runs the passes, the others show what it caches. The lock goes
/// with its holder's process; another copy then takes it over.
class SharedCache {
public:
    static constexpr const char* kDownloadLockName = "NimbuscopeDownload";
    /// A copy that does not download looks at the cache this often at most.
    static constexpr qint64 kLookIntervalMs = 1000;

    SharedCache(InstanceLocks& locks, const Clock& clock);
    ~SharedCache();
    SharedCache(const SharedCache&) = delete;
    SharedCache& operator=(const SharedCache&) = delete;

    /// True when this copy downloads: it had the turn already, or it takes it now because
    /// no other copy has it.
    bool takeDownloads();
    bool downloads() const { return hold_ != nullptr; }

    /// For a copy that does not download: true when the files in `dataDirectory` have
    /// changed since the last look that said so (the first look always does). Between two
    /// looks less than kLookIntervalMs apart nothing is read and the answer is false.
    bool changedSinceLastLook(const QString& dataDirectory);

private:
    InstanceLocks& locks_;
    const Clock& clock_;
    std::unique_ptr<InstanceLock> hold_;
    QByteArray lastStamp_;
    DateTime lastLook_;
    bool looked_ = false;
};

/// What a copy that does not download must notice in a cache folder: the name, size and
/// change time of each finished file (a file being written has a hidden name until done).
QByteArray cacheStamp(const QString& dataDirectory);

} // namespace nimbuscope
