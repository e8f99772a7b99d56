// The full-screen saver ("/s") on a private X server without a window manager, downloading
// from tools/noaa-sim over loopback: what the user sees and what ends it.
#include "common/TestWorld.h"
#include "e2e/ImageCompare.h"
#include "e2e/XvfbSession.h"

#include <QThread>

#include <algorithm>

#include <gtest/gtest.h>

using namespace nimbuscope::e2e;
using namespace nimbuscope::test;

namespace {

constexpr int kServerReadyMs = 10000;
constexpr int kRadarShownMs = 30000;
constexpr int kEndsWithinMs = 5000;
// Past the three seconds in which movement after a (re)load does not count.
constexpr unsigned long kPastMouseGraceMs = 3500;
// Radar echoes and the colour scale are vivid colours: a frame on screen makes about 5 % of
// the screen vivid, the start-up logo about 0.1 %.
constexpr double kRadarVivid = 0.01;
constexpr int kVividSpread = 100;
const QSize kScreen{1024, 768};

/// The share of pixels whose strongest and weakest colour channels lie far apart.
double vividShare(const QImage& picture) {
    const QImage image = picture.convertToFormat(QImage::Format_RGB32);
    if (image.isNull()) {
        return 0;
    }
    qint64 vivid = 0;
    for (int y = 0; y < image.height(); ++y) {
        const auto* line = reinterpret_cast<const QRgb*>(image.constScanLine(y));
        for (int x = 0; x < image.width(); ++x) {
            const int r = qRed(line[x]);
            const int g = qGreen(line[x]);
            const int b = qBlue(line[x]);
            vivid += std::max({r, g, b}) - std::min({r, g, b}) > kVividSpread ? 1 : 0;
        }
    }
    return double(vivid) / (double(image.width()) * image.height());
}

#define ASSERT_RUNNING(session)                                                                    \
    ASSERT_TRUE((session).isRunning()) << (session).errorString().toStdString()

class SaverE2eTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_RUNNING(session);
        const QString reg = world.root() + QStringLiteral("/sim.reg");
        sim = session.run(
            QStringLiteral(NIMBUSCOPE_NOAA_SIM),
            {QStringLiteral("--port"), QStringLiteral("0"), QStringLiteral("--print-reg"), reg});
        ASSERT_TRUE(waitUntil([&] { return world.readFile(reg).contains("alternateRegionLabel"); },
                              kServerReadyMs))
            << sim->describe().toStdString();
        // Settings in both hives: the machine hive is the chosen one where it may be written.
        QByteArray hive = world.readFile(reg);
        hive += "\"zipcode\"=\"64106\"\n\"locationMode\"=dword:00000001\n";
        world.writeFile(world.configHome() +
                            QStringLiteral("/nimbuscope/registry/HKEY_CURRENT_USER.reg"),
                        hive);
        world.writeFile(world.configDir() +
                            QStringLiteral("/nimbuscope/registry/HKEY_LOCAL_MACHINE.reg"),
                        QByteArray(hive).replace("HKEY_CURRENT_USER", "HKEY_LOCAL_MACHINE"));
    }

    std::unique_ptr<ProgramRun> startSaver() {
        return session.run(QStringLiteral(NIMBUSCOPE_SAVER_PROGRAM), {QStringLiteral("/s")});
    }

    bool radarOnScreen() {
        return waitUntil([&] { return vividShare(session.x().grabScreen()) > kRadarVivid; },
                         kRadarShownMs);
    }

    bool endsCleanly(ProgramRun& saver) {
        return saver.waitForEnd(kEndsWithinMs) && saver.endedNormally() && saver.exitCode() == 0;
    }

    TestWorld world; // first: the programs run in its folders
    XvfbSession session{XvfbOptions{kScreen}};
    std::unique_ptr<ProgramRun> sim;
};

} // namespace

TEST_F(SaverE2eTest, CoversTheScreenShowsTheRadarAndAKeyEndsIt) {
    const auto saver = startSaver();
    const quint32 window = session.waitForWindow(QStringLiteral("^NimbuscopePlayback$"), 10000);
    ASSERT_NE(window, 0u) << saver->describe().toStdString();
    EXPECT_EQ(session.x().windowGeometry(window), QRect(QPoint(0, 0), kScreen));
    ASSERT_TRUE(radarOnScreen()) << saver->describe().toStdString();

    // No window manager gives it the focus: the keyboard grab brings the key all the same.
    ASSERT_TRUE(session.key(QStringLiteral("a")));
    EXPECT_TRUE(endsCleanly(*saver)) << saver->describe().toStdString();
}

TEST_F(SaverE2eTest, SmallMovesKeepItALargeOneEndsIt) {
    const auto saver = startSaver();
    ASSERT_TRUE(radarOnScreen()) << saver->describe().toStdString();
    QThread::msleep(kPastMouseGraceMs);
    ASSERT_TRUE(session.mouseMoveBy({10, 10}));
    EXPECT_FALSE(saver->waitForEnd(2500));
    ASSERT_TRUE(session.mouseMoveBy({60, 0}));
    EXPECT_TRUE(endsCleanly(*saver)) << saver->describe().toStdString();
}

TEST_F(SaverE2eTest, EscOpensTheSetupDialogAndCancelGoesBackToTheRadar) {
    const auto saver = startSaver();
    ASSERT_TRUE(radarOnScreen()) << saver->describe().toStdString();
    ASSERT_TRUE(session.key(QStringLiteral("Escape")));
    // The dialog takes the keys while it is up: Esc there is its Cancel, not the saver's end.
    ASSERT_NE(session.waitForWindow(QStringLiteral("^Nimbuscope Setup$"), 5000), 0u);
    QThread::msleep(500); // the dialog fills its lists just after it appears
    ASSERT_TRUE(session.key(QStringLiteral("Escape")));
    EXPECT_TRUE(waitUntil(
        [&] { return session.findWindows(QStringLiteral("^Nimbuscope Setup$"), true).isEmpty(); },
        5000));
    EXPECT_FALSE(saver->waitForEnd(1000));
    ASSERT_TRUE(radarOnScreen());
    ASSERT_TRUE(session.key(QStringLiteral("space")));
    EXPECT_TRUE(endsCleanly(*saver)) << saver->describe().toStdString();
}
