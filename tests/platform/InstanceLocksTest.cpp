#include "platform/InstanceLocks.h"

#include "common/LockHolderProcess.h"
#include "common/TestWorld.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QSet>
#include <gtest/gtest.h>

#include <array>

#include <sys/stat.h>

using namespace nimbuscope;
using namespace nimbuscope::test;

namespace {

const QString kCaption = QStringLiteral("Nimbuscope Setup");

class InstanceLocksTest : public ::testing::Test {
protected:
    TestWorld world;
    FileInstanceLocks locks{world.runtimeDir()};
};

} // namespace

TEST_F(InstanceLocksTest, AHoldIsFoundUntilItsLastHolderOrItsProcessEnds) {
    auto hold = locks.acquire(kCaption);
    ASSERT_NE(hold, nullptr);
    EXPECT_FALSE(locks.isHeld(QStringLiteral("NimbuscopePreview")));
    // A second object over the same folder sees the same holds, as another process would.
    EXPECT_TRUE(FileInstanceLocks(world.runtimeDir()).isHeld(kCaption));
    EXPECT_EQ(locks.acquireIfFree(kCaption), nullptr); // held by this very process
    auto second = locks.acquire(kCaption);
    hold.reset();
    EXPECT_TRUE(locks.isHeld(kCaption)) << "the last holder releases it";
    second.reset();
    EXPECT_FALSE(locks.isHeld(kCaption));
    {
        LockHolderProcess child(world.runtimeDir(), kCaption);
        ASSERT_TRUE(child.held());
        EXPECT_TRUE(locks.isHeld(kCaption));
        EXPECT_EQ(locks.acquireIfFree(kCaption), nullptr);
    }
    EXPECT_NE(locks.acquireIfFree(kCaption), nullptr) << "ends with that process";
    // Without any usable folder nothing is found, so nothing is refused either.
    FileInstanceLocks none{QString()};
    EXPECT_NE(none.acquireIfFree(kCaption), nullptr);
    EXPECT_NE(none.acquireIfFree(kCaption), nullptr);
}

// The single-instance step of copies started together: the test and the hold are one step.
TEST_F(InstanceLocksTest, OfProcessesTryingAtTheSameInstantExactlyOneHolds) {
    constexpr int kRounds = 20;
    constexpr int kProcesses = 3;
    for (int round = 0; round < kRounds; ++round) {
        SCOPED_TRACE(round);
        std::array<QProcess, kProcesses> helpers;
        for (QProcess& helper : helpers) {
            helper.start(QStringLiteral(NIMBUSCOPE_LOCK_HOLDER),
                         {world.runtimeDir(), kCaption, QStringLiteral("--if-free")});
            ASSERT_TRUE(helper.waitForReadyRead(10000));
            ASSERT_EQ(helper.readLine().trimmed(), "ready");
        }
        for (QProcess& helper : helpers) {
            helper.write("\n");
            helper.waitForBytesWritten();
        }
        int held = 0;
        for (QProcess& helper : helpers) {
            ASSERT_TRUE(helper.canReadLine() || helper.waitForReadyRead(10000));
            held += helper.readLine().trimmed() == "held" ? 1 : 0;
        }
        EXPECT_EQ(held, 1);
        for (QProcess& helper : helpers) {
            helper.closeWriteChannel();
            helper.waitForFinished();
        }
    }
}

TEST_F(InstanceLocksTest, NamesBecomeDistinctFileNamesInsideTheFolder) {
    QStringList names = {"Nimbuscope Setup",
                         "Nimbuscope_Setup",
                         "Nimbuscope%20Setup",
                         "NimbuscopePlayback",
                         "nimbuscopeplayback",
                         "../../etc/passwd",
                         "a/b",
                         "",
                         ".",
                         ".."};
    names << QString(300, u'x') << QString(300, u'x') + u'y';
    QSet<QString> paths;
    for (const QString& name : names) {
        SCOPED_TRACE(name.toStdString());
        const QFileInfo file(locks.lockPath(name));
        EXPECT_EQ(file.absolutePath(), QDir(world.runtimeDir()).absolutePath());
        EXPECT_LE(file.fileName().toUtf8().size(), 200);
        paths.insert(file.fileName());
        ASSERT_NE(locks.acquire(name), nullptr);
    }
    EXPECT_EQ(paths.size(), names.size());
}

TEST_F(InstanceLocksTest, OnlyAPrivateFolderOfTheUsersOwnIsTrusted) {
    const QString missing = world.tmp() + QStringLiteral("/nimbuscope-1000");
    ASSERT_NE(FileInstanceLocks(missing).acquire(kCaption), nullptr);
    EXPECT_EQ(QFile::permissions(missing) &
                  (QFile::ReadGroup | QFile::WriteGroup | QFile::ReadOther | QFile::WriteOther),
              QFile::Permissions());
    const QString open = world.tmp() + QStringLiteral("/open");
    ASSERT_TRUE(QDir().mkpath(open));
    ASSERT_EQ(::chmod(QFile::encodeName(open).constData(), 0777), 0);
    const QString link = world.tmp() + QStringLiteral("/link");
    ASSERT_TRUE(QFile::link(world.runtimeDir(), link));
    auto realHold = locks.acquire(kCaption);
    for (const QString& folder : {open, link, QString()}) {
        SCOPED_TRACE(folder.toStdString());
        FileInstanceLocks untrusted(folder);
        EXPECT_EQ(untrusted.acquire(kCaption), nullptr);
        EXPECT_FALSE(untrusted.isHeld(kCaption));
    }
    EXPECT_TRUE(QDir(open).isEmpty());
}
