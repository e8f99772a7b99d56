// Days of saver life in virtual time against a seeded flaky network, with outages, location
// changes through the settings and the user bringing the saver back online. The length comes
// from NIMBUSCOPE_SOAK_HOURS (CI runs a short one; scripts/virtual-soak runs a week) and the
// faults from NIMBUSCOPE_SOAK_SEED.
#include "FlakyNetwork.h"
#include "ScenarioRig.h"
#include "SoakWatch.h"

#include <QString>

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
// What the heap (frames apart) may grow by: it swings by about a megabyte from sample to
// sample with what the last pass did, and may creep by a little per simulated day.
constexpr qint64 kHeapSwingKb = 2048;
constexpr qint64 kHeapGrowthPerDayKb = 1024;
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
        if (hour % sampleHours == 0) {
            // Between passes, when no backup of pictures is held beside the list.
            rig.finishPass(kLongestPassSeconds);
            samples.append(watch.sample(hour));
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

    // From the first sample on (after warm-up), nothing grows. The heap is judged without
    // the decoded frames, whose number follows the lists; a frame or a list lost on every
    // pass would add megabytes a day.
    ASSERT_GE(samples.size(), 2);
    const SoakSample& first = samples.front();
    const auto otherHeapKb = [](const SoakSample& s) { return s.heapKb - s.pictureKb; };
    for (const SoakSample& s : samples) {
        EXPECT_LE(s.objects, first.objects) << "hour " << s.hour;
        EXPECT_LE(s.openFiles, first.openFiles) << "hour " << s.hour;
        EXPECT_LE(s.cachedFiles, kMostCachedFiles) << "hour " << s.hour;
        const double days = (s.hour - first.hour) / 24.0;
        EXPECT_LE(otherHeapKb(s) - otherHeapKb(first), kHeapSwingKb + kHeapGrowthPerDayKb * days)
            << "hour " << s.hour;
    }
    std::printf("soak: heap without frames %lld kB after warm-up, %lld kB at the end; "
                "RSS %lld kB after warm-up, %lld kB at the end\n",
                (long long)otherHeapKb(first), (long long)otherHeapKb(samples.back()),
                (long long)first.residentKb, (long long)samples.back().residentKb);
}
