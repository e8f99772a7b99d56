#include "ScenarioRig.h"

#include "display/MyProgress.h"
#include "settings/RegistryValues.h"
#include "shell/WorkingFolder.h"
#include "support/FolderHandle.h"
#include "support/SystemUtils.h"

#include "noaa-sim/SiteTable.h"

#include "common/RegistryValue.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QProcessEnvironment>

#include <unistd.h>

namespace nimbuscope::test {

const QString kUser = QStringLiteral("tester");

ScenarioRig::ScenarioRig(RigOptions opts)
    : options(std::move(opts)), clock(DateTime::fromParts(2026, 12, 5, 12, 0, 0)),
      registry(makeMemoryRegistry()), locks(world.runtimeDir()),
      folders(Folders::fromEnvironment(QProcessEnvironment::systemEnvironment(),
                                       QCoreApplication::applicationDirPath(), ::geteuid())),
      app({platform, clock, *registry, locks, processEnd, dialogs, passwords, folders}),
      timers(clock), network(timers, clock) {
    platform.user = kUser;
    platform.temp = world.tmp();
    components.registerCreator(QString::fromLatin1(ComponentFactory::kRetrievePg), [this] {
        auto retriever = std::make_unique<ScriptedRetriever>(network);
        retrievers.append(retriever.get());
        return retriever;
    });
    writeSettings();
    app.settings().loadRegistryValues();
}

ScenarioRig::~ScenarioRig() = default;

void ScenarioRig::writeSettings() {
    const QString base = QString::fromLatin1(ScriptedNetwork::kBaseUrl);
    const QString host = QUrl(base).authority();
    const std::pair<const char*, QVariant> values[] = {
        {"forecastServerURL", base},
        {"validationServerHost", host},
        {"radarServerURL", base},
        {"alternateServerURL", base},
        {"serviceDomain", host},
        {"primaryRegionLabel", QStringLiteral("127.0.0.1")},
        {"alternateRegionLabel", QStringLiteral("localhost")},
        {"zipcode", options.zipcode},
        {"locationMode", 1},
        {"animationRateMS", options.animationRateMS},
        {"networkMaxRetries", options.networkMaxRetries},
        {"channelIDs", 18},
        {"cursorMovement", options.cursorMovement}};
    for (const auto& [name, value] : values) {
        storeRegistryValue(*registry, HKEY_LOCAL_MACHINE,
                           QLatin1String(RegistryValues::kProductKey), QLatin1String(name), value);
    }
}

void ScenarioRig::start() {
    window_ = std::make_unique<FrmMain>(app, FrmMainKit{timers, components, input, setup, [] {},
                                                        QStringLiteral("/s"), host, QLocale(),
                                                        alertsNetwork});
    deliver([this] { window_->Form_Load(); });
}

bool ScenarioRig::startPastTheFirstFrame() {
    start();
    if (!runUntil([this] { return window_->infoLaidOut(); }, 120)) {
        return false;
    }
    runFor(4);
    return true;
}

void ScenarioRig::deliver(const std::function<void()>& action) {
    if (ended()) {
        return;
    }
    const bool barBefore = downloading();
    try {
        action();
    } catch (const ProgramEnded& end) {
        endStatus = end.status;
        return;
    }
    if (!barBefore && downloading()) {
        passesStarted.append(nowMs());
    }
}

void ScenarioRig::fire(VirtualTimer& t) {
    const bool frameTimer = &t == &timer1();
    const qint16 before = state().playIndex;
    deliver([&] { t.tick(); });
    if (frameTimer && !ended() && state().playIndex != before) {
        framesShown.append(nowMs());
    } else if (frameTimer && !ended()) {
        ++blankTicks;
    }
    if (afterTick && !ended()) {
        afterTick(t);
    }
}

ScriptedSetup::Answer ScenarioRig::chooseLocation(const QString& zip) {
    return [this, zip] {
        const noaasim::SiteTable sites = noaasim::SiteTable::builtIn();
        const noaasim::SiteEntry* entry = sites.byZip(zip.toStdString());
        RegistryValues& values = settings();
        const QString base = QString::fromLatin1(ScriptedNetwork::kBaseUrl);
        values.saveTemplateURL(base + QStringLiteral("radar/images/@@@@@/SI.") +
                               QString::fromStdString(entry->site).toLower() +
                               QStringLiteral("/#####.noaa"));
        values.saveCityState(QString::fromStdString(entry->cityState()));
        values.saveCurrentConditionsURL(base + QStringLiteral("MapClick.php?zip=") + zip);
        values.saveLocationMode(1);
        values.saveZipCode(zip);
        return false;
    };
}

bool ScenarioRig::runUntil(const std::function<bool()>& done, double limitSeconds) {
    const qint64 limit = nowMs() + qint64(limitSeconds * 1000.0);
    while (!ended()) {
        if (done && done()) {
            return true;
        }
        VirtualTimer* next = timers.nextDue();
        if (next == nullptr || *next->dueMs() > limit) {
            timers.advanceTo(limit);
            return done && done();
        }
        timers.advanceTo(*next->dueMs());
        fire(*next);
    }
    return done && done();
}

bool ScenarioRig::finishPass(double limitSeconds) {
    // The bar goes when the last frame is in; the pass ends on the download timer's next
    // tick, which also settles the problem count.
    return runUntil(
        [this] { return !downloading() && !window_->controls().AsyncDownloadTimer->isEnabled(); },
        limitSeconds);
}

void ScenarioRig::pressKey(Qt::Key key) {
    deliver([&] { window_->Form_KeyDown(FrmMain::virtualKeyOf(key)); });
}

void ScenarioRig::moveMouse(int dx, int dy) {
    input.position += QPoint(dx, dy);
    deliver([this] { window_->Form_MouseMove(); });
}

void ScenarioRig::click(const QString& name, bool doubleClick) {
    deliver([&] { window_->Control_Click(name, doubleClick); });
}

bool ScenarioRig::shown(const QString& name) const {
    const auto* w = window_->findChild<QWidget*>(name);
    return w != nullptr && !w->isHidden();
}

bool ScenarioRig::downloading() const {
    return window_->controls().progress->visible(kDownloadBar);
}

QString ScenarioRig::caption(const QString& name) const {
    const auto* label = window_->findChild<QLabel*>(name);
    return label != nullptr ? label->text() : QString();
}

FilledCache ScenarioRig::fillCache(int framesPerProduct) {
    ScenarioRig first;
    first.network.site().setFrameCount("", framesPerProduct);
    first.start();
    FilledCache cache;
    if (!first.finishPass()) {
        return cache;
    }
    const QDir folder(first.dataFolder());
    for (const QString& name : folder.entryList(QDir::Files)) {
        cache.files.insert(name, first.world.readFile(folder.filePath(name)));
    }
    cache.templateURL = first.settings().getTemplateURL();
    cache.cityState = first.settings().getCityState();
    return cache;
}

void ScenarioRig::seedCache(const FilledCache& cache) {
    const QString folder = ownDataFolder();
    for (auto it = cache.files.cbegin(); it != cache.files.cend(); ++it) {
        world.writeFile(folder + it.key(), it.value());
    }
    settings().saveTemplateURL(cache.templateURL);
    settings().saveCityState(cache.cityState);
}

void ScenarioRig::keepSearchedPlace(LatLon where) {
    const QString folder = ownDataFolder();
    KeptPlaces kept;
    kept.searches[options.zipcode] = {where, utcNow()};
    writeKeptPlaces(FolderHandle::open(folder).get(), kept);
}

QString ScenarioRig::ownDataFolder() {
    const QString folder = workingFolderFor(platform.temp, kUser) + "/data/";
    QDir().mkpath(folder);
    return folder;
}

QDateTime ScenarioRig::utcNow() {
    return SystemUtils(platform, app.log(), clock).getGMT().toQDateTime();
}

} // namespace nimbuscope::test
