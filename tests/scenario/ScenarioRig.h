#pragma once

#include "ScenarioFakes.h"
#include "ScriptedNetwork.h"
#include "VirtualTimers.h"

#include "bridge/BridgePlaces.h"
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

#include <functional>
#include <memory>
#include <optional>

namespace nimbuscope::test {

/// The settings a scenario starts from.
struct RigOptions {
    QString zipcode = QStringLiteral("64106");
    qint32 animationRateMS = 500;
    qint32 networkMaxRetries = 50;
    qint32 cursorMovement = 0;
};

/// What a first run leaves behind: its cache folder's files and the location it stored.
struct FilledCache {
    QMap<QString, QByteArray> files;
    QString templateURL;
    QString cityState;
};

/// A saver window in virtual time: FrmMain over a fake clock, a scripted network answered by
/// the simulated NOAA service, virtual timers, a fake cursor, scripted dialogs and an end of
/// the program that unwinds to the rig. Running always fires the timer due next, moving the
/// clock to its due time, so hours of saver life pass in moments, the same every run.
class ScenarioRig {
public:
    explicit ScenarioRig(RigOptions options = {});
    ~ScenarioRig();

    void start(); // builds the window and runs its load (which may end the program already)
    /// Starts and runs until the first frame is laid out and the mouse grace time is over.
    bool startPastTheFirstFrame();
    void runFor(double seconds) { runUntil({}, seconds); } // or until the program ends
    /// Runs until `done` holds (checked before every tick), `limitSeconds` have passed or the
    /// program ended; true when `done` held.
    bool runUntil(const std::function<bool()>& done, double limitSeconds);
    bool finishPass(double limitSeconds = 120);
    void pressKey(Qt::Key key);
    void moveMouse(int dx, int dy); // moves the system cursor and lets the window see it
    void click(const QString& name, bool doubleClick = false); // "FrmMain": the window
    /// Runs `action` (a handler call) as the window system would, catching the end.
    void deliver(const std::function<void()>& action);
    /// The setup dialog's OK with a new zip code, stored as the dialog's check would store it.
    ScriptedSetup::Answer chooseLocation(const QString& zip);

    bool ended() const { return endStatus.has_value(); }
    std::optional<int> endStatus;

    qint64 nowMs() const { return timers.nowMs(); }
    FrmMain& window() { return *window_; }
    SaverRunState& state() { return window_->state(); }
    RegistryValues& settings() { return app.settings(); }
    SaverTimer& timer1() const { return *window_->controls().Timer1; }
    bool shown(const QString& name) const; // the control named `name` is set visible
    bool downloading() const;              // the download bar is shown
    QString caption(const QString& name) const;
    QString dataFolder() { return state().nimbuscopeTmp + QStringLiteral("/data/"); }

    /// The cache of a first saver run to the end of its pass, `framesPerProduct` listed.
    static FilledCache fillCache(int framesPerProduct);
    /// Puts `cache` where the window finds it, before start() or as another copy would later.
    void seedCache(const FilledCache& cache);
    /// Keeps the bridge's search of the rig's zip code as having led to `where`, now.
    void keepSearchedPlace(LatLon where);
    QDateTime utcNow(); // the rig's clock in UTC, as the window reads it

    QList<qint64> framesShown;                    // Timer1 ticks that put a frame on screen
    int blankTicks = 0;                           // Timer1 ticks that showed none
    QList<qint64> passesStarted;                  // when the download bar appeared
    std::function<void(VirtualTimer&)> afterTick; // while the program has not ended

    RigOptions options;
    TestWorld world;
    FakeClock clock;
    FakePlatform platform;
    std::unique_ptr<RegistryApi> registry;
    FileInstanceLocks locks;
    FakeProcessEnd processEnd;
    FakeDialogs dialogs;
    NoPasswords passwords;
    Folders folders;
    SaverApp app;
    VirtualTimers timers;
    ScriptedNetwork network;
    ComponentFactory components;
    FakeSystemInput input;
    ScriptedSetup setup;
    WindowEmbedding* host = nullptr;          // a screen-saver host's window to draw in
    BridgeTransport* alertsNetwork = nullptr; // where the window asks for alerts; none: not asked
    QList<ScriptedRetriever*> retrievers;     // the page-retrieval components the window made

private:
    void writeSettings();
    QString ownDataFolder(); // the cache folder the window will use, made
    void fire(VirtualTimer& t);

    std::unique_ptr<FrmMain> window_;
};

} // namespace nimbuscope::test
