// The real saver (offscreen) against tools/noaa-sim: hostile answers of one kind, a cache that
// cannot grow, and NOAA's current forms through the bridge. Whatever the server sends, the saver
// stays up within a memory bound, its cache holds only files of its own naming, and it logs,
// asks for and keeps what each row says.
#include "e2e/kit/SaverE2eFixture.h"

#include "shell/WorkingFolder.h"

#include "common/MemoryBounds.h"

#include <QDir>
#include <QFile>
#include <QRegularExpression>

#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace nimbuscope;
using namespace nimbuscope::e2e;

namespace {

constexpr int kMetWithinMs = 45000;
// The simulator lists 18 frames five minutes apart; the hour the saver keeps holds 13.
constexpr int kHour = 13;
// The saver's peak resident memory: about 35 MB after a whole pass here.
constexpr qint64 kPeakKbBound = 100 * 1024 * test::kSanitizerMemoryFactor;
// The cache is held to 64 MB; an old frame that large fills it.
constexpr qint64 kCacheBudget = qint64(64) << 20;

enum class Start { Plain, FileSizeLimit, CacheFull };

struct ServerCase {
    const char* name;
    const char* simArguments; // separated by blanks
    const char* logged;       // in the error log
    int framesAtLeast;        // cached frames once all is met
    int framesAtMost;
    const char* asked = ""; // parts of requests the saver made, separated by |
    const char* neverAsked = "";
    Start start = Start::Plain;
    const char* zip = "64106";
    friend void PrintTo(const ServerCase& c, std::ostream* os) { *os << c.name; }
};

// Everything the saver may keep in its cache folder, by its naming of them.
const QRegularExpression kOwnCacheName(QStringLiteral(
    R"(^(bridge\.places|alerts\.json|\d{5}\.(currentConditions\.jpg|DS\.(p19r0|p20-r)\.)"
    R"((loop\.txt|SI\.[A-Z]{4}\.dd\.\d{8}\.\d{4}\.noaa)))$)"));

qint64 peakResidentKb(qint64 pid) {
    QFile status(QStringLiteral("/proc/%1/status").arg(pid));
    const QByteArray text = status.open(QIODevice::ReadOnly) ? status.readAll() : QByteArray();
    const qsizetype at = text.indexOf("VmHWM:");
    return at < 0 ? -1 : text.mid(at + 6).trimmed().split(' ').value(0).toLongLong();
}

class ServerE2eTest : public SaverE2eFixture, public ::testing::WithParamInterface<ServerCase> {
protected:
    ServerE2eTest()
        : SaverE2eFixture(
              QString::fromLatin1(GetParam().simArguments).split(u' ', Qt::SkipEmptyParts)) {}

    void SetUp() override {
        SaverE2eFixture::SetUp();
        // Short, so that silence and slow heads end within seconds.
        writeHives("\"zipcode\"=\"" + QByteArray(GetParam().zip) +
                   "\"\n\"locationMode\"=dword:00000001\n\"networkTimeout\"=dword:00000004\n");
        // The error log is written only once the file exists: made here as the saver would
        // make its folders.
        folder =
            workingFolderFor(world.tmp(), QString::fromLocal8Bit(getpwuid(geteuid())->pw_name));
        ASSERT_TRUE(QDir().mkpath(folder + QStringLiteral("/data")));
        for (const auto& [path, mode] : {std::pair{world.tmp() + "/Nimbuscope", 01777},
                                         {folder, 0700},
                                         {folder + "/data", 0700}}) {
            ::chmod(QFile::encodeName(path).constData(), mode);
        }
        world.writeFile(folder + QStringLiteral("/errorlog.txt"), {});
    }

    QString folder;
};

} // namespace

