// The setup dialog of the real saver program, started for setup ("/c") or over the saver
// window at a first start, on a private X server, checking zip codes against tools/noaa-sim
// over loopback, with its settings in the test's own hive.
#include "common/TestWorld.h"
#include "e2e/kit/ImageCompare.h"
#include "e2e/kit/NoaaSimRun.h"
#include "e2e/kit/SaverScreen.h"
#include "e2e/kit/SaverWorld.h"
#include "e2e/kit/XvfbSession.h"

#include <gtest/gtest.h>

using namespace nimbuscope::e2e;
using namespace nimbuscope::test;

namespace {

constexpr int kShownWithinMs = 10000;
constexpr int kCheckedWithinMs = 15000;

/// The dialog's radar site list, on `host`.
QByteArray radarList(const QString& host) {
    const QByteArray page = "\"http://" + host.toLatin1() + "/radar/latest/DS.p19r0/si.";
    return "STATE: KS\r\n" + page + "ktwx.shtml\",\"Topeka\",\"66614\"\r\n" + "STATE: MO\r\n" +
           page + "keax.shtml\",\"Kansas City\",\"64106\"\r\n";
}

class SetupE2eTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_RUNNING(session);
        // The simulator needs only the cities and zip codes; the host is filled in below.
        const QString simList =
            world.writeFile(QStringLiteral("sim/RadarList.txt"), radarList(QStringLiteral("x")));
        sim = std::make_unique<NoaaSimRun>(QStringLiteral(NOAA_SIM_PROGRAM),
                                           QStringList{QStringLiteral("--radar-list"), simList});
        ASSERT_TRUE(sim->isListening()) << sim->describe().toStdString();
        world.writeFile(QStringLiteral("share/RadarList.txt"),
                        radarList(sim->settings().value(QStringLiteral("serviceDomain"))));
        writeHives(world, sim->registryLines().toUtf8() + "\"homeDirectory\"=\"" +
                              world.root().toUtf8() + "/share\"\n");
    }

    QString stored() const { return QString::fromUtf8(world.readFile(machineHive(world))); }

    /// Starts "nimbuscope /c" and waits for its dialog; 0 when it did not come.
    quint32 openSetup() {
        setup = session.run(QStringLiteral(NIMBUSCOPE_SAVER_PROGRAM), {QStringLiteral("/c")});
        return waitForSetupDialog(session, kShownWithinMs);
    }

    /// Starts the full-screen saver; the hive holds no zip code.
    std::unique_ptr<ProgramRun> startSaver() {
        return session.run(QStringLiteral(NIMBUSCOPE_SAVER_PROGRAM), {QStringLiteral("/s")});
    }

    TestWorld world; // first: the programs run in its folders
    XvfbSession session;
    std::unique_ptr<NoaaSimRun> sim;
    std::unique_ptr<ProgramRun> setup;
};

} // namespace

TEST_F(SetupE2eTest, ANewZipCodeIsCheckedAndItsLocationStored) {
    const quint32 dialog = openSetup();
    ASSERT_NE(dialog, 0u) << setup->describe().toStdString();
    ASSERT_TRUE(typeInto(session, dialog, QStringLiteral("6 6 6 1 4 Return")));
    ASSERT_TRUE(setup->waitForEnd(kCheckedWithinMs)) << setup->describe().toStdString();
    EXPECT_TRUE(setup->endedNormally());
    EXPECT_EQ(setup->exitCode(), 0);

    const QString base = sim->baseUrl();
    const QString hiveText = stored();
    EXPECT_TRUE(hiveText.contains(QStringLiteral("\"zipcode\"=\"66614\"")))
        << hiveText.toStdString();
    EXPECT_TRUE(hiveText.contains(QStringLiteral("\"locationMode\"=dword:00000001")));
    EXPECT_TRUE(hiveText.contains(QStringLiteral("\"templateURL\"=\"") + base +
                                  QStringLiteral("radar/images/@@@@@/SI.ktwx/#####.noaa\"")));
    EXPECT_TRUE(hiveText.contains(QStringLiteral("\"cityState\"=\"Topeka, KS\"")));
    EXPECT_TRUE(hiveText.contains(QStringLiteral("\"currentConditionsURL\"=\"") + base +
                                  QStringLiteral("MapClick.php?zip=66614\"")));
}

