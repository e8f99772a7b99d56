// SIGKILL at random moments of the saver's download passes and of registry saves: after each
// kill the hive files still parse and hold everything saved before, every cached frame the
// display would show decodes whole, and the next start animates the radar again.
// NIMBUSCOPE_KILLS sets the number of kills (CI runs a few; scripts/kill-test runs 200) and
// NIMBUSCOPE_KILL_SEED the random moments.
#include "e2e/kit/SaverE2eFixture.h"

#include "registry/RegistryApi.h"
#include "registry/RegistryHiveFormat.h"
#include "settings/RegistryValues.h"

#include "common/RegistryValue.h"

#include <QBuffer>
#include <QDirIterator>
#include <QImageReader>
#include <QThread>
#include <QtEndian>

#include <cstdio>
#include <cstdlib>
#include <random>

#include <gtest/gtest.h>

using namespace nimbuscope;
using namespace nimbuscope::e2e;
using namespace nimbuscope::test;

namespace {

constexpr int kCiKills = 12;
// A kill comes this long after the start (early kills) or after the radar showed.
constexpr int kShortestKillMs = 100;
constexpr int kLongestKillMs = 4000;
const char* const kZips[] = {"64106", "80301", "98101", "60601", "30303", "78701", "10001"};
// The registry writer writes value i as "<prefix>-<i mod 16>".
constexpr int kRingNames = 16;
// A frame file under this size, or ending in a line feed, is the server's radar-unavailable
// answer: the display list never takes it, so it is never shown.
constexpr qint64 kSmallestShownFrame = 6000;
const QString kProduct = QString::fromLatin1(RegistryValues::kProductKey);

int envNumber(const char* name, int fallback) {
    const char* text = std::getenv(name);
    return text != nullptr && std::atoi(text) > 0 ? std::atoi(text) : fallback;
}

/// A GIF or JPEG that ends where such a picture ends, and decodes.
bool wholeImage(const QByteArray& bytes) {
    QBuffer buffer;
    buffer.setData(bytes);
    QImageReader reader(&buffer);
    return (bytes.endsWith('\x3b') || bytes.endsWith("\xff\xd9")) && !reader.read().isNull();
}

struct Counts {
    // Leftovers are half-written cache files, which the next pass clears.
    int kills = 0, framesDecoded = 0, unavailable = 0, leftovers = 0;
    qint64 writesConfirmed = 0;
    void report() const {
        std::printf("kill test: %d kills, %lld registry writes confirmed, %d frame files decoded, "
                    "%d radar-unavailable frames skipped, %d write leftovers seen\n",
                    kills, static_cast<long long>(writesConfirmed), framesDecoded, unavailable,
                    leftovers);
    }
};

class KillE2eTest : public SaverE2eFixture {
protected:
    // Frames trickle in, so that a pass lasts a few seconds and kills meet it at work.
    KillE2eTest()
        : SaverE2eFixture(
              {QStringLiteral("--fault"), QStringLiteral("/radar/images/*=delay:120")}) {}

    std::unique_ptr<RegistryApi> registry() const {
        return makeFileRegistry({userHive(world), machineHive(world),
                                 world.configDir() + "/nimbuscope/registry/HKEY_CLASSES_ROOT.reg"});
    }

    /// A new zip code in both hives with the found location forgotten (empty reads as never
    /// found), so that the next start searches it and downloads all its frames.
    void changeLocation(const QString& newZip) {
        zip = newZip;
        const auto api = registry();
        for (const qint32 root : {HKEY_CURRENT_USER, HKEY_LOCAL_MACHINE}) {
            registryValue(*api, root, kProduct, QStringLiteral("zipcode")).setValue(zip);
            for (const char* found : {"templateURL", "cityState", "currentConditionsURL"}) {
                registryValue(*api, root, kProduct, QLatin1String(found)).setValue(QString());
            }
        }
    }

    /// The writer printed each i whose write had returned; the one after the last printed may
    /// have landed too.
    void noteSaved(const QString& prefix, const QByteArray& printed) {
        qint32 last = -1;
        for (const QByteArray& line : printed.split('\n')) {
            bool ok = false;
            const qint32 i = line.trimmed().toInt(&ok);
            last = ok ? std::max(last, i) : last;
        }
        counts.writesConfirmed += last + 1;
        for (qint32 i = std::max(0, last - kRingNames + 1); i <= last; ++i) {
            const qint32 inFlight = last + 1;
            saved.insert(prefix + u'-' + QString::number(i % kRingNames),
                         {i, inFlight % kRingNames == i % kRingNames ? inFlight : i});
        }
    }

