// The full-screen saver ("/s") on a private X server without a window manager, downloading
// from tools/noaa-sim over loopback: what the user sees and what ends it.
#include "common/TestWorld.h"
#include "e2e/ImageCompare.h"
#include "e2e/XvfbSession.h"

#include <QRegularExpression>
#include <QThread>

#include <httplib.h>

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
const QSize kScreen{1024, 768};

// How the window draws its frame caption and its network-problem line.
constexpr int kCaptionPx = 22;
constexpr QRgb kCaptionColour = 0xffffffff;
constexpr int kProblemPx = 13;
constexpr QRgb kProblemColour = 0xffffc857;
const QString kShortRange = QStringLiteral("Short Range Radar");
const QString kLongRange = QStringLiteral("Long Range Radar");
const QString kProblemText =
    QStringLiteral("Nimbuscope is having difficulty connecting to the NOAA website.");
// The same text in the same font lies well under this (grabbed against rendered); the two
// captions lie far over it.
constexpr double kSameText = 0.25;

// Screen places: the title and its hint end above the caption band; the problem line sits
// centred at the bottom edge, 620 pixels wide.
constexpr int kCaptionBandTop = 60;
const QRect kProblemArea{(1024 - 620) / 2, 768 - 30, 620, 30};
// A row of the picture (its header band) has at least this many lit pixels; text rows far
// fewer.
constexpr int kPictureRowLit = 400;
// One animation cycle of both products at the default pace is about 10 s.
constexpr int kFullCycleMs = 14000;
constexpr int kCaptionShownMs = 30000;
constexpr int kProblemShownMs = 30000;

QFont windowFont(int pixelSize) {
    QFont font(QStringLiteral("Liberation Sans"));
    font.setStyleHint(QFont::SansSerif);
    font.setPixelSize(pixelSize);
    font.setBold(true);
    return font;
}

/// The first row from the caption band down in which the picture shows; -1 when none does.
int pictureTop(const QImage& screen) {
    for (int y = kCaptionBandTop; y < screen.height(); ++y) {
        const auto* line = reinterpret_cast<const QRgb*>(screen.constScanLine(y));
        int lit = 0;
        for (int x = 0; x < screen.width(); ++x) {
            lit += std::max({qRed(line[x]), qGreen(line[x]), qBlue(line[x])}) > 16 ? 1 : 0;
        }
        if (lit >= kPictureRowLit) {
            return y;
        }
    }
    return -1;
}

/// The strip between the title and the picture, where the frame caption sits.
QImage captionBand(const QImage& screen) {
    const int top = pictureTop(screen);
    if (top <= kCaptionBandTop + 1) {
        return {};
    }
    return screen.copy(0, kCaptionBandTop, screen.width(), top - 1 - kCaptionBandTop);
}

