// The full-screen saver ("/s") on a private X server without a window manager, downloading
// from tools/noaa-sim over loopback: what the user sees and what ends it.
#include "e2e/kit/SaverE2eFixture.h"
#include "e2e/kit/SaverScreen.h"

#include "platform/InstanceLocks.h"

#include <QMap>
#include <QThread>

#include <csignal>

#include <algorithm>

#include <gtest/gtest.h>

using namespace nimbuscope::e2e;
using namespace nimbuscope::test;

namespace {

// Past the three seconds in which movement after a (re)load does not count.
constexpr unsigned long kPastMouseGraceMs = 3500;
// Long enough for a move and a look at the logo once the grace time is over.
constexpr int kFirstFrameHeldMs = 7000;
// Under what radarOnScreen() takes for frames; the logo and the conditions picture have a
// few vivid pixels.
constexpr double kNoRadarYet = 0.01;
// The window checks the cursor on every move and every animation tick (at most 2 s apart).
constexpr int kNotEndedMs = 2500;
const QSize kScreen{1024, 768};
// From the start of the program to the first cached frame: the logo phase and 100 ms.
constexpr double kWarmFirstFrameS = 1.6;

// How the window draws its frame caption.
constexpr int kCaptionPx = 22;
constexpr QRgb kCaptionColour = 0xffffffff;
const QString kShortRange = QStringLiteral("Short Range Radar");
const QString kLongRange = QStringLiteral("Long Range Radar");

// One animation cycle of both products at the default pace is about 10 s.
constexpr int kFullCycleMs = 14000;
constexpr int kCaptionShownMs = 30000;
constexpr int kProblemShownMs = 30000;

/// The strip between the title and the picture, where the frame caption sits.
QImage captionBand(const QImage& screen) {
    const int top = pictureTop(screen, kCaptionBandTop);
    if (top <= kCaptionBandTop + 1) {
        return {};
    }
    return screen.copy(0, kCaptionBandTop, screen.width(), top - 1 - kCaptionBandTop);
}

/// The picture and what lies beside it, below the caption band and above the bottom line.
QRect pictureArea(const QImage& screen) {
    const int top = std::max(pictureTop(screen, kCaptionBandTop), kCaptionBandTop);
    return QRect(0, top, screen.width(), kProblemArea.top() - top);
}

using SaverE2eTest = SaverE2eFixture;

} // namespace

// The first frame is held back, so the start-up logo stays on screen past the grace time.
TEST_F(SaverE2eTest, MovesDuringTheLogoCountForNothingThen20PixelsKeepItAnd21EndIt) {
    ASSERT_TRUE(simFault("/radar/images/*", "delay:" + std::to_string(kFirstFrameHeldMs)));
    const auto saver = startSaver();
    ASSERT_NE(session.waitForWindow(QStringLiteral("^NimbuscopePlayback$"), 10000), 0u)
        << saver->describe().toStdString();
    QThread::msleep(kPastMouseGraceMs);
    const QImage logo = session.x().grabScreen();
    ASSERT_LT(vividShare(logo), kNoRadarYet) << "a frame is on screen already";
    // The logo sits in the middle of the screen.
    ASSERT_LT(colourShare(logo.copy(kScreen.width() / 2 - 50, kScreen.height() / 2 - 20, 100, 40),
                          0xff000000),
              0.9)
        << "the logo is not on screen";
    ASSERT_TRUE(session.mouseMoveBy({200, 150}));
    EXPECT_FALSE(saver->waitForEnd(kNotEndedMs));

    ASSERT_TRUE(radarOnScreen()) << saver->describe().toStdString();
    ASSERT_TRUE(session.mouseMoveBy({20, 20}));
    EXPECT_FALSE(saver->waitForEnd(kNotEndedMs));
    ASSERT_TRUE(session.mouseMoveBy({-21, 0}));
    EXPECT_TRUE(endsCleanly(*saver)) << saver->describe().toStdString();
}

TEST_F(SaverE2eTest, EscOpensTheSetupDialogCancelGoesBackToTheRadarAndAClickEndsIt) {
    const auto saver = startSaver();
    ASSERT_TRUE(radarOnScreen()) << saver->describe().toStdString();
    ASSERT_TRUE(session.key(QStringLiteral("Escape")));
    // The dialog takes the keys while it is up: Esc there is its Cancel, not the saver's end.
    ASSERT_NE(waitForSetupDialog(session, kEndsWithinMs), 0u);
    ASSERT_TRUE(session.key(QStringLiteral("Escape")));
    EXPECT_TRUE(waitUntil(
        [&] { return session.findWindows(QStringLiteral("^Nimbuscope Setup$"), true).isEmpty(); },
        5000));
    EXPECT_FALSE(saver->waitForEnd(1000));
    ASSERT_TRUE(radarOnScreen());
    // The pointer rests in the middle of the screen, on the radar picture.
    ASSERT_TRUE(session.click());
    EXPECT_TRUE(endsCleanly(*saver)) << saver->describe().toStdString();
}

