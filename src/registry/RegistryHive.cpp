#include "registry/RegistryHive.h"

#include "registry/RegistryApi.h"

#include <algorithm>

namespace nimbuscope {

namespace {

bool sameName(const QString& a, const QString& b) {
    return a.compare(b, Qt::CaseInsensitive) == 0;
}

template <typename Key> auto* findChild(Key& key, const QString& keyName) {
    const auto it = std::find_if(key.subKeys.begin(), key.subKeys.end(),
                                 [&](const RegistryKey& k) { return sameName(k.name, keyName); });
    return it == key.subKeys.end() ? nullptr : &*it;
}

bool hasNoBreaks(const QString& name) {
    return !name.contains(QChar(0)) && !name.contains(QLatin1Char('\n')) &&
           !name.contains(QLatin1Char('\r')) && name.isValidUtf16();
}

} // namespace

RegistryKey* RegistryKey::findSubKey(const QString& keyName) {
    return findChild(*this, keyName);
}

const RegistryKey* RegistryKey::findSubKey(const QString& keyName) const {
    return findChild(*this, keyName);
}

const RegistryValue* RegistryKey::findValue(const QString& valueName) const {
    for (const RegistryValue& v : values) {
        if (sameName(v.name, valueName)) {
            return &v;
        }
    }
    return nullptr;
}

void RegistryKey::putValue(const QString& valueName, qint32 type, const QByteArray& data) {
    for (RegistryValue& v : values) {
        if (sameName(v.name, valueName)) {
            v.type = type;
            v.data = data;
            return;
        }
    }
    values.append(RegistryValue{valueName, type, data});
}

bool RegistryKey::removeValue(const QString& valueName) {
    return values.removeIf([&](const RegistryValue& v) { return sameName(v.name, valueName); }) > 0;
}

bool RegistryKey::removeSubKey(const QString& keyName) {
    return std::erase_if(subKeys, [&](const RegistryKey& k) { return sameName(k.name, keyName); }) >
           0;
}

RegistryKey* RegistryHive::find(const QStringList& path) {
    RegistryKey* key = &root;
    for (const QString& part : path) {
        key = key->findSubKey(part);
        if (key == nullptr) {
            return nullptr;
        }
    }
    return key;
}

const RegistryKey* RegistryHive::find(const QStringList& path) const {
    const RegistryKey* key = &root;
    for (const QString& part : path) {
        key = key->findSubKey(part);
        if (key == nullptr) {
            return nullptr;
        }
    }
    return key;
}

RegistryKey& RegistryHive::ensure(const QStringList& path) {
    RegistryKey* key = &root;
    for (const QString& part : path) {
        RegistryKey* child = key->findSubKey(part);
        if (child == nullptr) {
            key->subKeys.push_back(RegistryKey{part, {}, {}});
            child = &key->subKeys.back();
        }
        key = child;
    }
    return *key;
}

bool withinHiveLimits(const RegistryHive& hive) {
    struct Visit {
        const RegistryKey* key;
        qsizetype depth;
    };
    std::vector<Visit> pending{{&hive.root, 0}};
    qsizetype keys = 0;
    while (!pending.empty()) {
        const Visit visit = pending.back();
        pending.pop_back();
        for (const RegistryValue& v : visit.key->values) {
            if (v.data.size() > hivelimits::kMaxValueBytes) {
                return false;
            }
        }
        for (const RegistryKey& sub : visit.key->subKeys) {
            if (++keys > hivelimits::kMaxKeys || visit.depth + 1 > hivelimits::kMaxKeyDepth) {
                return false;
            }
            pending.push_back({&sub, visit.depth + 1});
        }
    }
    return true;
}

QStringList splitKeyPath(const QString& path) {
    return path.split(QLatin1Char('\\'), Qt::SkipEmptyParts);
}

bool isStorableKeyName(const QString& name) {
    return !name.isEmpty() && !name.contains(QLatin1Char('\\')) && hasNoBreaks(name);
}

bool isStorableValueName(const QString& name) {
    return hasNoBreaks(name);
}

QString rootKeyName(qint32 root) {
    switch (root) {
    case HKEY_CLASSES_ROOT:
        return QStringLiteral("HKEY_CLASSES_ROOT");
    case HKEY_CURRENT_USER:
        return QStringLiteral("HKEY_CURRENT_USER");
    case HKEY_LOCAL_MACHINE:
        return QStringLiteral("HKEY_LOCAL_MACHINE");
    default:
        return {};
    }
}

} // namespace nimbuscope
