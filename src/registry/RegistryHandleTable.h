#pragma once

#include "registry/RegistryApi.h"

#include <QStringList>

#include <map>

namespace nimbuscope {

/// What an open handle refers to: a key by its path below a predefined root, and the rights
/// it was opened with. The key itself is looked up again on each use, since another process
/// may have changed the hive meanwhile.
struct OpenRegistryKey {
    qint32 root = 0;
    QStringList path;
    quint32 access = 0;
};

/// The keys currently open. Handles are small numbers that never collide with the
/// predefined root handles.
class RegistryHandleTable {
public:
    using Handle = RegistryApi::Handle;

    Handle open(OpenRegistryKey key);
    /// The key behind `handle`, or nothing when it is not open.
    const OpenRegistryKey* find(Handle handle) const;
    bool close(Handle handle);
    qsizetype size() const { return qsizetype(keys_.size()); }

private:
    static constexpr Handle kFirstHandle = 0x100;
    static constexpr Handle kHandleStep = 4;
    static constexpr Handle kLastHandle = 0x7FFFFFF0;

    std::map<Handle, OpenRegistryKey> keys_;
    Handle next_ = kFirstHandle;
};

} // namespace nimbuscope
