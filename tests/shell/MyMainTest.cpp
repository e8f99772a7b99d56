#include "shell/MyMain.h"

#include "settings/RegistryValues.h"
#include "shell/ModeOpeners.h"

#include "ShellRig.h"
#include "common/RegistryValue.h"

#include <csignal>

using namespace nimbuscope;
using namespace nimbuscope::test;

namespace {

constexpr qint32 kStoredAnimationRate = 321;

/// Remembers every mode opened as "<mode> <window> <saver mode>", checking that the settings
/// were loaded first.
class RecordingOpeners final : public ModeOpeners {
public:
    void openSaver(SaverApp& app) override { record(app, "saver", 0); }
    bool openPreview(SaverApp& app, qint32 parentHandle) override {
        record(app, "preview", parentHandle);
        return previewStaysLoaded;
    }
    void openSetup(SaverApp& app) override { record(app, "setup", 0); }
    bool saverHasHost() const override { return false; }

    QStringList opened;
    bool previewStaysLoaded = true;

private:
    void record(SaverApp& app, const char* mode, qint32 handle) {
        EXPECT_EQ(app.settings().getAnimationRateMS(), kStoredAnimationRate) << mode;
        opened.append(QStringLiteral("%1 %2 %3").arg(mode).arg(handle).arg(app.gbSaverMode));
    }
};

class RecordingPasswords final : public PasswordServices {
public:
    bool changePassword(qint32 ownerHandle) override {
        changeCalls.push_back(ownerHandle);
        return false;
    }
    bool verifyPassword(qint32) override { return true; }

    std::vector<qint32> changeCalls;
};

class MyMainTest : public ShellRig<RecordingPasswords> {
protected:
    MyMainTest() {
        storeRegistryValue(registry, HKEY_LOCAL_MACHINE,
                           QString::fromLatin1(RegistryValues::kProductKey),
                           QStringLiteral("animationRateMS"), kStoredAnimationRate);
    }

    /// Runs the entry point: the status the program ended with, or nothing when it returned
    /// (then `after` says what main does next).
    std::optional<int> start(const QString& cmd) {
        app.keepInstanceHold(nullptr); // each start is a process of its own
        after.reset();
        openers.opened.clear();
        app.gbSaverMode = false; // start-up must set it, whatever it was
        return endStatusOf([&] { after = Main(app, openers, cmd); });
    }

    RecordingOpeners openers;
    std::optional<AfterEntry> after;
};

} // namespace

// Unknown switches end at once without a window; the password change opens none either. A
// loaded preview needs the event loop; the rest return to main.
TEST_F(MyMainTest, EachSwitchOpensItsModeWithTheSettingsLoaded) {
    using A = AfterEntry;
    const struct {
        const char* cmd;
        const char* opened; // empty: none
        std::optional<int> ended;
        std::optional<AfterEntry> after;
        std::vector<qint32> passwordOwner;
    } rows[] = {
        {"", "saver 0 1", {}, A::Return, {}},
        {"/s", "saver 0 1", {}, A::Return, {}},
        {"/p 1234", "preview 1234 0", {}, A::RunEventLoop, {}},
        {"/c", "setup 0 0", 0, {}, {}},
        {"-s", "", 0, {}, {}},
        {"/x", "", 0, {}, {}},
        {"/a 4711", "", {}, A::Return, {4711}},
        {"/a:99", "", {}, A::Return, {0}},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.cmd);
        passwords.changeCalls.clear();
        EXPECT_EQ(start(QLatin1String(row.cmd)), row.ended);
        EXPECT_EQ(after, row.after);
        EXPECT_EQ(openers.opened.join(u'|'), QLatin1String(row.opened));
        EXPECT_EQ(passwords.changeCalls, row.passwordOwner);
        EXPECT_TRUE(dialogs.messages.isEmpty());
    }
    openers.previewStaysLoaded = false;
    EXPECT_EQ(start(QStringLiteral("/p 42")), std::nullopt);
    EXPECT_EQ(after, AfterEntry::Return);
}

TEST_F(MyMainTest, AnEndAskedForBeforeAnyFormGivesAnOrderlyOneDiesOfTheSignal) {
    EXPECT_EQ(endStatusOf([&] { app.requestEnd(SIGTERM); }), 128 + SIGTERM);
    EXPECT_EQ(processEnd.endedBySignal, SIGTERM);
}
