#include "display/FramePresentation.h"
#include "display/MyProgress.h"
#include "display/PictureBox.h"
#include "display/SaverWindow.h"
#include "pictures/DisplayList.h"

#include "common/DisplayTestRig.h"
#include "common/FakeSaverTimer.h"
#include "common/TestGif.h"

#include <QDir>
#include <QLabel>
#include <QPainter>
#include <gtest/gtest.h>

using namespace nimbuscope;
using namespace nimbuscope::test;

namespace {

const QByteArray kFailurePrefix = "ERROR :: showNextImage :: displayList failure: ";

/// The controls a FramePresentation draws on, real, on a 1024 × 768 parent; fake timers, a
/// display list, and the message boxes recorded. Frames are GIF files in the world's "data"
/// folder.
struct PresentationRig : DisplayTestRig {
    PresentationRig()
        : progress(&window, log), list(log),
          presentation(PresentationContext{c, s, list, log, clock, world.home(),
                                           [this](const QString& text) {
                                               messages.append(text);
                                               if (onMessageBox) {
                                                   onMessageBox();
                                               }
                                           }}) {
        QDir().mkpath(dataPath({}));
        window.resize(1024, 768);
        c.window = &window;
        c.Picture1 = new PictureBox(&window);
        c.Picture2 = new PictureBox(&window, true);
        c.Picture2->hide();
        c.LogoImage = new PictureBox(&window);
        for (QLabel** l : {&c.ItemCaption, &c.ImageInfo, &c.ImageDate, &c.currentTime,
                           &c.DownloadInfoChannelName, &c.NetworkProblem, &c.NetworkProblem2}) {
            *l = new QLabel(&window);
            (*l)->setGeometry(0, 0, 300, 20);
            (*l)->hide();
        }
        c.progress = &progress;
        c.Timer1 = &Timer1;
        c.AsyncDownloadTimer = &AsyncDownloadTimer;
        s.screenWidth = 1024;
        s.screenHeight = 768;
        s.screenAspect = 1024.0f / 768.0f;
        setPace(500, 1500);
    }

    /// The animation settings as the window derives them at load.
    void setPace(qint32 rateMs, qint32 lastFrameMs) {
        s.animationRateMS = rateMs;
        s.animationLastFrameMS = lastFrameMs;
        s.preloadImages = rateMs < s.preloadImagesThreshold;
    }

    /// Lists an active frame of `radarID` captioned with its name and, unless `spec` is
    /// null, writes its file. The file is written after listing: a small ".noaa" file would
    /// count as a radar-unavailable answer.
    void addFrame(const QString& name, const QString& radarID, const GifSpec* spec,
                  bool active = true) {
        list.addItem(dataPath(name), name, name, false, active, false, radarID);
        if (spec) {
            writeGif(dataPath(name), *spec);
        }
    }
    /// `count` frames "<radarID>-<n>.noaa", then the cycle marks.
    void addCycle(const QString& radarID, int count) {
        const GifSpec spec;
        for (int n = 0; n < count; ++n) {
            addFrame(QStringLiteral("%1-%2.noaa").arg(radarID).arg(n), radarID, &spec);
        }
        list.calculateAllCycleCounts();
    }

    /// Runs `ticks` Timer1 ticks: the interval each left Timer1 with; the captions shown are
    /// added to `captions`.
    std::vector<int> holds(int ticks) {
        std::vector<int> result;
        for (int i = 0; i < ticks; ++i) {
            presentation.showNextImage();
            result.push_back(Timer1.interval());
            captions.append(c.ItemCaption->text());
        }
        return result;
    }

    QWidget window;
    MyProgress progress;
    FakeSaverTimer Timer1{2000, true};
    FakeSaverTimer AsyncDownloadTimer{100, false};
    SaverControls c;
    SaverRunState s;
    DisplayList list;
    QStringList messages;
    QStringList captions;
    std::function<void()> onMessageBox;
    FramePresentation presentation;
};

class FramePresentationTest : public ::testing::Test {
protected:
    PresentationRig rig;
};

// A fast rate preloads: frames are decoded from their files on the first pass, from memory on
// the second; at a slow one every draw decodes the file. A rate only a hand-edited hive holds
// gives the default pace and the timer runs on. Each product starts a cycle of its own.
TEST_F(FramePresentationTest, HoldTimesFollowThePlaceInTheCycleWhereverThePicturesComeFrom) {
    const struct {
        qint32 rate, lastFrame;
        std::vector<int> cycles; // frames of each product
        std::vector<int> holds;
    } rows[] = {
        {200, 1500, {5}, {400, 200, 200, 200, 1500, 400, 200, 200, 200, 1500}},
        {500, 2000, {5}, {1000, 500, 500, 500, 2000, 1000, 500, 500, 500, 2000}},
        {-100, 1200, {3}, {250, 250, 1200, 250}},
        {300, 1200, {3, 2}, {600, 300, 1200, 600, 1200, 600}},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.rate);
        PresentationRig r;
        r.setPace(row.rate, row.lastFrame);
        for (std::size_t p = 0; p < row.cycles.size(); ++p) {
            r.addCycle(QStringLiteral("P%1").arg(p), row.cycles[p]);
        }
        EXPECT_EQ(r.holds(int(row.holds.size())), row.holds);
        EXPECT_TRUE(r.Timer1.isEnabled());
        EXPECT_TRUE(r.s.frameShownOK);
    }
}

