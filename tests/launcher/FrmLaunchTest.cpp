#include "launcher/FrmLaunch.h"

#include "launcher/ScreenSaverHost.h"
#include "platform/ProgramStarter.h"
#include "support/Error.h"

#include "common/FakeClock.h"
#include "common/FakeDialogs.h"
#include "common/FakeProcessEnd.h"
#include "common/RecordingRegistry.h"
#include "common/RegistryValue.h"
#include "common/TestWorld.h"

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

class RecordingStarter final : public ProgramStarter {
public:
    bool startDetached(const QString& program, const QStringList& arguments) override {
        started.append(program + QLatin1Char('|') + arguments.join(QLatin1Char('|')));
        return succeeds;
    }
    QStringList started;
    bool succeeds = true;
};

/// The system's screen-saver start: what the chosen saver was at that moment, and when.
class FakeHost final : public ScreenSaverHost {
public:
    FakeHost(RegistryApi& registry, const Clock& clock) : registry_(registry), clock_(clock) {}
    bool startScreenSaver() override {
        seen.append(desktopValue(registry_, FrmLaunch::kSaverValue).value().toString());
        startedAt = clock_.now();
        return behaviour ? behaviour() : true;
    }
    QStringList seen;
    DateTime startedAt;
    std::function<bool()> behaviour;

private:
    RegistryApi& registry_;
    const Clock& clock_;
};

class FrmLaunchTest : public ::testing::Test {
public:
    FrmLaunch form(const QString& systemFolder = QStringLiteral("/opt/nimbuscope/bin")) {
        return FrmLaunch(
            {platform, registry, clock, programs, host, dialogs, processEnd, systemFolder});
    }
    std::optional<int> launch() {
        FrmLaunch launcher = form();
        host.seen.clear();
        registry.writes.clear();
        dialogs.messages.clear();
        return endStatusOf([&] { launcher.Form_Load(); });
    }
    void choose(const QString& saver) {
        desktopValue(*memory, FrmLaunch::kSaverValue).setValue(saver);
    }
    QVariant chosen() { return desktopValue(*memory, FrmLaunch::kSaverValue).value(); }

    TestWorld world;
    FakeClock clock;
    FakePlatform platform;
    std::unique_ptr<RegistryApi> memory = makeMemoryRegistry();
    RecordingRegistry registry{*memory};
    RecordingStarter programs;
    FakeHost host{registry, clock};
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
            choose(other);
        }
        const DateTime before = clock.now();
        EXPECT_EQ(launch(), 0);
        EXPECT_EQ(host.seen, QStringList{kSaver});
        EXPECT_TRUE(desktopValue(*memory, FrmLaunch::kSaverValue).ValueExists());
        EXPECT_EQ(chosen().toString(), other);
        EXPECT_EQ(registry.writes.count(kSaverValue), other == kSaver ? 1 : 2);
        EXPECT_GE(clock.now(),
                  before.addSeconds(other == kSaver ? 0 : FrmLaunch::kStartWaitMs / 1000.0));
        EXPECT_EQ(desktopValue(*memory, FrmLaunch::kActiveValue).value().toString(), "1");
    }
    EXPECT_TRUE(programs.started.isEmpty());
    EXPECT_TRUE(dialogs.messages.isEmpty());
}

TEST_F(FrmLaunchTest, The9xFamilyRunsTheSaverAndLeavesTheRegistryAlone) {
    platform.platformId = 1;
    EXPECT_EQ(launch(), 0);
    EXPECT_EQ(programs.started, QStringList{kSaver + QStringLiteral("|/s")});
    EXPECT_EQ(registry.calls, 0);
    EXPECT_TRUE(host.seen.isEmpty());
}

// A start that fails, or an error after the swap, is reported and the choice put back; an error
// before the swap writes nothing more.
TEST_F(FrmLaunchTest, AFailureIsReportedAndTheUsersChoiceKept) {
    const struct {
        const char* name;
        std::function<void(FrmLaunchTest&)> arrange;
        const char* message;
    } rows[] = {
        {"9x", [](auto& t) { t.platform.platformId = 1, t.programs.succeeds = false; },
         "File not found"},
        {"NT", [](auto& t) { t.host.behaviour = [] { return false; }; }, "File not found"},
        {"thrown",
         [](auto& t) {
             t.host.behaviour = []() -> bool {
                 throw Error(err::OutOfMemory, QStringLiteral("Out of memory"));
             };
         },
         "Out of memory"},
        {"active refused",
         [](auto& t) { t.registry.failWritesOf = {QLatin1String(FrmLaunch::kActiveValue)}; },
         nullptr},
        {"saver refused", [](auto& t) { t.registry.failWritesOf = {kSaverValue}; }, nullptr},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        FrmLaunchTest& t = *this;
        t.platform.platformId = OSVersionInfo::kNtPlatform;
        t.programs.succeeds = true;
        t.host.behaviour = nullptr;
        t.registry.failWritesOf.clear();
        choose(kOtherSaver);
        row.arrange(t);
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
        EXPECT_EQ(chosen().toString(), kOtherSaver);
    }
}

TEST_F(FrmLaunchTest, TheSaverLiesInTheSystemFolder) {
    for (const QString& folder : {QStringLiteral("/usr/bin"), QStringLiteral("/usr/bin/"),
                                  QStringLiteral("/usr/bin") + QChar(0) + QStringLiteral("junk")}) {
        EXPECT_EQ(form(folder).saverPath(), QStringLiteral("/usr/bin/nimbuscope"));
    }
}

TEST(RegistryScreenSaverHost, RunsTheChosenSaverWithItsSwitch) {
    const auto registry = makeMemoryRegistry();
    RecordingStarter programs;
    RegistryScreenSaverHost host(*registry, programs);
    EXPECT_FALSE(host.startScreenSaver()); // nothing chosen
    desktopValue(*registry, FrmLaunch::kSaverValue).setValue(QStringLiteral("/a b/saver"));
    EXPECT_TRUE(host.startScreenSaver());
    EXPECT_EQ(programs.started, QStringList{QStringLiteral("/a b/saver|/s")});
    programs.succeeds = false;
    EXPECT_FALSE(host.startScreenSaver());
}