TEST_P(ServerE2eTest, TheSaverStaysUpBoundedKeepsOnlyItsOwnFilesAndDoesWhatTheRowSays) {
    const ServerCase& c = GetParam();
    const QDir data(folder + QStringLiteral("/data"));
    QString program = QStringLiteral(NIMBUSCOPE_SAVER_PROGRAM);
    QStringList arguments{QStringLiteral("/s")};
    if (c.start == Start::FileSizeLimit) {
        // Below a frame's size: every frame write fails as on a full disk, and the saver, told of
        // it by a failed write rather than SIGXFSZ, runs on.
        arguments =
            QStringList{QStringLiteral("--fsize=4096"), QStringLiteral("--"), program} + arguments;
        program = QStringLiteral("/usr/bin/prlimit");
    } else if (c.start == Start::CacheFull) {
        QFile old(data.filePath("64106.DS.p19r0.SI.KEAX.dd.20000101.0000.noaa"));
        ASSERT_TRUE(old.open(QIODevice::WriteOnly) && old.resize(kCacheBudget)); // sparse
    }
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    ProgramRun saver(program, arguments, env);

    const auto errorLog = [&] { return QString(world.readFile(folder + "/errorlog.txt")); };
    const auto framesCached = [&] { return int(data.entryList({"*.noaa"}, QDir::Files).size()); };
    const QStringList asked = QString::fromLatin1(c.asked).split(u'|', Qt::SkipEmptyParts);
    const auto allAsked = [&] {
        const QString log = sim.requests();
        return std::all_of(asked.begin(), asked.end(),
                           [&](const QString& a) { return log.contains(a); });
    };
    const bool met = waitUntil(
        [&] {
            return !saver.isRunning() || (errorLog().contains(QLatin1String(c.logged)) &&
                                          framesCached() >= c.framesAtLeast && allAsked());
        },
        kMetWithinMs, 100);
    ASSERT_TRUE(saver.isRunning()) << saver.describe().toStdString();
    const QString requests = sim.requests();
    EXPECT_TRUE(met) << "frames cached: " << framesCached() << "\n"
                     << errorLog().toStdString() << "\n"
                     << requests.toStdString();
    EXPECT_GE(framesCached(), c.framesAtLeast);
    EXPECT_LE(framesCached(), c.framesAtMost);
    if (*c.neverAsked != '\0') {
        EXPECT_FALSE(requests.contains(QLatin1String(c.neverAsked))) << requests.toStdString();
    }
    if (QLatin1String(c.simArguments).startsWith(QLatin1String("--today"))) {
        EXPECT_TRUE(onlyTodayForms(requests)) << requests.toStdString();
    }
    const qint64 peakKb = peakResidentKb(saver.processId());
    std::printf("%s: peak resident %lld kB\n", c.name, static_cast<long long>(peakKb));
    EXPECT_GT(peakKb, 0);
    EXPECT_LT(peakKb, kPeakKbBound);
    for (const QString& name :
         data.entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot)) {
        EXPECT_TRUE(kOwnCacheName.match(name).hasMatch()) << name.toStdString();
    }
    saver.kill();
}

const ServerCase kRows[] = {
    {"HeaderBombOnEveryFrame", "--fault /radar/images/*=header-bomb",
     "transfer failed: headers too large", 0, 0},
    {"SlowHeadersOnAList", "--fault /radar/loopdata/DS.p19r0/*=slow-headers",
     "transfer failed: timed out", 0, 0},
    {"EndlessConditionsPicture", "--fault /images/wtf/*=endless", "transfer failed: body too large",
     2 * kHour, 2 * kHour},
    {"OversizedFrames", "--fault /radar/images/DS.p20-r/*=oversized:3000000",
     "transfer failed: body too large", kHour, kHour},
    {"TruncatedFrames", "--fault /radar/images/DS.p19r0/*=truncate",
     "transfer failed: answer cut short", kHour, kHour},
    {"ResetList", "--fault /radar/loopdata/DS.p20-r/*=reset", "transfer failed: answer cut short",
     0, 0},
    {"BadLinesAmongGoodOnes", "--fault /radar/loopdata/*=bad-lines",
     "not an address of the list's server, line skipped: file:///etc/passwd.noaa", 2 * kHour,
     2 * kHour},
    {"ErrorPagesForTheLists", "--fault /radar/loopdata/*=error", "transfer failed: HTTP 500", 0, 0},
    {"FileSizeLimit", "", "AsyncRadarImageDownloadManager :: (75) - Path/File access error", 0, 0,
     "/radar/images/DS.p20-r/", "", Start::FileSizeLimit},
    // The old frame goes first, and only it.
    {"CacheFullAtItsBudget", "", "the cache passed its budget of 67108864 bytes", 2 * kHour,
     2 * kHour, "", "", Start::CacheFull},
    // Frames of the site's layer and the national mosaic, the temperature of the station that
    // reports (the nearest is stale), and the place's alerts.
    {"TodaysFormsThroughTheBridge", "--today", "", 24, 26,
     "/api/stations/KMCI/observations/latest|/api/gridpoints/EAX/44,51/stations 200|"
     "layers=keax:keax_bref_raw|layers=conus:conus_bref_qcd|"
     "/api/alerts/active?point=39.1031,-94.5785"},
    {"StandardStillsWithoutTheMapServer", "--today --fault /geoserver/*=wms-error", "", 20, 20,
     "/ridge/standard/KEAX_0.gif 200|/ridge/standard/KEAX_9.gif 200", "request=GetMap"},
    // The saver's own radar-unavailable picture, two frames of each product.
    {"NoRadarCoversThePlace", "--today", "", 4, 4, "/api/points/71.2906,-156.7886 200",
     "request=GetCapabilities", Start::Plain, "99723"},
};

INSTANTIATE_TEST_SUITE_P(Rows, ServerE2eTest, ::testing::ValuesIn(kRows),
                         [](const auto& info) { return std::string(info.param.name); });