TEST_F(FramePresentationTest, NewCycleStartsTheBarSoThatEveryCycleEndsFull) {
    rig.addCycle(QStringLiteral("N0R"), 3);
    rig.addCycle(QStringLiteral("N0Z"), 5);
    rig.s.cycleFrameCounts = {3, 5};
    rig.s.secondCycleStart = 3;
    rig.progress.setMax(5, kRadarTimeBar);
    rig.progress.setMin(1, kRadarTimeBar);
    for (const int value : {3, 4, 5, 1, 2, 3, 4, 5}) {
        rig.presentation.showNextImage();
        EXPECT_EQ(rig.s.displayProgressVal, value);
        EXPECT_EQ(rig.progress.value(kRadarTimeBar), value);
    }

    rig.AsyncDownloadTimer.setEnabled(true);
    rig.presentation.showNextImage();
    EXPECT_EQ(rig.s.displayProgressVal, 1) << "while downloading every cycle starts at 1";
}

TEST_F(FramePresentationTest, OfflineWithNothingListedShowsTheFallbackAndStops) {
    QImage fallback(320, 200, QImage::Format_RGB32);
    fallback.fill(Qt::darkRed);
    ASSERT_TRUE(fallback.save(rig.presentation.fallbackPicturePath(), "JPG"));
    rig.s.offlineMode = true;
    rig.presentation.showNextImage();

    EXPECT_EQ(rig.c.Picture1->picture().size(), QSize(320, 200));
    EXPECT_TRUE(rig.s.frameShownOK);
    EXPECT_FALSE(rig.Timer1.isEnabled());
    EXPECT_TRUE(rig.Timer1.intervalsSet.empty()) << "the pace is left as it was";
    EXPECT_FALSE(rig.c.NetworkProblem->isHidden() || rig.c.NetworkProblem2->isHidden());
    EXPECT_TRUE(rig.messages.isEmpty());
}

TEST_F(FramePresentationTest, MissingFallbackPictureIsReportedOnceNotOnEveryTick) {
    const QString expected =
        QStringLiteral("Image file not found: ") + rig.presentation.fallbackPicturePath();
    // While the box waits, its event loop may draw again: that must not open a second box.
    rig.onMessageBox = [&] {
        bool ok = true;
        rig.presentation.showChannelItemPB(rig.presentation.fallbackPicturePath(), DisplayItem(),
                                           false, ok);
        EXPECT_FALSE(ok);
    };
    for (int tick = 0; tick < 5; ++tick) {
        rig.presentation.showNextImage();
        EXPECT_EQ(rig.Timer1.interval(), FramePresentation::kDefaultPaceMs);
    }
    EXPECT_EQ(rig.messages, QStringList{expected});
    EXPECT_FALSE(rig.s.frameShownOK);
}

// The waits are Timer1's: a tick never sleeps, and the event loop runs between them.
TEST_F(FramePresentationTest, MissingFrameFilesAreWaitedForThenGivenUp) {
    for (const char* name : {"a.noaa", "b.noaa", "c.noaa"}) {
        rig.addFrame(QString::fromLatin1(name), QStringLiteral("N0R"), nullptr);
    }
    const DateTime before = rig.clock.now();
    for (int wait = 1; wait <= 10; ++wait) {
        rig.presentation.showNextImage();
        EXPECT_EQ(rig.Timer1.interval(), FramePresentation::kMissingFileWaitMs) << wait;
        EXPECT_EQ(rig.s.playIndex, wait % 3) << "one position on";
    }
    EXPECT_EQ(rig.clock.now(), before);
    EXPECT_FALSE(rig.errorLog().contains(kFailurePrefix));
    rig.presentation.showNextImage();
    EXPECT_TRUE(rig.errorLog().contains(kFailurePrefix));
    EXPECT_EQ(rig.Timer1.interval(), FramePresentation::kDefaultPaceMs);
    EXPECT_TRUE(rig.messages.isEmpty());
}

TEST_F(FramePresentationTest, AMissingFrameFileGivesWayToTheNextFrame) {
    const GifSpec spec;
    rig.addFrame(QStringLiteral("a.noaa"), QStringLiteral("N0R"), nullptr);
    rig.addFrame(QStringLiteral("b.noaa"), QStringLiteral("N0R"), &spec);
    rig.list.calculateAllCycleCounts();
    EXPECT_EQ(rig.holds(2)[0], FramePresentation::kMissingFileWaitMs);
    EXPECT_EQ(rig.captions.last(), QStringLiteral("b.noaa"));
    EXPECT_EQ(rig.s.playIndex, 0) << "one position per retry, one per frame shown";
    EXPECT_EQ(rig.holds(11).back(), FramePresentation::kMissingFileWaitMs)
        << "a frame shown starts the count of waits afresh";
    EXPECT_FALSE(rig.errorLog().contains(kFailurePrefix));
}

