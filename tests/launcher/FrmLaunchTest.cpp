#include "launcher/FrmLaunch.h"

#include "launcher/ScreenSaverHost.h"
#include "platform/ProgramStarter.h"
#include "support/Error.h"

#include "CountingRegistry.h"
#include "common/FakeClock.h"
#include "common/FakeDialogs.h"
#include "common/FakeProcessEnd.h"
#include "common/RegistryValue.h"
#include "common/TestWorld.h"

#include <gtest/gtest.h>

#include <functional>

using namespace nimbuscope;
using namespace nimbuscope::test;

namespace {

const QString kSystemFolder = QStringLiteral("/opt/nimbuscope/bin");
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

/// The system's screen-saver start, as the launcher's test sees it: what "SCRNSAVE.EXE" said
/// at that moment, and when.
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
protected:
    std::optional<int> launch() {
        FrmLaunch form(
            {platform, registry, clock, programs, host, dialogs, processEnd, kSystemFolder});
        EXPECT_EQ(form.windowTitle(), QStringLiteral("Nimbuscope Launcher"));
        const std::optional<int> status = endStatusOf([&] { form.Form_Load(); });
        EXPECT_FALSE(form.isVisible());
        return status;
    }
    void choose(const QString& saver) {
        desktopValue(*memory, FrmLaunch::kSaverValue).setValue(saver);
    }
    QVariant chosen() { return desktopValue(*memory, FrmLaunch::kSaverValue).value(); }

    TestWorld world;
    FakeClock clock;
    FakePlatform platform;
    std::unique_ptr<RegistryApi> memory = makeMemoryRegistry();
    CountingRegistry registry{*memory, clock};
    RecordingStarter programs;
    FakeHost host{registry, clock};
    FakeDialogs dialogs;
    FakeProcessEnd processEnd;
};

} // namespace

TEST_F(FrmLaunchTest, AnotherSaverIsPutBackAfterTheSaverHadTwoSecondsToStart) {
    // The comparison is exact: the saver's path in other case is another saver.
    for (const QString& other : {kOtherSaver, kSaver.toUpper()}) {
        SCOPED_TRACE(other.toStdString());
        choose(other);
        registry.writes.clear();
        host.seen.clear();
        EXPECT_EQ(launch(), 0);
        EXPECT_EQ(host.seen, QStringList{kSaver});
        const auto writes = registry.writesOf(kSaverValue);
        ASSERT_EQ(writes.size(), 2);
        EXPECT_GE(writes.at(1).at, host.startedAt.addSeconds(FrmLaunch::kStartWaitMs / 1000.0));
        EXPECT_EQ(chosen().toString(), other);
        EXPECT_EQ(desktopValue(*memory, FrmLaunch::kActiveValue).value().toString(),
                  QStringLiteral("1"));
    }
    EXPECT_TRUE(programs.started.isEmpty());
    EXPECT_TRUE(dialogs.messages.isEmpty());
}

TEST_F(FrmLaunchTest, TheSaverAlreadyChosenIsWrittenOnceAndNotPutBack) {
    choose(kSaver);
    EXPECT_EQ(launch(), 0);
    EXPECT_EQ(host.seen, QStringList{kSaver});
    EXPECT_EQ(registry.writesOf(kSaverValue).size(), 1);
    EXPECT_EQ(chosen().toString(), kSaver);
}

TEST_F(FrmLaunchTest, NoChoiceIsPutBackAsAnEmptyOne) {
    EXPECT_EQ(launch(), 0);
    EXPECT_EQ(host.seen, QStringList{kSaver});
    cRegistry reg = desktopValue(*memory, FrmLaunch::kSaverValue);
    EXPECT_TRUE(reg.ValueExists());
    EXPECT_EQ(reg.value().toString(), QString());
}

TEST_F(FrmLaunchTest, The9xFamilyRunsTheSaverAndLeavesTheRegistryAlone) {
    platform.platformId = 1;
    EXPECT_EQ(launch(), 0);
    EXPECT_EQ(programs.started, QStringList{kSaver + QStringLiteral("|/s")});
    EXPECT_EQ(registry.calls, 0);
    EXPECT_TRUE(host.seen.isEmpty());
    EXPECT_TRUE(dialogs.messages.isEmpty());
}