TEST_F(SetupE2eTest, AZipCodeTheSearchDoesNotKnowIsRefusedAndCancelStoresNothing) {
    const quint32 dialog = openSetup();
    ASSERT_NE(dialog, 0u) << setup->describe().toStdString();
    ASSERT_TRUE(typeInto(session, dialog, QStringLiteral("9 9 9 9 9 Return")));
    // The message box carries the application's title.
    const quint32 message = session.waitForWindow(QStringLiteral("^Nimbuscope$"), kCheckedWithinMs);
    ASSERT_NE(message, 0u) << setup->describe().toStdString();
    ASSERT_TRUE(typeInto(session, message, QStringLiteral("Return")));
    ASSERT_TRUE(waitUntil(
        [&] {
            return !session.x().windowExists(message) ||
                   session.findWindows(QStringLiteral("^Nimbuscope$"), true).isEmpty();
        },
        kShownWithinMs));
    EXPECT_TRUE(setup->isRunning()) << "the dialog stays open for another zip code";

    ASSERT_TRUE(typeInto(session, dialog, QStringLiteral("Escape")));
    ASSERT_TRUE(setup->waitForEnd(kShownWithinMs)) << setup->describe().toStdString();
    EXPECT_EQ(setup->exitCode(), 0);
    EXPECT_FALSE(stored().contains(QStringLiteral("\"zipcode\"")));
    EXPECT_FALSE(stored().contains(QStringLiteral("\"templateURL\"")));
}

// Alt with a key leaves the dialog as Cancel does (Esc is its Cancel in the other tests).
TEST_F(SetupE2eTest, AFirstStartShowsTheDialogOverTheBlackSaverAndAltWithAKeyEndsIt) {
    const auto saver = startSaver();
    ASSERT_NE(session.waitForWindow(QStringLiteral("^NimbuscopePlayback$"), kShownWithinMs), 0u)
        << saver->describe().toStdString();
    const quint32 dialog = waitForSetupDialog(session, kShownWithinMs);
    ASSERT_NE(dialog, 0u) << saver->describe().toStdString();

    const QRect area = session.x().windowGeometry(dialog);
    const QImage screen = session.x().grabScreen();
    ASSERT_FALSE(screen.isNull());
    EXPECT_EQ(area.center(), screen.rect().center());
    EXPECT_EQ(qGray(screen.pixel(2, 2)), 0) << "the saver's black window around the dialog";
    EXPECT_EQ(qGray(screen.pixel(screen.width() - 3, screen.height() - 3)), 0);
    EXPECT_GT(qGray(screen.pixel(area.left() + 3, area.center().y())), 128) << "the dialog on top";

    ASSERT_TRUE(typeInto(session, dialog, QStringLiteral("alt+x")));
    ASSERT_TRUE(saver->waitForEnd(kShownWithinMs)) << saver->describe().toStdString();
    EXPECT_TRUE(saver->endedNormally());
    EXPECT_EQ(saver->exitCode(), 0);
    EXPECT_FALSE(stored().contains(QStringLiteral("\"zipcode\"")));
}

TEST_F(SetupE2eTest, AFirstStartGoesOnIntoTheDownloadOnceAZipCodeIsAccepted) {
    const auto saver = startSaver();
    const quint32 dialog = waitForSetupDialog(session, kShownWithinMs);
    ASSERT_NE(dialog, 0u) << saver->describe().toStdString();
    ASSERT_TRUE(typeInto(session, dialog, QStringLiteral("6 6 6 1 4 Return")));
    EXPECT_TRUE(waitUntil(
        [&] { return session.findWindows(QStringLiteral("^Nimbuscope Setup$"), true).isEmpty(); },
        kCheckedWithinMs));
    EXPECT_TRUE(waitUntil([&] { return !cachedFiles(world, QStringLiteral("66614*")).isEmpty(); },
                          kCheckedWithinMs))
        << saver->describe().toStdString();
    EXPECT_TRUE(saver->isRunning());
    EXPECT_TRUE(stored().contains(QStringLiteral("\"cityState\"=\"Topeka, KS\"")));

    ASSERT_TRUE(session.key(QStringLiteral("space")));
    EXPECT_TRUE(saver->waitForEnd(kShownWithinMs)) << saver->describe().toStdString();
}
