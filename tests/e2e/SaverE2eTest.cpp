// The saver's modes on a private X server without a window manager, downloading from
// tools/noaa-sim over loopback: the full screen, the launcher and the settings dialog, as a user
// meets them.
#include "e2e/kit/SaverE2eFixture.h"

#include <QDirIterator>
#include <QElapsedTimer>
#include <QMap>
#include <QThread>

using namespace nimbuscope::e2e;

namespace {

// Past the three seconds in which movement after a (re)load does not count.
constexpr unsigned long kPastMouseGraceMs = 3500;
// The window checks the cursor on every move and every animation tick (at most 2 s apart).
constexpr int kNotEndedMs = 2500;
constexpr int kShownWithinMs = 10000;
constexpr int kProblemShownMs = 30000;
const QString kPlayback = QStringLiteral("^NimbuscopePlayback$");
const QString kSetup = QStringLiteral("^Nimbuscope Setup$");
// The network-problem line: centred at the bottom, 620 wide, in amber. The title and its hint
// end above kCaptionBandTop; the frame caption and the picture lie below.
const QRect kProblemArea{(1024 - 620) / 2, 768 - 30, 620, 30};
constexpr QRgb kProblemColour = 0xffffc857;
constexpr int kCaptionBandTop = 60;

class SaverE2eTest : public SaverE2eFixture {
protected:
    using SaverE2eFixture::SaverE2eFixture;

    bool problemLineShown() {
        const QImage line = session.x().grabScreen().copy(kProblemArea);
        return colourShare(line, kProblemColour, 40) > 0.01;
    }
    /// Whether the picture changes at least three times within ten seconds, enough even when
    /// a last frame's hold and slow grabs on a loaded machine fall into that time.
    bool framesPlay() {
        const QRect area(0, kCaptionBandTop, 1024, kProblemArea.top() - kCaptionBandTop);
        QImage previous = session.x().grabScreen().copy(area);
        int changes = 0;
        return waitUntil(
            [&] {
                const QImage now = session.x().grabScreen().copy(area);
                changes += meanColourDifference(previous, now) > 0.5 ? 1 : 0;
                previous = now;
                return changes >= 3;
            },
            10000, 300);
    }
    /// The settings dialog, given the moment it takes to fill its lists and focus its first
    /// box; 0 when it did not come.
    quint32 setupDialog() {
        const quint32 dialog = session.waitForWindow(kSetup, kShownWithinMs);
        QThread::msleep(dialog != 0 ? 500 : 0);
        return dialog;
    }
    /// The cache files of every user whose names match `pattern`.
    QStringList cachedFiles(const QString& pattern) {
        QStringList files;
        QDirIterator it(world.tmp() + QStringLiteral("/Nimbuscope"), {pattern}, QDir::Files,
                        QDirIterator::Subdirectories);
        while (it.hasNext()) {
            files << it.next();
        }
        return files;
    }
};

class SetupE2eTest : public SaverE2eTest {
protected:
    SetupE2eTest() : SaverE2eTest({QStringLiteral("--today")}) {}
};

} // namespace

