#include "registry/MemoryRegistry.h"

namespace nimbuscope {

long MemoryHiveStore::read(RegistryHive& hive) {
    hive = hive_;
    return regstatus::Success;
}

long MemoryHiveStore::update(const Change& change) {
    if (readOnly_) {
        return regstatus::AccessDenied;
    }
    RegistryHive changed = hive_;
    const long status = change(changed);
    if (status == regstatus::Success) {
        hive_ = std::move(changed);
    }
    return status;
}

MemoryRegistry::MemoryRegistry(const QList<qint32>& readOnlyRoots) {
    for (const qint32 root : {HKEY_CLASSES_ROOT, HKEY_CURRENT_USER, HKEY_LOCAL_MACHINE}) {
        addRoot(root,
                std::make_unique<MemoryHiveStore>(rootKeyName(root), readOnlyRoots.contains(root)));
    }
}

MemoryHiveStore* MemoryRegistry::memoryStore(qint32 root) const {
    // Every store of this registry is a memory store.
    return static_cast<MemoryHiveStore*>(storeOf(root));
}

void MemoryRegistry::setReadOnly(qint32 root, bool readOnly) {
    memoryStore(root)->setReadOnly(readOnly);
}

const RegistryHive& MemoryRegistry::hive(qint32 root) const {
    return memoryStore(root)->hive();
}

std::unique_ptr<RegistryApi> makeMemoryRegistry(QList<qint32> readOnlyRoots) {
    return std::make_unique<MemoryRegistry>(readOnlyRoots);
}

} // namespace nimbuscope
