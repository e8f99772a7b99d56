#include "shell/SaverRules.h"
#include "shell/WorkingFolder.h"

#include "common/TestWorld.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <sys/stat.h>
#include <unistd.h>

#include <functional>

#include <gtest/gtest.h>

using namespace nimbuscope;
using namespace nimbuscope::test;

// Ten minutes with eighteen items or more; five with fewer or the problem shown; half an hour
// after more than ten problems in a row. A clock set back (daylight saving's end) must not stop
// the updates until it has caught up with the last pass.
TEST(SaverRules, DownloadPassAndLocationRefreshAreDueByTheirLimits) {
    const struct {
        qint64 elapsed;
        qint32 problems, items;
        bool problemShown, due;
    } rows[] = {
        {600, 0, 18, false, false},  {601, 0, 18, false, true},    {301, 0, 299, false, false},
        {300, 0, 17, false, false},  {301, 0, 17, false, true},    {301, 0, 0, false, true},
        {301, 0, 18, true, true},    {1800, 11, 18, false, false}, {1801, 11, 18, false, true},
        {601, 11, 18, false, false}, {1800, 11, 0, true, false},   {1801, 11, 0, true, true},
        {601, 10, 18, false, true},  {301, 10, 18, true, true},    {-1, 0, 18, false, true},
        {-3600, 11, 18, false, true}};
    for (const auto& r : rows) {
        EXPECT_EQ(downloadPassDue(r.elapsed, r.problems, r.items, r.problemShown), r.due)
            << r.elapsed << " s, " << r.problems << " problems, " << r.items << " items";
    }
    const std::pair<qint64, bool> refreshes[] = {
        {1800, false}, {1801, true}, {0, false}, {-1, true}};
    for (const auto& [elapsed, due] : refreshes) {
        EXPECT_EQ(locationRefreshDue(elapsed), due) << elapsed;
    }
}

TEST(WorkingFolderFor, UserNameBlanksAndSeparatorsBecomeDashesAndNoNameIsAll) {
    const struct {
        const char *temp, *user, *folder;
    } rows[] = {{"/tmp/", "John Smith ", "/tmp/Nimbuscope/tmp-John-Smith-"},
                {"/tmp", "", "/tmp/Nimbuscope/tmp-all"},
                {"/var/tmp\\", "ann", "/var/tmp/Nimbuscope/tmp-ann"},
                {"/tmp//", "ann", "/tmp//Nimbuscope/tmp-ann"}, // only one separator is dropped
                {"/tmp/", "../../etc", "/tmp/Nimbuscope/tmp-..-..-etc"},
                {"/tmp/", "..\\x", "/tmp/Nimbuscope/tmp-..-x"}};
    for (const auto& r : rows) {
        EXPECT_EQ(workingFolderFor(QLatin1String(r.temp), QLatin1String(r.user)),
                  QLatin1String(r.folder));
    }
}

namespace {

constexpr uid_t kOtherUser = 4321;

void giveToOtherUser(const QString& path) {
    ASSERT_EQ(::chown(QFile::encodeName(path).constData(), kOtherUser, kOtherUser), 0);
}

mode_t modeOf(const QString& path) {
    struct stat info {};
    return ::lstat(QFile::encodeName(path).constData(), &info) == 0 ? info.st_mode & 07777 : 0;
}

} // namespace

TEST(MakeWorkingFolders, OnlyFoldersOfTheUsersOwnUnderASafeSharedFolderAreUsed) {
    enum Outcome { Wanted, Fresh, Refused };
    const struct {
        const char* name;
        std::function<void(const QString& shared, const QString& elsewhere)> arrange;
        Outcome outcome;
        mode_t sharedMode = 0; // checked when not 0
        bool needsRoot = false;
    } rows[] = {
        {"nothing there yet", [](auto&, auto&) {}, Wanted, 01777},
        {"a link in place of the user's folder",
         [](const QString& shared, const QString& elsewhere) {
             QDir().mkpath(shared);
             ASSERT_TRUE(QFile::link(elsewhere, shared + "/tmp-ann"));
         },
         Fresh},
        {"another user's folder of that name",
         [](const QString& shared, auto&) {
             QDir().mkpath(shared + "/tmp-ann");
             giveToOtherUser(shared + "/tmp-ann");
         },
         Fresh, 0, true},
        {"data a link to another folder",
         [](const QString& shared, const QString& elsewhere) {
             QDir().mkpath(shared + "/tmp-ann");
             ASSERT_TRUE(QFile::link(elsewhere, shared + "/tmp-ann/data"));
         },
         Wanted},
        {"our shared folder open to all but not sticky",
         [](const QString& shared, auto&) {
             QDir().mkpath(shared);
             ::chmod(QFile::encodeName(shared).constData(), 0777);
         },
         Wanted, 01777},
        {"the shared folder a link",
         [](const QString& shared, const QString& elsewhere) {
             ASSERT_TRUE(QFile::link(elsewhere, shared));
         },
         Refused},
        {"the shared folder another user's, open to all, not sticky",
         [](const QString& shared, auto&) {
             QDir().mkpath(shared);
             ::chmod(QFile::encodeName(shared).constData(), 0777);
             giveToOtherUser(shared);
         },
         Refused, 0, true},
        {"the shared folder another user's and sticky",
         [](const QString& shared, auto&) {
             QDir().mkpath(shared);
             giveToOtherUser(shared);
             ::chmod(QFile::encodeName(shared).constData(), 01777);
         },
         Refused, 0, true},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        if (row.needsRoot && ::geteuid() != 0) {
            continue; // giving a folder to another user needs root
        }
        TestWorld world;
        const QString shared = world.tmp() + "/Nimbuscope";
        const QString elsewhere = world.root() + "/elsewhere";
        QDir().mkpath(world.tmp());
        world.writeFile(elsewhere + "/thesis.txt", "mine");
        ASSERT_NO_FATAL_FAILURE(row.arrange(shared, elsewhere));

        const WorkingFolders made = makeWorkingFolders(world.tmp(), QStringLiteral("ann"));
        EXPECT_EQ(QDir(elsewhere).entryList(QDir::AllEntries | QDir::NoDotAndDotDot),
                  QStringList{"thesis.txt"});
        if (row.outcome == Refused) {
            EXPECT_FALSE(made.folder || made.data);
            EXPECT_FALSE(made.refusal.isEmpty());
            EXPECT_TRUE(made.path().isEmpty());
            EXPECT_FALSE(QFileInfo::exists(shared + "/tmp-ann"));
            continue;
        }
        ASSERT_TRUE(made.folder && made.data) << made.refusal.toStdString();
        const QString wanted = shared + "/tmp-ann";
        if (row.outcome == Wanted) {
            EXPECT_EQ(made.path(), wanted);
        } else {
            EXPECT_TRUE(made.path().startsWith(wanted + '-')) << made.path().toStdString();
        }
        EXPECT_EQ(made.dataPath(), made.path() + "/data/");
        EXPECT_TRUE(QFileInfo(made.dataPath()).isDir());
        EXPECT_FALSE(QFileInfo(made.dataPath().chopped(1)).isSymLink());
        if (row.sharedMode != 0) {
            EXPECT_EQ(modeOf(shared), row.sharedMode);
        }
        EXPECT_EQ(modeOf(made.path()), 0700u);
        EXPECT_EQ(QFileInfo(made.path()).ownerId(), ::geteuid());
        if (row.outcome == Wanted) {
            // A second start finds everything in place and keeps it.
            EXPECT_EQ(makeWorkingFolders(world.tmp(), QStringLiteral("ann")).path(), wanted);
        }
    }
}
