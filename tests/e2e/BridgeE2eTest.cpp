// The saver and its setup dialog with every service setting at NOAA's defaults and only the
// bridge's four addresses pointed at tools/noaa-sim in today mode: whatever the programs
// show must have come through the bridge from NOAA's current forms.
#include "e2e/kit/SaverE2eFixture.h"
#include "e2e/kit/SaverScreen.h"

#include "display/FrameLayout.h"
#include "noaa-sim/Conditions.h"
#include "noaa-sim/SiteTable.h"
#include "noaa-sim/TodayForms.h"
#include "noaa-sim/TodayPlaces.h"

#include <QFileInfo>
#include <QRegularExpression>
#include <QThread>

#include <gtest/gtest.h>

using namespace nimbuscope::e2e;
using namespace nimbuscope::test;

namespace {

constexpr int kShownWithinMs = 10000;
constexpr int kCheckedWithinMs = 20000;
// A message box takes a moment to take the focus after it appears.
constexpr int kActivationMs = 500;
// Each poll lists the cache folder; five times a second is often enough.
constexpr int kFilesPollMs = 200;
// Two seconds without a new frame: the pass is over.
constexpr int kSteadyPolls = 10;
const QSize kScreen{1024, 768};
// More times than a list carries, so the newest list's frames stay advertised a while.
const QString kAdvertised = QStringLiteral("30");
// The saver keeps the frames of the last hour: twelve or thirteen at five-minute steps.
constexpr int kHourOfFrames = 12;
constexpr qsizetype kStandardStills = 10;
const QString kZip = QStringLiteral("64106");
// The nearest Kansas City station is stale; the next one reports.
constexpr const char* kReportingStation = "/api/stations/KMCI/observations/latest";
// The points answer links to the real API's host; the bridge asks the simulator.
constexpr const char* kStationList = "/api/gridpoints/EAX/44,51/stations 200";
// No radar covers Utqiagvik, AK.
const QString kNoRadarZip = QStringLiteral("99723");

constexpr int kTemperaturePx = 34;
// Two temperatures one figure apart lie about 0.2 apart; the same one at 0.
constexpr double kSameFigures = 0.08;
constexpr QRgb kWhite = 0xffffffff;

// The paths of NOAA's current services as the simulator serves them.
const QRegularExpression kTodayForm(QStringLiteral(
    R"(^\S+ /(zipcity\.php\?|api/(points|gridpoints|stations|alerts)/|geoserver/|ridge/standard/))"));

class BridgeE2eTest : public SaverE2eFixture {
protected:
    BridgeE2eTest()
        : SaverE2eFixture(XvfbOptions{kScreen},
                          {QStringLiteral("--today"), QStringLiteral("--frames"), kAdvertised}) {}

    void SetUp() override {
        SaverE2eFixture::SetUp();
        ASSERT_EQ(sim.settings().size(), 4) << "only the bridge's addresses";
        // The dialog's radar site list, naming NOAA's radar pages as the shipped one does.
        world.writeFile(QStringLiteral("share/RadarList.txt"),
                        "STATE: MO\r\n\"http://radar.weather.gov/radar/latest/DS.p19r0/"
                        "si.keax.shtml\",\"Kansas City\",\"64106\"\r\n");
        world.writeFile(QStringLiteral("share/RadarUnavailable.jpg"), unavailablePicture());
    }

    static QByteArray unavailablePicture() {
        QFile f(QStringLiteral(NIMBUSCOPE_DATA_DIR "/RadarUnavailable.jpg"));
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }

    /// Both hives hold the bridge's addresses and `extra`.
    void writeHives(const QByteArray& extra) {
        nimbuscope::e2e::writeHives(world, sim.registryLines().toUtf8() + "\"homeDirectory\"=\"" +
                                               world.root().toUtf8() + "/share\"\n" + extra);
    }
    QString stored() const { return QString::fromUtf8(world.readFile(machineHive(world))); }

