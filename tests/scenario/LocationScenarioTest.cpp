#include "ScenarioRig.h"

#include "settings/RegistryValues.h"
#include "setup/FrmSetup.h"
#include "shell/SetupDialogHost.h"

#include <QDir>
#include <QFileInfo>
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

const QString kKansasCity = QStringLiteral("Kansas City, MO");
const QString kLocationSearch = QStringLiteral("*/zipcity.php?inputstring=*");
const QString kLocationPage = QStringLiteral("*/MapClick.php?zip=*");

QStringList entries(const QString& folder) {
    return QDir(folder).entryList(QDir::AllEntries | QDir::Hidden | QDir::System |
                                  QDir::NoDotAndDotDot);
}

QByteArray native(const QString& path) {
    return QFile::encodeName(path);
}

/// Runs `acts` in a child process as another, unprivileged user (uid and gid 4321); true
/// when they all held. Only system calls run in the child.
bool asOtherUser(const std::function<bool()>& acts) {
    constexpr uid_t kOtherUser = 4321;
    const pid_t child = ::fork();
    if (child == 0) {
        const bool ok = ::setgroups(0, nullptr) == 0 &&
                        ::setresgid(kOtherUser, kOtherUser, kOtherUser) == 0 &&
                        ::setresuid(kOtherUser, kOtherUser, kOtherUser) == 0 && acts();
        ::_exit(ok ? 0 : 1);
    }
    int status = 0;
    return child > 0 && ::waitpid(child, &status, 0) == child && WIFEXITED(status) &&
           WEXITSTATUS(status) == 0;
}

/// Runs the saver until its next download pass has ended.
bool runTheNextPass(ScenarioRig& rig) {
    return rig.runUntil([&] { return rig.downloading(); }, 11 * 60) && rig.finishPass();
}

} // namespace

TEST(FirstStartScenario, TheSetupDialogOverTheWindowCancelEndsCleanly) {
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
        setup.CancelButton_Click();
        return setup.result();
    });
    rig.start();
    EXPECT_EQ(rig.endStatus, 0);
    EXPECT_EQ(rig.dialogs.modalTitles, QStringList{QStringLiteral("Nimbuscope Setup")});
    EXPECT_EQ(placed.center(), QRect(0, 0, 1024, 768).center());
    EXPECT_TRUE(topmost);
    EXPECT_TRUE(rig.network.requests.isEmpty());
    EXPECT_TRUE(rig.errorLog().isEmpty());
}

TEST(FirstStartScenario, TheSetupDialogChecksTheZipCodeWithTheWindowsComponentAndGoesOn) {
    ScenarioRig rig({.zipcode = QString()});
    FrmSetupHost host(rig.app, rig.components);
    rig.setupHost = &host;
    rig.dialogs.answers.push_back([&](QDialog& shown) {
        auto& setup = dynamic_cast<FrmSetup&>(shown);
        setup.Form_Activate();
        setup.zipcodeTextBox->setText(QStringLiteral("80301"));
        rig.network.latencyMs = 0; // the answer is there at the first poll
        setup.Ok_Click();
        setup.TimerZipcode_Timer();
        rig.network.latencyMs = ScriptedNetwork::kDefaultLatencyMs;
        return setup.result();
    });
    rig.start();
    EXPECT_FALSE(rig.ended());
    EXPECT_EQ(rig.retrievers.size(), 1); // the window's own component made the check
    ASSERT_FALSE(rig.network.requests.isEmpty());
    EXPECT_EQ(rig.network.requests.first(),
              QStringLiteral("http://127.0.0.1:8080/zipcity.php?inputstring=80301"));
    EXPECT_TRUE(rig.state().zipcodeIsValid);
    EXPECT_EQ(rig.settings().getCityState(), QStringLiteral("Denver, CO"));
    EXPECT_EQ(rig.caption(QStringLiteral("DownloadInfoChannelName")),
              QStringLiteral("Nimbuscope for Denver, CO  (80301)"));
    ASSERT_TRUE(rig.finishPass());
    EXPECT_GT(rig.network.count(QStringLiteral("*/SI.KFTG/*")), 0);
}

TEST(FirstStartScenario, DialogComesBackUntilALocationIsStored) {
    ScenarioRig rig({.zipcode = QString()});
    rig.setup.answers.push_back([] { return false; }); // OK without a location
    rig.start();
    EXPECT_EQ(rig.setup.shown, 2); // the second one was cancelled
    EXPECT_EQ(rig.endStatus, 0);
}