// The settings left open (or a preview running) never keep the saver from starting.
TEST_F(SaverE2eTest, StartsAndAnimatesWhileTheSetupDialogIsOpen) {
    const auto setup = startSaver({QStringLiteral("/c")});
    ASSERT_NE(waitForSetupDialog(session, kEndsWithinMs), 0u) << setup->describe().toStdString();
    const auto saver = startSaver();
    ASSERT_TRUE(radarOnScreen()) << saver->describe().toStdString();
    EXPECT_TRUE(framesPlayIn(session, pictureArea(session.x().grabScreen())));
    EXPECT_TRUE(setup->isRunning());
    ASSERT_TRUE(session.key(QStringLiteral("a")));
    EXPECT_TRUE(endsCleanly(*saver)) << saver->describe().toStdString();
}

// Frames in the cache play once the 1.5 s logo phase is over, however slowly the server
// answers or whether it answers at all.
TEST_F(SaverE2eTest, CachedFramesAreOnScreenWithinTheLogoPhaseWhateverTheServerDoes) {
    const QString tracePath = world.root() + QStringLiteral("/trace.txt");
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("NIMBUSCOPE_FRAME_TRACE"), tracePath);
    const auto passesEnded = [&] {
        const QList<TraceLine> trace = readTrace(tracePath);
        return std::count_if(trace.begin(), trace.end(),
                             [](const TraceLine& l) { return l.event == "pass-end"; });
    };
    {
        const auto first = startSaver({QStringLiteral("/s")}, env);
        ASSERT_TRUE(waitUntil([&] { return passesEnded() == 1; }, kRadarShownMs, 100))
            << first->describe().toStdString();
        ASSERT_TRUE(session.key(QStringLiteral("a")));
        ASSERT_TRUE(endsCleanly(*first));
    }
    const struct {
        const char* name;
        const char* fault;
    } rows[] = {{"15 s slow", "delay:15000"}, {"dead", "drop"}};
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        ASSERT_TRUE(simFault("*", row.fault));
        const double started = monotonicNow();
        const auto saver = startSaver({QStringLiteral("/s")}, env);
        double firstFrame = 0;
        ASSERT_TRUE(waitUntil(
            [&] {
                for (const TraceLine& line : readTrace(tracePath)) {
                    if (line.event == "frame" && line.pid == saver->processId()) {
                        firstFrame = line.time;
                        return true;
                    }
                }
                return false;
            },
            kEndsWithinMs))
            << saver->describe().toStdString();
        EXPECT_LE(firstFrame - started, kWarmFirstFrameS);
        EXPECT_GT(vividShare(session.x().grabScreen()), kNoRadarYet);
        ASSERT_TRUE(session.key(QStringLiteral("a")));
        ASSERT_TRUE(endsCleanly(*saver)) << saver->describe().toStdString();
    }
}

TEST_F(SaverE2eTest, CaptionNamesTheShortRangeThenTheLongRangeRadar) {
    const QImage shortRange = renderText(kShortRange, saverFont(kCaptionPx), kCaptionColour);
    const QImage longRange = renderText(kLongRange, saverFont(kCaptionPx), kCaptionColour);
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

    // Ctrl+C in the terminal it was started from ends it in order too.
    ASSERT_EQ(::kill(static_cast<pid_t>(saver->processId()), SIGINT), 0);
    EXPECT_TRUE(endsCleanly(*saver)) << saver->describe().toStdString();
    EXPECT_FALSE(nimbuscope::FileInstanceLocks(world.runtimeDir())
                     .isHeld(QStringLiteral("NimbuscopePlayback")));
}