    QStringList requestLog() const { return simControl().requests(); }

    /// Cached files of the location whose names match `pattern` (after the zip code).
    QStringList cached(const QString& pattern, const QString& zip = kZip) const {
        return cachedFiles(world, zip + pattern);
    }
    /// Waits for the end of the first pass: an hour of frames of both products, and no frame
    /// more for a while. (The products' counts may differ by one: the long range comes from
    /// the mosaic, whose times fall on whole five minutes.)
    bool passIsOver(const QString& zip) const {
        qsizetype last = -1;
        int steady = 0;
        return waitUntil(
            [&] {
                const auto shortRange = cached(QStringLiteral(".DS.p19r0.*.noaa"), zip).size();
                const auto longRange = cached(QStringLiteral(".DS.p20-r.*.noaa"), zip).size();
                const qsizetype count = shortRange + longRange;
                steady = count == last ? steady + 1 : 0;
                last = count;
                return shortRange >= kHourOfFrames && longRange >= kHourOfFrames &&
                       steady >= kSteadyPolls;
            },
            kRadarShownMs, kFilesPollMs);
    }
    /// Hives for the saver at `zip`, in zip code mode.
    void writeHivesFor(const QString& zip) {
        writeHives("\"zipcode\"=\"" + zip.toUtf8() + "\"\n\"locationMode\"=dword:00000001\n");
    }

    /// Frame names ("SI.KEAX.dd.YYYYMMDD.HHMM") of the reflectivity layer's advertised times.
    QStringList advertisedFrameNames() const {
        const QString xml = QString::fromStdString(simControl().get(
            "/geoserver/keax/ows?service=WMS&version=1.3.0&request=GetCapabilities"));
        QStringList names;
        if (xml.isEmpty()) {
            return names;
        }
        // Kansas City's workspace names its base reflectivity as the recorded ones do.
        const qsizetype layer = xml.indexOf(QStringLiteral("<Name>keax_bref_raw</Name>"));
        const QString dimension =
            xml.mid(layer, xml.indexOf(QStringLiteral("</Dimension>"), layer) - layer);
        const QRegularExpression instant(QStringLiteral(R"((\d{4})-(\d\d)-(\d\d)T(\d\d):(\d\d))"));
        for (auto it = instant.globalMatch(dimension); it.hasNext();) {
            const auto m = it.next();
            names << QStringLiteral("SI.KEAX.dd.%1%2%3.%4%5")
                         .arg(m.captured(1), m.captured(2), m.captured(3), m.captured(4),
                              m.captured(5));
        }
        return names;
    }

    quint32 openSetup() {
        setup = session.run(QStringLiteral(NIMBUSCOPE_SAVER_PROGRAM), {QStringLiteral("/c")});
        return waitForSetupDialog(session, kShownWithinMs);
    }

    /// The temperature label's rendering of `fahrenheit`, as the saver shows it.
    static QImage temperatureText(int fahrenheit) {
        return renderText(QStringLiteral("%1°").arg(fahrenheit), saverFont(kTemperaturePx), kWhite);
    }

    /// The first line of text in the strip left of the picture: the temperature.
    QImage temperatureShown() {
        const QImage screen = session.x().grabScreen();
        const int top = pictureTop(screen, kCaptionBandTop);
        const int left = firstLitColumn(screen, top);
        if (top < 0 || left <= 2) {
            return {};
        }
        return firstInkBand(screen.copy(0, top, left - 2, kProblemArea.top() - top));
    }

    std::unique_ptr<ProgramRun> setup;
};

/// The log lines that are not requests for NOAA's current forms.
QStringList otherThanTodayForms(const QStringList& log) {
    QStringList others;
    for (const QString& line : log) {
        if (!kTodayForm.match(line).hasMatch()) {
            others << line;
        }
    }
    return others;
}

} // namespace

