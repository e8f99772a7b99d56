#include "registry/HiveRegistry.h"

#include "platform/LinuxPlatform.h"
#include "support/StringUtils.h"

#include <algorithm>

namespace nimbuscope {

namespace {

bool storablePath(const QStringList& path) {
    return std::all_of(path.begin(), path.end(), isStorableKeyName);
}

} // namespace

bool isTextType(qint32 type) {
    return type == REG_SZ || type == REG_EXPAND_SZ || type == REG_MULTI_SZ;
}

QByteArray storedFromAnsi(qint32 type, const QByteArray& ansi) {
    if (!isTextType(type)) {
        return ansi;
    }
    const QString text = ansiToText(ansi);
    return QByteArray(reinterpret_cast<const char*>(text.utf16()), text.size() * 2);
}

QByteArray ansiFromStored(qint32 type, const QByteArray& stored) {
    if (!isTextType(type)) {
        return stored;
    }
    return textToAnsi(utf16Text(stored.constData(), stored.size() / 2));
}

void HiveRegistry::addRoot(qint32 root, std::unique_ptr<HiveStore> store) {
    stores_[root] = std::move(store);
}

HiveStore* HiveRegistry::storeOf(qint32 root) const {
    const auto it = stores_.find(root);
    return it == stores_.end() ? nullptr : it->second.get();
}

long HiveRegistry::resolve(qint32 rootOrHandle, const QString& subKey, Target& target) const {
    const QStringList below = splitKeyPath(subKey);
    if (HiveStore* store = storeOf(rootOrHandle)) {
        target = {rootOrHandle, below, store};
        return regstatus::Success;
    }
    if (const OpenRegistryKey* open = handles_.find(Handle(rootOrHandle))) {
        target = {open->root, open->path + below, storeOf(open->root)};
        return regstatus::Success;
    }
    return regstatus::InvalidHandle;
}

long HiveRegistry::openKey(qint32 root, const QString& subKey, quint32 access, Handle& out) {
    Target target;
    if (const long status = resolve(root, subKey, target); status != regstatus::Success) {
        return status;
    }
    if ((access & regaccess::WriteRights) != 0 && !target.store->writable()) {
        return regstatus::AccessDenied;
    }
    RegistryHive hive;
    if (const long status = target.store->read(hive); status != regstatus::Success) {
        return status;
    }
    if (hive.find(target.path) == nullptr) {
        return regstatus::FileNotFound;
    }
    out = handles_.open({target.root, target.path, access});
    return regstatus::Success;
}

long HiveRegistry::createKey(qint32 root, const QString& subKey, quint32 access, Handle& out) {
    Target target;
    if (const long status = resolve(root, subKey, target); status != regstatus::Success) {
        return status;
    }
    if (!storablePath(target.path)) {
        return regstatus::InvalidParameter;
    }
    // Opening an existing key to read it needs no write access to the root.
    if ((access & regaccess::WriteRights) == 0) {
        RegistryHive hive;
        if (target.store->read(hive) == regstatus::Success && hive.find(target.path)) {
            out = handles_.open({target.root, target.path, access});
            return regstatus::Success;
        }
    }
    const long status = target.store->update([&](RegistryHive& hive) {
        hive.ensure(target.path);
        return regstatus::Success;
    });
    if (status == regstatus::Success) {
        out = handles_.open({target.root, target.path, access});
    }
    return status;
}

long HiveRegistry::closeKey(Handle key) {
    return handles_.close(key) ? regstatus::Success : regstatus::InvalidHandle;
}

long HiveRegistry::deleteKey(qint32 root, const QString& subKey) {
    Target target;
    if (const long status = resolve(root, subKey, target); status != regstatus::Success) {
        return status;
    }
    if (target.path.isEmpty()) {
        return regstatus::AccessDenied; // a root cannot be deleted
    }
    const QStringList parentPath = target.path.mid(0, target.path.size() - 1);
    const QString name = target.path.last();
    return target.store->update([&](RegistryHive& hive) {
        RegistryKey* parent = hive.find(parentPath);
        const RegistryKey* key = parent != nullptr ? parent->findSubKey(name) : nullptr;
        if (key == nullptr) {
            return regstatus::FileNotFound;
        }
        if (!key->subKeys.empty()) {
            return regstatus::AccessDenied;
        }
        parent->removeSubKey(name);
        return regstatus::Success;
    });
}

long HiveRegistry::readKey(Handle key, quint32 needed, RegistryHive& hive,
                           const RegistryKey*& found) {
    const OpenRegistryKey* open = handles_.find(key);
    if (open == nullptr) {
        return regstatus::InvalidHandle;
    }
    if ((open->access & needed) != needed) {
        return regstatus::AccessDenied;
    }
    if (const long status = storeOf(open->root)->read(hive); status != regstatus::Success) {
        return status;
    }
    found = hive.find(open->path);
    return found != nullptr ? regstatus::Success : regstatus::KeyDeleted;
}

long HiveRegistry::changeKey(Handle key, quint32 needed,
                             const std::function<long(RegistryKey&)>& change) {
    const OpenRegistryKey* open = handles_.find(key);
    if (open == nullptr) {
        return regstatus::InvalidHandle;
    }
    if ((open->access & needed) != needed) {
        return regstatus::AccessDenied;
    }
    const QStringList path = open->path;
    return storeOf(open->root)->update([&](RegistryHive& hive) {
        RegistryKey* found = hive.find(path);
        return found != nullptr ? change(*found) : regstatus::KeyDeleted;
    });
}

long HiveRegistry::queryValue(Handle key, const QString& name, qint32& type, QByteArray* data,
                              quint32& size) {
    RegistryHive hive;
    const RegistryKey* found = nullptr;
    if (const long status = readKey(key, regaccess::QueryValue, hive, found);
        status != regstatus::Success) {
        return status;
    }
    const RegistryValue* value = found->findValue(name);
    if (value == nullptr) {
        return regstatus::FileNotFound;
    }
    type = value->type;
    const QByteArray bytes = ansiFromStored(value->type, value->data);
    const auto needed = quint32(bytes.size());
    if (data != nullptr && size < needed) {
        size = needed;
        return regstatus::MoreData;
    }
    size = needed;
    if (data != nullptr) {
        *data = bytes;
    }
    return regstatus::Success;
}

long HiveRegistry::setValue(Handle key, const QString& name, qint32 type, const QByteArray& data) {
    if (!isStorableValueName(name)) {
        return regstatus::InvalidParameter;
    }
    const QByteArray stored = storedFromAnsi(type, data);
    return changeKey(key, regaccess::SetValue, [&](RegistryKey& k) {
        k.putValue(name, type, stored);
        return regstatus::Success;
    });
}

long HiveRegistry::deleteValue(Handle key, const QString& name) {
    return changeKey(key, regaccess::SetValue, [&](RegistryKey& k) {
        return k.removeValue(name) ? regstatus::Success : regstatus::FileNotFound;
    });
}

long HiveRegistry::enumValue(Handle key, quint32 index, QString& name) {
    RegistryHive hive;
    const RegistryKey* found = nullptr;
    if (const long status = readKey(key, regaccess::QueryValue, hive, found);
        status != regstatus::Success) {
        return status;
    }
    if (index >= quint32(found->values.size())) {
        return regstatus::NoMoreItems;
    }
    name = found->values.at(index).name;
    return regstatus::Success;
}

long HiveRegistry::enumKey(Handle key, quint32 index, QString& name) {
    RegistryHive hive;
    const RegistryKey* found = nullptr;
    if (const long status = readKey(key, regaccess::EnumerateSubKeys, hive, found);
        status != regstatus::Success) {
        return status;
    }
    if (index >= found->subKeys.size()) {
        return regstatus::NoMoreItems;
    }
    name = found->subKeys.at(index).name;
    return regstatus::Success;
}

long HiveRegistry::queryMaxValueNameLength(Handle key, quint32& length) {
    RegistryHive hive;
    const RegistryKey* found = nullptr;
    if (const long status = readKey(key, regaccess::QueryValue, hive, found);
        status != regstatus::Success) {
        return status;
    }
    length = 0;
    for (const RegistryValue& v : found->values) {
        length = std::max(length, quint32(v.name.size()));
    }
    return regstatus::Success;
}

QString HiveRegistry::rootLocation(qint32 root) const {
    const HiveStore* store = storeOf(root);
    return store != nullptr ? store->location() : QString();
}

QString HiveRegistry::expandEnvironmentStrings(const QString& text) {
    return LinuxPlatform().expandEnvironmentStrings(text);
}

} // namespace nimbuscope
