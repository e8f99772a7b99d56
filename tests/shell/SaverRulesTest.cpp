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

struct DueRow {
    qint64 elapsed;
    qint32 problems;
    qint32 items;
    bool problemShown;
    bool due;
};

TEST(DownloadPassDue, LimitsByListSizeProblemsAndTheProblemLabel) {
    const DueRow rows[] = {
        // Eighteen items or more: ten minutes.
        {600, 0, 18, false, false},
        {601, 0, 18, false, true},
        {301, 0, 299, false, false},
        // Fewer than eighteen (none included), or the problem shown: five minutes.
        {300, 0, 17, false, false},
        {301, 0, 17, false, true},
        {301, 0, 0, false, true},
        {301, 0, 18, true, true},
        // More than ten problems in a row: half an hour, problem shown or few frames or not.
        {1800, 11, 18, false, false},
        {1801, 11, 18, false, true},
        {601, 11, 18, false, false},
        {1800, 11, 0, true, false},
        {1801, 11, 0, true, true},
        {601, 10, 18, false, true},
        {301, 10, 18, true, true},
        // A clock set back (daylight saving's end) must not stop the updates until it has
        // caught up with the last pass.
        {-1, 0, 18, false, true},
        {-3600, 11, 18, false, true},
    };
    for (const DueRow& r : rows) {
        EXPECT_EQ(downloadPassDue(r.elapsed, r.problems, r.items, r.problemShown), r.due)
            << r.elapsed << " s, " << r.problems << " problems, " << r.items << " items";
    }
}

TEST(LocationRefreshDue, AfterHalfAnHourOrWhenTheClockWentBack) {
    EXPECT_FALSE(locationRefreshDue(1800));
    EXPECT_TRUE(locationRefreshDue(1801));
    EXPECT_FALSE(locationRefreshDue(0));
    EXPECT_TRUE(locationRefreshDue(-1));
}

TEST(WorkingFolderFor, UserNameBlanksAndSeparatorsBecomeDashesAndNoNameIsAll) {
    const struct {
        const char* temp;
        const char* user;
        const char* folder;
    } rows[] = {
        {"/tmp/", "John Smith ", "/tmp/Nimbuscope/tmp-John-Smith-"},
        {"/tmp", "", "/tmp/Nimbuscope/tmp-all"},
        {"/var/tmp\\", "ann", "/var/tmp/Nimbuscope/tmp-ann"},
        {"/tmp//", "ann", "/tmp//Nimbuscope/tmp-ann"}, // only one separator is dropped
        {"/tmp/", "  ", "/tmp/Nimbuscope/tmp---"},
        {"/tmp/", "../../etc", "/tmp/Nimbuscope/tmp-..-..-etc"},
        {"/tmp/", "..\\x", "/tmp/Nimbuscope/tmp-..-x"},
    };
    for (const auto& r : rows) {
        EXPECT_EQ(workingFolderFor(QString::fromLatin1(r.temp), QString::fromLatin1(r.user)),
                  QString::fromLatin1(r.folder));
    }
}

class MakeWorkingFoldersTest : public ::testing::Test {
protected:
    QString temp() const { return world.tmp(); }
    QString wanted() const { return temp() + QStringLiteral("/Nimbuscope/tmp-ann"); }
    TestWorld world;
};

TEST_F(MakeWorkingFoldersTest, SharedFolderIsOpenAndStickyTheUsersFolderPrivate) {
    QDir().mkpath(temp());
    const QString folder = makeWorkingFolders(temp(), QStringLiteral("ann"));
    EXPECT_EQ(folder, wanted());
    EXPECT_TRUE(QFileInfo(folder + QStringLiteral("/data")).isDir());

    struct stat shared {};
    ASSERT_EQ(
        ::stat(QFile::encodeName(temp() + QStringLiteral("/Nimbuscope")).constData(), &shared), 0);
    EXPECT_EQ(shared.st_mode & 07777, 01777u);
    struct stat own {};
    ASSERT_EQ(::stat(QFile::encodeName(folder).constData(), &own), 0);
    EXPECT_EQ(own.st_mode & 0777, 0700u);

    // A second start finds everything in place and keeps it.
    EXPECT_EQ(makeWorkingFolders(temp(), QStringLiteral("ann")), folder);
}

TEST_F(MakeWorkingFoldersTest, PlantedLinkIsNotFollowed) {
    const QString elsewhere = world.root() + QStringLiteral("/elsewhere");
    QDir().mkpath(elsewhere);
    QDir().mkpath(temp() + QStringLiteral("/Nimbuscope"));
    ASSERT_TRUE(QFile::link(elsewhere, wanted()));

    const QString folder = makeWorkingFolders(temp(), QStringLiteral("ann"));
    EXPECT_NE(folder, wanted());
    EXPECT_TRUE(folder.startsWith(wanted() + QLatin1Char('-')));
    EXPECT_FALSE(QFileInfo(folder).isSymLink());
    EXPECT_TRUE(QFileInfo(folder + QStringLiteral("/data")).isDir());
    EXPECT_TRUE(QDir(elsewhere).isEmpty());
}

TEST_F(MakeWorkingFoldersTest, AnotherUsersFolderIsNotUsed) {
    if (::geteuid() != 0) {
        GTEST_SKIP() << "giving a folder to another user needs root";
    }
    QDir().mkpath(wanted());
    ASSERT_EQ(::chown(QFile::encodeName(wanted()).constData(), 4321, 4321), 0);
    const QString folder = makeWorkingFolders(temp(), QStringLiteral("ann"));
    EXPECT_NE(folder, wanted());
    EXPECT_EQ(QFileInfo(folder).ownerId(), ::geteuid());
}
