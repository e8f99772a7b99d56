// The pure functions a download pass runs over what the server sends: the location page
// parsers, the frame list normaliser and parser, and the frame-name date.

#include "BenchSupport.h"

#include "acquisition/FrameList.h"
#include "acquisition/LocationPage.h"
#include "noaa-sim/Conditions.h"
#include "noaa-sim/FrameList.h"
#include "noaa-sim/HostSettings.h"
#include "noaa-sim/PageForms.h"
#include "noaa-sim/SiteTable.h"

#include <benchmark/benchmark.h>

#include <stdexcept>

using namespace nimbuscope;
using namespace nimbuscope::bench;
namespace sim = nimbuscope::noaasim;

namespace {

constexpr int kSimPort = 8080;
constexpr char kZip[] = "64106";
/// The list size a pass normally gets, and the largest the parser can walk (positions are
/// 16-bit): about 32 KB of absolute addresses.
constexpr int kUsualListFrames = 30;
constexpr qsizetype kLargeListBytes = 32 * 1024;

const std::string kBase = "http://127.0.0.1:8080/";

QString setting(const char* name) {
    for (const sim::HostSetting& s : sim::hostSettings("127.0.0.1", kSimPort, "localhost")) {
        if (s.name == name) {
            return qs(s.value);
        }
    }
    throw std::logic_error(name);
}

const sim::SiteEntry& site() {
    static const sim::SiteTable table = sim::SiteTable::builtIn();
    return *table.byZip(kZip);
}

/// The location page the simulator serves for the sample zip code, as the parsers read it.
QString samplePage() {
    const sim::Conditions weather = sim::conditionsFor(site(), sampleMoment());
    return locationPageText(QByteArray::fromStdString(sim::locationPage(kBase, site(), weather)));
}

LocationPageConfig sampleConfig() {
    return {setting("serviceDomain"), setting("alternateServerURL"), {}};
}

QString sampleTemplate() {
    return radarTemplateFromPageURL(qs(sim::radarPageUrl(kBase, site().site)));
}

/// A received list of `frames` absolute lines, or of as many lines as fit in `maxBytes`.
QString receivedList(int frames, qsizetype maxBytes = 0) {
    if (maxBytes > 0) {
        const std::string line = sim::frameListText(sim::ListForm::Absolute, kBase, "DS.p19r0",
                                                    site().site, sampleMoment(), 1);
        frames = int(maxBytes / qsizetype(line.size()));
    }
    return qs(sim::frameListText(sim::ListForm::Absolute, kBase, "DS.p19r0", site().site,
                                 sampleMoment(), frames));
}

void BM_LocationStatics(benchmark::State& state) {
    const QString page = samplePage();
    const LocationPageConfig config = sampleConfig();
    QuietLog quiet;
    for (auto _ : state) {
        QString templateURL, cityState;
        benchmark::DoNotOptimize(
            parseZipCityStatics(page, templateURL, cityState, config, quiet.log()));
    }
    state.SetBytesProcessed(state.iterations() * page.size());
}
BENCHMARK(BM_LocationStatics);

void BM_LocationDynamics(benchmark::State& state) {
    const QString page = samplePage();
    const LocationPageConfig config = sampleConfig();
    QuietLog quiet;
    for (auto _ : state) {
        QString imageURL, forecast;
        qint16 temperature = 0;
        benchmark::DoNotOptimize(
            parseZipCityDynamics(page, imageURL, forecast, temperature, config, quiet.log()));
    }
    state.SetBytesProcessed(state.iterations() * page.size());
}
BENCHMARK(BM_LocationDynamics);

QString listOfArgument(const benchmark::State& state) {
    return state.range(0) == 0 ? receivedList(0, kLargeListBytes)
                               : receivedList(int(state.range(0)));
}

void BM_NormaliseRadarList(benchmark::State& state) {
    const QString received = listOfArgument(state);
    const QString templateURL = sampleTemplate();
    const QString server = setting("radarServerURL");
    for (auto _ : state) {
        benchmark::DoNotOptimize(normaliseRadarList(received, templateURL, server));
    }
    state.SetBytesProcessed(state.iterations() * received.size());
}
// 0 stands for the 32 KB list.
BENCHMARK(BM_NormaliseRadarList)->Arg(kUsualListFrames)->Arg(0)->Unit(benchmark::kMicrosecond);

/// A parse as a pass runs it: the fresh list and a cache folder holding the frames of an
/// earlier pass, ten minutes older, of which the newest are listed again.
void BM_ParseRadarList(benchmark::State& state) {
    const QString templateURL = sampleTemplate();
    RadarListInput input;
    input.listText =
        normaliseRadarList(listOfArgument(state), templateURL, setting("radarServerURL"));
    // Normalised lines grow by a character; the large list keeps the whole lines that the
    // parser can walk, so the benchmark times the parse and not its overflow path.
    while (input.listText.size() + 1 > kMaxListPosition) {
        input.listText.truncate(input.listText.lastIndexOf(u'\n', input.listText.size() - 2) + 1);
    }
    input.product = QStringLiteral("DS.p19r0");
    input.caption = QStringLiteral("Short Range Radar");
    input.zipcode = QString::fromLatin1(kZip);
    input.dataDirectory = QStringLiteral("/cache/data/");
    input.templateURL = templateURL;
    input.gmtNow = sampleDateTime();
    input.discardAfterMinutes = 60;
    const auto earlier = sampleMoment() - std::chrono::minutes(10);
    const QStringList earlierLines = qs(sim::frameListText(sim::ListForm::Rooted, kBase, "DS.p19r0",
                                                           site().site, earlier, kUsualListFrames))
                                         .split(u'\n', Qt::SkipEmptyParts);
    for (const QString& line : earlierLines) {
        QString name = frameNameOf(line);
        name.replace(QStringLiteral(".gif"), QStringLiteral(".noaa"));
        input.cacheFileNames << input.zipcode + QStringLiteral(".DS.p19r0.") + name;
    }
    input.cacheFileNames.sort();
    QuietLog quiet;
    const std::function<bool()> unchanged = [] { return true; };
    for (auto _ : state) {
        const RadarListParse parse = parseRadarList(input, unchanged, quiet.clock(), quiet.log());
        if (!parse.ok) {
            state.SkipWithError("the sample list did not parse");
            break;
        }
        benchmark::DoNotOptimize(parse.items.size());
    }
    state.SetBytesProcessed(state.iterations() * input.listText.size());
}
BENCHMARK(BM_ParseRadarList)->Arg(kUsualListFrames)->Arg(0)->Unit(benchmark::kMicrosecond);

void BM_FilenameToDate(benchmark::State& state) {
    const QString name = frameNameOf(receivedList(1).trimmed());
    QuietLog quiet;
    for (auto _ : state) {
        benchmark::DoNotOptimize(filenameToDate(name, quiet.clock(), quiet.log()));
    }
}
BENCHMARK(BM_FilenameToDate);

} // namespace
