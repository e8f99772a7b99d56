#pragma once

#include <QString>

#include <memory>

namespace nimbuscope {

/// A lock held for as long as the object lives (and never longer than its process).
class InstanceLock {
public:
    virtual ~InstanceLock() = default;
};

/// The stand-in for finding a top-level window by its caption, and the single-instance step.
/// A window that carries a caption holds the lock of that caption while it lives; a search
/// finds a name whose lock some live process holds. Several holders may share a name, as
/// several windows may share a caption. A search followed by a hold is not atomic; holding a
/// name only when nobody else does is `acquireIfFree`.
class InstanceLocks {
public:
    virtual ~InstanceLocks() = default;

    /// Holds the lock of `name` (a caption or the program name) until the returned object is
    /// destroyed. Nothing when the lock cannot be made at all (no usable runtime folder).
    virtual std::unique_ptr<InstanceLock> acquire(const QString& name) = 0;
    /// True when some live holder, this process included, holds the lock of `name`.
    virtual bool isHeld(const QString& name) = 0;
    /// The test and the hold as one step: holds `name` when no live holder (this process
    /// included) holds it, and gives nothing when one does. Of any number of callers at the
    /// same instant exactly one gets the hold. When no lock can be made at all, every caller
    /// gets a hold that holds nothing, as a search then finds nothing either.
    virtual std::unique_ptr<InstanceLock> acquireIfFree(const QString& name) = 0;
};

/// Lock files under a per-user runtime folder, one per name, held with flock(2): the system
/// drops a hold when its process dies, so a crashed window never blocks the next start.
/// Holds are shared; the test asks for an exclusive lock without waiting. `acquireIfFree`
/// runs the test and the hold under a gate lock that every such step takes exclusively.
class FileInstanceLocks final : public InstanceLocks {
public:
    /// `runtimeFolder` is created (mode 0700) when missing; a folder that another user owns or
    /// others may write is not used, and then nothing is ever held or found.
    explicit FileInstanceLocks(QString runtimeFolder);

    std::unique_ptr<InstanceLock> acquire(const QString& name) override;
    bool isHeld(const QString& name) override;
    std::unique_ptr<InstanceLock> acquireIfFree(const QString& name) override;

    /// The lock file of `name`: every character outside [A-Za-z0-9._-] is written as %XX of
    /// its UTF-8 bytes, so distinct names never share a file and no name leaves the folder.
    QString lockPath(const QString& name) const;

private:
    bool folderUsable();
    std::unique_ptr<InstanceLock> hold(const QString& name);
    bool heldNow(const QString& name);

    QString folder_;
};

} // namespace nimbuscope