TEST_F(FrmLaunchTest, AStartThatFailsIsReportedOnEitherFamily) {
    platform.platformId = 1;
    programs.succeeds = false;
    EXPECT_EQ(launch(), FrmLaunch::kFailedStatus);
    EXPECT_EQ(dialogs.messages, QStringList{QStringLiteral("File not found")});
    EXPECT_EQ(registry.calls, 0);

    platform.platformId = OSVersionInfo::kNtPlatform;
    dialogs.messages.clear();
    choose(kOtherSaver);
    host.behaviour = [] { return false; };
    const DateTime before = clock.now();
    EXPECT_EQ(launch(), FrmLaunch::kFailedStatus);
    EXPECT_EQ(dialogs.messages, QStringList{QStringLiteral("File not found")});
    // Nothing started, so there is nothing to wait for; the user's choice is back.
    EXPECT_EQ(clock.now(), before);
    EXPECT_EQ(chosen().toString(), kOtherSaver);
}

TEST_F(FrmLaunchTest, AnErrorAfterTheSwapStillPutsTheChoiceBack) {
    choose(kOtherSaver);
    host.behaviour = []() -> bool {
        throw Error(err::OutOfMemory, QStringLiteral("Out of memory"));
    };
    EXPECT_EQ(launch(), FrmLaunch::kFailedStatus);
    EXPECT_EQ(dialogs.messages, QStringList{QStringLiteral("Out of memory")});
    EXPECT_EQ(chosen().toString(), kOtherSaver);
}

TEST_F(FrmLaunchTest, AnErrorBeforeTheSwapWritesNothingMore) {
    const struct {
        const char* refused;
    } rows[] = {{FrmLaunch::kActiveValue}, {FrmLaunch::kSaverValue}};
    for (const auto& row : rows) {
        SCOPED_TRACE(row.refused);
        choose(kOtherSaver);
        registry.writes.clear();
        registry.failWritesOf = QStringList{QString::fromLatin1(row.refused)};
        dialogs.messages.clear();
        host.seen.clear();
        EXPECT_EQ(launch(), FrmLaunch::kFailedStatus);
        EXPECT_EQ(dialogs.messages.size(), 1);
        EXPECT_TRUE(registry.writesOf(kSaverValue).isEmpty());
        EXPECT_TRUE(host.seen.isEmpty());
        EXPECT_EQ(chosen().toString(), kOtherSaver);
    }
}

TEST_F(FrmLaunchTest, TheSaverLiesInTheSystemFolder) {
    const struct {
        QString folder;
        QString saver;
    } rows[] = {
        {"/usr/bin", "/usr/bin/nimbuscope"},
        {"/usr/bin/", "/usr/bin/nimbuscope"},
        {QStringLiteral("/usr/bin") + QChar(0) + QStringLiteral("junk"), "/usr/bin/nimbuscope"},
    };
    for (const auto& row : rows) {
        const FrmLaunch form(
            {platform, registry, clock, programs, host, dialogs, processEnd, row.folder});
        EXPECT_EQ(form.saverPath(), row.saver);
    }
}

TEST(RegistryScreenSaverHost, RunsTheChosenSaverWithItsSwitch) {
    const auto registry = makeMemoryRegistry();
    RecordingStarter programs;
    RegistryScreenSaverHost host(*registry, programs);
    EXPECT_FALSE(host.startScreenSaver()); // nothing chosen
    EXPECT_TRUE(programs.started.isEmpty());

    desktopValue(*registry, FrmLaunch::kSaverValue).setValue(QStringLiteral("/a b/saver"));
    EXPECT_TRUE(host.startScreenSaver());
    EXPECT_EQ(programs.started, QStringList{QStringLiteral("/a b/saver|/s")});
    programs.succeeds = false;
    EXPECT_FALSE(host.startScreenSaver());
}
