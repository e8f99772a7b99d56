// Input of the saver window: what ends the saver, what opens the settings, what retries the
// network.

#include "shell/FrmMain.h"

#include "acquisition/AcquireDataAsync.h"
#include "display/MyProgress.h"
#include "display/SaverTimer.h"
#include "retrieval/PageRetriever.h"
#include "shell/SaverApp.h"
#include "support/Clock.h"

#include <QCloseEvent>
#include <QKeyEvent>
#include <QLabel>
#include <QMouseEvent>

#include <array>

namespace nimbuscope {

namespace {

// A click on one of these ends the saver; clicks on other controls (the logo, the hints)
// do nothing. "FrmMain" is the window itself.
constexpr std::array kEndingClicks = {
    "FrmMain",
    "Picture1",
    "Picture2",
    "currentConditionsPictureBox",
    "NetworkProblem",
    "currentTempF",
    "currentConditions",
    "CurrentRadarTimes",
    "currentRadarTimesLabel",
    "currentTime",
    "ImageDate",
    "DownloadInfo",
    "ItemCaption",
};

bool endsOnClick(const QString& name, bool doubleClick) {
    if (doubleClick) {
        return name == QLatin1String("Picture1");
    }
    for (const char* ending : kEndingClicks) {
        if (name == QLatin1String(ending)) {
            return true;
        }
    }
    return false;
}

bool opensSettingsOnClick(const QString& name, bool doubleClick) {
    return name == QLatin1String("DownloadInfoChannelName") ||
           (!doubleClick && name == QLatin1String("EscToChange"));
}

} // namespace

int FrmMain::virtualKeyOf(int qtKey) {
    switch (qtKey) {
    case Qt::Key_Escape:
        return kEscapeKey;
    case Qt::Key_Return:
    case Qt::Key_Enter:
        return kEnterKey;
    default:
        return qtKey;
    }
}

void FrmMain::Form_KeyDown(int keyCode) {
    if (keyCode == kEscapeKey) {
        escapePressed();
    } else if (keyCode == kEnterKey && state_.offlineMode) {
        enterPressedOffline();
    } else {
        endOnKey();
    }
}

void FrmMain::endOnKey() {
    state_.interruptedDownload = true;
    asyncDownloadTimer_->setEnabled(false);
    timer1_->setEnabled(false);
    if (PageRetriever* retriever = myHTTPRetrieve.get()) {
        retriever->KillAsyncRetrieve(QString());
    }
    endProgram(false);
}

void FrmMain::escapePressed() {
    MyProgress& bars = *ctl_.progress;
    const bool downloading = bars.visible(kDownloadBar);
    if (!ctl_.EscToChange->isHidden() && !downloading) {
        state_.interruptedDownload = false;
        changeSettings(false);
        return;
    }
    if (!downloading) {
        return;
    }
    // A pass is running: stop it, let the user change the settings, then let the download
    // manager start the pass afresh.
    state_.interruptedDownload = true;
    asyncDownloadTimer_->setEnabled(false);
    bars.setVisible(false, kDownloadBar);
    bars.setVisible(false, kRadarTimeBar);
    ctl_.DownloadInfo->hide();
    if (PageRetriever* retriever = myHTTPRetrieve.get()) {
        retriever->KillAsyncRetrieve(QString());
    }
    changeSettings(true);
    state_.lastSetupTime = app_.services().clock.now();
    cursorMoved(true);
    setCursorVisible(false);
    timer1_->setEnabled(true);
    asyncDownloadTimer_->setEnabled(true);
    bars.setVisible(true, kDownloadBar);
    ctl_.DownloadInfo->show();
    if (state_.interruptedDownload) {
        state_.lastDownloadTime = app_.services().clock.now();
    }
    raise();
}

void FrmMain::enterPressedOffline() {
    Log& log = app_.log();
    state_.interruptedDownload = false;
    log.logDebug(QStringLiteral("FrmMain: user reset offlineMode"));
    if (PageRetriever* retriever = myHTTPRetrieve.get()) {
        retriever->KillAsyncRetrieve(QString());
    }
    log.logDebug(QStringLiteral("FrmMain: killed any active retrieve thread"));
    acquire_->setNetworkProblemCount(0);
    ctl_.retryCount->setText(QString::number(acquire_->networkProblemCount()) +
                             QStringLiteral(" retries"));
    timer1_->setEnabled(false);
    state_.offlineMode = false;
    loadZipcode(QString::fromLatin1(kNoLocationYet), false);
}

void FrmMain::Form_MouseMove() {
    if (cursorMoved(false)) {
        endProgram(false);
    }
}

void FrmMain::Form_MouseDown() {
    endProgram(false);
}

void FrmMain::Control_Click(const QString& controlName, bool doubleClick) {
    if (opensSettingsOnClick(controlName, doubleClick)) {
        changeSettings(false);
    } else if (endsOnClick(controlName, doubleClick)) {
        endProgram(false);
    }
}

void FrmMain::Form_Terminate() {
    endProgram(false);
}

// In a host's window input is the host's: it ends the saver when it sees fit.
void FrmMain::keyPressEvent(QKeyEvent* event) {
    if (inHost()) {
        return;
    }
    Form_KeyDown(virtualKeyOf(event->key()));
}

void FrmMain::mouseMoveEvent(QMouseEvent*) {
    if (!inHost()) {
        Form_MouseMove();
    }
}

void FrmMain::mousePressEvent(QMouseEvent*) {
    if (!inHost()) {
        Form_MouseDown();
    }
}

void FrmMain::closeEvent(QCloseEvent* event) {
    // The window goes only with the process.
    event->ignore();
    Form_Terminate();
}

bool FrmMain::eventFilter(QObject* watched, QEvent* event) {
    auto* control = qobject_cast<QWidget*>(watched);
    if (control == nullptr || control->parentWidget() != this || inHost()) {
        return QWidget::eventFilter(watched, event);
    }
    switch (event->type()) {
    case QEvent::MouseMove:
        Form_MouseMove();
        break;
    case QEvent::MouseButtonRelease: {
        const auto* mouse = static_cast<QMouseEvent*>(event);
        if (mouse->button() == Qt::LeftButton &&
            control->rect().contains(mouse->position().toPoint())) {
            Control_Click(control->objectName());
        }
        break;
    }
    case QEvent::MouseButtonDblClick:
        Control_Click(control->objectName(), true);
        break;
    default:
        break;
    }
    return QWidget::eventFilter(watched, event);
}

} // namespace nimbuscope
