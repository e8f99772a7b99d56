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

TEST_F(MyMainTest, EachSwitchOpensItsModeWithTheSettingsLoaded) {
    const struct {
        const char* cmd;
        const char* mode;
        qint32 handle;
        bool saverMode;
    } rows[] = {
        {"", "saver", 0, true},      {"/s", "saver", 0, true},  {"/p 1234", "preview", 1234, false},
        {"/p", "preview", 0, false}, {"/c", "setup", 0, false},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.cmd);
        openers.opened.clear();
        app.gbSaverMode = !row.saverMode; // start-up must set it, whatever it was
        const std::optional<int> ended = start(QString::fromLatin1(row.cmd));
        ASSERT_EQ(openers.opened.size(), 1u);
        const RecordingOpeners::Opened& opened = openers.opened.front();
        EXPECT_EQ(opened.mode, QString::fromLatin1(row.mode));
        EXPECT_EQ(opened.handle, row.handle);
        EXPECT_EQ(opened.saverMode, row.saverMode);
        EXPECT_EQ(opened.animationRate, kStoredAnimationRate);
        EXPECT_EQ(app.gbSaverMode, row.saverMode);
        EXPECT_TRUE(passwords.changeCalls.empty());
        if (opened.mode == QLatin1String("setup")) {
            EXPECT_EQ(ended, 0); // the setup dialog's end is the program's end
        } else {
            EXPECT_EQ(ended, std::nullopt);
        }
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

TEST_F(MyMainTest, UnknownSwitchesEndAtOnceWithoutAnyWindow) {
    for (const char* cmd : {"-s", "s", " /s", "/x", "/", "\t/c", "/z 12"}) {
        SCOPED_TRACE(cmd);
        EXPECT_EQ(start(QString::fromLatin1(cmd)), 0);
        EXPECT_TRUE(openers.opened.empty());
        EXPECT_TRUE(passwords.changeCalls.empty());
        EXPECT_TRUE(dialogs.messages.isEmpty());
    }
}

TEST_F(MyMainTest, PasswordChangeGetsTheOwnerHandleAndOpensNoForm) {
    const struct {
        const char* cmd;
        qint32 owner;
    } rows[] = {{"/a", 0}, {"/A", 0}, {"/a 4711", 4711}, {"/a:99", 0}, {"/ax", 0}};
    for (const auto& row : rows) {
        SCOPED_TRACE(row.cmd);
        passwords.changeCalls.clear();
        EXPECT_EQ(start(QString::fromLatin1(row.cmd)), std::nullopt);
        EXPECT_EQ(after, AfterEntry::Return);
        EXPECT_EQ(passwords.changeCalls, std::vector<qint32>{row.owner});
        EXPECT_TRUE(openers.opened.empty());
    }
}

TEST_F(MyMainTest, ASecondStartOfAnOpenModeEndsSilently) {
    const struct {
        const char* cmd;
        const char* caption;
        bool saverMode;
    } rows[] = {{"/s", kPlaybackCaption, true},
                {"", kPlaybackCaption, true},
                {"/p 12", kPreviewCaption, false},
                {"/c", kSetupCaption, false}};
    for (const auto& row : rows) {
        SCOPED_TRACE(row.cmd);
        const auto window = locks.acquire(QString::fromLatin1(row.caption));
        ASSERT_NE(window, nullptr);
        EXPECT_EQ(start(QString::fromLatin1(row.cmd)), 0);
        EXPECT_TRUE(openers.opened.empty());
        EXPECT_EQ(app.gbSaverMode, row.saverMode);
        EXPECT_TRUE(dialogs.messages.isEmpty());
    }
}

TEST_F(MyMainTest, OnlyAWindowOfTheSameModeRefusesAStart) {
    const auto preview = locks.acquire(QString::fromLatin1(kPreviewCaption));
    const auto setup = locks.acquire(QString::fromLatin1(kSetupCaption));
    EXPECT_EQ(start(QStringLiteral("/s")), std::nullopt);
    ASSERT_EQ(openers.opened.size(), 1u);
    EXPECT_EQ(openers.opened.front().mode, QStringLiteral("saver"));
}

TEST_F(MyMainTest, AModeHoldsItsCaptionForTheProcessButASaverInAHostsWindowNeverChecks) {
    EXPECT_EQ(start(QStringLiteral("/s")), std::nullopt);
    EXPECT_TRUE(locks.isHeld(QString::fromLatin1(kPlaybackCaption)));
    // A host runs one copy per window of its own, whatever else runs.
    const auto fullScreen = locks.acquire(QString::fromLatin1(kPlaybackCaption));
    openers.hasHost = true;
    EXPECT_EQ(start(QStringLiteral("/s")), std::nullopt);
    EXPECT_EQ(openers.opened.size(), 2u);
}

TEST_F(MyMainTest, AnEndAskedForBeforeAnyFormGivesAnOrderlyOneDiesOfTheSignal) {
    EXPECT_EQ(endStatusOf([&] { app.requestEnd(SIGTERM); }), 128 + SIGTERM);
    EXPECT_EQ(processEnd.endedBySignal, SIGTERM);
}
