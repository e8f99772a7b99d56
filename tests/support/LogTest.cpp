#include "support/Log.h"

#include "common/FakeClock.h"
#include "common/TestWorld.h"

#include <QFile>
#include <QFileInfo>
#include <gtest/gtest.h>

#include <sys/stat.h>

using namespace nimbuscope;
using namespace nimbuscope::test;

namespace {

class LogTest : public ::testing::Test {
protected:
    LogTest() : log(clock, platform) { log.setFolder(world.root() + QStringLiteral("/")); }

    QByteArray errorLog() const { return world.readFile(QStringLiteral("errorlog.txt")); }
    QByteArray debugLog() const { return world.readFile(QStringLiteral("debuglog.txt")); }

    TestWorld world;
    FakeClock clock;
    FakePlatform platform;
    Log log;
};

} // namespace

TEST_F(LogTest, TheFirstErrorOfARunReplacesTheOldLogOnlyIfItExistsAndLaterOnesAppend) {
    log.firstErrorPending = true;
    log.logError(QStringLiteral("lost"));
    EXPECT_FALSE(QFileInfo::exists(world.root() + "/errorlog.txt")) << "written only if it exists";
    world.writeFile(QStringLiteral("errorlog.txt"), QByteArray(100, 'x'));
    log.firstErrorPending = true;
    bool truncate = false;
    log.logError(QStringLiteral("ERROR :: addItem :: (9) - Subscript out of range"), truncate);
    EXPECT_TRUE(truncate) << "the caller's flag is set for the first error";
    log.logError(QStringLiteral("two"));
    EXPECT_EQ(errorLog(), QByteArray("12/5/2026 9:35:29 PM :: ERROR :: addItem :: (9) - "
                                     "Subscript out of range :: \r\n"
                                     "12/5/2026 9:35:29 PM :: two :: \r\n"));
}

TEST_F(LogTest, AFullErrorLogIsKeptAsideAndTheNewestErrorsStartANewOne) {
    world.writeFile(QStringLiteral("errorlog.txt"), QByteArray(20000, 'x'));
    log.logError(QStringLiteral("at the limit"));
    EXPECT_TRUE(errorLog().endsWith("at the limit :: \r\n")) << "exactly 20000 still receives";
    EXPECT_FALSE(QFileInfo::exists(world.root() + "/errorlog.1.txt"));

    log.logError(QStringLiteral("over"));
    EXPECT_TRUE(world.readFile("errorlog.1.txt").endsWith("at the limit :: \r\n"));
    EXPECT_EQ(errorLog(), "12/5/2026 9:35:29 PM :: over :: \r\n");
}

TEST_F(LogTest, ARepeatedErrorIsWrittenOnceWithItsCount) {
    world.writeFile(QStringLiteral("errorlog.txt"), {});
    const QString failure = QStringLiteral("ERROR :: showNextImage :: displayList failure: x");
    for (int i = 0; i < 241; ++i) {
        log.logError(failure);
        clock.advanceMs(250);
    }
    log.logError(QStringLiteral("other"));
    EXPECT_EQ(errorLog(), "12/5/2026 9:35:29 PM :: " + failure.toUtf8() +
                              " :: \r\n"
                              "12/5/2026 9:36:29 PM :: " +
                              failure.toUtf8() +
                              " (repeated 240 times) :: \r\n"
                              "12/5/2026 9:36:29 PM :: other :: \r\n");
}

TEST_F(LogTest, ALogFileThatIsALinkOrAPipeIsNotWrittenThrough) {
    const QString target = world.writeFile(QStringLiteral("elsewhere/precious.txt"), "keep");
    for (const char* name : {"errorlog.txt", "debuglog.txt"}) {
        SCOPED_TRACE(name);
        const QString path = world.root() + '/' + name;
        QFile::remove(path);
        ASSERT_TRUE(QFile::link(target, path));
        log.debugLogOn = true;
        log.firstErrorPending = true;
        log.logError(QStringLiteral("error"));
        log.logDebug(QStringLiteral("trace"), /*reset=*/true);
        EXPECT_EQ(world.readFile(target), "keep");
        ASSERT_TRUE(QFile::remove(path));
        // A pipe would wait for a reader for ever.
        ASSERT_EQ(::mkfifo(QFile::encodeName(path).constData(), 0600), 0);
        log.logError(QStringLiteral("error"));
        log.logDebug(QStringLiteral("trace"));
        ASSERT_TRUE(QFile::remove(path));
    }
}

TEST_F(LogTest, DebugLinesNeedTheirSwitchAndACreatedDebugLogIsTheOwnersAlone) {
    log.logDebug(QStringLiteral("ASDM: quiet"));
    EXPECT_FALSE(QFileInfo::exists(world.root() + "/debuglog.txt"));
    log.debugLogOn = true;
    log.logDebug(QStringLiteral("ASDM: one"));
    log.logDebug(QStringLiteral("ASDM: two"));
    EXPECT_EQ(debugLog().count("\r\n"), 2);
    struct stat info {};
    ASSERT_EQ(::stat(QFile::encodeName(world.root() + "/debuglog.txt").constData(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0600u);
    log.logDebug(QStringLiteral("fresh"), /*reset=*/true);
    EXPECT_EQ(debugLog().count("\r\n"), 1) << "reset starts the file afresh";
    // The memory switch lets only memory lines through.
    log.debugLogOn = false;
    log.memoryLogOn = true;
    log.logMemoryUse(QStringLiteral("FrmMain:Load, start"));
    log.logDebug(QStringLiteral("plain trace"), false, /*force=*/true);
    EXPECT_TRUE(debugLog().contains(" :: 4096kb - FrmMain:Load, start :: \r\n"));
    EXPECT_FALSE(debugLog().contains("plain trace"));
}
