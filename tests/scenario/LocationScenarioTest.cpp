#include "ScenarioRig.h"

#include "setup/FrmSetup.h"

#include <QDir>
#include <QLineEdit>

#include <gtest/gtest.h>

#include <grp.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <functional>

using namespace nimbuscope;
using namespace nimbuscope::test;

namespace {

QStringList entries(const QString& folder) {
    return QDir(folder).entryList(QDir::AllEntries | QDir::Hidden | QDir::System |
                                  QDir::NoDotAndDotDot);
}

QByteArray native(const QString& path) {
    return QFile::encodeName(path);
}

/// Runs `acts` in a child process as another, unprivileged user (uid and gid 4321); true when
/// they all held. Only system calls run in the child.
bool asOtherUser(const std::function<bool()>& acts) {
    constexpr uid_t kOtherUser = 4321;
    const pid_t child = ::fork();
    if (child == 0) {
        ::_exit(::setgroups(0, nullptr) == 0 &&
                        ::setresgid(kOtherUser, kOtherUser, kOtherUser) == 0 &&
                        ::setresuid(kOtherUser, kOtherUser, kOtherUser) == 0 && acts()
                    ? 0
                    : 1);
    }
    int status = 0;
    return child > 0 && ::waitpid(child, &status, 0) == child && WIFEXITED(status) &&
           WEXITSTATUS(status) == 0;
}

bool runTheNextPass(ScenarioRig& rig) {
    return rig.runUntil([&] { return rig.downloading(); }, 11 * 60) && rig.finishPass();
}

QString title(const ScenarioRig& rig) {
    return rig.caption(QStringLiteral("DownloadInfoChannelName"));
}

} // namespace

// Without a location the real setup dialog opens over the window, centred and on top: Cancel
// ends cleanly; a zip code is checked with the window's own component and the saver goes on.
TEST(FirstStartScenario, TheSetupDialogOpensOverTheWindow) {
    for (const bool cancel : {true, false}) {
        SCOPED_TRACE(cancel);
        ScenarioRig rig({.zipcode = QString()});
        FrmSetupHost host(rig.app, rig.components);
        rig.setupHost = &host;
        QRect placed;
        bool topmost = false;
        rig.dialogs.answers.push_back([&](QDialog& shown) {
            auto& setup = dynamic_cast<FrmSetup&>(shown);
            placed = setup.frameGeometry();
            topmost = setup.windowFlags().testFlag(Qt::WindowStaysOnTopHint);
            setup.Form_Activate();
            if (cancel) {
                setup.CancelButton_Click();
                return setup.result();
            }
            setup.zipcodeTextBox->setText(QStringLiteral("80301"));
            rig.network.latencyMs = 0; // the answer is there at the first poll
            setup.Ok_Click();
            setup.TimerZipcode_Timer();
            rig.network.latencyMs = ScriptedNetwork::kDefaultLatencyMs;
            return setup.result();
        });
        rig.start();
        EXPECT_EQ(rig.dialogs.modalTitles, QStringList{QStringLiteral("Nimbuscope Setup")});
        EXPECT_EQ(placed.center(), QRect(0, 0, 1024, 768).center());
        EXPECT_TRUE(topmost);
        EXPECT_EQ(rig.endStatus, cancel ? std::optional(0) : std::nullopt);
        if (cancel) {
            EXPECT_TRUE(rig.network.requests.isEmpty());
            continue;
        }
        EXPECT_EQ(rig.retrievers.size(), 1);
        EXPECT_EQ(rig.network.requests.value(0),
                  QStringLiteral("http://127.0.0.1:8080/zipcity.php?inputstring=80301"));
        EXPECT_EQ(title(rig), QStringLiteral("Nimbuscope for Denver, CO  (80301)"));
        ASSERT_TRUE(rig.finishPass());
        EXPECT_GT(rig.network.count(QStringLiteral("*/SI.KFTG/*")), 0);
    }
}

