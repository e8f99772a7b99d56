#pragma once

#include "registry/RegistryHive.h"

#include <functional>

namespace nimbuscope {

/// Where one root's hive is kept. Every read gives the hive as it stands now; every update
/// applies a change to the current hive and keeps the result as one step.
class HiveStore {
public:
    /// A change to a hive: answers a registry status; anything but success keeps nothing.
    using Change = std::function<long(RegistryHive&)>;

    virtual ~HiveStore() = default;

    /// The current hive into `hive`: success (a missing hive is empty), BadFile for a hive
    /// that cannot be read (then `hive` is empty), or AccessDenied.
    virtual long read(RegistryHive& hive) = 0;
    /// Applies `change` to the current hive and keeps the result; AccessDenied when the user
    /// may not write this root, and then nothing is created or changed.
    virtual long update(const Change& change) = 0;
    /// Whether the user may write this root.
    virtual bool writable() = 0;
    /// Where the hive is kept, as a user would look for it: its file, or its root's name.
    virtual QString location() const = 0;
};

/// A hive held in memory; a read-only one refuses every update.
class MemoryHiveStore final : public HiveStore {
public:
    explicit MemoryHiveStore(QString rootName, bool readOnly = false)
        : hive_(std::move(rootName)), readOnly_(readOnly) {}

    long read(RegistryHive& hive) override;
    long update(const Change& change) override;
    bool writable() override { return !readOnly_; }
    QString location() const override { return hive_.root.name; }

    void setReadOnly(bool readOnly) { readOnly_ = readOnly; }
    const RegistryHive& hive() const { return hive_; }

private:
    RegistryHive hive_;
    bool readOnly_;
};

} // namespace nimbuscope
