// The saver as a display mode of the real XScreenSaver ("mode: one"), on a private X server,
// downloading from tools/noaa-sim: every copy the host starts animates, copies take turns at
// the downloads, a copy's SIGTERM leaves no half-written file, and the host never has a crash
// to show.
#include "e2e/kit/ImageCompare.h"
#include "e2e/kit/NoaaSimRun.h"
#include "e2e/kit/XScreenSaverHost.h"
#include "e2e/kit/XvfbSession.h"

#include <QDirIterator>
#include <QMap>
#include <QThread>

#include <gtest/gtest.h>

using namespace nimbuscope::e2e;

namespace {

// A cold first pass and a frame drawn from it; a frame makes about 5 % of the screen vivid,
// the start-up logo about 0.1 %.
constexpr int kRadarShownMs = 45000;
constexpr double kRadarVivid = 0.01;
constexpr unsigned long kCycleEveryMs = 500;
// Several frames at the default pace, the last frame's hold included.
constexpr unsigned long kAnimatesWithinMs = 6000;

bool radarIn(const std::function<QImage()>& grab) {
    return waitUntil([&] { return vividShare(grab()) > kRadarVivid; }, kRadarShownMs, 200);
}

} // namespace

TEST(HostE2e, EveryCopyAnimatesOneDownloadsAtATimeAndNoneEverCrashes) {
    // preview: XScreenSaver's settings running their preview beside the full screen.
    const struct {
        const char* name;
        int screens, cycles;
        bool preview;
    } rows[] = {{"30 fast cycles", 1, 30, false},
                {"two X screens", 2, 0, false},
                {"the settings' preview beside the full screen", 1, 0, true}};
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        XvfbSession session(XvfbOptions{QSize(1024, 768), row.screens});
        ASSERT_RUNNING(session);
        NoaaSimRun sim(QStringLiteral(NIMBUSCOPE_NOAA_SIM));
        ASSERT_TRUE(sim.isListening()) << sim.describe().toStdString();
        XScreenSaverHost host(session, QStringLiteral(NIMBUSCOPE_SAVER_PROGRAM),
                              sim.registryLines() +
                                  "\"zipcode\"=\"64106\"\n\"locationMode\"=dword:00000001\n");
        if (!host.unavailable().isEmpty()) {
            GTEST_SKIP() << host.unavailable().toStdString();
        }
        ASSERT_TRUE(host.start()) << host.log().toStdString();

        std::unique_ptr<ProgramRun> preview;
        if (row.preview) {
            const quint32 pane = session.x().createWindow({150, 100, 725, 407}, 0xff606060);
            preview = host.startPreviewCopy(pane);
            ASSERT_TRUE(radarIn([&] { return session.x().grabWindow(pane); }))
                << preview->describe().toStdString();
        }
        ASSERT_TRUE(host.command(QStringLiteral("activate")));
        for (int screen = 0; screen < row.screens; ++screen) {
            EXPECT_TRUE(radarIn([&] { return session.x().grabScreen(screen); }))
                << screen << host.log().toStdString();
        }
        for (int i = 0; i < row.cycles; ++i) {
            ASSERT_TRUE(host.command(QStringLiteral("cycle")));
            QThread::msleep(kCycleEveryMs);
            ASSERT_FALSE(crashBoxShown(session.x().grabScreen())) << "after cycle " << i;
        }
        const double settled = monotonicNow();
        QThread::msleep(kAnimatesWithinMs);
        // Each screen's copy, and the preview's, animates.
        QMap<qint64, int> animating;
        for (const TraceLine& line : host.trace()) {
            if (line.event == "frame" && line.time > settled) {
                ++animating[line.pid];
            }
        }
        EXPECT_EQ(animating.size(), row.screens + (row.preview ? 1 : 0));
        if (preview) {
            EXPECT_TRUE(animating.contains(preview->processId()));
        }
        for (int screen = 0; screen < row.screens; ++screen) {
            EXPECT_GT(vividShare(session.x().grabScreen(screen)), kRadarVivid) << screen;
            EXPECT_FALSE(crashBoxShown(session.x().grabScreen(screen))) << screen;
        }
        const QString log = host.log();
        EXPECT_FALSE(log.contains(QLatin1String("crashed"))) << log.toStdString();
        EXPECT_FALSE(log.contains(QLatin1String("abnormally"))) << log.toStdString();
        // Each cycle ends a copy in order, whatever it was writing.
        EXPECT_EQ(log.count(QLatin1String("exited normally with SIGTERM")), row.cycles);
        QDirIterator leftovers(host.home(), {QStringLiteral(".nimbuscope-write-*")},
                               QDir::Files | QDir::Hidden, QDirIterator::Subdirectories);
        EXPECT_FALSE(leftovers.hasNext()) << leftovers.next().toStdString();
        EXPECT_EQ(downloadTurnsBroken(host.trace()), QString());
    }
}
