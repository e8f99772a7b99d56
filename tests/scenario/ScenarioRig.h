#pragma once

#include "ScenarioFakes.h"
#include "ScriptedAlerts.h"
#include "ScriptedNetwork.h"
#include "VirtualTimers.h"

#include "acquisition/PageRetriever.h"
#include "platform/Folders.h"
#include "platform/InstanceLocks.h"
#include "registry/RegistryApi.h"
#include "shell/FrmMain.h"
#include "shell/SaverApp.h"

#include "common/FakeClock.h"
#include "common/FakeDialogs.h"
#include "common/FakeProcessEnd.h"
#include "common/TestWorld.h"

#include <QList>
#include <QMap>
#include <QString>

#include <functional>
#include <memory>
#include <optional>

namespace nimbuscope::test {

/// The settings and system facts a scenario starts from.
struct RigOptions {
    QString zipcode = QStringLiteral("64106");
    qint32 locationMode = 1;
    QString cityState;
    qint32 animationRateMS = 500;
    qint32 animationLastFrameMS = 2000;
    qint32 networkTimeout = 30;
    qint32 networkMaxRetries = 50;
    qint32 cursorMovement = 0;
    qint32 cursorVisibility = 0;
    std::optional<QString> userName = QStringLiteral("tester");
    /// A 9x-family platform with the screen-saver password switched on.
    bool win9xPassword = false;
    /// Whose long time format the window uses.
    QLocale locale = QLocale(QLocale::English, QLocale::UnitedStates);
    /// The window asks `ScenarioRig::alerts` for the place's weather alerts, and the place's
    /// coordinates are known from a search kept by the bridge.
    bool alerts = false;
};

/// What a first run leaves behind: the files of its cache folder and the location it stored.
struct FilledCache {
    QMap<QString, QByteArray> files;
    QString templateURL;
    QString cityState;
};

/// One Timer1 tick that put a frame on screen.
struct ShownFrame {
    qint64 atMs = 0;
    qint16 position = 0; // list position the search started from
    QString caption;
    int holdMs = 0; // Timer1's interval after the tick
};

/// A saver window in virtual time. It builds FrmMain over a fake clock, a scripted network
/// answered by the simulated NOAA service, virtual timers, a recording cursor, scripted
/// dialogs and an end of the program that unwinds to the rig. Running it always fires the
/// enabled timer due next, moving the clock to its due time, so hours of saver life pass in
/// moments and every run is the same.
class ScenarioRig {
public:
    explicit ScenarioRig(RigOptions options = {});
    ~ScenarioRig();
    ScenarioRig(const ScenarioRig&) = delete;
    ScenarioRig& operator=(const ScenarioRig&) = delete;

    /// Builds the window and runs its load (which may end the program already).
    void start();
    /// Starts and runs until the first frame is laid out and the mouse grace time is over;
    /// false when the frame did not come.
    bool startPastTheFirstFrame();

    /// Runs the timers for `seconds` of virtual time, or until the program ends.
    void runFor(double seconds);
    /// Runs the timers until `done` holds (checked before every tick) or `limitSeconds` have
    /// passed or the program ended; true when `done` held.
    bool runUntil(const std::function<bool()>& done, double limitSeconds);

    /// A key press as the window receives it from the system.
    void pressKey(Qt::Key key);
    /// Moves the system cursor by (dx, dy) and lets the window see the move.
    void moveMouse(int dx, int dy);
    /// A click (or double click) on the control named `name` ("FrmMain" for the window).
    void click(const QString& name, bool doubleClick = false);
    /// Runs `action` (a handler call) as the window system would, catching the end.
    void deliver(const std::function<void()>& action);
    /// Delivers the events the widgets posted (repaints asked for by show and hide), as an
    /// event loop turn would. The timers run without one, so a long scenario calls this
    /// now and then or the queue grows with every widget shown.
    void deliverPostedEvents();
    /// The setup dialog's OK with a new zip code from the simulated service's sites, stored
    /// as its check of the location would store it: with the page, frame template and city.
    ScriptedSetup::Answer chooseLocation(const QString& zip);

    bool ended() const { return endStatus.has_value(); }
    std::optional<int> endStatus;

    qint64 nowMs() const { return timers.nowMs(); }
    FrmMain& window() { return *window_; }
    SaverRunState& state() { return window_->state(); }
    RegistryValues& settings() { return app.settings(); }
    VirtualTimer& timer1() const { return static_cast<VirtualTimer&>(*window_->controls().Timer1); }
    /// Whether the control named `name` is set visible.
    bool shown(const QString& name) const;
    /// Whether a download pass is running (its progress bar is shown).
    bool downloading() const;
    /// Runs until the running pass has ended; false when it has not within `limitSeconds`.
    bool finishPass(double limitSeconds = 120);
    QString caption(const QString& name) const;

    /// Every Timer1 tick that showed a frame, in order.
    QList<ShownFrame> framesShown;
    /// Timer1 ticks that showed no new frame.
    int blankTicks = 0;
    /// Every pass started, as the virtual millisecond when the download bar appeared.
    QList<qint64> passesStarted;
    /// Called after every timer tick (when the program has not ended).
    std::function<void(VirtualTimer&)> afterTick;

    QString errorLog();
    /// The cache folder the window uses ("<working folder>/data/").
    QString dataFolder();
    /// The cache of a first saver run to the end of its pass, `framesPerProduct` listed.
    static FilledCache fillCache(int framesPerProduct);
    /// Puts `cache` (files and stored location) where the window finds it; before start(),
    /// or later as another copy of the saver sharing the cache would.
    void seedCache(const FilledCache& cache);

    RigOptions options;
    TestWorld world;
    FakeClock clock;
    FakePlatform platform;
    std::unique_ptr<RegistryApi> registry;
    FileInstanceLocks locks;
    FakeProcessEnd processEnd;
    FakeDialogs dialogs;
    ScriptedPasswords passwords;
    Folders folders;
    SaverApp app;
    VirtualTimers timers;
    ScriptedNetwork network;
    ScriptedAlerts alerts;
    ComponentFactory components;
    FakeSystemInput input;
    ScriptedSetup setup;
    /// The setup dialog the window opens; `setup` unless a test puts another here.
    SetupDialogHost* setupHost = &setup;
    /// A screen-saver host's window for the saver to draw in; none unless a test puts one here.
    WindowEmbedding* host = nullptr;
    /// The page-retrieval components the window created.
    QList<ScriptedRetriever*> retrievers;

private:
    void writeSettings();
    void keepSearchedPlace();
    QString ownDataFolder();
    void fire(VirtualTimer& t);

    std::unique_ptr<FrmMain> window_;
    bool downloadBarWasShown_ = false;
};

} // namespace nimbuscope::test