TEST_F(BridgeE2eTest, SetupChecksAZipCodeThroughTheBridgeAndStoresNoaasAddresses) {
    writeHives({});
    const quint32 dialog = openSetup();
    ASSERT_NE(dialog, 0u) << setup->describe().toStdString();
    ASSERT_TRUE(typeInto(session, dialog, QStringLiteral("6 4 1 0 6 Return")));
    ASSERT_TRUE(setup->waitForEnd(kCheckedWithinMs)) << setup->describe().toStdString();
    EXPECT_EQ(setup->exitCode(), 0);

    const QString hive = stored();
    EXPECT_TRUE(hive.contains(QStringLiteral("\"zipcode\"=\"64106\""))) << hive.toStdString();
    EXPECT_TRUE(hive.contains(QStringLiteral("\"templateURL\"=\"http://radar.weather.gov/radar/"
                                             "images/@@@@@/SI.keax/#####.noaa\"")));
    EXPECT_TRUE(hive.contains(QStringLiteral("\"cityState\"=\"Kansas City, MO\"")));
    EXPECT_TRUE(hive.contains(QStringLiteral("\"currentConditionsURL\"=\"http://forecast.weather."
                                             "gov/MapClick.php?lat=39.1031&lon=-94.5785\"")));
    const QStringList log = requestLog();
    EXPECT_TRUE(
        log.join(QLatin1Char('\n')).contains(QStringLiteral("/zipcity.php?inputstring=64106 302")));
    EXPECT_TRUE(
        log.join(QLatin1Char('\n')).contains(QStringLiteral("/api/points/39.1031,-94.5785 200")));
    EXPECT_EQ(otherThanTodayForms(log), QStringList()) << log.join(QLatin1Char('|')).toStdString();
}

TEST_F(BridgeE2eTest, SetupRefusesAZipCodeTheSearchCannotPlaceOrNoRadarCovers) {
    writeHives({});
    for (const char* keys : {"9 9 9 9 9 Return", "9 9 7 2 3 Return"}) {
        SCOPED_TRACE(keys);
        const quint32 dialog = openSetup();
        ASSERT_NE(dialog, 0u) << setup->describe().toStdString();
        ASSERT_TRUE(typeInto(session, dialog, QLatin1String(keys)));
        const quint32 message =
            session.waitForWindow(QStringLiteral("^Nimbuscope$"), kCheckedWithinMs);
        ASSERT_NE(message, 0u) << setup->describe().toStdString();
        EXPECT_TRUE(setup->isRunning());
        ASSERT_TRUE(typeInto(session, message, QStringLiteral("Return")));
        QThread::msleep(kActivationMs);
        ASSERT_TRUE(typeInto(session, dialog, QStringLiteral("Escape")));
        ASSERT_TRUE(setup->waitForEnd(kShownWithinMs)) << setup->describe().toStdString();
    }
    EXPECT_FALSE(stored().contains(QStringLiteral("\"zipcode\"")));
    EXPECT_FALSE(stored().contains(QStringLiteral("templateURL")));
    const QString all = requestLog().join(QLatin1Char('\n'));
    EXPECT_TRUE(all.contains(QStringLiteral("/zipcity.php?inputstring=99999 200")));
    // The place was found and answered: refused for its lack of radar, not for the network.
    EXPECT_TRUE(all.contains(QStringLiteral("/api/points/71.2906,-156.7886 200")))
        << all.toStdString();
}

