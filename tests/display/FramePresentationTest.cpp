#include "PresentationRig.h"

#include <QCoreApplication>
#include <gtest/gtest.h>

using namespace nimbuscope;
using namespace nimbuscope::test;

namespace {

const QByteArray kFailurePrefix = "ERROR :: showNextImage :: displayList failure: ";

class FramePresentationTest : public ::testing::Test {
protected:
    PresentationRig rig;
};

struct PaceRow {
    qint32 rate;
    qint32 lastFrame;
    std::vector<int> firstPass;
    std::vector<int> secondPass;
};

TEST_F(FramePresentationTest, HoldTimesFollowThePlaceInTheCycleWhereverThePicturesComeFrom) {
    const PaceRow rows[] = {
        // Preloading: decoded from the file on the first pass, from memory on the second.
        {200, 1500, {400, 200, 200, 200, 1500}, {400, 200, 200, 200, 1500}},
        {80, 1000, {160, 80, 80, 80, 1000}, {160, 80, 80, 80, 1000}},
        // No preloading: every draw decodes the file.
        {500, 2000, {1000, 500, 500, 500, 2000}, {1000, 500, 500, 500, 2000}},
    };
    for (const PaceRow& row : rows) {
        PresentationRig r;
        r.setPace(row.rate, row.lastFrame);
        r.addCycle(QStringLiteral("N0R"), 5);
        EXPECT_EQ(r.holds(5), row.firstPass) << "rate " << row.rate;
        EXPECT_EQ(r.holds(5), row.secondPass) << "rate " << row.rate;
        EXPECT_EQ(r.s.updateRateMs, row.lastFrame);
        EXPECT_EQ(r.s.playIndex, 0) << "wrapped after the last frame";
        EXPECT_TRUE(r.s.frameShownOK);
    }
}

TEST_F(FramePresentationTest, AHoldOfZeroOrLessKeepsTheDefaultPaceInsteadOfStoppingTheTimer) {
    rig.setPace(-100, 1200); // only a hand-edited hive holds such a rate
    rig.addCycle(QStringLiteral("N0R"), 3);
    EXPECT_EQ(rig.holds(4), (std::vector<int>{250, 250, 1200, 250}));
    EXPECT_TRUE(rig.Timer1.isEnabled());
    EXPECT_EQ(rig.s.playIndex, 1) << "the animation went on";
}

TEST_F(FramePresentationTest, EachProductStartsACycleOfItsOwn) {
    rig.setPace(300, 1200);
    rig.addCycle(QStringLiteral("N0R"), 3);
    rig.addCycle(QStringLiteral("N0Z"), 2);
    EXPECT_EQ(rig.holds(5), (std::vector<int>{600, 300, 1200, 600, 1200}));
    EXPECT_EQ(rig.s.previousRadarID, QStringLiteral("N0Z"));
}

TEST_F(FramePresentationTest, PreloadedPicturesArePackedAndSharedWithTheList) {
    rig.setPace(200, 1500);
    rig.addCycle(QStringLiteral("N0R"), 2, gifSpec({120, 80}, 7));
    rig.holds(1);
    const KeptPicture kept = rig.list.picture(0);
    ASSERT_TRUE(kept.isPacked());
    const QImage unpacked = kept.packed().unpack();
    EXPECT_EQ(unpacked.format(), QImage::Format_Indexed8);
    EXPECT_EQ(unpacked.colorCount(), 256) << "the file's own colour map, decoded straight to it";
    EXPECT_EQ(kept.identity(), rig.c.Picture1->packedPicture().identity()) << "shown, not copied";
    EXPECT_TRUE(rig.c.Picture1->picture().isNull()) << "not unpacked to be shown";
    EXPECT_TRUE(rig.list.itemAt(0).pictureLoaded);
    const QImage decoded = QImage(rig.dataPath(QStringLiteral("N0R-0.noaa")));
    EXPECT_EQ(unpacked.convertToFormat(QImage::Format_RGB32),
              decoded.convertToFormat(QImage::Format_RGB32));

    rig.holds(2);
    EXPECT_EQ(rig.list.picture(0).identity(), kept.identity()) << "not decoded a second time";
}

TEST_F(FramePresentationTest, WithoutPreloadingNothingIsKeptInTheList) {
    rig.setPace(500, 1500);
    rig.addCycle(QStringLiteral("N0R"), 2);
    rig.holds(2);
    EXPECT_TRUE(rig.list.picture(0).isNull());
    EXPECT_FALSE(rig.list.itemAt(0).pictureLoaded);
    EXPECT_FALSE(rig.c.Picture1->picture().isNull());
}

TEST_F(FramePresentationTest, AFrameTheListCannotKeepIsShownFromItsFile) {
    rig.setPace(200, 1500);
    rig.addCycle(QStringLiteral("N0R"), 2);
    // Inactive frames whose pictures fill the list's memory budget.
    QImage large(2048, 2048, QImage::Format_RGB32);
    large.fill(Qt::blue);
    const KeptPicture filler(large);
    for (qint64 held = 0; held + filler.byteCount() <= DisplayList::kPictureBudgetBytes;
         held += filler.byteCount()) {
        rig.addFrame(QStringLiteral("filler-%1.noaa").arg(held), QStringLiteral("N0Z"), nullptr,
                     false);
        ASSERT_TRUE(rig.list.setPicture(rig.list.numDLitems() - 1, filler));
    }

    rig.holds(1);
    EXPECT_TRUE(rig.s.frameShownOK);
    EXPECT_FALSE(rig.c.Picture1->packedPicture().isNull() && rig.c.Picture1->picture().isNull());
    EXPECT_TRUE(rig.list.picture(0).isNull());
    EXPECT_FALSE(rig.list.itemAt(0).pictureLoaded) << "held as a frame read from its file";
}

TEST_F(FramePresentationTest, AFrameAfterAnInactiveOneIsShownForTwoTicks) {
    const GifSpec spec;
    rig.addFrame(QStringLiteral("a.noaa"), QStringLiteral("N0R"), &spec);
    rig.addFrame(QStringLiteral("b.noaa"), QStringLiteral("N0R"), &spec, false);
    rig.addFrame(QStringLiteral("c.noaa"), QStringLiteral("N0R"), &spec);
    rig.addFrame(QStringLiteral("d.noaa"), QStringLiteral("N0R"), &spec);
    rig.list.calculateAllCycleCounts();
    EXPECT_EQ(rig.captions(5), (QStringList{QStringLiteral("a.noaa"), QStringLiteral("c.noaa"),
                                            QStringLiteral("c.noaa"), QStringLiteral("d.noaa"),
                                            QStringLiteral("a.noaa")}));
}

TEST_F(FramePresentationTest, FrameIsCentredWithElevenTwentiethsOfTheFreeHeightAbove) {
    rig.addCycle(QStringLiteral("N0R"), 1, gifSpec({400, 300}, 4));
    rig.holds(1);
    // (768 - 300) / 20 * 11 = 257.4, rounded to the nearest pixel.
    EXPECT_EQ(rig.c.Picture1->geometry(), QRect(312, 257, 400, 300));
    EXPECT_EQ(rig.c.Picture2->geometry(), rig.c.Picture1->geometry());
    EXPECT_FALSE(rig.c.Picture1->isHidden());
    EXPECT_TRUE(rig.c.Picture2->isHidden());
    const QLabel* caption = rig.c.ItemCaption;
    EXPECT_EQ(caption->text(), QStringLiteral("N0R-0.noaa"));
    EXPECT_EQ(caption->x(), qRound((1024 - caption->width()) / 2.0));
    EXPECT_EQ(caption->y(), qRound(257 - 1.5 * caption->height()));
}

TEST_F(FramePresentationTest, ACaptionIsDrawnAtOnceWhenItChangesAndOnlyThen) {
    const std::pair<const char*, const char*> frames[] = {
        {"a.noaa", "Short Range"}, {"b.noaa", "Short Range"}, {"c.noaa", "Long Range"}};
    for (const auto& [name, caption] : frames) {
        const QString path = rig.dataPath(QString::fromLatin1(name));
        rig.list.addItem(path, QString::fromLatin1(caption), path, false, true, false,
                         QStringLiteral("N0R"));
        ASSERT_TRUE(writeGif(path, GifSpec()));
    }
    rig.list.calculateAllCycleCounts();
    rig.window.show();
    rig.c.ItemCaption->show();
    QCoreApplication::processEvents();
    PaintCounter caption(rig.c.ItemCaption);

    std::vector<int> paintsAfterEachTick;
    for (int tick = 0; tick < 3; ++tick) {
        const int before = caption.paints;
        rig.presentation.showNextImage();
        paintsAfterEachTick.push_back(caption.paints - before);
    }
    EXPECT_GE(paintsAfterEachTick[0], 1);
    EXPECT_EQ(paintsAfterEachTick[1], 0) << "same caption, same place";
    EXPECT_GE(paintsAfterEachTick[2], 1);
    EXPECT_EQ(rig.c.ItemCaption->text(), QStringLiteral("Long Range"));
}

TEST_F(FramePresentationTest, FrameLargerThanTheScreenIsBoxedToItsShapeAndCropped) {
    // Only too wide: 651.6 high and 63.8 down, both rounded up.
    rig.addCycle(QStringLiteral("N0R"), 1, gifSpec({1100, 700}, 4));
    rig.holds(1);
    EXPECT_EQ(rig.c.Picture1->geometry(), QRect(0, 64, 1024, 652));
    EXPECT_EQ(rig.c.Picture1->picture().size(), QSize(1100, 700)) << "cropped, not scaled";
}

TEST_F(FramePresentationTest, NewCycleStartsTheBarSoThatEveryCycleEndsFull) {
    rig.addCycle(QStringLiteral("N0R"), 3);
    rig.addCycle(QStringLiteral("N0Z"), 5);
    rig.s.cycleFrameCounts = {3, 5};
    rig.s.secondCycleStart = 3;
    rig.progress.setMax(5, kRadarTimeBar);
    rig.progress.setMin(1, kRadarTimeBar);
    std::vector<int> values;
    for (int tick = 0; tick < 8; ++tick) {
        rig.presentation.showNextImage();
        values.push_back(rig.s.displayProgressVal);
        EXPECT_EQ(rig.progress.value(kRadarTimeBar), rig.s.displayProgressVal);
    }
    EXPECT_EQ(values, (std::vector<int>{3, 4, 5, 1, 2, 3, 4, 5}));

    rig.AsyncDownloadTimer.setEnabled(true);
    rig.presentation.showNextImage();
    EXPECT_EQ(rig.s.displayProgressVal, 1) << "while downloading every cycle starts at 1";
}

TEST_F(FramePresentationTest, OneProductAloneStartsItsCycleAtOne) {
    rig.addCycle(QStringLiteral("N0R"), 4);
    rig.s.cycleFrameCounts = {4, 0};
    rig.s.secondCycleStart = 0;
    rig.progress.setMax(4, kRadarTimeBar);
    rig.progress.setMin(1, kRadarTimeBar);
    rig.presentation.showNextImage();
    EXPECT_EQ(rig.s.displayProgressVal, 1);
    rig.presentation.showNextImage();
    EXPECT_EQ(rig.s.displayProgressVal, 2);
}

TEST_F(FramePresentationTest, OfflineWithNothingListedShowsTheFallbackAndStops) {
    QImage fallback(320, 200, QImage::Format_RGB32);
    fallback.fill(Qt::darkRed);
    ASSERT_TRUE(fallback.save(rig.presentation.fallbackPicturePath(), "JPG"));
    rig.s.offlineMode = true;
    rig.c.NetworkProblem->move(250, 0);
    rig.c.NetworkProblem2->resize(300, 16);
    rig.presentation.showNextImage();

    EXPECT_EQ(rig.c.Picture1->picture().size(), QSize(320, 200));
    EXPECT_TRUE(rig.s.frameShownOK);
    EXPECT_FALSE(rig.Timer1.isEnabled());
    EXPECT_TRUE(rig.Timer1.intervalsSet.empty()) << "the pace is left as it was";
    EXPECT_EQ(rig.c.NetworkProblem2->geometry().topLeft(), QPoint(250, 768 - 16));
    EXPECT_EQ(rig.c.NetworkProblem->geometry().topLeft(), QPoint(250, 768 - 20 - 16));
    EXPECT_FALSE(rig.c.NetworkProblem->isHidden() || rig.c.NetworkProblem2->isHidden());
    EXPECT_TRUE(rig.errorLog().contains(kFailurePrefix + "offlineMode and no display items"));
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
    rig.log.flush();
    EXPECT_EQ(rig.errorLog().count("ERROR :: showChanelItemPB :: displayError: !FileExists :: "),
              1);
    EXPECT_TRUE(rig.errorLog().contains("displayError: !FileExists (repeated 5 times) :: "));
}

TEST_F(FramePresentationTest, EmptyListDuringADownloadLeavesThePictureAlone) {
    rig.progress.setVisible(true, kDownloadBar);
    rig.presentation.showNextImage();
    EXPECT_TRUE(rig.messages.isEmpty());
    EXPECT_TRUE(rig.errorLog().isEmpty());
    EXPECT_EQ(rig.Timer1.interval(), FramePresentation::kDefaultPaceMs);
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
    // Ten steps over three positions end on the second one.
    EXPECT_TRUE(rig.errorLog().contains(
        kFailurePrefix + "still bad index after multiple retries (" +
        rig.dataPath(QStringLiteral("b.noaa")).toUtf8() + "), exists (False), numDLitems (3)"));
    EXPECT_EQ(rig.Timer1.interval(), FramePresentation::kDefaultPaceMs);
    EXPECT_TRUE(rig.messages.isEmpty());
}

TEST_F(FramePresentationTest, AMissingFrameFileGivesWayToTheNextFrame) {
    const GifSpec spec;
    rig.addFrame(QStringLiteral("a.noaa"), QStringLiteral("N0R"), nullptr);
    rig.addFrame(QStringLiteral("b.noaa"), QStringLiteral("N0R"), &spec);
    rig.list.calculateAllCycleCounts();
    EXPECT_EQ(rig.holds(1), std::vector<int>{FramePresentation::kMissingFileWaitMs});
    EXPECT_EQ(rig.captions(1), QStringList{QStringLiteral("b.noaa")});
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
    EXPECT_EQ(rig.captions(2), (QStringList{QStringLiteral("a.noaa"), QStringLiteral("d.noaa")}));
    EXPECT_FALSE(rig.list.itemAt(2).active) << "the frame that failed, behind the gap";
    EXPECT_TRUE(rig.s.frameShownOK);
    EXPECT_EQ(rig.errorLog().count("ERROR :: showChanelItemPB :: (481) - Invalid picture"), 1);
    EXPECT_FALSE(rig.errorLog().contains(kFailurePrefix));
}

TEST_F(FramePresentationTest, IncompleteFrameFilesFailUntilTheRetriesRunOut) {
    for (int n = 0; n < 6; ++n) {
        const QString path =
            rig.addFrame(QStringLiteral("f%1.jpg").arg(n), QStringLiteral("N0R"), nullptr);
        rig.world.writeFile(path, QByteArray(100, 'x')); // no JPEG end marker
    }
    rig.presentation.showNextImage();
    rig.log.flush();
    const QByteArray log = rig.errorLog();
    EXPECT_TRUE(log.contains("ERROR :: showChanelItemPB :: displayError: !ValidImage (repeated 4 "
                             "times) :: "));
    EXPECT_TRUE(log.contains(kFailurePrefix + "ShowChannelItemPB returned false 3+ times"));
    EXPECT_FALSE(rig.s.frameShownOK);
    EXPECT_FALSE(rig.list.itemAt(3).active);
    EXPECT_TRUE(rig.list.itemAt(4).active) << "the fifth failure ends the tick unmarked";
    rig.presentation.showNextImage();
    EXPECT_TRUE(rig.errorLog().contains(
        kFailurePrefix + "getNextItem() returned item.active==(False) or bad index"));
}

// The user's own long time format, without the time zone that Qt's long formats carry.
TEST_F(FramePresentationTest, TimeOfDayWritesTheLongTimeOfTheUsersLocale) {
    rig.clock.set(DateTime::fromParts(2026, 12, 5, 21, 35, 29));
    const std::pair<const char*, QString> rows[] = {
        {"en_US", QStringLiteral("9:35:29 PM")},
        {"de_DE", QStringLiteral("21:35:29")},
        {"zh_CN", QStringLiteral("21:35:29")}, // the zone comes first
        {"fa_IR", QStringLiteral("۲۱:۳۵:۲۹")}, // in brackets, and the locale's own digits
    };
    for (const auto& [name, time] : rows) {
        rig.presentation.setLocale(QLocale(QLatin1String(name)));
        rig.presentation.TimeOfDay_Timer();
        EXPECT_EQ(rig.c.currentTime->text(), QStringLiteral("Current Time:  ") + time + "  ")
            << name;
    }
}

} // namespace