TEST_F(FramePresentationTest, FailedDrawMarksTheFrameInactiveAndMovesOn) {
    const GifSpec spec;
    // A GIF header claiming a 65535 x 65535 screen: refused, not allocated.
    const GifSpec huge = gifSpec({10, 10}, 4, {65535, 65535});
    rig.addFrame(QStringLiteral("a.noaa"), QStringLiteral("N0R"), &spec);
    rig.addFrame(QStringLiteral("gap.noaa"), QStringLiteral("N0R"), &spec, false);
    rig.addFrame(QStringLiteral("huge.noaa"), QStringLiteral("N0R"), &huge);
    rig.addFrame(QStringLiteral("d.noaa"), QStringLiteral("N0R"), &spec);
    rig.list.calculateAllCycleCounts();
    rig.holds(2);
    EXPECT_EQ(rig.captions, (QStringList{QStringLiteral("a.noaa"), QStringLiteral("d.noaa")}));
    EXPECT_FALSE(rig.list.itemAt(2).active) << "the frame that failed, behind the gap";
    EXPECT_TRUE(rig.s.frameShownOK);
    EXPECT_FALSE(rig.errorLog().contains(kFailurePrefix));
}

using MyProgressTest = FramePresentationTest; // the bars the presentation and the passes drive

TEST_F(MyProgressTest, ValuesAreHeldInTheirRangeAndNeverOverfillTheBar) {
    MyProgress& progress = rig.progress;
    progress.setWidthHeight(2400, 12, 0);
    progress.setMax(24, 0);
    progress.setMin(1, 0);
    const struct {
        qint32 value;
        qint32 held;   // what the bar keeps
        qint32 caller; // what the caller's variable holds afterwards
        int width;
    } rows[] = {
        {6, 6, 6, 600},     {1, 1, 1, 100},
        {24, 24, 24, 2400}, {30, 24, 24, 2400}, // above the maximum: lowered, also for the caller
        {0, 24, 0, 2400},                       // below the minimum: nothing changes
        {12, 12, 12, 1200},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.value);
        qint32 value = row.value;
        progress.setValue(value, 0);
        EXPECT_EQ(progress.value(0), row.held);
        EXPECT_EQ(value, row.caller);
        EXPECT_EQ(progress.MyProgressBar(0)->width(), row.width);
    }

    // A minimum of 0 gives a range above the maximum; the rule then takes range 1.
    progress.setWidthHeight(2400, 12, 2);
    progress.setMax(24, 2);
    for (qint32 value : {0, 5}) {
        progress.setValue(value, 2);
        EXPECT_EQ(progress.MyProgressBar(2)->width(), 2400) << "never wider than the background";
    }
    // A maximum below the minimum keeps the old value.
    progress.setWidthHeight(2400, 12, 1);
    progress.setMin(1, 1); // max still 0: the value 1 is lowered to 0, below the minimum
    EXPECT_EQ(progress.value(1), 0);
    EXPECT_EQ(progress.MyProgressBar(1)->width(), 0);
}

} // namespace

// Palette pictures are kept small (indexed, or run-length packed and not unpacked to be shown)
// and painted at the box's corner; see-through pixels and the rest of a larger box show the
// parent's background.
TEST(PictureBoxTest, PalettePicturesShowTheirColoursOverTheBackground) {
    const struct {
        bool transparent, packed;
        QSize box;
    } rows[] = {
        {false, false, {4, 3}}, {true, false, {4, 3}}, {false, false, {6, 5}},
        {false, true, {4, 3}},  {false, true, {6, 5}},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(testing::Message()
                     << row.transparent << " " << row.packed << " " << row.box.width());
        QImage picture(4, 3, QImage::Format_Indexed8);
        picture.setColorTable({row.transparent ? qRgba(0, 0, 0, 0) : qRgb(0, 0, 255),
                               qRgb(255, 0, 0), qRgb(0, 200, 0)});
        for (int i = 0; i < 12; ++i) {
            picture.setPixel(i % 4, i / 4, uint((i % 4 + i / 4) % 3));
        }
        QWidget parent;
        parent.setPalette(QPalette(Qt::yellow)); // the window colour too
        parent.setAutoFillBackground(true);
        parent.resize(20, 20);
        PictureBox box(&parent);
        box.setGeometry(QRect(QPoint(2, 2), row.box));
        if (row.packed) {
            box.setPicture(PackedPicture::pack(picture));
            EXPECT_TRUE(box.picture().isNull()) << "not unpacked when shown";
            EXPECT_EQ(box.pictureSize(), picture.size());
        } else {
            box.setPicture(picture);
            EXPECT_EQ(box.picture().format(), QImage::Format_Indexed8) << "kept small";
        }

        QImage expected(row.box, QImage::Format_RGB32);
        expected.fill(Qt::yellow);
        QPainter(&expected).drawImage(QPoint(0, 0), picture);
        EXPECT_EQ(parent.grab(box.geometry()).toImage().convertToFormat(QImage::Format_RGB32),
                  expected);
    }
}
