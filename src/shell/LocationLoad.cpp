// The location load and the settings opened from the running saver.

#include "shell/FrmMain.h"

#include "acquisition/AcquireDataAsync.h"
#include "display/MyProgress.h"
#include "display/PictureBox.h"
#include "display/SaverTimer.h"
#include "shell/SaverApp.h"
#include "shell/SetupDialogHost.h"
#include "support/Clock.h"

#include <QLabel>

namespace nimbuscope {

namespace {

constexpr qint32 kZipMode = 1;
constexpr qint32 kCityMode = 2;
constexpr qsizetype kZipLength = 5;
const QString kTitlePrefix = QStringLiteral("Nimbuscope for ");

bool isFiveDigitZip(const QString& zip) {
    if (zip.size() != kZipLength) {
        return false;
    }
    for (const QChar ch : zip) {
        if (ch < QLatin1Char('0') || ch > QLatin1Char('9')) {
            return false;
        }
    }
    return true;
}

} // namespace

void FrmMain::loadZipcode(const QString& previousZip, bool force) {
    RegistryValues& settings = app_.settings();
    ctl_.progress->setVisible(false, kRadarTimeBar);
    ctl_.EscToChange->show();
    ensureLocation();

    state_.lastSetupTime = app_.services().clock.now();
    state_.cursorIgnoreMovement = settings.getCursorMovementSetting() != 0;
    state_.cursorAlwaysVisible = settings.getCursorVisibilitySetting() != 0;
    resetForLocation();

    const bool changed =
        settings.getZipCode() != previousZip && previousZip != QLatin1String(kNoLocationYet);
    if (state_.interruptedDownload) {
        markInterruptedDownload(previousZip, changed, force);
        return;
    }
    displayList_.initDisplayList(changed || force, state_.preloadImages);
    showLocationTitle(previousZip, changed, force);
    state_.currentConditionsImgIsValid = false;
    state_.zipcodeIsValid = true;

    if (takeDownloads()) {
        QString zipForPass = previousZip;
        notePassStart();
        acquire_->getWeatherRadar(state_.zipcode, dataDirectory(), true, zipForPass);
    }
    cursorMoved(true);
    setCursorVisible(false);
    timer1_->setEnabled(true);
    // Frames of this location in the cache play from the first tick, whatever the network
    // does; the pass replaces them list by list. The first tick's time counts from above.
    acquire_->showCachedFrames(dataDirectory());
    ctl_.DownloadInfoChannelName->setText(acquire_->windowTitle());
    ctl_.DownloadInfoChannelName->repaint();
    state_.lastDownloadTime = app_.services().clock.now();
    raise();
    app_.log().logMemoryUse(QStringLiteral("FrmMain:loadZipcode, end Sub"));
}

// Asks for a location until one is stored; Cancel without a usable zip code ends the saver.
void FrmMain::ensureLocation() {
    for (;;) {
        state_.zipcode = app_.settings().getZipCode();
        if (state_.zipcode.size() > 1) {
            return;
        }
        const bool cancelled = showSetupDialog();
        if (!isFiveDigitZip(app_.settings().getZipCode()) && cancelled) {
            endProgram(true);
        }
    }
}

// Back to the logo, with the frame area and the weather column hidden, for a new location.
void FrmMain::resetForLocation() {
    for (QWidget* w :
         std::initializer_list<QWidget*>{ctl_.Picture1, ctl_.currentTempF, ctl_.currentConditions,
                                         ctl_.currentConditionsPictureBox, ctl_.CurrentRadarTimes,
                                         ctl_.currentRadarTimesLabel}) {
        w->hide();
    }
    ctl_.LogoImage->show();
    timer1_->setInterval(kTimer1LoadMs);

    // The folders may have been removed while the saver ran; failures are passed over.
    takeWorkingFolders();
    for (QLabel* label : {ctl_.ItemCaption, ctl_.ImageInfo}) {
        label->clear();
        label->repaint();
    }
    state_.locationChanged = false;
}

// A pass was cut short to open the settings: only tell the download manager what to redo;
// its next step starts the pass afresh.
void FrmMain::markInterruptedDownload(const QString& previousZip, bool changed, bool force) {
    RegistryValues& settings = app_.settings();
    const qint32 mode = settings.getLocationMode();
    if (mode == kZipMode) {
        if (changed || settings.getCityState().isEmpty() || force) {
            state_.locationChanged = true;
        }
    } else if (mode == kCityMode) {
        state_.zipcodeIsValid = true;
        if (settings.getZipCode() != previousZip || force) {
            state_.locationChanged = true;
        }
    }
    state_.interruptedDownload = true;
}

void FrmMain::showLocationTitle(const QString& previousZip, bool changed, bool force) {
    RegistryValues& settings = app_.settings();
    const qint32 mode = settings.getLocationMode();
    const QString cityState = settings.getCityState();
    if (mode == kZipMode) {
        if (changed || cityState.isEmpty() || force) {
            acquire_->setWindowTitle(kTitlePrefix + state_.zipcode);
            state_.locationChanged = true;
        } else {
            acquire_->setWindowTitle(kTitlePrefix + cityState + QStringLiteral("  (") +
                                     state_.zipcode + QLatin1Char(')'));
        }
    } else if (mode == kCityMode) {
        state_.zipcodeIsValid = true;
        if (settings.getZipCode() != previousZip || force) {
            acquire_->setWindowTitle(kTitlePrefix + cityState + QStringLiteral("  (") +
                                     settings.getZipCode() + QLatin1Char(')'));
            state_.locationChanged = true;
        } else {
            acquire_->setWindowTitle(kTitlePrefix + cityState);
        }
    }
    ctl_.DownloadInfoChannelName->setText(acquire_->windowTitle());
    ctl_.DownloadInfoChannelName->repaint();
}

void FrmMain::changeSettings(bool downloadWasRunning) {
    timer1_->setEnabled(false);
    const QString previousZip = state_.zipcode;
    const bool cancelled = showSetupDialog();
    state_.lastSetupTime = app_.services().clock.now();

    if (cancelled && app_.settings().getZipCode().size() == kZipLength && !downloadWasRunning) {
        setCursorVisible(false);
        timer1_->setEnabled(true);
        return;
    }
    takeOverSettings();
    loadZipcode(previousZip, downloadWasRunning);

    QLabel* clock = ctl_.currentTime;
    clock->move(screen_.width() - clock->width(), qRound(0.3 * clock->height()));
    clock->show();
    timeOfDay_->setEnabled(true);
}

bool FrmMain::showSetupDialog() {
    bool cancelled = true;
    runModal([&] { cancelled = kit_.setup.showModalCentredTopmost(this, screen_); });
    placeTopmostAgain();
    return cancelled;
}

void FrmMain::takeOverSettings() {
    RegistryValues& settings = app_.settings();
    state_.cursorIgnoreMovement = settings.getCursorMovementSetting() != 0;
    state_.cursorAlwaysVisible = settings.getCursorVisibilitySetting() != 0;
    state_.animationRateMS = settings.getAnimationRateMS();
    state_.animationLastFrameMS = settings.getAnimationLastFrameMS();
    state_.preloadImages = state_.animationRateMS < state_.preloadImagesThreshold;
}

} // namespace nimbuscope
