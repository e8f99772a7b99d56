#include "support/Error.h"
#include "support/FileUtils.h"
#include "support/Log.h"
#include "support/StringUtils.h"
#include "support/SystemUtils.h"

#include "common/FakeClock.h"
#include "common/TestWorld.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

using namespace nimbuscope;
using namespace nimbuscope::test;

namespace {

class UtilsTest : public ::testing::Test {
protected:
    UtilsTest() : log(clock, platform), sys(platform, log, clock) {
        log.setFolder(world.root());
        world.writeFile(QStringLiteral("errorlog.txt"), {});
    }
    QByteArray errorLog() const { return world.readFile(QStringLiteral("errorlog.txt")); }

    TestWorld world;
    FakeClock clock;
    FakePlatform platform;
    Log log;
    SystemUtils sys;
};

} // namespace

TEST(StringUtils, StripNullsChangesTheCallersTextStripTerminatorDoesNot) {
    const QString withNul = QStringLiteral("abc") + QChar(0) + QStringLiteral("def");
    QString a = withNul;
    EXPECT_EQ(StripNulls(a), QStringLiteral("abc"));
    EXPECT_EQ(a, QStringLiteral("abc"));
    EXPECT_EQ(StripTerminator(withNul), QStringLiteral("abc"));
}

TEST(StringUtils, AnsiIsWindows1252BothWays) {
    const QByteArray bytes("\x80 caf\xe9 \x93q\x94 \xb0 \x9f", 14);
    const QString text = ansiToText(bytes);
    EXPECT_EQ(text, QString::fromUtf8("€ café “q” ° Ÿ"));
    EXPECT_EQ(textToAnsi(text), bytes);
    EXPECT_EQ(textToAnsi(QString::fromUtf8("日")), QByteArray("?"));
}

TEST(FileUtils, AdddDirSepAddsOneSeparatorAndDropsTrailingBlanks) {
    const std::pair<QString, QString> rows[] = {
        {"/var/data", "/var/data/"}, {"C:\\data\\", "C:\\data\\"}, {"/var/data  ", "/var/data/"}};
    for (auto [path, expected] : rows) {
        AdddDirSep(path);
        EXPECT_EQ(path, expected);
    }
}

TEST_F(UtilsTest, OnlyRegularFilesAreReadAndNoFurtherThanAsked) {
    world.writeFile(QStringLiteral("data/list.txt"), "abcdef");
    EXPECT_TRUE(FileExists(log, world.root() + "/data/*.txt"));
    EXPECT_FALSE(FileExists(log, world.root() + "/data/*.noaa"));
    EXPECT_EQ(readRegularFile(world.root() + "/data/list.txt", 4), QByteArray("abcd"));
    // A pipe planted under a data file's name would block the reader; a folder reads as empty.
    const QString pipe = world.root() + "/data/pipe.txt";
    ASSERT_EQ(::mkfifo(QFile::encodeName(pipe).constData(), 0600), 0);
    EXPECT_FALSE(readRegularFile(pipe, 4).has_value());
    EXPECT_FALSE(readRegularFile(world.root() + "/data", 4).has_value());
    EXPECT_FALSE(readRegularFile(world.root() + "/data/missing.txt", 4).has_value());
}

TEST_F(UtilsTest, GmtIsLocalTimePlusABiasThatFollowsDaylightTime) {
    platform.tz = {300, 0, -60, 2};
    EXPECT_DOUBLE_EQ(sys.getGMTBias(), 240.0);
    clock.set(DateTime::fromParts(2026, 7, 1, 22, 30));
    EXPECT_EQ(sys.getGMT().toQDateTime(), QDateTime(QDate(2026, 7, 2), QTime(2, 30), Qt::UTC));
    platform.tz.answer = 1;
    EXPECT_DOUBLE_EQ(sys.getGMTBias(), 300.0);
}

TEST_F(UtilsTest, TrapWritesTheUsualLineAndReturnsTheFallback) {
    log.firstErrorPending = false;
    const int result = trapped(log, QStringLiteral("addItem"), -1,
                               []() -> int { throw Error::of(err::SubscriptOutOfRange); });
    EXPECT_EQ(result, -1);
    EXPECT_TRUE(errorLog().contains(" :: ERROR :: addItem :: (9) - Subscript out of range :: "));
}
