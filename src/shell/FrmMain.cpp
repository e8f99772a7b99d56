#include "shell/FrmMain.h"

#include "acquisition/AcquireDataAsync.h"
#include "bridge/AlertPoller.h"
#include "desktop/Dialogs.h"
#include "desktop/SystemInput.h"
#include "display/FramePresentation.h"
#include "display/MyProgress.h"
#include "display/PictureBox.h"
#include "display/SaverTimer.h"
#include "platform/InstanceLocks.h"
#include "platform/PasswordServices.h"
#include "platform/WindowEmbedding.h"
#include "retrieval/PageRetriever.h"
#include "shell/MyMain.h"
#include "shell/SaverApp.h"
#include "shell/ScreenCovers.h"
#include "shell/SharedCache.h"
#include "shell/WorkingFolder.h"
#include "support/Clock.h"
#include "support/Error.h"
#include "support/FrameTrace.h"

#include <QApplication>
#include <QLabel>
#include <QScopeGuard>
#include <QScreen>

#include <cmath>

namespace nimbuscope {

namespace {

constexpr const char* kInitFailed = "ERROR: Nimbuscope init failed";

// The first part of the load goes on past any error, statement by statement.
template <typename Body> void ignoringErrors(Body&& body) {
    try {
        std::forward<Body>(body)();
    } catch (const std::exception&) {
    }
}

QRect screenArea(QScreen* screen) {
    return screen != nullptr ? screen->geometry() : QRect(0, 0, 800, 600);
}

// A host's window is an ordinary child window: no layer of its own, no frame to leave off.
Qt::WindowFlags windowFlagsFor(const FrmMainKit& kit) {
    return kit.host != nullptr ? Qt::Window | Qt::FramelessWindowHint
                               : Qt::Window | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint;
}

} // namespace

FrmMain::FrmMain(SaverApp& app, FrmMainKit kit, QScreen* screen)
    : QWidget(nullptr, windowFlagsFor(kit)), myHTTPRetrieve(kit.components), app_(app),
      kit_(std::move(kit)), displayList_(app.log()),
      systemUtils_(app.services().platform, app.log(), app.services().clock) {
    QScreen* target = screen != nullptr ? screen : QGuiApplication::primaryScreen();
    screen_ = screenArea(target);
    if (inHost()) {
        // The host's window is the whole screen the saver has.
        const QSize hostSize = kit_.host->hostSize();
        screen_ = QRect(QPoint(0, 0), hostSize.isEmpty() ? screen_.size() : hostSize);
    } else if (target != nullptr) {
        setScreen(target);
    }
    setObjectName(QStringLiteral("FrmMain"));
    QWidget::setWindowTitle(QString::fromLatin1(kPlaybackCaption));
    // Copies in a host's windows are not the full-screen window that one start refuses another.
    if (!inHost()) {
        captionLock_ = app.services().locks.acquire(QString::fromLatin1(kPlaybackCaption));
    }

    createControls();
    createTimers();
    sharedCache_ = std::make_unique<SharedCache>(app.services().locks, app.services().clock);

    presentation_ = std::make_unique<FramePresentation>(PresentationContext{
        ctl_, state_, displayList_, app.log(), app.services().clock, app.settings().getHomeDir(),
        [this](const QString& text) { messageBox(text); }, kit_.locale});
    auto cacheFolderAt = [&app](const QString& dir) { return app.workingFolders.dataAt(dir); };
    acquire_ = std::make_unique<AcquireDataAsync>(AcquisitionServices{
        passReport_, state_, displayList_, app.settings(), app.log(), app.services().clock,
        systemUtils_, myHTTPRetrieve, [this](bool skipCleanup) { endProgram(skipCleanup); },
        kit_.doEvents, cacheFolderAt});

    timer1_->setHandler([this] { Timer1_Timer(); });
    createAlerts();
    timeOfDay_->setHandler([this] {
        presentation_->TimeOfDay_Timer();
        alertsTick();
    });
    asyncDownloadTimer_->setHandler([this] { acquire_->AsyncDownloadManager(); });
    if (FrameTrace* trace = app.frameTrace()) {
        traceFrames(*trace);
    }
    win9xPwdDismiss_->setHandler([this] { Win9xPwdDismiss_Timer(); });

    if (inHost()) {
        // Queued: the end runs from the event loop, not inside the X event that told of it.
        connect(
            kit_.host, &WindowEmbedding::windowGone, this, [this] { endProgram(false); },
            Qt::QueuedConnection);
        connect(kit_.host, &WindowEmbedding::hostResized, this, &FrmMain::fitToHost);
    } else {
        covers_ = std::make_unique<ScreenCovers>(
            target, CoverInput{[this](int qtKey) { Form_KeyDown(virtualKeyOf(qtKey)); },
                               [this] { Form_MouseMove(); }, [this] { Form_MouseDown(); }});
    }
    app_.setOrderlyEnd([this] { endProgram(false); }, inHost());
}

FrmMain::~FrmMain() {
    app_.setOrderlyEnd({});
}

void FrmMain::notePassStart() {
    if (FrameTrace* trace = app_.frameTrace()) {
        trace->passStarted();
    }
    if (alerts_) {
        alerts_->passStarted();
    }
}

void FrmMain::traceFrames(FrameTrace& trace) {
    presentation_->setFrameShownHook([&trace](const DisplayItem& item, qint32 intervalMs) {
        trace.frameShown(item.radarID, item.index, intervalMs);
    });
    // A pass ends where its last step switches the download timer off.
    asyncDownloadTimer_->setHandler([this, &trace] {
        acquire_->AsyncDownloadManager();
        if (!asyncDownloadTimer_->isEnabled()) {
            trace.passEnded();
        }
    });
}

void FrmMain::Form_Load() {
    loadPreparation();
    try {
        loadRest();
    } catch (const Error& e) {
        logTrappedError(app_.log(), QStringLiteral("FrmMain:Load"), e);
        messageBox(QString::fromLatin1(kInitFailed));
    } catch (const std::exception& e) {
        logTrappedError(app_.log(), QStringLiteral("FrmMain:Load"), asError(e));
        messageBox(QString::fromLatin1(kInitFailed));
    }
}

// Load up to the single-instance test: every error is passed over.
void FrmMain::loadPreparation() {
    Log& log = app_.log();
    const Clock& clock = app_.services().clock;
    log.debugLogOn = false;
    log.memoryLogOn = false;
    log.firstErrorPending = true;
    ignoringErrors([&] { acquire_->setLastConditionsTime(clock.now()); });
    ignoringErrors([&] { acquire_->setNetworkProblemCount(0); });

    state_.frameShownOK = false;
    infoLaidOut_ = false;
    state_.offlineMode = false;
    state_.playIndex = 0;
    cursorShown_ = true;
    ignoringErrors([&] { timer1_->setEnabled(false); });
    state_.interruptedDownload = false;

    ignoringErrors([&] { takeWorkingFolders(); });

    ignoringErrors([&] {
        RegistryValues& settings = app_.settings();
        state_.animationRateMS = settings.getAnimationRateMS();
        state_.animationLastFrameMS = settings.getAnimationLastFrameMS();
        state_.preloadImagesThreshold = SaverRunState::kPreloadImagesThreshold;
        state_.preloadImages = state_.animationRateMS < state_.preloadImagesThreshold;
    });
    state_.displayProgressVal = 0;
    state_.previousRadarID.clear();
    ignoringErrors([&] { layOutAtLoad(); });
}

// Makes the cache and log folders, or makes them again when they were removed while the
// saver ran; the log and the passes reach their files through them.
void FrmMain::takeWorkingFolders() {
    prepareWorkingFolders(app_.workingFolders, systemUtils_.getTempFolder(),
                          systemUtils_.getCurrentUserName());
    state_.nimbuscopeTmp = app_.workingFolders.path();
    app_.log().setFolder(app_.workingFolders.folder);
}

// The rest of the load: an error stops it (the caller says so).
void FrmMain::loadRest() {
    Log& log = app_.log();
    log.logMemoryUse(QStringLiteral("FrmMain:Load, start"));
    myHTTPRetrieve.obtain();
    showSaverWindow();
    placeLogoAndImageInfo();

    presentation_->TimeOfDay_Timer();
    log.logMemoryUse(QStringLiteral("FrmMain:Load, Pre-loadZipcode"));
    loadZipcode(QString::fromLatin1(kNoLocationYet), false);
    // The start-up logo phase counts from the program's start, not from the end of its load.
    const qint64 started = app_.services().platform.msSinceProcessStart().value_or(0);
    if (timer1_->isEnabled() && started > 0 && started < kTimer1LoadMs) {
        timer1_->setInterval(int(kTimer1LoadMs - started));
    }
}

void FrmMain::showSaverWindow() {
    if (inHost()) {
        showInHost();
        return;
    }
    // Without a window manager a full-screen request keeps the default size: place the
    // window on its screen explicitly.
    setGeometry(screen_);
    if (isHidden()) {
        show();
    }
    placeTopmostAgain();
    covers_->show();
}

void FrmMain::showInHost() {
    if (!embedded_) {
        winId();
        kit_.host->embed(*windowHandle());
        embedded_ = true;
    }
    setGeometry(screen_);
    if (isHidden()) {
        show();
    }
}

void FrmMain::placeTopmostAgain() {
    if (inHost()) {
        return; // the host decides what is on top
    }
    raise();
    activateWindow();
    setFocus(Qt::OtherFocusReason);
    // A saver has to see every key even where no window manager gives it the focus; the
    // grab is let go while a modal dialog needs the keyboard.
    if (isVisible() && !modalOpen_) {
        grabKeyboardIfPossible();
    }
}

void FrmMain::grabKeyboardIfPossible() {
    // The offscreen platform has no keyboard to grab; it delivers keys to the focus anyway.
    // A host keeps the keyboard for itself.
    if (!inHost() && QGuiApplication::platformName() != QLatin1String("offscreen")) {
        grabKeyboard();
    }
}

void FrmMain::endProgram(bool skipCleanup) {
    timer1_->setEnabled(false);
    asyncDownloadTimer_->setEnabled(false);
    if (!askForPassword()) {
        setCursorVisible(false);
        timer1_->setEnabled(true);
        asyncDownloadTimer_->setEnabled(true);
        return;
    }
    if (!skipCleanup) {
        releasePictures();
        closeOtherForms();
    }
    setCursorVisible(true);
    app_.log().logMemoryUse(QStringLiteral("FrmMain:endProgram, end"));
    app_.endProgramNow(0);
}

// True when the saver may end: always, unless a 9x system keeps a screen-saver password
// and the user does not give it.
bool FrmMain::askForPassword() {
    if (!systemUtils_.OSis9x() || !app_.settings().isScreenSaverSecure()) {
        return true;
    }
    const QPoint centre(screen_.x() + qRound(screen_.width() / 2.0),
                        screen_.y() + qRound(screen_.height() / 2.0));
    kit_.input.setCursorPos(centre);
    setCursorVisible(true);
    win9xPwdDismiss_->setInterval(kWin9xPwdDismissMs);
    win9xPwdDismiss_->setEnabled(true);
    bool accepted = false;
    runModal([&] { accepted = app_.services().passwords.verifyPassword(qint32(winId())); });
    win9xPwdDismiss_->setEnabled(false);
    return accepted;
}

void FrmMain::Win9xPwdDismiss_Timer() {
    win9xPwdDismiss_->setEnabled(false);
    if (systemUtils_.OSis9x()) {
        state_.lastSetupTime = app_.services().clock.now();
        cursorMoved(true);
        kit_.input.sendKey(SystemInput::kEscapeKey);
    }
}

void FrmMain::releasePictures() {
    for (int i = 0; i < displayList_.numDLitems(); ++i) {
        if (displayList_.itemAt(i).active && displayList_.hasPicture(i)) {
            displayList_.setPicture(i, KeptPicture());
        }
    }
}

void FrmMain::closeOtherForms() {
    const QWidgetList forms = QApplication::topLevelWidgets();
    for (auto it = forms.crbegin(); it != forms.crend(); ++it) {
        if (*it != this && (*it)->isVisible()) {
            (*it)->close();
        }
    }
}

bool FrmMain::cursorMoved(bool reset) {
    // The main tick asks too, not only mouse events: in a host's window the mouse is the host's.
    if (state_.cursorIgnoreMovement || inHost()) {
        return false;
    }
    const std::optional<QPoint> position = kit_.input.cursorPos();
    if (reset) {
        if (position) {
            lastCursor_ = *position;
        }
        return false;
    }
    if (!position) {
        return false;
    }
    const QPoint d = *position - lastCursor_;
    lastCursor_ = *position;
    if (std::abs(d.x()) <= kMouseMoveLimit && std::abs(d.y()) <= kMouseMoveLimit) {
        return false;
    }
    // Asked only for a real move: the clock is read on every frame otherwise.
    const qint64 sinceSetup =
        wholeSecondsBetween(state_.lastSetupTime, app_.services().clock.now());
    // A clock set back since then must not stretch the grace time until it catches up.
    const bool inGrace = sinceSetup >= 0 && sinceSetup <= kMouseGraceSeconds;
    return !inGrace && ctl_.LogoImage->isHidden();
}

void FrmMain::setCursorVisible(bool show) {
    // In a host's window the cursor is the host's business.
    if (state_.cursorAlwaysVisible || inHost() || show == cursorShown_) {
        return;
    }
    kit_.input.showCursor(show);
    cursorShown_ = show;
}

void FrmMain::runModal(const std::function<void()>& show) {
    const bool wasOpen = modalOpen_;
    const bool hideCursorAgain = !cursorShown_;
    modalOpen_ = true;
    releaseKeyboard();
    // A dialog is used with the mouse too: its pointer must be seen.
    setCursorVisible(true);
    const auto restore = qScopeGuard([this, wasOpen, hideCursorAgain] {
        modalOpen_ = wasOpen;
        if (hideCursorAgain) {
            setCursorVisible(false);
        }
        if (!modalOpen_ && isVisible()) {
            grabKeyboardIfPossible();
        }
    });
    show();
}

void FrmMain::messageBox(const QString& text) {
    if (modalOpen_) {
        app_.log().logDebug(QStringLiteral("FrmMain: message box not stacked: ") + text);
        return;
    }
    runModal([&] { app_.services().dialogs.messageBox(text, this); });
}

} // namespace nimbuscope
