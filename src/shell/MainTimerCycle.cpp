// The Timer1 tick: the heartbeat of the running saver. It checks the mouse, lays out the
// information column once the first frame is shown, starts a download pass when one is
// due, shows the next frame and keeps the information labels in step.

#include "shell/FrmMain.h"

#include "acquisition/AcquireDataAsync.h"
#include "display/FramePresentation.h"
#include "display/MyProgress.h"
#include "display/PictureBox.h"
#include "display/SaverTimer.h"
#include "shell/SaverApp.h"
#include "shell/SaverRules.h"
#include "shell/SharedCache.h"
#include "support/Clock.h"
#include "support/Error.h"

#include <QLabel>

namespace nimbuscope {

namespace {

constexpr qsizetype kRadarTimesShortCaption = 7;

void showIf(QWidget* w, bool show) {
    w->setVisible(show);
}

} // namespace

void FrmMain::Timer1_Timer() {
    trappedVoid(app_.log(), QStringLiteral("Timer1 - main"), [&] {
        if (cursorMoved(false)) {
            endProgram(false);
        }
        if (state_.frameShownOK && !infoLaidOut_) {
            layOutInformation();
        }
        startPassIfDue();

        ctl_.ImageInfo->raise();
        ctl_.ImageDate->setText(QStringLiteral("Last download:  ") +
                                presentation_->longTime(state_.lastDownloadTime) +
                                QStringLiteral("  "));
        if (state_.zipcodeIsValid) {
            // A copy that follows another keeps its logo until that one has cached frames.
            if (sharedCache_->downloads() || displayList_.numDLitems() > 0) {
                presentation_->showNextImage();
            }
            updateInformationLabels();
        } else {
            timer1_->setEnabled(false);
        }
        if (!ctl_.progress->visible(kDownloadBar)) {
            ctl_.EscToChange->show();
        }
    });
}

void FrmMain::startPassIfDue() {
    if (!sharedCache_->downloads()) {
        followDownloadingCopy();
        return;
    }
    const Clock& clock = app_.services().clock;
    const qint64 elapsed = wholeSecondsBetween(state_.lastDownloadTime, clock.now());
    const bool due = downloadPassDue(elapsed, acquire_->networkProblemCount(),
                                     displayList_.numDLitems(), !ctl_.NetworkProblem->isHidden());
    if (!due || state_.offlineMode || ctl_.progress->visible(kDownloadBar)) {
        return;
    }
    startPass();
}

void FrmMain::startPass() {
    const Clock& clock = app_.services().clock;
    Log& log = app_.log();
    ctl_.ImageInfo->hide();
    const bool refreshLocation =
        locationRefreshDue(wholeSecondsBetween(acquire_->lastConditionsTime(), clock.now()));
    if (refreshLocation) {
        acquire_->setLastConditionsTime(clock.now());
    }
    log.logMemoryUse(QStringLiteral("FrmMain:timer1, calling AcquireData"));
    displayList_.initDisplayList(false, state_.preloadImages);
    notePassStart();
    acquire_->getWeatherRadar(state_.zipcode, dataDirectory(), refreshLocation,
                              app_.settings().getZipCode());
    state_.lastDownloadTime = clock.now();
    ctl_.ImageInfo->show();
    log.logMemoryUse(QStringLiteral("FrmMain:timer1, just called AcquireData"));
}

void FrmMain::updateInformationLabels() {
    const bool listed = displayList_.numDLitems() > 0;
    const bool panel = !ctl_.progress->visible(kDownloadBar) && infoLaidOut_ && listed;
    for (QLabel* label : {ctl_.ItemCaption, ctl_.CurrentRadarTimes, ctl_.currentRadarTimesLabel}) {
        showIf(label, panel);
    }
    if (!panel) {
        ctl_.progress->setVisible(false, kRadarTimeBar);
    } else if (ctl_.CurrentRadarTimes->text().size() > kRadarTimesShortCaption) {
        ctl_.progress->setVisible(true, kRadarTimeBar);
    }

    const QString temperature = ctl_.currentTempF->text();
    const QString conditions = ctl_.currentConditions->text();
    const bool weather = infoLaidOut_ && listed && !state_.offlineMode &&
                         (!conditions.isEmpty() || !temperature.isEmpty());
    showIf(ctl_.currentTempF, weather && !temperature.isEmpty());
    showIf(ctl_.currentConditions, weather && !conditions.isEmpty());
    showIf(ctl_.currentConditionsPictureBox, weather && state_.currentConditionsImgIsValid);
}

} // namespace nimbuscope
