#include "shell/MyMain.h"

#include "settings/RegistryValues.h"
#include "shell/ModeOpeners.h"

#include "ShellRig.h"
#include "common/RegistryValue.h"

#include <QCoreApplication>

#include <csignal>
#include <functional>

using namespace nimbuscope;
using namespace nimbuscope::test;

namespace {

constexpr qint32 kStoredAnimationRate = 321;

/// Remembers every mode opened, with what the form would see when it loads.
class RecordingOpeners final : public ModeOpeners {
public:
    struct Opened {
        QString mode;
        qint32 handle = 0;
        bool saverMode = false;
        qint32 animationRate = 0;
        bool probed = false;
    };

    void openSaver(SaverApp& app) override { record(app, QStringLiteral("saver"), 0); }
    bool openPreview(SaverApp& app, qint32 parentHandle) override {
        record(app, QStringLiteral("preview"), parentHandle);
        return previewStaysLoaded;
    }
    void openSetup(SaverApp& app) override { record(app, QStringLiteral("setup"), 0); }
    bool saverHasHost() const override { return hasHost; }

    std::vector<Opened> opened;
    bool previewStaysLoaded = true;
    bool hasHost = false;
    /// Asked as each form opens; its answer is kept in `probed`.
    std::function<bool()> probe;

private:
    void record(SaverApp& app, const QString& mode, qint32 handle) {
        opened.push_back(
            {mode, handle, app.gbSaverMode, app.settings().getAnimationRateMS(), probe && probe()});
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
        return endStatusOf([&] { after = Main(app, openers, cmd); });
    }

    RecordingOpeners openers;
    std::optional<AfterEntry> after;
};

} // namespace

// Unknown switches end at once without a window; the password change opens none either.
TEST_F(MyMainTest, EachSwitchOpensItsModeWithTheSettingsLoaded) {
    const struct {
        const char* cmd;
        const char* mode; // empty: none opens
        qint32 handle;
        bool saverMode;
        std::optional<int> ended;
        std::vector<qint32> passwordOwner;
    } rows[] = {
        {"", "saver", 0, true, {}, {}},
        {"/s", "saver", 0, true, {}, {}},
        {"/p 1234", "preview", 1234, false, {}, {}},
        {"/c", "setup", 0, false, 0, {}},
        {"-s", "", 0, true, 0, {}},
        {"/x", "", 0, true, 0, {}},
        {"/a 4711", "", 0, true, {}, {4711}},
        {"/a:99", "", 0, true, {}, {0}},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.cmd);
        openers.opened.clear();
        passwords.changeCalls.clear();
        app.gbSaverMode = !row.saverMode; // start-up must set it, whatever it was
        EXPECT_EQ(start(QLatin1String(row.cmd)), row.ended);
        EXPECT_EQ(passwords.changeCalls, row.passwordOwner);
        EXPECT_TRUE(dialogs.messages.isEmpty());
        if (*row.mode == '\0') {
            EXPECT_TRUE(openers.opened.empty());
            continue;
        }
        ASSERT_EQ(openers.opened.size(), 1u);
        const RecordingOpeners::Opened& opened = openers.opened.front();
        EXPECT_EQ(opened.mode, QLatin1String(row.mode));
        EXPECT_EQ(opened.handle, row.handle);
        EXPECT_EQ(opened.saverMode, row.saverMode);
        EXPECT_EQ(opened.animationRate, kStoredAnimationRate);
    }
}

TEST_F(MyMainTest, EventsPendingAtStartRunBeforeTheModeOpens) {
    bool ran = false;
    QMetaObject::invokeMethod(
        QCoreApplication::instance(), [&] { ran = true; }, Qt::QueuedConnection);
    openers.probe = [&] { return ran; };
    EXPECT_EQ(start(QStringLiteral("/p 7")), std::nullopt);
    ASSERT_EQ(openers.opened.size(), 1u);
    EXPECT_TRUE(openers.opened.front().probed);
}

TEST_F(MyMainTest, TheSaverReturnsToMainAndALoadedPreviewKeepsTheEventLoopRunning) {
    EXPECT_EQ(start(QStringLiteral("/s")), std::nullopt);
    EXPECT_EQ(after, AfterEntry::Return);
    EXPECT_EQ(start(QStringLiteral("/p 42")), std::nullopt);
    EXPECT_EQ(after, AfterEntry::RunEventLoop);
    openers.previewStaysLoaded = false;
    EXPECT_EQ(start(QStringLiteral("/p 42")), std::nullopt);
    EXPECT_EQ(after, AfterEntry::Return);
}

// A mode holds its caption for the process: a second start of it ends silently, a start of
// another mode goes on, and a saver in a host's window (one copy per window) never checks.
TEST_F(MyMainTest, OnlyAWindowOfTheSameModeRefusesAStart) {
    const std::pair<const char*, const char*> rows[] = {
        {"/s", kPlaybackCaption}, {"/p 12", kPreviewCaption}, {"/c", kSetupCaption}};
    for (const auto& [cmd, caption] : rows) {
        SCOPED_TRACE(cmd);
        const auto window = locks.acquire(QString::fromLatin1(caption));
        openers.opened.clear();
        EXPECT_EQ(start(QLatin1String(cmd)), 0);
        EXPECT_TRUE(openers.opened.empty());
        EXPECT_TRUE(dialogs.messages.isEmpty());
    }
    const auto preview = locks.acquire(QString::fromLatin1(kPreviewCaption));
    EXPECT_EQ(start(QStringLiteral("/s")), std::nullopt);
    EXPECT_TRUE(locks.isHeld(QString::fromLatin1(kPlaybackCaption)));
    const auto fullScreen = locks.acquire(QString::fromLatin1(kPlaybackCaption));
    openers.hasHost = true;
    EXPECT_EQ(start(QStringLiteral("/s")), std::nullopt);
    EXPECT_EQ(openers.opened.size(), 2u);
}

TEST_F(MyMainTest, AnEndAskedForBeforeAnyFormGivesAnOrderlyOneDiesOfTheSignal) {
    EXPECT_EQ(endStatusOf([&] { app.requestEnd(SIGTERM); }), 128 + SIGTERM);
    EXPECT_EQ(processEnd.endedBySignal, SIGTERM);
}
