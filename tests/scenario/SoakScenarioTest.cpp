// Days of saver life in virtual time against a seeded flaky network, with outages, location
// changes through the settings and Enter bringing the saver back online. The length comes from
// NIMBUSCOPE_SOAK_HOURS (scripts/virtual-soak runs a week), the faults from NIMBUSCOPE_SOAK_SEED.
#include "ScenarioRig.h"

#include "noaa-sim/RadarGif.h"

#include <QApplication>
#include <QDirIterator>
#include <QRegularExpression>

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

int draw(std::mt19937& random, int n) {
    return std::uniform_int_distribution<int>(0, n - 1)(random);
}

QStringList filesUnder(const QString& root) {
    QStringList files;
    for (QDirIterator it(root, QDir::Files | QDir::Hidden | QDir::System,
                         QDirIterator::Subdirectories);
         it.hasNext();) {
        files << it.next();
    }
    return files;
}

struct Sample {
    int objects, cachedFiles, openFiles;
};

/// The saver and the faults and events of its world, hour by hour.
class Soak {
public:
    explicit Soak(quint32 seed) : faults_(seed), events_(seed + 1) {
        rig.network.script = [this](const QString& address) { return fault(address); };
        rig.afterTick = [this](VirtualTimer&) { countPassEnds(); };
        rig.start();
        filesBefore_ = filesUnder(rig.world.root());
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
        rig.deliver([] { QCoreApplication::sendPostedEvents(); });
    }

    Sample sample() {
        const auto entries = [](const QString& folder) {
            return int(QDir(folder).entryList(QDir::AllEntries | QDir::NoDotAndDotDot).size());
        };
        return {int(rig.window().findChildren<QObject*>().size() +
                    QApplication::topLevelWidgets().size()),
                entries(rig.dataFolder()), entries(QStringLiteral("/proc/self/fd"))};
    }

    /// What is wrong with the files: every one in the cache named by the saver's scheme, all of
    /// one location, and none new outside the cache.
    QStringList fileProblems() {
        QStringList problems;
        QString zip;
        for (const QString& name : QDir(rig.dataFolder()).entryList(QDir::Files | QDir::Hidden)) {
            const QRegularExpressionMatch match = kCacheName.match(name);
            zip = zip.isEmpty() && match.hasMatch() ? match.captured(1) : zip;
            if (!match.hasMatch() || match.captured(1) != zip) {
                problems << QStringLiteral("in the cache: ") + name;
            }
        }
        const QString data = QDir::cleanPath(rig.dataFolder()) + QLatin1Char('/');
        for (const QString& path : filesUnder(rig.world.root())) {
            if (!path.startsWith(data) && !filesBefore_.contains(path)) {
                problems << QStringLiteral("outside the cache: ") + path;
            }
        }
        return problems;
    }

    ScenarioRig rig{{.animationRateMS = 200, .networkMaxRetries = kMaxRetries}};
    int passesEnded = 0, passesFailed = 0, timesOffline = 0, locationChanges = 0;

private:
    std::optional<Outcome> fault(const QString& address) {
        if (draw(faults_, kFaultOneIn) != 0) {
            return std::nullopt;
        }
        const qint16 failures[] = {PageRetriever::ConnectionFailed, PageRetriever::TimedOut,
                                   PageRetriever::httpError(500)};
        const int kind = draw(faults_, 7);
        if (kind < 3) {
            return Outcome::fail(failures[kind]);
        }
        if (kind == 3) {
            QByteArray body = rig.network.simulated(address).body;
            body.truncate(std::uniform_int_distribution<qsizetype>(0, body.size())(faults_));
            return Outcome::withBody(body);
        }
        if (kind == 4 && address.endsWith(QLatin1String(".gif"))) {
            return Outcome::withBody(QByteArray::fromStdString(noaasim::unavailableFrameGif()));
        }
        if (kind == 5) {
            return Outcome{Outcome::Trickle};
        }
        QByteArray garbage(std::uniform_int_distribution<int>(0, 8192)(faults_), '\0');
        for (char& c : garbage) {
            c = char(faults_());
        }
        return Outcome::withBody(garbage);
    }

    void event() {
        if (outageHoursLeft_ > 0 && --outageHoursLeft_ == 0) {
            rig.network.offline = false;
        } else if (outageHoursLeft_ == 0 && draw(events_, kOutageOneIn) == 0) {
            outageHoursLeft_ = 1 + draw(events_, 4);
            rig.network.offline = true;
        }
        if (rig.state().offlineMode) {
            ++timesOffline;
            if (outageHoursLeft_ == 0) {
                rig.pressKey(Qt::Key_Return);
            }
        } else if (draw(events_, kLocationChangeOneIn) == 0) {
            const QString zip = QString::fromLatin1(kZips[draw(events_, std::size(kZips))]);
            rig.setup.answers.push_back(rig.chooseLocation(zip));
            rig.pressKey(Qt::Key_Escape);
            ++locationChanges;
        }
    }

    void countPassEnds() {
        const bool running =
            rig.downloading() || rig.window().controls().AsyncDownloadTimer->isEnabled();
        if (wasRunning_ && !running) {
            ++passesEnded;
            passesFailed += rig.shown(QStringLiteral("NetworkProblem")) ? 1 : 0;
        }
        wasRunning_ = running;
    }

    std::mt19937 faults_;
    std::mt19937 events_;
    QStringList filesBefore_;
    bool wasRunning_ = false;
    int outageHoursLeft_ = 0;
};

} // namespace

// After warm-up nothing grows: not the objects, the open files or the cache, which holds only
// the saver's own files of one location. (The heap is left to the sanitizers' leak checks.)
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
        EXPECT_EQ(soak.fileProblems(), QStringList()) << "hour " << hour;
    }
    ASSERT_FALSE(soak.rig.ended()) << "the saver ended with status " << *soak.rig.endStatus;
    std::printf("soak: %d hours, %d passes (%d failed), offline in %d hours, %d location changes\n",
                hours, soak.passesEnded, soak.passesFailed, soak.timesOffline,
                soak.locationChanges);
    // The soak must have met what it is about, or its checks prove nothing.
    EXPECT_GT(soak.passesFailed, 0);
    EXPECT_GT(soak.passesEnded - soak.passesFailed, soak.passesFailed);
    EXPECT_TRUE(hours < 24 || (soak.timesOffline > 0 && soak.locationChanges > 0));
}
