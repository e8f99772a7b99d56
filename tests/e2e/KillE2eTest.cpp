// SIGKILL at random moments of the saver's download passes and of registry saves: after each
// kill the hive files still parse and hold everything saved before, every cached frame the
// display would show decodes whole, and the next start animates the radar again.
// NIMBUSCOPE_KILLS sets the number of kills (CI runs a few; scripts/kill-test runs 200) and
// NIMBUSCOPE_KILL_SEED the random moments.
#include "KillChecks.h"

#include "e2e/kit/SaverE2eFixture.h"

#include <QThread>

#include <cstdio>
#include <cstdlib>
#include <random>

#include <gtest/gtest.h>

using namespace nimbuscope::e2e;
using namespace nimbuscope::test;

namespace {

constexpr int kCiKills = 12;
constexpr quint32 kDefaultSeed = 7;
// A kill comes this long after the start (early kills) or after the radar showed.
constexpr int kShortestKillMs = 100;
constexpr int kLongestKillMs = 4000;
// Frames trickle in, so that a pass lasts a few seconds and kills meet it at work.
const QString kFrameDelay = QStringLiteral("/radar/images/*=delay:120");
const QSize kScreen{1024, 768};
const char* const kZips[] = {"64106", "80301", "98101", "60601", "30303", "78701", "10001"};

constexpr int kReportEvery = 10;

void report(const KillCounts& counts, qint64 writesConfirmed) {
    std::printf("kill test: %d kills, %d starts seen animating, %d location changes, "
                "%lld registry writes confirmed, %d frame files decoded, %d radar-unavailable "
                "frame files skipped, %d write leftovers seen (over all checks)\n",
                counts.kills, counts.startsAnimated, counts.locationChanges,
                (long long)writesConfirmed, counts.framesDecoded, counts.unavailableSkipped,
                counts.leftovers);
    std::fflush(stdout);
}

int envNumber(const char* name, int fallback) {
    const char* text = std::getenv(name);
    return text != nullptr && std::atoi(text) > 0 ? std::atoi(text) : fallback;
}

} // namespace

class KillE2eTest : public SaverE2eFixture {
protected:
    KillE2eTest()
        : SaverE2eFixture(XvfbOptions{kScreen}, {QStringLiteral("--fault"), kFrameDelay}) {}

    void SetUp() override {
        SaverE2eFixture::SetUp();
        hives.writeInitial(sim.registryLines(), QString::fromLatin1(kZips[0]));
    }

    KillChecks hives{world};
};

TEST_F(KillE2eTest, KilledSaverAndRegistryWriterLeaveUsableFiles) {
    const int kills = envNumber("NIMBUSCOPE_KILLS", kCiKills);
    std::mt19937 random(quint32(envNumber("NIMBUSCOPE_KILL_SEED", kDefaultSeed)));
    const auto pick = [&](int from, int to) {
        return std::uniform_int_distribution<int>(from, to)(random);
    };
    KillCounts counts;
    bool mustAnimate = false;
    for (int round = 0; round < kills; ++round) {
        if (round > 0 && pick(0, 1) == 0) {
            hives.changeLocation(QString::fromLatin1(kZips[pick(0, int(std::size(kZips)) - 1)]));
            ++counts.locationChanges;
        }
        const auto saver = startSaver();
        ProgramRun writer(
            QStringLiteral(NIMBUSCOPE_REGISTRY_WRITER),
            {userHive(world), QStringLiteral("kill%1").arg(round), QStringLiteral("0")},
            QProcessEnvironment::systemEnvironment());
        const bool early = !mustAnimate && pick(0, 1) == 0;
        if (!early) {
            // The start after a kill must bring the radar back on screen.
            ASSERT_TRUE(radarOnScreen())
                << "round " << round << ": " << saver->describe().toStdString();
            ++counts.startsAnimated;
        }
        QThread::msleep(pick(kShortestKillMs, kLongestKillMs));
        ASSERT_TRUE(saver->isRunning())
            << "round " << round << ": " << saver->describe().toStdString();
        saver->kill();
        writer.kill();
        ++counts.kills;
        mustAnimate = early;
        hives.noteSaved(QStringLiteral("kill%1").arg(round), writer.standardOutput());

        const QStringList problems = hives.check(counts);
        ASSERT_TRUE(problems.isEmpty())
            << "after kill " << round << ": " << problems.join(QStringLiteral("; ")).toStdString();
        if (counts.kills % kReportEvery == 0) {
            report(counts, hives.writesConfirmed());
        }
    }
    if (mustAnimate) {
        const auto saver = startSaver();
        EXPECT_TRUE(radarOnScreen()) << saver->describe().toStdString();
        ++counts.startsAnimated;
        saver->kill();
    }
    report(counts, hives.writesConfirmed());
    // The kills must have met writes, or the checks prove little.
    EXPECT_GT(hives.writesConfirmed(), 0);
    EXPECT_GT(counts.framesDecoded, 0);
}
