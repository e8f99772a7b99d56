#include "launcher/FrmLaunch.h"

#include "launcher/ScreenSaverHost.h"
#include "platform/ProgramStarter.h"
#include "support/Error.h"

#include "common/FakeClock.h"
#include "common/FakeDialogs.h"
#include "common/FakeProcessEnd.h"
#include "common/RecordingRegistry.h"
#include "common/RegistryValue.h"

#include <gtest/gtest.h>

#include <functional>

using namespace nimbuscope;
using namespace nimbuscope::test;

namespace {

const QString kSaver = QStringLiteral("/opt/nimbuscope/bin/nimbuscope");
const QString kOtherSaver = QStringLiteral("/usr/lib/xscreen/other-saver");
const QString kSaverValue = QString::fromLatin1(FrmLaunch::kSaverValue);

cRegistry desktopValue(RegistryApi& api, const char* name) {
    return registryValue(api, HKEY_CURRENT_USER, QString::fromLatin1(FrmLaunch::kDesktopKey),
                         QString::fromLatin1(name));
}

/// The system's screen-saver start: what the chosen saver was at that moment.
class FakeHost final : public ScreenSaverHost {
public:
    explicit FakeHost(RegistryApi& registry) : registry_(registry) {}
    bool startScreenSaver() override {
        seen.append(desktopValue(registry_, FrmLaunch::kSaverValue).value().toString());
        return behaviour ? behaviour() : true;
    }
    QStringList seen;
    std::function<bool()> behaviour;

private:
    RegistryApi& registry_;
};

class NoPrograms final : public ProgramStarter {
public:
    bool startDetached(const QString&, const QStringList&) override { return false; }
};

class FrmLaunchTest : public ::testing::Test {
public:
    std::optional<int> launch() {
        FrmLaunch launcher({platform, registry, clock, programs, host, dialogs, processEnd,
                            QStringLiteral("/opt/nimbuscope/bin/")});
        host.seen.clear();
        registry.writes.clear();
        dialogs.messages.clear();
        return endStatusOf([&] { launcher.Form_Load(); });
    }
    QString chosen() { return desktopValue(*memory, FrmLaunch::kSaverValue).value().toString(); }

    FakeClock clock;
    FakePlatform platform;
    std::unique_ptr<RegistryApi> memory = makeMemoryRegistry();
    RecordingRegistry registry{*memory};
    NoPrograms programs;
    FakeHost host{registry};
    FakeDialogs dialogs;
    FakeProcessEnd processEnd;
};

} // namespace

// The system starts the saver chosen, so ours is chosen for the start and the user's choice
// (compared exactly: another case is another saver; none is put back as an empty one) is put
// back once the saver had two seconds to start.
TEST_F(FrmLaunchTest, OurSaverIsChosenForTheStartAndTheUsersChoicePutBack) {
    for (const QString& other : {QString(), kOtherSaver, kSaver.toUpper(), kSaver}) {
        SCOPED_TRACE(other.toStdString());
        if (!other.isEmpty()) {
            desktopValue(*memory, FrmLaunch::kSaverValue).setValue(other);
        }
        const DateTime before = clock.now();
        EXPECT_EQ(launch(), 0);
        EXPECT_EQ(host.seen, QStringList{kSaver});
        EXPECT_TRUE(desktopValue(*memory, FrmLaunch::kSaverValue).ValueExists());
        EXPECT_EQ(chosen(), other);
        EXPECT_EQ(registry.writes.count(kSaverValue), other == kSaver ? 1 : 2);
        EXPECT_GE(clock.now(),
                  before.addSeconds(other == kSaver ? 0 : FrmLaunch::kStartWaitMs / 1000.0));
        EXPECT_EQ(desktopValue(*memory, FrmLaunch::kActiveValue).value().toString(), "1");
        EXPECT_TRUE(dialogs.messages.isEmpty());
    }
}

// A start that fails, or an error after the swap, is reported and the choice put back; an error
// before the swap writes nothing more.
TEST_F(FrmLaunchTest, AFailureIsReportedAndTheUsersChoiceKept) {
    const struct {
        const char* name;
        std::function<bool()> start;
        QStringList refusedWrites;
        const char* message; // null: the registry's own
    } rows[] = {
        {"not started", [] { return false; }, {}, "File not found"},
        {"thrown",
         []() -> bool { throw Error(err::OutOfMemory, QStringLiteral("Out of memory")); },
         {},
         "Out of memory"},
        {"active refused", nullptr, {QLatin1String(FrmLaunch::kActiveValue)}, nullptr},
        {"saver refused", nullptr, {kSaverValue}, nullptr},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        desktopValue(*memory, FrmLaunch::kSaverValue).setValue(kOtherSaver);
        host.behaviour = row.start;
        registry.failWritesOf = row.refusedWrites;
        const DateTime before = clock.now();
        EXPECT_EQ(launch(), FrmLaunch::kFailedStatus);
        ASSERT_EQ(dialogs.messages.size(), 1);
        if (row.message != nullptr) {
            EXPECT_EQ(dialogs.messages.front(), QLatin1String(row.message));
            EXPECT_EQ(clock.now(), before) << "nothing started, nothing to wait for";
        } else {
            EXPECT_EQ(registry.writes.count(kSaverValue), 0);
            EXPECT_TRUE(host.seen.isEmpty());
        }
        EXPECT_EQ(chosen(), kOtherSaver);
    }
}
