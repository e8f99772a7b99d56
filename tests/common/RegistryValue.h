#pragma once

#include "settings/cRegistry.h"

#include <QVariant>

namespace nimbuscope::test {

/// A cRegistry aimed at one value, as the settings code aims it. Tests that include this
/// link the settings library.
inline cRegistry registryValue(RegistryApi& registry, qint32 root, const QString& key,
                               const QString& name, qint32 type = REG_SZ) {
    cRegistry reg(registry);
    reg.setClassKey(root);
    reg.setSectionKey(key);
    reg.setValueKey(name);
    reg.setValueType(type);
    return reg;
}

/// Stores text as REG_SZ and anything else as a DWORD; an invalid value stores nothing.
inline void storeRegistryValue(RegistryApi& registry, qint32 root, const QString& key,
                               const QString& name, const QVariant& value) {
    if (value.isValid()) {
        registryValue(registry, root, key, name,
                      value.typeId() == QMetaType::QString ? REG_SZ : REG_DWORD)
            .setValue(value);
    }
}

} // namespace nimbuscope::test