    /// What is wrong with the hives and the cache now; empty when all is well.
    QStringList problems() {
        QStringList found;
        std::optional<RegistryHive> user;
        for (const auto& [path, root] : {std::pair{userHive(world), "HKEY_CURRENT_USER"},
                                         std::pair{machineHive(world), "HKEY_LOCAL_MACHINE"}}) {
            HiveParseError error;
            const std::optional<RegistryHive> hive =
                parseHive(world.readFile(path), QLatin1String(root), &error);
            if (!hive) {
                found << QStringLiteral("%1 does not parse (line %2: %3)")
                             .arg(path, QString::number(error.line), error.message);
            }
            user = path == userHive(world) ? hive : user;
        }
        const auto api = registry();
        QMap<QString, QString> expected = sim.settings();
        expected.insert(QStringLiteral("zipcode"), zip);
        for (const qint32 root : {HKEY_CURRENT_USER, HKEY_LOCAL_MACHINE}) {
            for (auto it = expected.begin(); it != expected.end(); ++it) {
                if (registryValue(*api, root, kProduct, it.key()).value().toString() !=
                    it.value()) {
                    found << QStringLiteral("%1 lost in root %2").arg(it.key()).arg(root);
                }
            }
        }
        // The writer's values are read from the parsed file: one registry read per value would
        // parse the whole hive each time.
        const RegistryKey* product = user ? user->find(kProduct.split(u'\\')) : nullptr;
        for (auto it = saved.begin(); it != saved.end(); ++it) {
            const RegistryValue* v = product ? product->findValue(it.key()) : nullptr;
            const bool dword = v != nullptr && v->type == REG_DWORD && v->data.size() == 4;
            const qint32 n = dword ? qFromLittleEndian<qint32>(v->data.constData()) : -1;
            if (n < it->first || n > it->second) {
                found << QStringLiteral("saved %1 reads %2, not %3..%4")
                             .arg(it.key(), QString::number(n), QString::number(it->first),
                                  QString::number(it->second));
            }
        }
        QDirIterator files(world.tmp() + QStringLiteral("/Nimbuscope"), QDir::Files | QDir::Hidden,
                           QDirIterator::Subdirectories);
        while (files.hasNext()) {
            const QFileInfo file(files.next());
            if (file.fileName().startsWith(QLatin1String(".nimbuscope-write-"))) {
                ++counts.leftovers;
            } else if (file.fileName().endsWith(QLatin1String(".noaa"), Qt::CaseInsensitive)) {
                const QByteArray bytes = world.readFile(file.filePath());
                if (bytes.size() < kSmallestShownFrame || bytes.endsWith('\n')) {
                    ++counts.unavailable;
                } else if (wholeImage(bytes)) {
                    ++counts.framesDecoded;
                } else {
                    found << QStringLiteral("broken frame ") + file.filePath();
                }
            }
        }
        return found;
    }

    QString zip = QStringLiteral("64106");
    QMap<QString, std::pair<qint32, qint32>> saved; // by name: the least and most it may read
    Counts counts;
};

} // namespace

TEST_F(KillE2eTest, KilledSaverAndRegistryWriterLeaveUsableFiles) {
    const int kills = envNumber("NIMBUSCOPE_KILLS", kCiKills);
    std::mt19937 random(quint32(envNumber("NIMBUSCOPE_KILL_SEED", 7)));
    const auto pick = [&](int from, int to) {
        return std::uniform_int_distribution<int>(from, to)(random);
    };
    bool mustAnimate = false;
    for (int round = 0; round < kills; ++round) {
        if (round > 0 && pick(0, 1) == 0) {
            changeLocation(QString::fromLatin1(kZips[pick(0, int(std::size(kZips)) - 1)]));
        }
        const auto saver = startSaver();
        const QString prefix = QStringLiteral("kill%1").arg(round);
        ProgramRun writer(QStringLiteral(NIMBUSCOPE_REGISTRY_WRITER),
                          {userHive(world), prefix, QStringLiteral("0")},
                          QProcessEnvironment::systemEnvironment());
        const bool early = !mustAnimate && pick(0, 1) == 0;
        if (!early) {
            // The start after a kill must bring the radar back on screen.
            ASSERT_TRUE(radarOnScreen())
                << "round " << round << ": " << saver->describe().toStdString();
        }
        QThread::msleep(pick(kShortestKillMs, kLongestKillMs));
        ASSERT_TRUE(saver->isRunning())
            << "round " << round << ": " << saver->describe().toStdString();
        saver->kill();
        writer.kill();
        ++counts.kills;
        mustAnimate = early;
        noteSaved(prefix, writer.standardOutput());
        const QStringList wrong = problems();
        ASSERT_TRUE(wrong.isEmpty())
            << "after kill " << round << ": " << wrong.join("; ").toStdString();
    }
    if (mustAnimate) {
        const auto saver = startSaver();
        EXPECT_TRUE(radarOnScreen()) << saver->describe().toStdString();
    }
    counts.report();
    // The kills must have met writes, or the checks prove little.
    EXPECT_GT(counts.writesConfirmed, 0);
    EXPECT_GT(counts.framesDecoded, 0);
}