TEST(FirstStartScenario, OneCharacterCountsAsNoZipCodeTwoOrMoreAsOne) {
    for (const auto& [zip, asks] : {std::pair{"6", true}, std::pair{"64", false}}) {
        SCOPED_TRACE(zip);
        ScenarioRig rig({.zipcode = QString::fromLatin1(zip)});
        rig.start();
        EXPECT_EQ(rig.setup.shown, asks ? 1 : 0);
        EXPECT_EQ(rig.ended(), asks);
    }
}

TEST(LoadScenario, TitleAtStart) {
    const struct {
        qint32 mode;
        const char* cityState;
        const char* title;
    } rows[] = {{1, "Kansas City, MO", "Nimbuscope for Kansas City, MO  (64106)"},
                {1, "", "Nimbuscope for 64106"},
                {2, "Kansas City, MO", "Nimbuscope for Kansas City, MO  (64106)"}};
    for (const auto& row : rows) {
        SCOPED_TRACE(row.title);
        ScenarioRig rig(
            {.locationMode = row.mode, .cityState = QString::fromLatin1(row.cityState)});
        rig.start();
        EXPECT_EQ(rig.caption(QStringLiteral("DownloadInfoChannelName")),
                  QString::fromLatin1(row.title));
    }
}

TEST(SettingsScenario, CityModeWithoutAChangeShowsTheCityAlone) {
    ScenarioRig rig({.locationMode = 2, .cityState = kKansasCity});
    rig.start();
    ASSERT_TRUE(rig.finishPass());
    rig.setup.answers.push_back([] { return false; }); // OK, nothing changed
    rig.pressKey(Qt::Key_Escape);
    EXPECT_EQ(rig.caption(QStringLiteral("DownloadInfoChannelName")),
              QStringLiteral("Nimbuscope for Kansas City, MO"));
    EXPECT_TRUE(rig.downloading()); // OK reloads the location
    EXPECT_TRUE(rig.shown(QStringLiteral("currentTime")));
}

TEST(SettingsScenario, EscDuringADownloadAndCancelStartsThePassAfresh) {
    ScenarioRig rig;
    rig.start();
    rig.runFor(0.5); // the location page has arrived; the pass goes on
    ASSERT_TRUE(rig.downloading());
    const int locationReadsBefore =
        rig.network.count(kLocationSearch) + rig.network.count(kLocationPage);
    const qint64 escAt = rig.nowMs();

    rig.pressKey(Qt::Key_Escape);
    EXPECT_EQ(rig.setup.shown, 1);
    EXPECT_TRUE(rig.downloading());
    EXPECT_TRUE(rig.timer1().isEnabled());
    EXPECT_TRUE(rig.window().controls().AsyncDownloadTimer->isEnabled());
    EXPECT_EQ(wholeSecondsBetween(rig.state().lastSetupTime, rig.clock.now()), 0);
    EXPECT_FALSE(rig.input.cursorVisible());

    ASSERT_TRUE(rig.finishPass());
    const int locationReads = rig.network.count(kLocationSearch) + rig.network.count(kLocationPage);
    EXPECT_EQ(locationReads, locationReadsBefore + 1); // the pass began again
    rig.runFor(20);
    EXPECT_FALSE(rig.ended());
    EXPECT_FALSE(rig.framesShown.isEmpty());
    EXPECT_GT(rig.framesShown.back().atMs, escAt);
    EXPECT_FALSE(rig.shown(QStringLiteral("NetworkProblem")));
}

// A new location chosen while idle starts a pass; chosen during a pass, it makes the running
// pass start afresh. Either way the old location's files go before the new one's arrive.
class NewLocationScenario : public ::testing::TestWithParam<bool> {};

