#pragma once

#include "display/SaverWindow.h"
#include "pictures/DisplayList.h"
#include "retrieval/PageRetriever.h"
#include "shell/PassOnScreen.h"
#include "support/SystemUtils.h"

#include <QLocale>
#include <QPoint>
#include <QRect>
#include <QString>
#include <QWidget>

#include <functional>
#include <memory>

namespace nimbuscope {

class AcquireDataAsync;
class AlertBanner;
class AlertPoller;
class BridgeTransport;
class ComponentFactory;
class FramePresentation;
class FrameTrace;
class InstanceLock;
class MyProgress;
class SaverApp;
class SaverTimer;
class ScreenCovers;
class SaverTimerFactory;
class SharedCache;
class SetupDialogHost;
class SystemInput;
class WindowEmbedding;

/// What a saver window needs beyond the application's services. The program passes the
/// real ones; the scenario rig passes virtual timers, a scripted retriever and fakes.
struct FrmMainKit {
    SaverTimerFactory& timers;
    /// Creates the page-retrieval component by its identifier at load.
    const ComponentFactory& components;
    SystemInput& input;
    SetupDialogHost& setup;
    /// Lets pending window events run once (a rig passes one that does nothing).
    std::function<void()> doEvents;
    /// The command line as the program received it, shown in the diagnostic label.
    QString commandLine;
    /// The window a screen-saver host handed over, attached already; null when the saver
    /// covers the screens itself. In a host's window the saver only draws: input, the
    /// cursor and the end are the host's, and the saver ends when that window goes.
    WindowEmbedding* host = nullptr;
    /// Whose long time format the clock and the last download use: the user's.
    QLocale locale = QLocale();
    /// Where the place's active weather alerts are asked; null: none are.
    BridgeTransport* alertsNetwork = nullptr;
};

/// The full-screen window of the running saver, captioned "NimbuscopePlayback" (it holds
/// that instance lock while it lives). It owns the controls, the four timers, the display
/// list, the page-retrieval component, the download manager and the frame presentation;
/// its public run state is shared with them. Input that ends the saver, the timer cycle and
/// the location load all end the program through endProgram, which ends the process through
/// the application's one end.
class FrmMain final : public QWidget {
    Q_OBJECT
public:
    static constexpr const char* kNoLocationYet = "00000";
    static constexpr qint32 kMouseMoveLimit = 20;
    static constexpr qint64 kMouseGraceSeconds = 3;
    static constexpr int kTimer1DesignMs = 2000;
    static constexpr int kTimer1LoadMs = 1500;
    static constexpr int kAsyncDownloadMs = 100;
    static constexpr int kTimeOfDayMs = 1000;
    static constexpr int kWin9xPwdDismissMs = 30000;
    static constexpr int kEnterKey = 13;
    static constexpr int kEscapeKey = 27;

    /// Builds the window and its controls on `screen` (the primary screen when null); the
    /// load itself runs in Form_Load.
    FrmMain(SaverApp& app, FrmMainKit kit, QScreen* screen = nullptr);
    ~FrmMain() override;

    // --- Load and end ---------------------------------------------------------------
    /// The load handler: working folders, the retrieval component, the layout, then the
    /// location load, which starts the first pass and the main timer. Shows the window.
    void Form_Load();
    /// Shows the window full screen on its screen, topmost, with the keyboard, and covers
    /// the other screens; or shows it inside the host's window. Idempotent.
    void showSaverWindow();
    /// Stops the saver and ends the process; on a 9x platform with a screen-saver password
    /// it first asks for the password and returns (the saver resumes) when it is refused.
    void endProgram(bool skipCleanup);

    // --- Input -------------------------------------------------------------------------
    /// A key went down; `keyCode` is the system's virtual key (13 Enter, 27 Esc).
    void Form_KeyDown(int keyCode);
    /// The virtual key of a Qt key, as far as the saver tells keys apart.
    static int virtualKeyOf(int qtKey);
    void Form_MouseMove();
    void Form_MouseDown();
    /// A click (or double click) on the window or the control named `controlName`.
    void Control_Click(const QString& controlName, bool doubleClick = false);
    void Form_Terminate();

    /// True when the cursor moved more than 20 pixels on an axis since the last check
    /// (outside the grace time and the logo phase); `reset` only records the position.
    bool cursorMoved(bool reset);
    /// Shows or hides the cursor; a call in the direction already taken does nothing.
    void setCursorVisible(bool show);