// Moves during the start-up logo count for nothing. West of Greenwich, error pages for both lists
// used to replace the cached lists, and their last line, which names no frame time, made every
// cached frame look stale: Esc during a pass opens the settings, whose Cancel starts the pass
// afresh, which now meets error pages, says so and keeps every cached file while the cached
// frames play on; then 20 pixels keep the saver and 21 end it.
TEST_F(SaverE2eTest, TheLogoErrorPagesDuringAPassTheSettingsAndTheMoveThatEndsIt) {
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("TZ"), QStringLiteral("America/Chicago"));
    ASSERT_TRUE(sim.fault("/radar/images/*", "delay:7000"));
    auto saver = startSaver({QStringLiteral("/s")}, env);
    ASSERT_NE(session.waitForWindow(kPlayback, kShownWithinMs), 0u)
        << saver->describe().toStdString();
    QThread::msleep(kPastMouseGraceMs);
    const QImage logo = session.x().grabScreen();
    ASSERT_LT(vividShare(logo), 0.01) << "a frame is on screen already";
    ASSERT_LT(colourShare(logo.copy(462, 364, 100, 40), 0xff000000), 0.9) << "no logo";
    ASSERT_TRUE(session.mouseMoveBy(200, 150));
    EXPECT_FALSE(saver->waitForEnd(kNotEndedMs));

    ASSERT_TRUE(sim.fault("/radar/images/*", "delay:100"));
    const auto cache = [&] {
        QMap<QString, QByteArray> files;
        for (const QString& path : cachedFiles(QStringLiteral("64106.*"))) {
            files.insert(path, path.endsWith(QLatin1String(".txt")) ? world.readFile(path) : "");
        }
        return files;
    };
    // The first pass is over once both lists and the frames of the hour they cover are in.
    ASSERT_TRUE(waitUntil(
        [&] {
            return cachedFiles(QStringLiteral("*.noaa")).size() == 26 &&
                   cachedFiles(QStringLiteral("*.loop.txt")).size() == 2;
        },
        kRadarShownMs, 200))
        << saver->describe().toStdString();
    EXPECT_FALSE(problemLineShown());
    ASSERT_TRUE(session.key(QStringLiteral("a")));
    ASSERT_TRUE(saver->succeeds(kEndsWithinMs)) << saver->describe().toStdString();
    const QMap<QString, QByteArray> before = cache();

    ASSERT_TRUE(sim.fault("/radar/loopdata/*", "delay:15000"));
    saver = startSaver({QStringLiteral("/s")}, env);
    ASSERT_NE(session.waitForWindow(kPlayback, kShownWithinMs), 0u);
    QThread::msleep(kPastMouseGraceMs);
    ASSERT_TRUE(session.key(QStringLiteral("Escape")));
    // The dialog takes the keys while it is up: Esc there is its Cancel, not the saver's end.
    ASSERT_NE(setupDialog(), 0u) << saver->describe().toStdString();
    ASSERT_TRUE(sim.fault("/radar/loopdata/*", "error"));
    ASSERT_TRUE(session.key(QStringLiteral("Escape")));
    EXPECT_TRUE(waitUntil([&] { return session.findWindows(kSetup).isEmpty(); }, 5000));
    EXPECT_TRUE(waitUntil([&] { return problemLineShown(); }, kProblemShownMs))
        << saver->describe().toStdString();
    EXPECT_TRUE(sim.requests().contains(QStringLiteral("/radar/loopdata/DS.p19r0/")));
    EXPECT_TRUE(cache() == before) << "a cached file went or changed";
    EXPECT_TRUE(framesPlay());

    ASSERT_TRUE(session.mouseMoveBy(20, 20));
    EXPECT_FALSE(saver->waitForEnd(kNotEndedMs));
    ASSERT_TRUE(session.mouseMoveBy(-21, 0));
    EXPECT_TRUE(saver->succeeds(kEndsWithinMs)) << saver->describe().toStdString();
}

// The settings left open never keep the saver from starting: the launcher starts it full
// screen beside them, and puts the user's other saver back as the chosen one.
TEST_F(SaverE2eTest, TheLauncherStartsTheSaverBesideTheOpenSettingsAndPutsTheOtherSaverBack) {
    const QByteArray other = "\"SCRNSAVE.EXE\"=\"/usr/lib/xscreen/other-saver\"";
    world.writeFile(userHive(world), world.readFile(userHive(world)) +
                                         "\n[HKEY_CURRENT_USER\\Control Panel\\Desktop]\n" + other +
                                         "\n");
    const auto setup = startSaver({QStringLiteral("/c")});
    ASSERT_NE(setupDialog(), 0u) << setup->describe().toStdString();

    QElapsedTimer took;
    took.start();
    const auto launcher = session.run(QStringLiteral(NIMBUSCOPE_LAUNCHER_PROGRAM), {});
    const quint32 window = session.waitForWindow(kPlayback, kShownWithinMs);
    ASSERT_NE(window, 0u) << launcher->describe().toStdString();
    EXPECT_EQ(session.x().windowGeometry(window), QRect(0, 0, 1024, 768));
    EXPECT_TRUE(launcher->succeeds(8000)) << launcher->describe().toStdString();
    EXPECT_GE(took.elapsed(), 2000) << "the launcher's pause";
    EXPECT_TRUE(world.readFile(userHive(world)).contains(other));

    // The saver outlives the launcher and is not this test's child: its window going is its end.
    ASSERT_TRUE(radarOnScreen());
    EXPECT_TRUE(framesPlay());
    EXPECT_TRUE(setup->isRunning());
    ASSERT_TRUE(session.key(QStringLiteral("a")));
    EXPECT_TRUE(waitUntil([&] { return session.findWindows(kPlayback).isEmpty(); }, kEndsWithinMs));
}

