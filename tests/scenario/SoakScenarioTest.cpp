// Days of saver life in virtual time against a seeded flaky network, with outages, location
// changes through the settings and the user bringing the saver back online. The length comes
// from NIMBUSCOPE_SOAK_HOURS (CI runs a short one; scripts/virtual-soak runs a week) and the
// faults from NIMBUSCOPE_SOAK_SEED.
#include "FlakyNetwork.h"
#include "ScenarioRig.h"
#include "SoakWatch.h"

#include "noaa-sim/NoaaSite.h"

#include <QString>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <random>

#include <gtest/gtest.h>

using namespace nimbuscope;
using namespace nimbuscope::test;

namespace {

constexpr int kCiHours = 24;
constexpr quint32 kDefaultSeed = 20261205;
constexpr int kMaxRetries = 3;
// Fast enough that the frames are preloaded: decoded once and held, as most users run it.
constexpr int kAnimationRateMS = 200;
// One request in this many meets a fault.
constexpr int kFaultOneIn = 12;
// Each simulated hour: the chance in one of an outage starting, and of a location change.
constexpr int kOutageOneIn = 10;
constexpr int kLocationChangeOneIn = 6;
constexpr int kLongestOutageHours = 4;
constexpr int kHourSeconds = 3600;
// 24 receive time-outs of 30 s, and a little more.
constexpr double kLongestPassSeconds = 800;
// The heap (frames apart) is read every simulated hour and judged by its lowest reading in
// each stretch of some hours: what the last pass left swings a reading up by a few hundred
// kB, while anything kept for good raises the lowest one. After warm-up (the simulated
// service's rendered frames fill its cache in the first hours) that floor may move by a
// little and creep by less than a lost list or page a pass would add.
constexpr int kWarmUpHours = 6;
constexpr int kFloorHours = 6;
constexpr qint64 kHeapFloorSlackKb = 96;
constexpr qint64 kHeapGrowthPerDayKb = 32;
// Every frame the list can hold, two frame lists and the conditions picture.
constexpr int kMostCachedFiles = 299 + 3;
const char* const kZips[] = {"64106", "80301", "98101", "60601", "30303", "78701", "10001"};

int envNumber(const char* name, int fallback) {
    const char* text = std::getenv(name);
    return text != nullptr && std::atoi(text) > 0 ? std::atoi(text) : fallback;
}

// One sample per simulated day, or four in a run shorter than two days.
int sampleEveryHours(int hours) {
    return hours >= 48 ? 24 : std::max(1, hours / 4);
}

void print(const SoakSample& s) {
    std::printf("soak sample: hour %4d  objects %4d  pictures %3d  cached files %3d  "
                "RSS %6lld kB  heap %6lld kB (pictures %5lld kB)  open files %3d\n",
                s.hour, s.objects, s.pictures, s.cachedFiles, (long long)s.residentKb,
                (long long)s.heapKb, (long long)s.pictureKb, s.openFiles);
}

qint64 otherHeapKb(const SoakSample& s) {
    return s.heapKb - s.pictureKb;
}

struct HeapFloor {
    int hour = 0; // where its stretch starts
    qint64 kb = 0;
};

// The lowest heap without pictures in each whole stretch of kFloorHours hourly samples after
// warm-up (a stretch cut short by the end could hold a single high reading).
QList<HeapFloor> heapFloors(const QList<SoakSample>& samples) {
    const auto warm = [](const SoakSample& s) {
        return s.hour >= kWarmUpHours &&
               s.serviceFrames == int(noaasim::NoaaSite::kFrameCacheCapacity);
    };
    const auto begin = std::find_if(samples.begin(), samples.end(), warm);
    const auto end = begin + (samples.end() - begin) / kFloorHours * kFloorHours;
    QList<HeapFloor> floors;
    for (auto it = begin; it != end; ++it) {
        if ((it - begin) % kFloorHours == 0) {
            floors.append({it->hour, otherHeapKb(*it)});
        }
        floors.back().kb = std::min(floors.back().kb, otherHeapKb(*it));
    }
    return floors;
}

/// The outside world of the soak: outages, the user's location changes and Enter.
class SoakEvents {
public:
    SoakEvents(ScenarioRig& rig, SoakWatch& watch, quint32 seed)
        : rig_(rig), watch_(watch), random_(seed) {}

    // Runs one simulated hour with its event at a random moment inside it.
    void runHour() {
        const int at = chance(kHourSeconds);
        rig_.runFor(at);
        if (rig_.ended()) {
            return;
        }
        event();
        rig_.runFor(kHourSeconds - at);
        // The rig's own records grow with every frame and request; they are not the saver's.
        rig_.framesShown.clear();
        rig_.network.requests.clear();
        rig_.deliverPostedEvents();
    }

    int outages = 0;
    int locationChanges = 0;
    int enters = 0;

private:
    int chance(int n) { return std::uniform_int_distribution<int>(0, n - 1)(random_); }

