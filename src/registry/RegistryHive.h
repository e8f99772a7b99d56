#pragma once

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>

#include <vector>

namespace nimbuscope {

/// One named value as the registry stores it: its type and its raw data. String types hold
/// UTF-16LE with their terminator, as the system keeps them.
struct RegistryValue {
    QString name; // "" is the key's default value
    qint32 type = 0;
    QByteArray data;

    friend bool operator==(const RegistryValue&, const RegistryValue&) = default;
};

/// One key: its values and sub-keys in the order they were first written. Names compare
/// without regard to letter case and keep the spelling they were first written with.
struct RegistryKey {
    QString name;
    QList<RegistryValue> values;
    std::vector<RegistryKey> subKeys;

    RegistryKey* findSubKey(const QString& keyName);
    const RegistryKey* findSubKey(const QString& keyName) const;
    const RegistryValue* findValue(const QString& valueName) const;
    /// Replaces the data and type of an existing value (keeping its name), or appends it.
    void putValue(const QString& valueName, qint32 type, const QByteArray& data);
    bool removeValue(const QString& valueName);
    bool removeSubKey(const QString& keyName);

    friend bool operator==(const RegistryKey&, const RegistryKey&) = default;
};

/// Bounds of a hive, far beyond what any real one holds (a few keys three deep, values of a
/// few hundred bytes). A hive file past them is damaged: it is read as such, never parsed
/// further, and a change that would take a hive past them is refused.
namespace hivelimits {
inline constexpr qsizetype kMaxFileBytes = qsizetype(1) << 20;   // the file, and its text rewritten
inline constexpr qsizetype kMaxKeyDepth = 512;                   // key names below the root
inline constexpr qsizetype kMaxKeys = 4096;                      // keys below the root, all told
inline constexpr qsizetype kMaxValueBytes = qsizetype(64) << 10; // the data of one value
} // namespace hivelimits

/// The keys of one root (HKEY_CURRENT_USER, ...). Paths are lists of key names below it.
class RegistryHive {
public:
    explicit RegistryHive(QString rootName = {}) { root.name = std::move(rootName); }

    RegistryKey* find(const QStringList& path);
    const RegistryKey* find(const QStringList& path) const;
    /// The key at `path`, creating it and any missing parent.
    RegistryKey& ensure(const QStringList& path);

    RegistryKey root;

    friend bool operator==(const RegistryHive&, const RegistryHive&) = default;
};

/// The text of `units` UTF-16LE code units at `data`, unit for unit. Unlike
/// QString::fromUtf16 it takes a leading U+FEFF or U+FFFE for text, not for a byte order
/// mark to drop or to swap every unit by.
inline QString utf16Text(const char* data, qsizetype units) {
    return QString(reinterpret_cast<const QChar*>(data), units);
}

/// Whether `hive` keeps within the bounds above (its text size aside). Walks the keys without
/// recursion, so a hive of any depth can be checked.
bool withinHiveLimits(const RegistryHive& hive);

/// "A\B\C" as its key names; empty parts (a doubled or trailing backslash) are skipped.
QStringList splitKeyPath(const QString& path);

/// Whether `name` can be kept in a hive file: no line breaks or NULs, well-formed text, and
/// for key names no backslash and not empty.
bool isStorableKeyName(const QString& name);
bool isStorableValueName(const QString& name);

/// The name of a predefined root, "HKEY_CURRENT_USER" and so on; empty for other handles.
QString rootKeyName(qint32 root);

} // namespace nimbuscope