// With every service at NOAA's defaults and only the bridge's addresses pointed at the
// simulator in today mode, the dialog refuses a zip code no radar covers, and stores NOAA's
// addresses for the next, having asked only NOAA's current forms.
TEST_F(SetupE2eTest, RefusesWhatNoRadarCoversAndStoresNoaasAddressesForTheNext) {
    ASSERT_EQ(sim.settings().size(), 4) << "only the bridge's addresses";
    world.writeFile(QStringLiteral("share/RadarList.txt"),
                    "STATE: MO\r\n\"http://radar.weather.gov/radar/latest/DS.p19r0/"
                    "si.keax.shtml\",\"Kansas City\",\"64106\"\r\n");
    writeHives("\"homeDirectory\"=\"" + world.root().toUtf8() + "/share\"\n");
    auto setup = startSaver({QStringLiteral("/c")});
    quint32 dialog = setupDialog();
    ASSERT_NE(dialog, 0u) << setup->describe().toStdString();
    ASSERT_TRUE(session.typeInto(dialog, QStringLiteral("9 9 7 2 3 Return")));
    // The message box carries the application's title; the dialog stays open after it.
    const quint32 message = session.waitForWindow(QStringLiteral("^Nimbuscope$"), 20000);
    ASSERT_NE(message, 0u) << setup->describe().toStdString();
    ASSERT_TRUE(session.typeInto(message, QStringLiteral("Return")));
    QThread::msleep(500); // the dialog takes the focus back
    EXPECT_TRUE(setup->isRunning());
    ASSERT_TRUE(session.typeInto(dialog, QStringLiteral("Escape")));
    ASSERT_TRUE(setup->waitForEnd(kShownWithinMs)) << setup->describe().toStdString();
    setup = startSaver({QStringLiteral("/c")});
    ASSERT_NE(dialog = setupDialog(), 0u) << setup->describe().toStdString();
    ASSERT_TRUE(session.typeInto(dialog, QStringLiteral("6 4 1 0 6 Return")));
    ASSERT_TRUE(setup->succeeds(20000)) << setup->describe().toStdString();

    const QString hive = QString::fromUtf8(world.readFile(machineHive(world)));
    for (
        const char* value :
        {R"("zipcode"="64106")", R"("cityState"="Kansas City, MO")",
         R"("templateURL"="http://radar.weather.gov/radar/images/@@@@@/SI.keax/#####.noaa")",
         R"("currentConditionsURL"="http://forecast.weather.gov/MapClick.php?lat=39.1031&lon=-94.5785")"}) {
        EXPECT_TRUE(hive.contains(QLatin1String(value))) << value << "\n" << hive.toStdString();
    }
    const QString asked = sim.requests();
    // The no-radar place was found and answered: refused for its lack of radar.
    for (const char* request :
         {"/zipcity.php?inputstring=99723", "/api/points/71.2906,-156.7886 200",
          "/zipcity.php?inputstring=64106 302"}) {
        EXPECT_TRUE(asked.contains(QLatin1String(request))) << request << "\n"
                                                            << asked.toStdString();
    }
    EXPECT_TRUE(onlyTodayForms(asked)) << asked.toStdString();
}
