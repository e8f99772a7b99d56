// Days of saver life in virtual time against a seeded flaky network, with outages, location
// changes through the settings and Enter bringing the saver back online. The length comes from
// NIMBUSCOPE_SOAK_HOURS (scripts/virtual-soak runs a week), the faults from NIMBUSCOPE_SOAK_SEED.
#include "ScenarioRig.h"

#include "noaa-sim/RadarGif.h"
#include "pictures/DisplayList.h"

#include <QApplication>
#include <QDirIterator>
#include <QRegularExpression>
#include <QSet>

#include <cstdio>
#include <cstdlib>
#include <random>

#include <gtest/gtest.h>

using namespace nimbuscope;
using namespace nimbuscope::test;

namespace {

constexpr int kMaxRetries = 3;
constexpr int kFaultOneIn = 12;         // requests
constexpr int kOutageOneIn = 10;        // hours
constexpr int kLocationChangeOneIn = 6; // hours
constexpr int kHourSeconds = 3600;
constexpr double kLongestPassSeconds = 800; // 24 receive time-outs of 30 s, and a little more
constexpr int kWarmUpHours = 6;
constexpr int kMostCachedFiles = 299 + 3; // every frame, two lists and the conditions picture
const char* const kZips[] = {"64106", "80301", "98101", "60601", "30303", "78701", "10001"};
const QRegularExpression kCacheName(QStringLiteral(
    R"(^([0-9]{5})\.(currentConditions\.jpg|(DS\.p19r0|DS\.p20-r)\.(loop\.txt|[^/]+\.noaa))$)"));

int envNumber(const char* name, int fallback) {
    const char* text = std::getenv(name);
    return text != nullptr && std::atoi(text) > 0 ? std::atoi(text) : fallback;
}

struct Sample {
    int objects, cachedFiles, openFiles;
};

/// The saver, the faults of its world and the rules that must hold after every tick: the
/// display list's limit, one location's files in the cache and none elsewhere, and offline
/// exactly after one failed pass more than the retries allowed.
class Soak {
public:
    explicit Soak(quint32 seed) : faults_(seed), events_(seed + 1) {
        rig.network.chaos = [this](const QString& address) { return fault(address); };
        rig.afterTick = [this](VirtualTimer& timer) { check(timer); };
        rig.start();
        for (QDirIterator it(rig.world.root(), QDir::Files | QDir::Hidden | QDir::System,
                             QDirIterator::Subdirectories);
             it.hasNext();) {
            filesBefore_.insert(it.next());
        }
        wasRunning_ = passRunning();
        passesSeen_ = rig.passesStarted.size();
    }

    // One simulated hour with its event at a random moment inside it.
    void runHour() {
        const int at = draw(events_, kHourSeconds);
        rig.runFor(at);
        if (!rig.ended()) {
            event();
            rig.runFor(kHourSeconds - at);
        }
        // The rig's own records grow with every frame and request; they are not the saver's.
        rig.framesShown.clear();
        rig.network.requests.clear();
        rig.deliverPostedEvents();
    }

    Sample sample() {
        const auto entries = [](const QString& folder) {
            return int(QDir(folder).entryList(QDir::AllEntries | QDir::NoDotAndDotDot).size());
        };
        return {int(rig.window().findChildren<QObject*>().size() +
                    QApplication::topLevelWidgets().size()),
                entries(rig.dataFolder()), entries(QStringLiteral("/proc/self/fd"))};
    }

    ScenarioRig rig{{.animationRateMS = 200, .networkMaxRetries = kMaxRetries}};
    QStringList violations;
    int passesEnded = 0, passesFailed = 0, timesOffline = 0, locationChanges = 0;

private:
    static int draw(std::mt19937& random, int n) {
        return std::uniform_int_distribution<int>(0, n - 1)(random);
    }

    std::optional<Outcome> fault(const QString& address) {
        if (draw(faults_, kFaultOneIn) != 0) {
            return std::nullopt;
        }
        const auto garbage = [this] {
            QByteArray bytes(std::uniform_int_distribution<int>(0, 8192)(faults_), '\0');
            for (char& c : bytes) {
                c = char(faults_());
            }
            return bytes;
        };
        switch (draw(faults_, 7)) {
        case 0:
            return Outcome::fail(PageRetriever::ConnectionFailed);
        case 1:
            return Outcome::silent();
        case 2:
            return Outcome::fail(PageRetriever::httpError(500));
        case 3: {
            QByteArray body = rig.network.simulated(address).body.value_or(QByteArray());
            body.truncate(std::uniform_int_distribution<qsizetype>(0, body.size())(faults_));
            return Outcome::withBody(body);
        }
        case 4: // the server's radar-unavailable frame
            if (address.endsWith(QLatin1String(".gif"))) {
                return Outcome::withBody(QByteArray::fromStdString(noaasim::unavailableFrameGif()));
            }
            return Outcome::withBody(garbage());
        case 5:
            return Outcome::trickle();
        }
        return Outcome::withBody(garbage());
    }

    void event() {
        if (outageHoursLeft_ > 0 && --outageHoursLeft_ == 0) {
            rig.network.setOffline(false);
        } else if (outageHoursLeft_ == 0 && draw(events_, kOutageOneIn) == 0) {
            outageHoursLeft_ = 1 + draw(events_, 4);
            rig.network.setOffline(true);
        }
        if (rig.state().offlineMode) {
            if (outageHoursLeft_ == 0) {
                rig.pressKey(Qt::Key_Return);
                failedInARow_ = 0;
            }
        } else if (draw(events_, kLocationChangeOneIn) == 0) {
            const QString zip = QString::fromLatin1(kZips[draw(events_, std::size(kZips))]);
            rig.setup.answers.push_back(rig.chooseLocation(zip));
            rig.pressKey(Qt::Key_Escape);
            ++locationChanges;
        }
    }

