// The hive file read and write behind every settings access, and the display list
// operations each frame and each pass go through, at their sizes in a long run.

#include "BenchSupport.h"

#include "pictures/DisplayList.h"
#include "registry/RegistryApi.h"
#include "registry/RegistryHiveFormat.h"

#include <benchmark/benchmark.h>

using namespace nimbuscope;
using namespace nimbuscope::bench;

namespace {

constexpr int kHiveValues = 1000;
constexpr int kValuesPerKey = 25;

QByteArray utf16z(const QString& text) {
    QByteArray data(reinterpret_cast<const char*>(text.utf16()), (text.size() + 1) * 2);
    return data;
}

/// A hive of 1000 values spread over 40 keys, mixing the types the settings use.
RegistryHive sampleHive() {
    RegistryHive hive(QStringLiteral("HKEY_CURRENT_USER"));
    for (int i = 0; i < kHiveValues; ++i) {
        const QStringList path = {QStringLiteral("Software"), QStringLiteral("Calderwick"),
                                  QStringLiteral("Key%1").arg(i / kValuesPerKey)};
        RegistryKey& key = hive.ensure(path);
        const QString name = QStringLiteral("value%1").arg(i);
        switch (i % 3) {
        case 0:
            key.putValue(name, REG_SZ,
                         utf16z(QStringLiteral("http://127.0.0.1:8080/radar/images/%1/").arg(i)));
            break;
        case 1: {
            const quint32 n = quint32(i) * 7919u;
            key.putValue(name, REG_DWORD, QByteArray(reinterpret_cast<const char*>(&n), 4));
            break;
        }
        default:
            key.putValue(name, REG_BINARY, QByteArray(16, char(i)));
            break;
        }
    }
    return hive;
}

void BM_HiveWrite(benchmark::State& state) {
    const RegistryHive hive = sampleHive();
    for (auto _ : state) {
        benchmark::DoNotOptimize(writeHive(hive));
    }
    state.SetItemsProcessed(state.iterations() * kHiveValues);
}
BENCHMARK(BM_HiveWrite)->Unit(benchmark::kMicrosecond);

void BM_HiveRead(benchmark::State& state) {
    const QByteArray file = writeHive(sampleHive());
    const QString root = QStringLiteral("HKEY_CURRENT_USER");
    for (auto _ : state) {
        const std::optional<RegistryHive> hive = parseHive(file, root);
        if (!hive) {
            state.SkipWithError("the sample hive did not read back");
            break;
        }
        benchmark::DoNotOptimize(hive->root.subKeys.size());
    }
    state.SetItemsProcessed(state.iterations() * kHiveValues);
    state.SetBytesProcessed(state.iterations() * file.size());
}
BENCHMARK(BM_HiveRead)->Unit(benchmark::kMicrosecond);

QString frameFile(int i) {
    return QStringLiteral("/cache/data/64106.DS.p19r0.SI.KEAX.dd.20261205.%1.noaa")
        .arg(i, 4, 10, QLatin1Char('0'));
}

/// A full list: two products, every fifth frame not yet downloaded, a few inactive.
void fillList(DisplayList& list) {
    list.initDisplayList(false, true);
    for (int i = 0; i < DisplayList::kMaxItems; ++i) {
        const bool second = i >= DisplayList::kMaxItems / 2;
        list.addItem(frameFile(i),
                     second ? QStringLiteral("Long Range Radar")
                            : QStringLiteral("Short Range Radar"),
                     QStringLiteral("http://127.0.0.1:8080/x%1.noaa").arg(i), false, i % 11 != 0,
                     i % 5 == 0, second ? QStringLiteral("DS.p20-r") : QStringLiteral("DS.p19r0"));
    }
}

void BM_DisplayListFill(benchmark::State& state) {
    QuietLog quiet;
    DisplayList list(quiet.log());
    for (auto _ : state) {
        fillList(list);
    }
    state.SetItemsProcessed(state.iterations() * DisplayList::kMaxItems);
}
BENCHMARK(BM_DisplayListFill)->Unit(benchmark::kMicrosecond);

/// One animation round: the next active item from every position, as the ticks ask.
void BM_DisplayListNextItemRound(benchmark::State& state) {
    QuietLog quiet;
    DisplayList list(quiet.log());
    fillList(list);
    for (auto _ : state) {
        for (qint16 i = 0; i < DisplayList::kMaxItems; ++i) {
            benchmark::DoNotOptimize(list.getNextItem(i).index);
        }
    }
    state.SetItemsProcessed(state.iterations() * DisplayList::kMaxItems);
}
BENCHMARK(BM_DisplayListNextItemRound)->Unit(benchmark::kMicrosecond);

/// The searches a pass makes per frame: the next frame to download and a file name lookup
/// near the end of the list.
void BM_DisplayListSearches(benchmark::State& state) {
    QuietLog quiet;
    DisplayList list(quiet.log());
    fillList(list);
    const QString late = frameFile(DisplayList::kMaxItems - 2);
    for (auto _ : state) {
        benchmark::DoNotOptimize(list.getNextItemForDownload(1).index);
        benchmark::DoNotOptimize(list.findItemByFileName(late).index);
    }
}
BENCHMARK(BM_DisplayListSearches);

void BM_CycleMarking(benchmark::State& state) {
    QuietLog quiet;
    DisplayList list(quiet.log());
    fillList(list);
    for (auto _ : state) {
        list.calculateAllCycleCounts();
    }
    state.SetItemsProcessed(state.iterations() * DisplayList::kMaxItems);
}
BENCHMARK(BM_CycleMarking);

} // namespace
