#pragma once

#include "registry/HiveStore.h"

#include <QByteArray>
#include <QString>

namespace nimbuscope {

/// A hive kept in a file of the registry editor's text format, shared with other processes.
///
/// Reads re-read the file each time. An update takes an exclusive lock on "<file>.lock",
/// re-reads the file under it, applies the change, writes a new file beside the old one,
/// syncs it and renames it over the old one, so readers never see half a file and writers
/// never lose each other's values.
///
/// Whether the user may write is decided from the permission bits and ownership of the file
/// and its folder (or the nearest existing parent folder), not from what the system allows:
/// a hive the owner has marked read-only stays read-only even for the superuser. A refused
/// update creates nothing.
///
/// A file that cannot be parsed reads as BadFile; so does one past the hive limits, one whose
/// text rewritten would be, and anything but a regular file (read without waiting on it). The
/// first successful update after that keeps the damaged file aside as
/// "<file>.damaged-<its modification time>" (a warning says where) and starts a fresh hive;
/// an update that fails leaves the damaged file in place. An update that would take the hive
/// past the limits is refused as NoSystemResources.
///
/// The file is read whole on every read, but parsed only when its bytes differ from the last
/// ones read or written: a start-up reads the settings a hundred times.
class FileHiveStore final : public HiveStore {
public:
    /// `privateToUser` makes the file and its folders readable by the owner only.
    FileHiveStore(QString path, QString rootName, bool privateToUser);

    long read(RegistryHive& hive) override;
    long update(const Change& change) override;
    bool writable() override;
    QString location() const override { return path_; }

    const QString& path() const { return path_; }

private:
    /// The last bytes read or written and what they parse to.
    struct Parsed {
        bool valid = false;
        QByteArray bytes;
        long status = 0;
        RegistryHive hive;
    };

    long readFile(RegistryHive& hive) const;
    long parseBytes(const QByteArray& bytes, RegistryHive& hive) const;
    bool setDamagedFileAside() const;
    bool writeAtomically(const QByteArray& bytes) const;
    unsigned fileMode() const;

    QString path_;
    QString folder_;
    QString rootName_;
    bool privateToUser_;
    mutable Parsed parsed_;
};

} // namespace nimbuscope
