#pragma once

#include "registry/RegistryApi.h"
#include "support/Clock.h"

namespace nimbuscope::test {

/// Passes every call on to another registry and keeps count: every call, and every value
/// written, by name, with the clock's time of the write. A name in `failWritesOf` is refused
/// as access denied.
class CountingRegistry final : public RegistryApi {
public:
    struct Write {
        QString name;
        QByteArray data;
        DateTime at;
    };

    CountingRegistry(RegistryApi& inner, const Clock& clock) : inner_(inner), clock_(clock) {}

    long openKey(qint32 root, const QString& subKey, quint32 access, Handle& out) override {
        ++calls;
        return inner_.openKey(root, subKey, access, out);
    }
    long createKey(qint32 root, const QString& subKey, quint32 access, Handle& out) override {
        ++calls;
        return inner_.createKey(root, subKey, access, out);
    }
    long closeKey(Handle key) override {
        ++calls;
        return inner_.closeKey(key);
    }
    long deleteKey(qint32 root, const QString& subKey) override {
        ++calls;
        return inner_.deleteKey(root, subKey);
    }
    long queryValue(Handle key, const QString& name, qint32& type, QByteArray* data,
                    quint32& size) override {
        ++calls;
        return inner_.queryValue(key, name, type, data, size);
    }
    long setValue(Handle key, const QString& name, qint32 type, const QByteArray& data) override {
        ++calls;
        if (failWritesOf.contains(name)) {
            return regstatus::AccessDenied;
        }
        const long status = inner_.setValue(key, name, type, data);
        if (status == regstatus::Success) {
            writes.append({name, data, clock_.now()});
        }
        return status;
    }
    long deleteValue(Handle key, const QString& name) override {
        ++calls;
        return inner_.deleteValue(key, name);
    }
    long enumValue(Handle key, quint32 index, QString& name) override {
        ++calls;
        return inner_.enumValue(key, index, name);
    }
    long enumKey(Handle key, quint32 index, QString& name) override {
        ++calls;
        return inner_.enumKey(key, index, name);
    }
    long queryMaxValueNameLength(Handle key, quint32& length) override {
        ++calls;
        return inner_.queryMaxValueNameLength(key, length);
    }
    QString expandEnvironmentStrings(const QString& text) override {
        return inner_.expandEnvironmentStrings(text);
    }
    qsizetype openHandleCount() const override { return inner_.openHandleCount(); }
    QString rootLocation(qint32 root) const override { return inner_.rootLocation(root); }

    /// The writes of value `name`, in order.
    QList<Write> writesOf(const QString& name) const {
        QList<Write> out;
        for (const Write& w : writes) {
            if (w.name == name) {
                out.append(w);
            }
        }
        return out;
    }

    int calls = 0;
    QList<Write> writes;
    QStringList failWritesOf;

private:
    RegistryApi& inner_;
    const Clock& clock_;
};

} // namespace nimbuscope::test
