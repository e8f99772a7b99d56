#pragma once

#include "platform/InstanceLocks.h"
#include "registry/MemoryRegistry.h"
#include "retrieval/PageRetriever.h"
#include "settings/RegistryValues.h"
#include "setup/FrmSetup.h"
#include "support/Log.h"

#include "common/FakeClock.h"
#include "common/FakeDialogs.h"
#include "common/FakeRetriever.h"
#include "common/RegistryValue.h"
#include "common/TestWorld.h"

#include <QStringList>
#include <gtest/gtest.h>

#include <memory>
#include <ostream>

/// Lets test failures show texts as texts.
inline void PrintTo(const QString& text, std::ostream* out) {
    *out << '"' << text.toStdString() << '"';
}

namespace nimbuscope::test {

/// One setup dialog in a private world: memory registry, scripted dialogs and a small radar
/// site list in the home folder.
class SetupRig {
public:
    static constexpr const char* kValidationHost = "validate.test:8080";

    SetupRig()
        : log(clock, platform),
          settings(registry, platform, log, world.root() + QStringLiteral("/share")),
          locks(world.runtimeDir()) {
        store(QStringLiteral("validationServerHost"), QLatin1String(kValidationHost));
        // A small list in the file's own form: two states, three cities.
        world.writeFile(
            QStringLiteral("share/RadarList.txt"),
            "STATE: KS\r\n"
            "\"http://radar.test/radar/latest/DS.p19r0/si.kddc.shtml\",\"Dodge City\",\"67801\"\r\n"
            "\"http://radar.test/radar/latest/DS.p19r0/si.ktwx.shtml\",\"Topeka\",\"66614\"\r\n"
            "STATE: MO\r\n"
            "\"http://radar.test/radar/latest/DS.p19r0/si.keax.shtml\",\"Kansas "
            "City\",\"64106\"\r\n");
    }

    /// Stores a setting in the machine root, where the memory registry keeps them.
    void store(const QString& name, const QVariant& value) {
        storeRegistryValue(registry, HKEY_LOCAL_MACHINE, QLatin1String(RegistryValues::kProductKey),
                           name, value);
    }
    /// Expects each "name=value" setting to be stored with that value, and each bare name not
    /// to be stored.
    void expectStored(std::initializer_list<const char*> expected) {
        for (const QString item : expected) {
            const QString name = item.section(u'=', 0, 0);
            cRegistry reg = registryValue(registry, HKEY_LOCAL_MACHINE,
                                          QLatin1String(RegistryValues::kProductKey), name);
            EXPECT_EQ(reg.ValueExists() ? name + u'=' + reg.value().toString() : name, item);
        }
    }

    /// Loads the settings, then loads and first activates the dialog, as its caller would.
    FrmSetup& open() {
        settings.loadRegistryValues();
        dialog = std::make_unique<FrmSetup>(
            FrmSetupKit{settings, log, dialogs, locks, slot, [this] { ++validations; }});
        QObject::connect(dialog.get(), &QDialog::finished,
                         [this](int result) { closedWith = result; });
        dialog->Form_Activate();
        return *dialog;
    }

    /// Puts a scripted component in the slot, as the saver window holds one.
    FakeRetriever& withComponent() {
        auto made = std::make_unique<FakeRetriever>();
        FakeRetriever& retriever = *made;
        slot.reset(std::move(made));
        return retriever;
    }

    QString queryFor(const QString& zip) const {
        return QStringLiteral("http://") + QLatin1String(kValidationHost) +
               QStringLiteral("/zipcity.php?inputstring=") + zip;
    }

    TestWorld world;
    FakeClock clock;
    FakePlatform platform;
    Log log;
    MemoryRegistry registry;
    RegistryValues settings;
    FakeDialogs dialogs;
    FileInstanceLocks locks;
    ComponentFactory components;
    RetrieverSlot slot{components};
    int validations = 0;
    std::optional<int> closedWith;
    std::unique_ptr<FrmSetup> dialog;
};

} // namespace nimbuscope::test
