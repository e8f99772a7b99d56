#include "ScenarioRig.h"

#include <QDir>

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

} // namespace

// A new location chosen during a pass makes the running pass start afresh, and the old
// location's files go before the new one's arrive.
TEST(SettingsScenario, ANewLocationChosenDuringAPassDeletesTheOldOnesFiles) {
    ScenarioRig rig;
    rig.start();
    ASSERT_TRUE(rig.finishPass());
    const auto files = [&](const char* pattern) {
        return QDir(rig.dataFolder()).entryList({QLatin1String(pattern)}, QDir::Files).size();
    };
    ASSERT_GT(files("64106.*"), 0);
    ASSERT_TRUE(rig.runUntil([&] { return rig.passesStarted.size() == 2; }, 3600));
    rig.runFor(0.3);
    ASSERT_TRUE(rig.downloading());
    rig.setup.answers.push_back(rig.chooseLocation(QStringLiteral("80301")));
    rig.pressKey(Qt::Key_Escape);
    rig.runFor(0.2); // the download step that takes the new location up
    EXPECT_EQ(files("64106.*"), 0);
    ASSERT_TRUE(rig.finishPass());
    EXPECT_GT(files("80301.*.noaa"), 0);
    EXPECT_EQ(files("64106.*"), 0);
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
    EXPECT_TRUE(said.count('\n') == 1 && said.contains(shared + " belongs to user 4321"))
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