    // --- The main cycle and the location --------------------------------------------
    void Timer1_Timer();
    void Win9xPwdDismiss_Timer();
    void loadZipcode(const QString& previousZip, bool force);
    void changeSettings(bool downloadWasRunning);

    /// Shows a message box over the window, unless a message box or dialog of the window is
    /// open already: a failure repeating on every tick must not stack boxes on each other.
    void messageBox(const QString& text);

    // --- Shared state -------------------------------------------------------------------
    SaverRunState& state() { return state_; }
    const SaverControls& controls() const { return ctl_; }
    DisplayList& displayList() { return displayList_; }
    AcquireDataAsync& acquisition() { return *acquire_; }
    FramePresentation& presentation() { return *presentation_; }
    RetrieverSlot myHTTPRetrieve;

    bool infoLaidOut() const { return infoLaidOut_; }
    bool cursorShown() const { return cursorShown_; }
    /// The screen area the window covers, in pixels.
    QRect screenGeometry() const { return screen_; }
    /// The covers of the other screens; null until the window shows (and in a host's window).
    const ScreenCovers* covers() const { return covers_.get(); }
    /// The banner of the active weather alerts; null without an alerts network.
    const AlertBanner* alertBanner() const { return alertBanner_; }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    // FrmMainLayout.cpp
    void createControls();
    void createLabels();
    void applyLayoutScale();
    void createTimers();
    void layOutAtLoad();
    void layOutInformation();
    void placeInformation();
    void placeConditionsColumn();
    void placeRadarTimes();
    void watchInput(QWidget* control);
    void placeLogoAndImageInfo();
    void fitToHost(QSize size);

    // FrmMain.cpp
    void loadPreparation();
    void takeWorkingFolders();
    void loadRest();
    void releasePictures();
    void closeOtherForms();
    bool askForPassword();
    /// Runs a modal dialog with the keyboard released and the cursor shown, then takes the
    /// window back as it was.
    void runModal(const std::function<void()>& show);
    void placeTopmostAgain();
    void grabKeyboardIfPossible();
    void showInHost();
    bool inHost() const { return kit_.host != nullptr; }

    // FrmMainInput.cpp
    void escapePressed();
    void enterPressedOffline();
    void endOnKey();

    /// Writes each frame shown and each pass's end to `trace`.
    void traceFrames(FrameTrace& trace);
    /// A download pass starts: the frame trace and the alerts hear of it.
    void notePassStart();

    // AlertsOnScreen.cpp
    void createAlerts();
    /// One tick of the clock for the alerts: asked or taken up, then shown as in effect.
    void alertsTick();
    void placeAlertBanner();

    // MainTimerCycle.cpp
    void startPassIfDue();
    void startPass();
    void updateInformationLabels();

    // DownloadTurns.cpp
    /// True when this copy runs the download passes for the cache it shares.
    bool takeDownloads();
    /// A copy without the turn shows what the one with it caches, and takes the turn over
    /// when that copy has ended.
    void followDownloadingCopy();
    QString dataDirectory() const;

    // LocationLoad.cpp
    void ensureLocation();
    void resetForLocation();
    void markInterruptedDownload(const QString& previousZip, bool changed, bool force);
    void showLocationTitle(const QString& previousZip, bool changed, bool force);
    bool showSetupDialog();
    void takeOverSettings();

    SaverApp& app_;
    FrmMainKit kit_;
    QRect screen_;
    std::unique_ptr<InstanceLock> captionLock_;
    SaverRunState state_;
    SaverControls ctl_;
    PassOnScreen passReport_{ctl_, state_};
    std::unique_ptr<MyProgress> progress_;
    std::unique_ptr<SaverTimer> timer1_;
    std::unique_ptr<SaverTimer> timeOfDay_;
    std::unique_ptr<SaverTimer> asyncDownloadTimer_;
    std::unique_ptr<SaverTimer> win9xPwdDismiss_;
    DisplayList displayList_;
    SystemUtils systemUtils_;
    std::unique_ptr<FramePresentation> presentation_;
    std::unique_ptr<AcquireDataAsync> acquire_;
    std::unique_ptr<ScreenCovers> covers_;
    std::unique_ptr<SharedCache> sharedCache_;
    std::unique_ptr<AlertPoller> alerts_;
    AlertBanner* alertBanner_ = nullptr;
    DateTime alertsShownSince_;

    QPoint lastCursor_;
    bool cursorShown_ = true;
    bool infoLaidOut_ = false;
    bool modalOpen_ = false;
    bool embedded_ = false;
};

} // namespace nimbuscope