    bool passRunning() {
        return rig.downloading() || rig.window().controls().AsyncDownloadTimer->isEnabled();
    }

    void violation(const QString& what) {
        if (violations.size() < 40) {
            violations.append(QStringLiteral("at %1 s: %2").arg(rig.nowMs() / 1000).arg(what));
        }
    }

    void check(VirtualTimer& timer) {
        if (const int items = rig.window().displayList().numDLitems(); items > 299) {
            violation(QStringLiteral("%1 display-list items").arg(items));
        }
        const bool passStarted = rig.passesStarted.size() != passesSeen_;
        passesSeen_ = rig.passesStarted.size();
        const bool running = passRunning();
        if (wasRunning_ && !running) {
            const bool failed = rig.shown(QStringLiteral("NetworkProblem"));
            failedInARow_ = failed ? failedInARow_ + 1 : 0;
            passesFailed += failed ? 1 : 0;
            ++passesEnded;
        }
        wasRunning_ = running;
        const bool offline = rig.state().offlineMode;
        if (offline != (failedInARow_ > kMaxRetries)) {
            violation(QStringLiteral("offline %1 after %2 failed passes in a row")
                          .arg(offline ? "on" : "off")
                          .arg(failedInARow_));
        }
        if (offline && wasOffline_ && passStarted) {
            violation(QStringLiteral("a pass started while offline"));
        }
        timesOffline += offline && !wasOffline_ ? 1 : 0;
        wasOffline_ = offline;
        // Files are written by the download steps and deleted when a pass starts; the folders
        // are also looked at once a simulated minute, to catch any other writer.
        if (&timer == rig.window().controls().AsyncDownloadTimer || passStarted ||
            rig.nowMs() >= nextFolderCheckMs_) {
            nextFolderCheckMs_ = rig.nowMs() + 60'000;
            checkFolders();
        }
    }

    void checkFolders() {
        QString zip;
        for (const QString& name : QDir(rig.dataFolder())
                                       .entryList(QDir::AllEntries | QDir::Hidden | QDir::System |
                                                  QDir::NoDotAndDotDot)) {
            const QRegularExpressionMatch match = kCacheName.match(name);
            if (!match.hasMatch()) {
                violation(QStringLiteral("cache holds a file it never named: ") + name);
            } else if (zip.isEmpty()) {
                zip = match.captured(1);
            } else if (match.captured(1) != zip) {
                violation(QStringLiteral("cache holds two locations: %1 and %2").arg(zip, name));
            }
        }
        const QString data = QDir::cleanPath(rig.dataFolder()) + QLatin1Char('/');
        for (QDirIterator it(rig.world.root(), QDir::Files | QDir::Hidden | QDir::System,
                             QDirIterator::Subdirectories);
             it.hasNext();) {
            const QString path = it.next();
            if (!path.startsWith(data) && !filesBefore_.contains(path)) {
                violation(QStringLiteral("file outside the cache folder: ") + path);
                filesBefore_.insert(path); // reported once
            }
        }
    }

    std::mt19937 faults_;
    std::mt19937 events_;
    QSet<QString> filesBefore_;
    bool wasRunning_ = false;
    bool wasOffline_ = false;
    int failedInARow_ = 0;
    int outageHoursLeft_ = 0;
    qsizetype passesSeen_ = 0;
    qint64 nextFolderCheckMs_ = 0;
};

} // namespace

// After warm-up nothing grows: not the objects, the open files or the cache. (The heap is left
// to the sanitizers' leak checks.)
TEST(SoakScenario, FlakyNetworkForDays) {
    const int hours = envNumber("NIMBUSCOPE_SOAK_HOURS", 24);
    Soak soak(quint32(envNumber("NIMBUSCOPE_SOAK_SEED", 20261205)));
    std::optional<Sample> first;
    for (int hour = 1; hour <= hours && !soak.rig.ended(); ++hour) {
        soak.runHour();
        soak.rig.finishPass(kLongestPassSeconds); // no backup of pictures held beside the list
        const Sample s = soak.sample();
        first = hour == kWarmUpHours ? s : first;
        if (first) {
            EXPECT_LE(s.objects, first->objects) << "hour " << hour;
            EXPECT_LE(s.openFiles, first->openFiles) << "hour " << hour;
            EXPECT_LE(s.cachedFiles, kMostCachedFiles) << "hour " << hour;
        }
    }
    ASSERT_FALSE(soak.rig.ended()) << "the saver ended with status " << *soak.rig.endStatus;
    EXPECT_EQ(soak.violations, QStringList()) << soak.violations.join('\n').toStdString();
    std::printf("soak: %d hours, %d passes (%d failed), offline %d times, %d location changes\n",
                hours, soak.passesEnded, soak.passesFailed, soak.timesOffline,
                soak.locationChanges);
    // The soak must have met what it is about, or its checks prove nothing.
    EXPECT_GT(soak.passesFailed, 0);
    EXPECT_GT(soak.passesEnded - soak.passesFailed, soak.passesFailed);
    EXPECT_TRUE(hours < 24 || (soak.timesOffline > 0 && soak.locationChanges > 0));
}