    void event() {
        if (outageHoursLeft_ > 0 && --outageHoursLeft_ == 0) {
            rig_.network.setOffline(false);
        } else if (outageHoursLeft_ == 0 && chance(kOutageOneIn) == 0) {
            outageHoursLeft_ = 1 + chance(kLongestOutageHours);
            rig_.network.setOffline(true);
            ++outages;
        }
        if (rig_.state().offlineMode) {
            if (outageHoursLeft_ == 0) {
                rig_.pressKey(Qt::Key_Return);
                watch_.enterPressed();
                ++enters;
            }
        } else if (chance(kLocationChangeOneIn) == 0) {
            const QString zip = QString::fromLatin1(kZips[chance(std::size(kZips))]);
            rig_.setup.answers.push_back(rig_.chooseLocation(zip));
            rig_.pressKey(Qt::Key_Escape);
            ++locationChanges;
        }
    }

    ScenarioRig& rig_;
    SoakWatch& watch_;
    std::mt19937 random_;
    int outageHoursLeft_ = 0;
};

} // namespace

TEST(SoakScenario, FlakyNetworkForDays) {
    const int hours = envNumber("NIMBUSCOPE_SOAK_HOURS", kCiHours);
    const auto seed = quint32(envNumber("NIMBUSCOPE_SOAK_SEED", kDefaultSeed));
    const int sampleHours = sampleEveryHours(hours);
    std::printf("soak: %d simulated hours, seed %u\n", hours, seed);

    ScenarioRig rig({.animationRateMS = kAnimationRateMS, .networkMaxRetries = kMaxRetries});
    FlakyNetwork flaky(rig.network, seed, kFaultOneIn);
    SoakWatch watch(rig, kMaxRetries);
    SoakEvents events(rig, watch, seed + 1);
    rig.afterTick = [&](VirtualTimer& timer) { watch.afterTick(timer); };
    rig.start();
    watch.begin();

    QList<SoakSample> samples;
    for (int hour = 1; hour <= hours && !rig.ended(); ++hour) {
        events.runHour();
        // Between passes, when no backup of pictures is held beside the list.
        rig.finishPass(kLongestPassSeconds);
        samples.append(watch.sample(hour));
        if (hour % sampleHours == 0) {
            print(samples.back());
        }
    }

    ASSERT_FALSE(rig.ended()) << "the saver ended with status " << *rig.endStatus;
    for (const QString& v : watch.violations) {
        ADD_FAILURE() << v.toStdString();
    }
    EXPECT_EQ(watch.violationCount, 0);
    const QMap<QString, int> faults = flaky.faultsDealt();
    for (auto it = faults.begin(); it != faults.end(); ++it) {
        std::printf("soak faults: %-13s %d\n", qPrintable(it.key()), it.value());
    }
    std::printf("soak: %d ticks checked (%d with the folders), %d passes (%d failed, longest run "
                "%d), offline %d "
                "times, %d outages, %d location changes, %d Enter\n",
                watch.ticksChecked, watch.folderChecks, watch.passesEnded, watch.passesFailed,
                watch.longestFailureRun, watch.timesOffline, events.outages, events.locationChanges,
                events.enters);

    // The soak must have met what it is about, or its checks prove nothing.
    EXPECT_GT(watch.passesFailed, 0);
    EXPECT_GT(watch.passesEnded - watch.passesFailed, watch.passesFailed);
    if (hours >= kCiHours) {
        EXPECT_GT(watch.timesOffline, 0);
        EXPECT_GT(events.locationChanges, 0);
    }

    // After warm-up nothing grows. The heap is judged without the decoded pictures, whose
    // number follows the lists; a frame or a list lost on every pass would add megabytes a day.
    const QList<SoakSample> warm = samples.mid(kWarmUpHours - 1);
    ASSERT_GE(warm.size(), 2);
    const SoakSample& first = warm.front();
    for (const SoakSample& s : warm) {
        EXPECT_LE(s.objects, first.objects) << "hour " << s.hour;
        EXPECT_LE(s.openFiles, first.openFiles) << "hour " << s.hour;
        EXPECT_LE(s.cachedFiles, kMostCachedFiles) << "hour " << s.hour;
    }
    const QList<HeapFloor> floors = heapFloors(samples);
    ASSERT_GE(floors.size(), 2) << "the simulated service's frame cache never filled";
    for (const HeapFloor& f : floors) {
        const double days = (f.hour - floors.front().hour) / 24.0;
        std::printf("soak: heap without pictures from hour %d: lowest %lld kB\n", f.hour,
                    (long long)f.kb);
        EXPECT_LE(f.kb - floors.front().kb, kHeapFloorSlackKb + kHeapGrowthPerDayKb * days)
            << "from hour " << f.hour;
    }
    std::printf("soak: RSS %lld kB at hour %d, %lld kB at the end\n", (long long)first.residentKb,
                first.hour, (long long)samples.back().residentKb);
}