TEST_P(NewLocationScenario, IsFetchedAndTheOldOnesFilesDeleted) {
    const bool duringAPass = GetParam();
    ScenarioRig rig;
    rig.start();
    ASSERT_TRUE(rig.finishPass());
    const QString data = rig.dataFolder();
    ASSERT_FALSE(QDir(data).entryList({QStringLiteral("64106.*")}, QDir::Files).isEmpty());
    if (duringAPass) {
        ASSERT_TRUE(rig.runUntil([&] { return rig.passesStarted.size() == 2; }, 3600));
        rig.runFor(0.3);
        ASSERT_TRUE(rig.downloading());
    }

    rig.setup.answers.push_back(rig.chooseLocation(QStringLiteral("80301")));
    rig.pressKey(Qt::Key_Escape);
    rig.runFor(0.2); // the download step that takes the new location up
    EXPECT_TRUE(QDir(data).entryList({QStringLiteral("64106.*")}, QDir::Files).isEmpty());
    ASSERT_TRUE(rig.finishPass());
    EXPECT_FALSE(QDir(data).entryList({QStringLiteral("80301.*.noaa")}, QDir::Files).isEmpty());
    EXPECT_TRUE(QDir(data).entryList({QStringLiteral("64106.*")}, QDir::Files).isEmpty());
    EXPECT_TRUE(
        rig.caption(QStringLiteral("DownloadInfoChannelName")).contains(QStringLiteral("80301")));
}

INSTANTIATE_TEST_SUITE_P(When, NewLocationScenario, ::testing::Values(false, true),
                         [](const auto& info) {
                             return std::string(info.param ? "DuringAPass" : "WhileIdle");
                         });

TEST(LoadScenario, WorkingFolderUnderTheTemporaryFolderIsNamedAfterTheUser) {
    const std::pair<std::optional<QString>, const char*> rows[] = {
        {QStringLiteral("John Smith "), "tmp-John-Smith-"}, {std::nullopt, "tmp-all"}};
    for (const auto& [user, lastPart] : rows) {
        SCOPED_TRACE(lastPart);
        ScenarioRig rig({.userName = user});
        rig.start();
        const QString expected =
            rig.world.tmp() + QStringLiteral("/Nimbuscope/") + QString::fromLatin1(lastPart);
        EXPECT_EQ(rig.state().nimbuscopeTmp, expected);
        EXPECT_TRUE(QFileInfo(expected + QStringLiteral("/data")).isDir());
        EXPECT_EQ(rig.app.log().pathOf(QStringLiteral("errorlog.txt")),
                  expected + QStringLiteral("/errorlog.txt"));
    }
}

TEST(FolderAttackScenario, LinksPlantedWhileTheSaverRunsLeadNowhere) {
    const struct {
        const char* name;
        std::function<void(const QString& work, const QString& victim)> plant;
        const char* cacheAfter; // where the saver's own cache is then, below the working folder
    } rows[] = {
        {"the working folder renamed and a link put in its place",
         [](const QString& work, const QString& victim) {
             ASSERT_EQ(::rename(native(work), native(work + ".moved")), 0);
             ASSERT_EQ(::symlink(native(victim), native(work)), 0);
         },
         ".moved/data"},
        {"data renamed and a link put in its place",
         [](const QString& work, const QString& victim) {
             ASSERT_EQ(::rename(native(work + "/data"), native(work + "/data.moved")), 0);
             ASSERT_EQ(::symlink(native(victim), native(work + "/data")), 0);
         },
         "/data.moved"},
        {"the error log a link",
         [](const QString& work, const QString& victim) {
             ASSERT_EQ(::symlink(native(victim + "/thesis.txt"), native(work + "/errorlog.txt")),
                       0);
         },
         "/data"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        ScenarioRig rig;
        rig.start();
        ASSERT_TRUE(rig.finishPass());
        const QString work = rig.state().nimbuscopeTmp;
        const QString victim = rig.world.root() + "/victim";
        rig.world.writeFile(victim + "/thesis.txt", "mine");

        ASSERT_NO_FATAL_FAILURE(row.plant(work, victim));
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
    EXPECT_EQ(said.count("nimbuscope: "), 1) << said.toStdString();
    EXPECT_TRUE(said.contains(shared + " belongs to user 4321")) << said.toStdString();
    EXPECT_TRUE(said.endsWith("; running without a cache or log (memory only)\n"));

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
    ASSERT_TRUE(rig.finishPass());
    rig.setup.answers.push_back([&] {
        rig.window().messageBox(QStringLiteral("while the settings are open"));
        return true;
    });
    rig.pressKey(Qt::Key_Escape);
    EXPECT_TRUE(rig.dialogs.messages.isEmpty());

    rig.window().messageBox(QStringLiteral("alone"));
    EXPECT_EQ(rig.dialogs.messages, QStringList{QStringLiteral("alone")});
}
