#pragma once

#include "registry/HiveStore.h"
#include "registry/RegistryApi.h"
#include "registry/RegistryHandleTable.h"

#include <map>
#include <memory>

namespace nimbuscope {

/// The registry calls over one hive store per predefined root.
///
/// As with the system's ANSI registry calls, text data crosses this interface as
/// Windows-1252 bytes with their terminator, while the hive keeps it as UTF-16LE; other
/// types pass unchanged. Keys opened with rights to change them are refused on a root the
/// user may not write. A root given as an open handle is taken relative to that key.
/// Deleting a key that still has sub-keys is refused, as on the NT family.
class HiveRegistry : public RegistryApi {
public:
    void addRoot(qint32 root, std::unique_ptr<HiveStore> store);

    long openKey(qint32 root, const QString& subKey, quint32 access, Handle& out) override;
    long createKey(qint32 root, const QString& subKey, quint32 access, Handle& out) override;
    long closeKey(Handle key) override;
    long deleteKey(qint32 root, const QString& subKey) override;
    long queryValue(Handle key, const QString& name, qint32& type, QByteArray* data,
                    quint32& size) override;
    long setValue(Handle key, const QString& name, qint32 type, const QByteArray& data) override;
    long deleteValue(Handle key, const QString& name) override;
    long enumValue(Handle key, quint32 index, QString& name) override;
    long enumKey(Handle key, quint32 index, QString& name) override;
    long queryMaxValueNameLength(Handle key, quint32& length) override;
    QString expandEnvironmentStrings(const QString& text) override;
    qsizetype openHandleCount() const override { return handles_.size(); }
    QString rootLocation(qint32 root) const override;

protected:
    HiveStore* storeOf(qint32 root) const;

private:
    struct Target {
        qint32 root = 0;
        QStringList path;
        HiveStore* store = nullptr;
    };

    /// The predefined root and full path that `rootOrHandle` and `subKey` name.
    long resolve(qint32 rootOrHandle, const QString& subKey, Target& target) const;
    /// Reads the key behind an open handle that holds `needed` rights.
    long readKey(Handle key, quint32 needed, RegistryHive& hive, const RegistryKey*& found);
    /// Changes the key behind an open handle that holds `needed` rights.
    long changeKey(Handle key, quint32 needed, const std::function<long(RegistryKey&)>& change);

    std::map<qint32, std::unique_ptr<HiveStore>> stores_;
    RegistryHandleTable handles_;
};

/// Text types travel as ANSI bytes through the registry calls and are kept as UTF-16LE.
bool isTextType(qint32 type);
QByteArray storedFromAnsi(qint32 type, const QByteArray& ansi);
QByteArray ansiFromStored(qint32 type, const QByteArray& stored);

} // namespace nimbuscope