TEST_F(BridgeE2eTest, SaverShowsFramesOfTheExactTimesAndTheReportingStationsConditions) {
    writeHives("\"zipcode\"=\"64106\"\n\"locationMode\"=dword:00000001\n");
    const auto saver = startSaver();
    ASSERT_TRUE(radarOnScreen()) << saver->describe().toStdString();
    ASSERT_TRUE(passIsOver(kZip))
        << cached(QStringLiteral("*")).join(QLatin1Char(' ')).toStdString() << "; "
        << requestLog().join(QLatin1Char('|')).toStdString();

    // Frame names carry the minute of the map server's exact scan times, not whole five
    // minutes; every one of them is an advertised time.
    const QStringList advertised = advertisedFrameNames();
    ASSERT_GE(advertised.size(), kHourOfFrames);
    const QStringList frames = cached(QStringLiteral(".DS.p19r0.*.noaa"));
    int offGrid = 0;
    for (const QString& file : frames) {
        const QString name = QFileInfo(file).completeBaseName().section(QLatin1Char('.'), 3);
        EXPECT_TRUE(advertised.contains(name)) << name.toStdString();
        offGrid += name.right(1).toInt() % 5 != 0 ? 1 : 0;
    }
    EXPECT_GT(offGrid, 0);

    // The temperature of the station that reports (the stale one would say another).
    const QStringList pictures = cached(QStringLiteral(".currentConditions.jpg"));
    ASSERT_EQ(pictures.size(), 1);
    EXPECT_FALSE(QImage(pictures.front()).isNull());
    // The pass ran at most a minute ago; the weather changes on the hour.
    const auto sites = nimbuscope::noaasim::SiteTable::builtIn();
    const auto now = std::chrono::floor<std::chrono::seconds>(std::chrono::system_clock::now());
    const QImage shown = temperatureShown();
    double distance = 1;
    QString expected;
    for (const auto at : {now, now - std::chrono::minutes{1}}) {
        expected = QStringLiteral("%1°").arg(
            nimbuscope::noaasim::conditionsFor(*sites.byZip("64106"), at).temperatureF);
        distance = std::min(
            distance, inkDistance(shown, renderText(expected, saverFont(kTemperaturePx), kWhite)));
    }
    EXPECT_LT(distance, kSameFigures) << expected.toStdString();

    const QStringList log = requestLog();
    const QString all = log.join(QLatin1Char('\n'));
    // The long range comes from the national mosaic: the site's layer ends short of it.
    for (const char* asked : {kReportingStation, kStationList, "layers=keax:keax_bref_raw",
                              "layers=conus:conus_bref_qcd"}) {
        EXPECT_TRUE(all.contains(QLatin1String(asked))) << asked;
    }
    EXPECT_EQ(otherThanTodayForms(log), QStringList()) << all.toStdString();

    ASSERT_TRUE(session.key(QStringLiteral("a")));
    EXPECT_TRUE(saver->waitForEnd(kEndsWithinMs)) << saver->describe().toStdString();
}

TEST_F(BridgeE2eTest, WithoutTheMapServerTheSaverShowsTheStandardStills) {
    writeHives("\"zipcode\"=\"64106\"\n\"locationMode\"=dword:00000001\n");
    ASSERT_TRUE(simFault("/geoserver/*", "wms-error"));
    const auto saver = startSaver();
    ASSERT_TRUE(radarOnScreen()) << saver->describe().toStdString();
    ASSERT_TRUE(waitUntil(
        [&] {
            return cached(QStringLiteral(".DS.p19r0.*.noaa")).size() == kStandardStills &&
                   cached(QStringLiteral(".DS.p20-r.*.noaa")).size() == kStandardStills;
        },
        kRadarShownMs, kFilesPollMs))
        << cached(QStringLiteral("*")).join(QLatin1Char(' ')).toStdString();

    const QString all = requestLog().join(QLatin1Char('\n'));
    for (int i = 0; i < kStandardStills; ++i) {
        EXPECT_TRUE(all.contains(QStringLiteral("/ridge/standard/KEAX_%1.gif 200").arg(i))) << i;
    }
    EXPECT_FALSE(all.contains(QLatin1String("request=GetMap")));
    ASSERT_TRUE(session.key(QStringLiteral("a")));
    EXPECT_TRUE(saver->waitForEnd(kEndsWithinMs)) << saver->describe().toStdString();
}