// One character counts as no zip code; the dialog comes back until a location is stored.
TEST(FirstStartScenario, TheDialogComesBackUntilALocationIsStored) {
    const struct {
        const char* zip;
        int okWithoutLocation, shown;
    } rows[] = {{"", 1, 2}, {"6", 0, 1}, {"64", 0, 0}};
    for (const auto& row : rows) {
        SCOPED_TRACE(row.zip);
        ScenarioRig rig({.zipcode = QLatin1String(row.zip)});
        for (int i = 0; i < row.okWithoutLocation; ++i) {
            rig.setup.answers.push_back([] { return false; });
        }
        rig.start();
        EXPECT_EQ(rig.setup.shown, row.shown);
        EXPECT_EQ(rig.ended(), row.shown > 0); // the last showing was cancelled
    }
}

TEST(LoadScenario, TheTitleNamesTheCityWhenKnownAndTheZipCodeInZipMode) {
    const struct {
        qint32 mode;
        const char *cityState, *title, *titleAfterOk;
    } rows[] = {{1, "Kansas City, MO", "Nimbuscope for Kansas City, MO  (64106)", nullptr},
                {1, "", "Nimbuscope for 64106", nullptr},
                {2, "Kansas City, MO", "Nimbuscope for Kansas City, MO  (64106)",
                 "Nimbuscope for Kansas City, MO"}};
    for (const auto& row : rows) {
        SCOPED_TRACE(row.title);
        ScenarioRig rig({.locationMode = row.mode, .cityState = QLatin1String(row.cityState)});
        rig.start();
        EXPECT_EQ(title(rig), QLatin1String(row.title));
        if (row.titleAfterOk != nullptr) {
            ASSERT_TRUE(rig.finishPass());
            rig.setup.answers.push_back([] { return false; }); // OK, nothing changed
            rig.pressKey(Qt::Key_Escape);
            EXPECT_EQ(title(rig), QLatin1String(row.titleAfterOk));
            EXPECT_TRUE(rig.downloading()); // OK reloads the location
        }
    }
}

TEST(SettingsScenario, EscDuringADownloadAndCancelStartsThePassAfresh) {
    ScenarioRig rig;
    rig.start();
    rig.runFor(0.5); // the location page has arrived; the pass goes on
    ASSERT_TRUE(rig.downloading());
    const int reads = rig.network.count(QStringLiteral("*/MapClick.php?zip=*"));
    const qint64 escAt = rig.nowMs();
    rig.pressKey(Qt::Key_Escape);
    EXPECT_EQ(rig.setup.shown, 1);
    EXPECT_TRUE(rig.downloading());
    EXPECT_TRUE(rig.timer1().isEnabled());
    EXPECT_FALSE(rig.input.cursorVisible());
    ASSERT_TRUE(rig.finishPass());
    EXPECT_EQ(rig.network.count(QStringLiteral("*/MapClick.php?zip=*")), reads + 1);
    rig.runFor(20);
    EXPECT_FALSE(rig.ended());
    EXPECT_GT(rig.framesShown.value(rig.framesShown.size() - 1).atMs, escAt);
    EXPECT_FALSE(rig.shown(QStringLiteral("NetworkProblem")));
}

// A new location chosen while idle starts a pass; chosen during a pass, it makes the running
// pass start afresh. Either way the old location's files go before the new one's arrive.
TEST(SettingsScenario, ANewLocationIsFetchedAndTheOldOnesFilesDeleted) {
    for (const bool duringAPass : {false, true}) {
        SCOPED_TRACE(duringAPass);
        ScenarioRig rig;
        rig.start();
        ASSERT_TRUE(rig.finishPass());
        const QDir data(rig.dataFolder());
        const auto files = [&](const char* pattern) {
            return data.entryList({QLatin1String(pattern)}, QDir::Files).size();
        };
        ASSERT_GT(files("64106.*"), 0);
        if (duringAPass) {
            ASSERT_TRUE(rig.runUntil([&] { return rig.passesStarted.size() == 2; }, 3600));
            rig.runFor(0.3);
            ASSERT_TRUE(rig.downloading());
        }
        rig.setup.answers.push_back(rig.chooseLocation(QStringLiteral("80301")));
        rig.pressKey(Qt::Key_Escape);
        rig.runFor(0.2); // the download step that takes the new location up
        EXPECT_EQ(files("64106.*"), 0);
        ASSERT_TRUE(rig.finishPass());
        EXPECT_GT(files("80301.*.noaa"), 0);
        EXPECT_EQ(files("64106.*"), 0);
        EXPECT_TRUE(title(rig).contains(QStringLiteral("80301")));
    }
}

