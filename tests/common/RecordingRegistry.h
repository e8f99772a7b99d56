#pragma once

#include "registry/RegistryApi.h"

#include <QStringList>

namespace nimbuscope::test {

/// Passes every call on to another registry, keeping the names written, in order; a name in
/// `failWritesOf` is refused as access denied.
class RecordingRegistry final : public RegistryApi {
public:
    explicit RecordingRegistry(RegistryApi& inner) : inner_(inner) {}
    long openKey(qint32 root, const QString& key, quint32 access, Handle& out) override {
        return ++calls, inner_.openKey(root, key, access, out);
    }
    long createKey(qint32 root, const QString& key, quint32 access, Handle& out) override {
        return ++calls, inner_.createKey(root, key, access, out);
    }
    long closeKey(Handle key) override { return inner_.closeKey(key); }
    long deleteKey(qint32 root, const QString& key) override { return inner_.deleteKey(root, key); }
    long queryValue(Handle key, const QString& name, qint32& type, QByteArray* data,
                    quint32& size) override {
        return inner_.queryValue(key, name, type, data, size);
    }
    long setValue(Handle key, const QString& name, qint32 type, const QByteArray& data) override {
        if (failWritesOf.contains(name)) {
            return regstatus::AccessDenied;
        }
        writes.append(name);
        return inner_.setValue(key, name, type, data);
    }
    long deleteValue(Handle key, const QString& name) override {
        return inner_.deleteValue(key, name);
    }
    long enumValue(Handle key, quint32 index, QString& name) override {
        return inner_.enumValue(key, index, name);
    }
    long enumKey(Handle key, quint32 index, QString& name) override {
        return inner_.enumKey(key, index, name);
    }
    long queryMaxValueNameLength(Handle key, quint32& length) override {
        return inner_.queryMaxValueNameLength(key, length);
    }
    QString expandEnvironmentStrings(const QString& text) override {
        return inner_.expandEnvironmentStrings(text);
    }
    qsizetype openHandleCount() const override { return inner_.openHandleCount(); }

    int calls = 0; // keys opened or created
    QStringList writes;
    QStringList failWritesOf;

private:
    RegistryApi& inner_;
};

} // namespace nimbuscope::test
