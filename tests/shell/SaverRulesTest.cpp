#include "shell/SaverRules.h"
#include "shell/WorkingFolder.h"

#include "common/TestWorld.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <sys/stat.h>
#include <unistd.h>

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

mode_t modeOf(const QString& path) {
    struct stat info {};
    return ::lstat(QFile::encodeName(path).constData(), &info) == 0 ? info.st_mode & 07777 : 0;
}

} // namespace

TEST(MakeWorkingFolders, OnlyFoldersOfTheUsersOwnUnderASafeSharedFolderAreUsed) {
    enum Outcome { Wanted, Fresh, Refused };
    // Below the shared folder, `made` is made (none: null) with `mode` (unless 0) and, when
    // `foreign`, another owner; then a link to another folder is planted at `link`.
    const struct {
        const char* name;
        const char *made, *link;
        mode_t mode;
        bool foreign;
        Outcome outcome;
        mode_t sharedMode; // checked when not 0
    } rows[] = {
        {"nothing there yet", nullptr, nullptr, 0, false, Wanted, 01777},
        {"a link in place of the user's folder", "", "/tmp-ann", 0, false, Fresh, 0},
        {"another user's folder of that name", "/tmp-ann", nullptr, 0, true, Fresh, 0},
        {"data a link to another folder", "/tmp-ann", "/tmp-ann/data", 0, false, Wanted, 0},
        {"our shared folder open to all but not sticky", "", nullptr, 0777, false, Wanted, 01777},
        {"the shared folder a link", nullptr, "", 0, false, Refused, 0},
        {"the shared folder another user's, open to all", "", nullptr, 0777, true, Refused, 0},
        {"the shared folder another user's and sticky", "", nullptr, 01777, true, Refused, 0},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        if (row.foreign && ::geteuid() != 0) {
            continue; // giving a folder to another user needs root
        }
        TestWorld world;
        const QString shared = world.tmp() + "/Nimbuscope";
        const QString wanted = shared + "/tmp-ann";
        const QString elsewhere = world.root() + "/elsewhere";
        QDir().mkpath(world.tmp());
        world.writeFile(elsewhere + "/thesis.txt", "mine");
        if (row.made) {
            const QByteArray made = QFile::encodeName(shared + row.made);
            ASSERT_TRUE(QDir().mkpath(shared + row.made));
            ASSERT_TRUE(!row.foreign || ::chown(made.constData(), 4321, 4321) == 0);
            ASSERT_TRUE(row.mode == 0 || ::chmod(made.constData(), row.mode) == 0);
        }
        ASSERT_TRUE(!row.link || QFile::link(elsewhere, shared + row.link));

        const WorkingFolders made = makeWorkingFolders(world.tmp(), QStringLiteral("ann"));
        EXPECT_EQ(QDir(elsewhere).entryList(QDir::AllEntries | QDir::NoDotAndDotDot),
                  QStringList{"thesis.txt"});
        if (row.outcome == Refused) {
            EXPECT_FALSE(made.folder || made.data || made.refusal.isEmpty());
            EXPECT_TRUE(made.path().isEmpty());
            EXPECT_FALSE(QFileInfo::exists(wanted));
            continue;
        }
        ASSERT_TRUE(made.folder && made.data) << made.refusal.toStdString();
        EXPECT_TRUE(row.outcome == Wanted ? made.path() == wanted
                                          : made.path().startsWith(wanted + '-'))
            << made.path().toStdString();
        EXPECT_EQ(made.dataPath(), made.path() + "/data/");
        EXPECT_TRUE(QFileInfo(made.dataPath()).isDir());
        EXPECT_FALSE(QFileInfo(made.dataPath().chopped(1)).isSymLink());
        EXPECT_TRUE(row.sharedMode == 0 || modeOf(shared) == row.sharedMode);
        EXPECT_EQ(modeOf(made.path()), 0700u);
        EXPECT_EQ(QFileInfo(made.path()).ownerId(), ::geteuid());
        if (row.outcome == Wanted) { // a second start finds everything in place and keeps it
            EXPECT_EQ(makeWorkingFolders(world.tmp(), QStringLiteral("ann")).path(), wanted);
        }
    }
}