TEST(FolderAttackScenario, LinksPlantedWhileTheSaverRunsLeadNowhere) {
    const struct {
        const char *renamed, *link, *target, *cacheAfter; // below the working folder
    } rows[] = {{"", "", "", ".moved/data"},
                {"/data", "/data", "", "/data.moved"},
                {nullptr, "/errorlog.txt", "/thesis.txt", "/data"}};
    for (const auto& row : rows) {
        SCOPED_TRACE(row.cacheAfter);
        ScenarioRig rig;
        rig.start();
        ASSERT_TRUE(rig.finishPass());
        const QString work = rig.state().nimbuscopeTmp;
        const QString victim = rig.world.root() + "/victim";
        rig.world.writeFile(victim + "/thesis.txt", "mine");
        if (row.renamed != nullptr) {
            const QString moved = work + QLatin1String(row.renamed);
            ASSERT_EQ(::rename(native(moved), native(moved + ".moved")), 0);
        }
        ASSERT_EQ(::symlink(native(victim + row.target), native(work + row.link)), 0);
        rig.app.log().logError(QStringLiteral("ERROR :: after the swap"));
        ASSERT_TRUE(runTheNextPass(rig));
        EXPECT_EQ(entries(victim), QStringList{"thesis.txt"});
        EXPECT_EQ(rig.world.readFile(victim + "/thesis.txt"), "mine");
        EXPECT_FALSE(QDir(work + row.cacheAfter).entryList({"64106.*.noaa"}).isEmpty())
            << "the cache goes on in the saver's own folder";
    }
}

TEST(FolderAttackScenario, ASharedFolderAnotherUserMadeIsNotUsed) {
    if (::geteuid() != 0) {
        GTEST_SKIP() << "acting as a second user needs root, to switch to an unprivileged one";
    }
    ScenarioRig rig;
    // Like /tmp: anybody may pass through the test's folders and write in its temporary one.
    ::chmod(native(rig.world.root()), 0711);
    ::chmod(native(rig.world.tmp()), 01777);
    const QString shared = rig.world.tmp() + "/Nimbuscope";
    const QString victim = rig.world.root() + "/victim";
    rig.world.writeFile(victim + "/thesis.txt", "mine");
    const QByteArray sharedPath = native(shared);
    ASSERT_TRUE(asOtherUser(
        [&] { return ::mkdir(sharedPath, 0777) == 0 && ::chmod(sharedPath, 0777) == 0; }));
    testing::internal::CaptureStderr();
    rig.start();
    const QString said = QString::fromStdString(testing::internal::GetCapturedStderr());
    EXPECT_TRUE(said.count("nimbuscope: ") == 1 &&
                said.contains(shared + " belongs to user 4321") &&
                said.endsWith("; running without a cache or log (memory only)\n"))
        << said.toStdString();
    // The other user may rename and replace anything in a folder of theirs.
    const QByteArray own = native(shared + "/tmp-tester");
    const QByteArray moved = native(shared + "/moved");
    const QByteArray target = native(victim);
    ASSERT_TRUE(asOtherUser([&] {
        ::rename(own, moved);
        return ::symlink(target, own) == 0;
    }));
    rig.app.log().logError(QStringLiteral("ERROR :: with the link in place"));
    ASSERT_TRUE(rig.finishPass());
    ASSERT_TRUE(runTheNextPass(rig));
    EXPECT_FALSE(rig.ended());
    EXPECT_TRUE(rig.state().nimbuscopeTmp.isEmpty());
    EXPECT_EQ(entries(shared), QStringList{"tmp-tester"}) << "nothing of the saver's is there";
    EXPECT_EQ(entries(victim), QStringList{"thesis.txt"});
    EXPECT_EQ(rig.world.readFile(victim + "/thesis.txt"), "mine");
}

TEST(MessageBoxScenario, MessageBoxesNeverStackOnAnOpenDialog) {
    ScenarioRig rig;
    rig.start();
    rig.setup.answers.push_back([&] {
        rig.window().messageBox(QStringLiteral("while the settings are open"));
        return true;
    });
    rig.pressKey(Qt::Key_Escape);
    rig.window().messageBox(QStringLiteral("alone"));
    EXPECT_EQ(rig.dialogs.messages, QStringList{QStringLiteral("alone")});
}
