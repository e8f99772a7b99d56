// The real saver (offscreen) against tools/noaa-sim answering one kind of request in a hostile
// way: whatever the server sends, the saver stays up within a memory bound, its cache holds
// only files of its own naming, and its error log says what went wrong.
#include "e2e/kit/ImageCompare.h"
#include "e2e/kit/NoaaSimRun.h"
#include "e2e/kit/SaverWorld.h"

#include "shell/WorkingFolder.h"

#include "common/MemoryBounds.h"
#include "common/TestWorld.h"

#include <QDir>
#include <QFile>
#include <QRegularExpression>

#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

using namespace nimbuscope;
using namespace nimbuscope::e2e;
using namespace nimbuscope::test;

namespace {

// Short, so that silence and slow heads end within seconds.
constexpr int kNetworkTimeoutSeconds = 2;
constexpr int kMetWithinMs = 40000;
// The simulator lists 18 frames five minutes apart; the hour the saver keeps holds 13.
constexpr int kFramesPerProduct = 13;
// The saver's peak resident memory: about 35 MB after a whole pass here.
constexpr qint64 kPeakKbBound = 100 * 1024 * kSanitizerMemoryFactor;

struct HostileCase {
    const char* name;
    const char* fault; // PATTERN=KIND for noaa-sim
    const char* logged;
    int framesCached;
    friend void PrintTo(const HostileCase& c, std::ostream* os) { *os << c.name; }
};

// Everything the saver may keep in its cache folder, by its naming of them.
const QRegularExpression
    kOwnCacheName(QStringLiteral(R"(^64106\.(currentConditions\.jpg|DS\.(p19r0|p20-r)\.(loop\.txt|)"
                                 R"(SI\.KEAX\.dd\.\d{8}\.\d{4}\.noaa))$)"));

qint64 peakResidentKb(qint64 pid) {
    QFile status(QStringLiteral("/proc/%1/status").arg(pid));
    if (!status.open(QIODevice::ReadOnly)) {
        return -1;
    }
    for (const QByteArray& line : status.readAll().split('\n')) {
        if (line.startsWith("VmHWM:")) {
            return line.mid(6).trimmed().split(' ').value(0).toLongLong();
        }
    }
    return -1;
}

class HostileServerE2eTest : public ::testing::TestWithParam<HostileCase> {
protected:
    HostileServerE2eTest()
        : sim(QStringLiteral(NIMBUSCOPE_NOAA_SIM),
              {QStringLiteral("--fault"), QLatin1String(GetParam().fault)}) {}

    void SetUp() override {
        ASSERT_TRUE(sim.isListening()) << sim.describe().toStdString();
        writeHives(world, sim.registryLines().toUtf8() +
                              "\"zipcode\"=\"64106\"\n\"locationMode\"=dword:00000001\n" +
                              "\"networkTimeout\"=dword:0000000" +
                              QByteArray::number(kNetworkTimeoutSeconds) + "\n");
        // The error log is written only once the file exists: made here as the saver would
        // make its folders.
        const passwd* user = getpwuid(geteuid());
        folder = workingFolderFor(world.tmp(), QString::fromLocal8Bit(user->pw_name));
        const QString shared = world.tmp() + QStringLiteral("/Nimbuscope");
        ASSERT_TRUE(QDir().mkpath(folder));
        ::chmod(QFile::encodeName(shared).constData(), 01777);
        ::chmod(QFile::encodeName(folder).constData(), 0700);
        world.writeFile(folder + QStringLiteral("/errorlog.txt"), {});
    }

    QString errorLog() const {
        return QString::fromUtf8(world.readFile(folder + QStringLiteral("/errorlog.txt")));
    }

    TestWorld world; // first: the programs run in its folders
    NoaaSimRun sim;
    QString folder;
};

} // namespace

TEST_P(HostileServerE2eTest, TheSaverStaysUpBoundedKeepsOnlyItsOwnFilesAndLogsTheFailure) {
    const HostileCase& c = GetParam();
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    ProgramRun saver(QStringLiteral(NIMBUSCOPE_SAVER_PROGRAM), {QStringLiteral("/s")}, env);
    ASSERT_TRUE(saver.started());
    const auto framesCached = [&] { return cachedFiles(world, QStringLiteral("*.noaa")).size(); };
    const bool met = waitUntil(
        [&] {
            return !saver.isRunning() || (errorLog().contains(QLatin1String(c.logged)) &&
                                          framesCached() >= c.framesCached);
        },
        kMetWithinMs);
    ASSERT_TRUE(saver.isRunning()) << saver.describe().toStdString();
    EXPECT_TRUE(met) << "frames cached: " << framesCached() << "\n" << errorLog().toStdString();
    EXPECT_EQ(framesCached(), c.framesCached);

    const qint64 peakKb = peakResidentKb(saver.processId());
    std::printf("%s: peak resident %lld kB\n", c.name, static_cast<long long>(peakKb));
    EXPECT_GT(peakKb, 0);
    EXPECT_LT(peakKb, kPeakKbBound);
    const QDir data(folder + QStringLiteral("/data"));
    for (const QString& name :
         data.entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot)) {
        EXPECT_TRUE(kOwnCacheName.match(name).hasMatch()) << name.toStdString();
    }
    saver.kill();
}

INSTANTIATE_TEST_SUITE_P(
    Modes, HostileServerE2eTest,
    ::testing::Values(
        HostileCase{"HeaderBombOnEveryFrame", "/radar/images/*=header-bomb",
                    "transfer failed: headers too large", 0},
        HostileCase{"SlowHeadersOnAList", "/radar/loopdata/DS.p19r0/*=slow-headers",
                    "transfer failed: timed out", 0},
        HostileCase{"EndlessConditionsPicture", "/images/wtf/*=endless",
                    "transfer failed: body too large", 2 * kFramesPerProduct},
        HostileCase{"OversizedFrames", "/radar/images/DS.p20-r/*=oversized:3000000",
                    "transfer failed: body too large", kFramesPerProduct},
        HostileCase{"TruncatedFrames", "/radar/images/DS.p19r0/*=truncate",
                    "transfer failed: answer cut short", kFramesPerProduct},
        HostileCase{"ResetList", "/radar/loopdata/DS.p20-r/*=reset",
                    "transfer failed: answer cut short", 0},
        HostileCase{"BadLinesAmongGoodOnes", "/radar/loopdata/*=bad-lines",
                    "not an address of the list's server, line skipped: file:///etc/passwd.noaa",
                    2 * kFramesPerProduct},
        HostileCase{"ErrorPagesForTheLists", "/radar/loopdata/*=error", "transfer failed: HTTP 500",
                    0}),
    [](const auto& info) { return std::string(info.param.name); });