// A download pass starts only every five or ten minutes, but Esc during a pass stops it and,
// once the setup dialog is closed (even with Cancel), starts it afresh at once: the way a user
// makes the saver try again. The long-range frames are slowed so that the first pass is still
// running while the short-range frames already play.
TEST_F(SaverE2eTest, ServerGoneShowsTheNetworkProblemWhileTheAnimationGoesOn) {
    ASSERT_TRUE(simFault("/radar/images/DS.p20-r/*", "delay:1000"));
    const auto saver = startSaver();
    ASSERT_TRUE(radarOnScreen()) << saver->describe().toStdString();
    // Every short-range frame is in the cache once the long-range ones are asked for.
    ASSERT_TRUE(waitUntil([&] { return simControl().askedFor("/radar/images/DS.p20-r/"); },
                          kRadarShownMs, 200));

    EXPECT_GE(problemLineDistance(session), kSameText);
    ASSERT_TRUE(simFault("*", "drop"));
    ASSERT_TRUE(session.key(QStringLiteral("Escape")));
    ASSERT_NE(waitForSetupDialog(session, kEndsWithinMs), 0u);
    // Cancel after a download was stopped still reloads the location and starts a pass.
    ASSERT_TRUE(session.key(QStringLiteral("Escape")));

    double distance = 1;
    EXPECT_TRUE(waitUntil(
        [&] {
            distance = problemLineDistance(session);
            return distance < kSameText;
        },
        kProblemShownMs))
        << "distance " << distance << "; " << saver->describe().toStdString();

    // The cached frames keep playing under the message.
    EXPECT_TRUE(framesPlayIn(session, pictureArea(session.x().grabScreen())));
    EXPECT_LT(problemLineDistance(session), kSameText);

    ASSERT_TRUE(session.key(QStringLiteral("a")));
    EXPECT_TRUE(endsCleanly(*saver)) << saver->describe().toStdString();
}

// West of Greenwich, error pages for both lists used to replace the cached lists, and their
// last line, which names no frame time, made every cached frame look stale. A whole pass of
// them now keeps every cached file as it was and shows the network problem.
TEST_F(SaverE2eTest, ErrorPagesForBothListsKeepEveryCachedFileAndShowTheNetworkProblem) {
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("TZ"), QStringLiteral("America/Chicago"));
    const auto saver = startSaver({QStringLiteral("/s")}, env);
    ASSERT_TRUE(radarOnScreen()) << saver->describe().toStdString();
    const auto cache = [&] {
        QMap<QString, QByteArray> files;
        for (const QString& path : cachedFiles(world, QStringLiteral("64106.*"))) {
            files.insert(path, path.endsWith(QLatin1String(".txt")) ? world.readFile(path) : "");
        }
        return files;
    };
    // The first pass is over once both lists and the frames of the hour they cover are in.
    QMap<QString, QByteArray> before;
    ASSERT_TRUE(waitUntil(
        [&] {
            before = cache();
            return cachedFiles(world, QStringLiteral("*.noaa")).size() == 26 &&
                   cachedFiles(world, QStringLiteral("*.loop.txt")).size() == 2;
        },
        kRadarShownMs, 200));

    ASSERT_TRUE(session.key(QStringLiteral("a")));
    ASSERT_TRUE(endsCleanly(*saver)) << saver->describe().toStdString();

    // The next start's pass finds an error page for each list.
    ASSERT_TRUE(simFault("/radar/loopdata/*", "error"));
    const auto again = startSaver({QStringLiteral("/s")}, env);
    EXPECT_TRUE(
        waitUntil([&] { return problemLineDistance(session) < kSameText; }, kProblemShownMs))
        << again->describe().toStdString();
    EXPECT_TRUE(simControl().askedFor("/radar/loopdata/DS.p20-r/") ||
                simControl().askedFor("/radar/loopdata/DS.p19r0/"));
    const QMap<QString, QByteArray> after = cache();
    EXPECT_EQ(after.keys(), before.keys());
    EXPECT_TRUE(after == before) << "a cached list changed";
    EXPECT_TRUE(framesPlayIn(session, pictureArea(session.x().grabScreen())));
    ASSERT_TRUE(session.key(QStringLiteral("a")));
    EXPECT_TRUE(endsCleanly(*again)) << again->describe().toStdString();
}

// A file-size limit below a frame's size: every frame write fails as on a full disk, and
// the saver, told of it by a failed write rather than SIGXFSZ, runs on.
TEST_F(SaverE2eTest, AFileSizeLimitFailsTheWritesWithoutEndingTheSaver) {
    const auto saver =
        session.run(QStringLiteral("/usr/bin/prlimit"),
                    {QStringLiteral("--fsize=4096"), QStringLiteral("--"),
                     QStringLiteral(NIMBUSCOPE_SAVER_PROGRAM), QStringLiteral("/s")});
    ASSERT_TRUE(waitUntil([&] { return simControl().askedFor("/radar/images/DS.p20-r/"); },
                          kRadarShownMs, 200))
        << saver->describe().toStdString();
    QThread::msleep(kNotEndedMs);
    ASSERT_TRUE(saver->isRunning()) << saver->describe().toStdString();
    EXPECT_TRUE(halfWrittenFiles().isEmpty());

    ASSERT_TRUE(session.key(QStringLiteral("a")));
    EXPECT_TRUE(endsCleanly(*saver)) << saver->describe().toStdString();
}