TEST_F(BridgeE2eTest, APlaceNoRadarCoversShowsTheUnavailablePictureWithoutRetries) {
    writeHivesFor(kNoRadarZip);
    const auto saver = startSaver();
    ASSERT_TRUE(waitUntil(
        [&] {
            return cached(QStringLiteral(".DS.p19r0.SI.NONE.*.noaa"), kNoRadarZip).size() == 2 &&
                   cached(QStringLiteral(".DS.p20-r.SI.NONE.*.noaa"), kNoRadarZip).size() == 2;
        },
        kRadarShownMs, kFilesPollMs))
        << cached(QStringLiteral("*"), kNoRadarZip).join(QLatin1Char(' ')).toStdString();

    // The frames are the saver's own picture, drawn where frames go.
    const QImage picture =
        QImage::fromData(unavailablePicture()).convertToFormat(QImage::Format_RGB32);
    const QRect box = nimbuscope::frameBox(picture.size(), kScreen,
                                           float(kScreen.width()) / float(kScreen.height()));
    double difference = -1;
    EXPECT_TRUE(waitUntil(
        [&] {
            difference = meanColourDifference(
                session.x().grabScreen().copy(box).convertToFormat(QImage::Format_RGB32), picture);
            return difference >= 0 && difference < 4;
        },
        kShownWithinMs))
        << "difference " << difference;
    EXPECT_GE(problemLineDistance(session), kSameText) << "no network-problem line";

    const QString all = requestLog().join(QLatin1Char('\n'));
    EXPECT_EQ(all.count(QStringLiteral("/api/points/71.2906,-156.7886 200")), 1)
        << "the place is asked once, not retried";
    EXPECT_FALSE(all.contains(QLatin1String("request=GetCapabilities"))) << all.toStdString();
    ASSERT_TRUE(session.key(QStringLiteral("a")));
    EXPECT_TRUE(saver->waitForEnd(kEndsWithinMs)) << saver->describe().toStdString();
}

// New York's nearest station reports in Fahrenheit; no Austin station is current (the
// newest is a day old, another four months).
TEST_F(BridgeE2eTest, TheTemperatureIsTheStationsOwnFahrenheitAndNeverAnOldOne) {
    const auto sites = nimbuscope::noaasim::SiteTable::builtIn();
    const nimbuscope::noaasim::TodayPlaces places(sites);
    for (const QString& zip : {QStringLiteral("10001"), QStringLiteral("78701")}) {
        SCOPED_TRACE(zip.toStdString());
        writeHivesFor(zip);
        const auto saver = startSaver();
        ASSERT_TRUE(radarOnScreen()) << saver->describe().toStdString();
        ASSERT_TRUE(passIsOver(zip));
        const QImage shown = temperatureShown();
        const auto* place = places.byZip(zip.toStdString());
        const auto now = std::chrono::floor<std::chrono::seconds>(std::chrono::system_clock::now());
        // What each station reports now, or reported then: one is shown or none.
        double best = 1;
        int closest = 0;
        for (std::size_t i = 0; i < nimbuscope::noaasim::kStationsPerPlace; ++i) {
            const auto obs = nimbuscope::noaasim::observationOf(*place, i, now);
            if (!obs.value) {
                continue;
            }
            const bool fahrenheit = obs.unit == "wmoUnit:degF";
            const int figure = int(std::lround(fahrenheit ? *obs.value : *obs.value * 9 / 5 + 32));
            const double distance = inkDistance(shown, temperatureText(figure));
            if (distance < best) {
                best = distance;
                closest = int(i);
            }
        }
        if (zip == QLatin1String("10001")) {
            EXPECT_LT(best, kSameFigures);
            EXPECT_EQ(closest, 0) << "the nearest station, in its own unit";
        } else {
            EXPECT_GT(best, kSameFigures) << "an old temperature is shown";
        }
        ASSERT_TRUE(session.key(QStringLiteral("a")));
        ASSERT_TRUE(saver->waitForEnd(kEndsWithinMs)) << saver->describe().toStdString();
    }
}
