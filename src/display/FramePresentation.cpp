#include "display/FramePresentation.h"

#include "display/ClockText.h"
#include "display/FrameLayout.h"
#include "display/MyProgress.h"
#include "display/PictureBox.h"
#include "display/SaverTimer.h"
#include "pictures/FramePicture.h"
#include "pictures/ImageUtils.h"
#include "support/Clock.h"
#include "support/Error.h"
#include "support/FileUtils.h"
#include "support/Log.h"

#include <QLabel>
#include <QScopeGuard>

#include <cmath>
#include <cstdlib>
#include <utility>

namespace nimbuscope {

namespace {

const QString kShowNextImage = QStringLiteral("showNextImage");
const QString kShowChanelItemPB = QStringLiteral("showChanelItemPB");

/// The clock sits 0.3 of its own height below the top edge.
constexpr double kClockTopShare = 0.3;
/// The frame caption sits one and a half of its heights above the frame.
constexpr double kCaptionLift = 1.5;
/// "Last download" keeps 33 twips (two pixels at 15 twips a pixel) clear of the right edge.
constexpr int kImageDateRightMarginPx = 2;
/// getNextItem never hands out a position at or beyond this.
constexpr int kItemIndexLimit = DisplayList::kResetSlots;

QString trueFalse(bool value) {
    return value ? QStringLiteral("True") : QStringLiteral("False");
}

int pixels(double value) {
    return int(std::lround(value));
}

/// The control's own Visible setting, whether or not the window is on screen yet.
bool isShown(const QWidget* widget) {
    return !widget->isHidden();
}

/// A packed frame goes to the box packed: it is painted from its runs.
void showIn(PictureBox* box, const KeptPicture& picture) {
    if (picture.isPacked()) {
        box->setPicture(picture.packed());
    } else {
        box->setPicture(picture.image());
    }
}

} // namespace

FramePresentation::FramePresentation(PresentationContext context)
    : c_(context.c), s_(context.s), list_(context.list), log_(context.log), clock_(context.clock),
      homeDirectory_(std::move(context.homeDirectory)), messageBox_(std::move(context.messageBox)),
      locale_(std::move(context.locale)) {}

QString FramePresentation::fallbackPicturePath() const {
    return joinPath(homeDirectory_, kFallbackPicture);
}

void FramePresentation::showNextImage() {
    // A message box lets events run; a tick arriving then must not walk the list a second
    // time underneath this one.
    if (showing_) {
        return;
    }
    showing_ = true;
    const auto done = qScopeGuard([this] { showing_ = false; });
    trappedVoid(log_, kShowNextImage, [&] {
        placeClock();
        if (s_.offlineMode && list_.numDLitems() < 1) {
            showOfflineAndEmpty();
            return;
        }
        s_.updateRateMs = kDefaultPaceMs;
        c_.Timer1->setInterval(kDefaultPaceMs);
        if (list_.numDLitems() < 1) {
            if (!c_.progress->visible(kDownloadBar)) {
                drawFallbackPicture();
            }
            return;
        }
        c_.window->raise();
        DisplayItem item;
        QString reason;
        switch (findAndDrawFrame(item, reason)) {
        case Search::Shown:
            finishShownFrame(item);
            break;
        case Search::Failed:
            logFailure(reason);
            break;
        case Search::Waiting:
            break;
        }
    });
}

void FramePresentation::placeClock() {
    QLabel* clock = c_.currentTime;
    clock->move(s_.screenWidth - clock->width(), pixels(kClockTopShare * clock->height()));
    clock->show();
    QLabel* date = c_.ImageDate;
    date->move(s_.screenWidth - date->width() - kImageDateRightMarginPx,
               clock->y() + clock->height());
}

void showOfflineLines(const SaverControls& c, int screenHeight) {
    QLabel* problem = c.NetworkProblem;
    QLabel* retry = c.NetworkProblem2;
    retry->move(problem->x(), screenHeight - retry->height());
    problem->move(problem->x(), screenHeight - problem->height() - retry->height());
    problem->show();
    retry->show();
}

void FramePresentation::showOfflineAndEmpty() {
    showOfflineLines(c_, s_.screenHeight);
    drawFallbackPicture();
    c_.Timer1->setEnabled(false);
    logFailure(QStringLiteral("offlineMode and no display items"));
}

void FramePresentation::drawFallbackPicture() {
    bool ok = false;
    showChannelItemPB(fallbackPicturePath(), DisplayItem(), false, ok);
}

FramePresentation::Search FramePresentation::findAndDrawFrame(DisplayItem& item, QString& reason) {
    // Missing files and failed draws share one retry count, carried over the waits.
    int retries = std::exchange(carriedRetries_, 0);
    for (;;) {
        item = list_.getNextItem(s_.playIndex);
        if (!item.active || item.index < 0 || item.index >= kItemIndexLimit) {
            reason = QStringLiteral("getNextItem() returned item.active==(") +
                     trueFalse(item.active) + QStringLiteral(") or bad index");
            return Search::Failed;
        }
        if (!FileExists(log_, item.fileName)) {
            if (retries >= kMaxMissingFileRetries) {
                reason = missingFileReason(item);
                return Search::Failed;
            }
            waitForMissingFile(retries + 1);
            return Search::Waiting;
        }
        if (drawFrame(item)) {
            return Search::Shown;
        }
        if (retries > kMaxFailedDrawRetries) {
            reason = QStringLiteral("ShowChannelItemPB returned false 3+ times");
            return Search::Failed;
        }
        // The frame that failed, not whatever sits at playIndex: past inactive positions the
        // two differ, and a broken frame left active would be tried on every tick.
        list_.setItemActiveFlag(item.index, false);
        advancePlayIndex();
        ++retries;
    }
}

QString FramePresentation::missingFileReason(const DisplayItem& item) {
    return QStringLiteral("still bad index after multiple retries (") + item.fileName +
           QStringLiteral("), exists (") + trueFalse(FileExists(log_, item.fileName)) +
           QStringLiteral("), numDLitems (") + QString::number(list_.numDLitems()) +
           QStringLiteral(")");
}

bool FramePresentation::drawFrame(const DisplayItem& item) {
    if (isShown(c_.LogoImage)) {
        c_.LogoImage->hide();
    }
    setFrameInterval(item);
    c_.DownloadInfoChannelName->show();
    bool ok = false;
    showChannelItemPB(item.fileName, item, true, ok);
    // The bar follows the animation whether or not the frame made it to the screen.
    c_.progress->setValue(s_.displayProgressVal, kRadarTimeBar);
    return ok;
}

void FramePresentation::waitForMissingFile(int retries) {
    // The wait is Timer1's next interval: the clock, the download steps and input all run
    // meanwhile, as they did while a tick slept, and no tick takes longer than its work.
    carriedRetries_ = retries;
    advancePlayIndex();
    s_.updateRateMs = kMissingFileWaitMs;
    c_.Timer1->setInterval(kMissingFileWaitMs);
}

void FramePresentation::setFrameInterval(const DisplayItem& item) {
    FramePlace place = FramePlace::Middle;
    if (item.radarID != s_.previousRadarID || item.cycleStart || s_.playIndex == 0) {
        place = FramePlace::CycleStart;
        s_.previousRadarID = item.radarID;
        s_.displayProgressVal = newCycleProgressValue(item);
    } else {
        if (item.cycleEnd) {
            place = FramePlace::CycleEnd;
        }
        s_.displayProgressVal += 1;
    }
    const qint32 interval = frameHoldMs(place, s_.animationRateMS, s_.animationLastFrameMS);
    if (interval <= 0) {
        return; // a hand-edited setting: the default pace stays, a timer set so would stop
    }
    s_.updateRateMs = interval;
    c_.Timer1->setInterval(interval);
}

qint32 FramePresentation::newCycleProgressValue(const DisplayItem& item) const {
    if (c_.progress->visible(kDownloadBar) || c_.AsyncDownloadTimer->isEnabled()) {
        return 1;
    }
    // A shorter cycle starts part-way along the bar so that every cycle ends with it full.
    // Without a second cycle (its start position is then 0) every frame is in the first.
    const bool firstCycle = s_.secondCycleStart == 0 || item.index < s_.secondCycleStart;
    const qint32 frames = s_.cycleFrameCounts[firstCycle ? 0 : 1];
    return std::abs(c_.progress->max(kRadarTimeBar) - frames) + 1;
}

void FramePresentation::finishShownFrame(const DisplayItem& item) {
    // A frame the list could not keep is read from its file again on its next show.
    if (s_.preloadImages && list_.hasPicture(item.index)) {
        list_.setPictureLoaded(item.index, true);
    }
    QLabel* caption = c_.ItemCaption;
    const QString shownText = caption->text();
    const QRect shownAt = caption->geometry();
    if (item.caption != shownText) {
        caption->setText(item.caption);
        caption->adjustSize(); // lays the text out again: not for every frame
    }
    caption->move(pixels((s_.screenWidth - caption->width()) / 2.0),
                  pixels(c_.Picture1->y() - kCaptionLift * caption->height()));
    // A product's frames share their caption: drawing it again on each would cost a flush.
    if (caption->text() != shownText || caption->geometry() != shownAt) {
        caption->repaint();
    }
    s_.previousRadarID = item.radarID;
    c_.ImageInfo->show();
    c_.ImageDate->show();
    if (frameShown_) {
        frameShown_(item, s_.updateRateMs);
    }
    advancePlayIndex();
}

void FramePresentation::advancePlayIndex() {
    // A list that shrank while events ran wraps round like one at its end.
    const int next = s_.playIndex + 1;
    s_.playIndex = next >= list_.numDLitems() ? qint16(0) : qint16(next);
}

void FramePresentation::logFailure(const QString& reason) {
    log_.logError(QStringLiteral("ERROR :: showNextImage :: displayList failure: ") + reason);
}

void FramePresentation::showChannelItemPB(const QString& fileName, const DisplayItem& item,
                                          bool useCache, bool& ok) {
    ok = trapped(log_, kShowChanelItemPB, false, [&] {
        const bool cached = item.index >= 0 && s_.preloadImages && list_.hasPicture(item.index);
        if (!cached && !frameFileUsable(fileName)) {
            return false;
        }
        placePictures(pictureFor(fileName, item, useCache));
        return true;
    });
    s_.frameShownOK = ok;
}

bool FramePresentation::frameFileUsable(const QString& fileName) {
    QString reason;
    if (FileExists(log_, fileName)) {
        if (isCompleteImageFile(fileName)) {
            return true;
        }
        reason = QStringLiteral("!ValidImage");
    } else {
        reportMissingFile(fileName);
        reason = QStringLiteral("!FileExists");
    }
    log_.logError(QStringLiteral("ERROR :: showChanelItemPB :: displayError: ") + reason);
    return false;
}

void FramePresentation::reportMissingFile(const QString& fileName) {
    // Once per path and run: a missing fallback picture is looked for on every tick, and a
    // box per tick would bury the saver. The path is noted before the box opens, because the
    // box's own event loop may run other ticks while it waits for the user.
    if (reportedMissing_.contains(fileName)) {
        return;
    }
    reportedMissing_.insert(fileName);
    if (messageBox_) {
        messageBox_(QStringLiteral("Image file not found: ") + fileName);
    }
}

KeptPicture FramePresentation::pictureFor(const QString& fileName, const DisplayItem& item,
                                          bool useCache) {
    if (item.index >= 0 && s_.preloadImages && useCache) {
        KeptPicture picture = list_.picture(item.index);
        if (picture.isNull()) {
            // Kept for the whole run, so it is kept small.
            picture = KeptPicture::compact(loadFramePicture(fileName));
            list_.setPicture(item.index, picture);
        }
        return picture;
    }
    return KeptPicture(loadFramePicture(fileName));
}

QRect FramePresentation::frameBoxFor(QSize picture) const {
    // The frame's caption goes one and a half of its heights above it: both clear the title.
    const int minTop =
        s_.headerBottom > 0 ? s_.headerBottom + pixels(kCaptionLift * c_.ItemCaption->height()) : 0;
    return frameBox(scaledSize(picture, s_.pictureScale), QSize(s_.screenWidth, s_.screenHeight),
                    s_.screenAspect, minTop);
}

void FramePresentation::refitSizingBox() {
    PictureBox* back = c_.Picture2;
    back->setPictureScale(s_.pictureScale);
    if (!back->pictureSize().isEmpty()) {
        back->setGeometry(frameBoxFor(back->pictureSize()));
    }
}

void FramePresentation::placePictures(const KeptPicture& picture) {
    PictureBox* back = c_.Picture2;
    back->setPictureScale(s_.pictureScale);
    showIn(back, picture);
    back->setGeometry(frameBoxFor(picture.size()));
    PictureBox* front = c_.Picture1;
    front->setPictureScale(s_.pictureScale);
    showIn(front, picture);
    front->setGeometry(back->geometry());
    front->show();
    front->raise();
    front->repaint();
}

QString FramePresentation::longTime(DateTime moment) const {
    return localLongTime(moment, locale_);
}

void FramePresentation::TimeOfDay_Timer() {
    QLabel* clock = c_.currentTime;
    clock->setText(QStringLiteral("Current Time:  ") + longTime(clock_.now()) +
                   QStringLiteral("  "));
    clock->adjustSize();
}

} // namespace nimbuscope
