#pragma once

#include "registry/HiveRegistry.h"

namespace nimbuscope {

/// A registry held in memory with the three predefined roots, for tests. A test may fill a
/// root through the registry calls and then make it read-only.
class MemoryRegistry final : public HiveRegistry {
public:
    explicit MemoryRegistry(const QList<qint32>& readOnlyRoots = {});

    void setReadOnly(qint32 root, bool readOnly);
    /// The hive of a predefined root as it stands.
    const RegistryHive& hive(qint32 root) const;

private:
    MemoryHiveStore* memoryStore(qint32 root) const;
};

} // namespace nimbuscope
