#pragma once

#include "platform/Folders.h"

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <memory>

namespace nimbuscope {

/// Predefined root handles.
inline constexpr qint32 HKEY_CLASSES_ROOT = qint32(0x80000000u);
inline constexpr qint32 HKEY_CURRENT_USER = qint32(0x80000001u);
inline constexpr qint32 HKEY_LOCAL_MACHINE = qint32(0x80000002u);

/// Registry value types.
enum RegType : qint32 {
    REG_NONE = 0,
    REG_SZ = 1,
    REG_EXPAND_SZ = 2,
    REG_BINARY = 3,
    REG_DWORD = 4,
    REG_DWORD_BIG_ENDIAN = 5,
    REG_MULTI_SZ = 7,
};

/// Status codes of the registry calls.
namespace regstatus {
inline constexpr long Success = 0;
inline constexpr long FileNotFound = 2;
inline constexpr long AccessDenied = 5;
inline constexpr long InvalidHandle = 6;
inline constexpr long InvalidData = 13;
inline constexpr long InvalidParameter = 87;
inline constexpr long MoreData = 234;
inline constexpr long NoMoreItems = 259;
inline constexpr long BadFile = 1009;           // the hive file could not be read (kept aside)
inline constexpr long KeyDeleted = 1018;        // the open key was deleted since it was opened
inline constexpr long NoSystemResources = 1450; // the change would take the hive past its limits
} // namespace regstatus

/// Access rights asked for when a key is opened or created.
namespace regaccess {
inline constexpr quint32 QueryValue = 0x01;
inline constexpr quint32 SetValue = 0x02;
inline constexpr quint32 CreateSubKey = 0x04;
inline constexpr quint32 EnumerateSubKeys = 0x08;
inline constexpr quint32 Notify = 0x10;
inline constexpr quint32 CreateLink = 0x20;
inline constexpr quint32 AllAccess = 0x3F;
/// Rights that change the hive: denied on a root the user may not write.
inline constexpr quint32 WriteRights = SetValue | CreateSubKey | CreateLink;
} // namespace regaccess

/// The registry calls the registry access class makes, shaped like the system's own: keys
/// are opened into handles, values are typed byte strings, every call answers a status.
class RegistryApi {
public:
    using Handle = quint32;

    virtual ~RegistryApi() = default;

    virtual long openKey(qint32 root, const QString& subKey, quint32 access, Handle& out) = 0;
    virtual long createKey(qint32 root, const QString& subKey, quint32 access, Handle& out) = 0;
    virtual long closeKey(Handle key) = 0;
    virtual long deleteKey(qint32 root, const QString& subKey) = 0;
    /// Type and data of `name` ("" = the key's default value). With a buffer size smaller
    /// than the data, answers MoreData and the needed size.
    virtual long queryValue(Handle key, const QString& name, qint32& type, QByteArray* data,
                            quint32& size) = 0;
    virtual long setValue(Handle key, const QString& name, qint32 type, const QByteArray& data) = 0;
    virtual long deleteValue(Handle key, const QString& name) = 0;
    /// The value name at `index`; NoMoreItems past the end.
    virtual long enumValue(Handle key, quint32 index, QString& name) = 0;
    /// The sub-key name at `index`; NoMoreItems past the end.
    virtual long enumKey(Handle key, quint32 index, QString& name) = 0;
    /// Length of the longest value name of the key.
    virtual long queryMaxValueNameLength(Handle key, quint32& length) = 0;
    /// Expands %NAME% references (used when reading REG_EXPAND_SZ values).
    virtual QString expandEnvironmentStrings(const QString& text) = 0;
    /// Keys opened or created and not closed yet; back to 0 after every complete access.
    virtual qsizetype openHandleCount() const = 0;
    /// Where a predefined root is kept (its hive file), for messages; empty when unknown.
    virtual QString rootLocation(qint32 root) const {
        Q_UNUSED(root);
        return {};
    }
};

/// The registry over hive files in the registry editor's text format. Every read re-reads
/// the hive file; every write locks, re-reads, and replaces the file atomically, so several
/// processes may share a hive.
std::unique_ptr<RegistryApi> makeFileRegistry(const RegistryPaths& paths);
/// A registry held in memory, for tests; `readOnlyRoots` fail every write as access denied.
/// (registry/MemoryRegistry.h offers seeding and switching roots read-only later.)
std::unique_ptr<RegistryApi> makeMemoryRegistry(QList<qint32> readOnlyRoots = {});

} // namespace nimbuscope