/// The picture and what lies beside it, below the caption band and above the bottom line.
QRect pictureArea(const QImage& screen) {
    const int top = std::max(pictureTop(screen), kCaptionBandTop);
    return QRect(0, top, screen.width(), kProblemArea.top() - top);
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

    /// A client for the simulator's control requests (port 0 when its settings are unread).
    httplib::Client simClient() {
        const QRegularExpression portPattern(
            QStringLiteral("radarServerURL\"=\"http://127\\.0\\.0\\.1:(\\d+)/"));
        const auto match =
            portPattern.match(QString::fromUtf8(world.readFile(world.root() + "/sim.reg")));
        httplib::Client client("127.0.0.1", match.hasMatch() ? match.captured(1).toInt() : 0);
        client.set_read_timeout(5, 0);
        return client;
    }

    bool simFault(const std::string& pattern, const std::string& kind) {
        const auto result =
            simClient().Post("/_sim/fault", httplib::Params{{"path", pattern}, {"kind", kind}});
        return result && result->status == 200;
    }

    /// Whether the simulator has been asked for a path containing `part`.
    bool simAskedFor(const std::string& part) {
        const auto result = simClient().Get("/_sim/requests");
        return result && result->status == 200 && result->body.find(part) != std::string::npos;
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

TEST_F(SaverE2eTest, CaptionNamesTheShortRangeThenTheLongRangeRadar) {
    const QImage shortRange = renderText(kShortRange, windowFont(kCaptionPx), kCaptionColour);
    const QImage longRange = renderText(kLongRange, windowFont(kCaptionPx), kCaptionColour);
    // The comparison must tell the two captions apart, or seeing both would prove nothing.
    ASSERT_GT(inkDistance(shortRange, longRange), 2 * kSameText);
    ASSERT_GT(inkDistance(shortRange, longRange, 128, kScreen.width()), 2 * kSameText);

    const auto saver = startSaver();
    ASSERT_TRUE(radarOnScreen()) << saver->describe().toStdString();
    QString shown;
    const auto readCaption = [&] {
        const QImage band = captionBand(session.x().grabScreen());
        shown.clear();
        if (inkDistance(band, shortRange) < kSameText) {
            shown = kShortRange;
        } else if (inkDistance(band, longRange) < kSameText) {
            shown = kLongRange;
        } else if (!band.isNull() && !inkBounds(band).isNull()) {
            shown = QStringLiteral("?");
        }
    };
    // The caption appears once the first download pass is over.
    ASSERT_TRUE(waitUntil(
        [&] {
            readCaption();
            return shown == kShortRange || shown == kLongRange;
        },
        kCaptionShownMs))
        << saver->describe().toStdString();

    QStringList runs{shown};
    int unknown = 0;
    waitUntil(
        [&] {
            readCaption();
            unknown += shown == QStringLiteral("?") ? 1 : 0;
            if ((shown == kShortRange || shown == kLongRange) && shown != runs.last()) {
                runs.append(shown);
            }
            return false;
        },
        kFullCycleMs, 50);
    const std::string seen = runs.join(QStringLiteral(" > ")).toStdString();
    EXPECT_TRUE(runs.join(QLatin1Char('|')).contains(kShortRange + QLatin1Char('|') + kLongRange))
        << seen;
    EXPECT_EQ(unknown, 0) << seen;

    ASSERT_TRUE(session.key(QStringLiteral("a")));
    EXPECT_TRUE(endsCleanly(*saver)) << saver->describe().toStdString();
}

// A download pass starts only every five or ten minutes, but Esc during a pass stops it and,
// once the setup dialog is closed (even with Cancel), starts it afresh at once: the way a user
// makes the saver try again. The long-range frames are slowed so that the first pass is still
// running while the short-range frames already play.
TEST_F(SaverE2eTest, ServerGoneShowsTheNetworkProblemWhileTheAnimationGoesOn) {
    const QImage problem = renderText(kProblemText, windowFont(kProblemPx), kProblemColour);
    ASSERT_TRUE(simFault("/radar/images/DS.p20-r/*", "delay:1000"));
    const auto saver = startSaver();
    ASSERT_TRUE(radarOnScreen()) << saver->describe().toStdString();
    // Every short-range frame is in the cache once the long-range ones are asked for.
    ASSERT_TRUE(
        waitUntil([&] { return simAskedFor("/radar/images/DS.p20-r/"); }, kRadarShownMs, 200));

    EXPECT_GE(inkDistance(session.x().grabScreen().copy(kProblemArea), problem), kSameText);
    ASSERT_TRUE(simFault("*", "drop"));
    ASSERT_TRUE(session.key(QStringLiteral("Escape")));
    ASSERT_NE(session.waitForWindow(QStringLiteral("^Nimbuscope Setup$"), 5000), 0u);
    QThread::msleep(500); // the dialog fills its lists just after it appears
    // Cancel after a download was stopped still reloads the location and starts a pass.
    ASSERT_TRUE(session.key(QStringLiteral("Escape")));

    double distance = 1;
    EXPECT_TRUE(waitUntil(
        [&] {
            distance = inkDistance(session.x().grabScreen().copy(kProblemArea), problem);
            return distance < kSameText;
        },
        kProblemShownMs))
        << "distance " << distance << "; " << saver->describe().toStdString();

    // The cached frames keep playing under the message.
    const QRect area = pictureArea(session.x().grabScreen());
    QImage previous = session.x().grabScreen().copy(area);
    int changes = 0;
    waitUntil(
        [&] {
            const QImage now = session.x().grabScreen().copy(area);
            changes += meanColourDifference(previous, now) > 0.5 ? 1 : 0;
            previous = now;
            return changes >= 3;
        },
        5000, 300);
    EXPECT_GE(changes, 3);
    EXPECT_LT(inkDistance(session.x().grabScreen().copy(kProblemArea), problem), kSameText);

    ASSERT_TRUE(session.key(QStringLiteral("a")));
    EXPECT_TRUE(endsCleanly(*saver)) << saver->describe().toStdString();
}
