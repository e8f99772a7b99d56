// Frame-list normalising and parsing, with the dates read from frame names. The input is
// the list as the server sent it, optionally followed by a NUL and the names of the files
// already in the cache folder, one a line.
#include "FuzzSupport.h"

#include "acquisition/FrameList.h"

#include <QStringDecoder>

using namespace nimbuscope;

namespace {

const QString kTemplate =
    QStringLiteral("http://radar.weather.gov/radar/images/@@@@@/SI.ktwx/#####.noaa");
const QString kRadarServer = QStringLiteral("http://radar.weather.gov/");
const QString kDataDirectory = QStringLiteral("/cache/data/");

/// A cache file name made from server text must stay a plain name inside the cache folder.
void requireConfined(const QString& fileName) {
    if (!fileName.startsWith(kDataDirectory) ||
        fileName.indexOf(QLatin1Char('/'), kDataDirectory.size()) >= 0) {
        abort();
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static fuzz::FuzzWorld world;
    const QByteArray bytes = fuzz::bytesOf(data, size);
    const qsizetype split = bytes.indexOf('\0');
    auto decode = QStringDecoder(QStringDecoder::Latin1);
    const QString listText = decode(split < 0 ? bytes : bytes.left(split));
    QStringList cacheNames;
    if (split >= 0) {
        cacheNames = QString(decode(bytes.mid(split + 1))).split(QLatin1Char('\n'));
        cacheNames.sort();
    }

    RadarListInput input;
    input.product = kRadarProducts[0].id.toString();
    input.caption = kRadarProducts[0].caption.toString();
    input.zipcode = QStringLiteral("66604");
    input.dataDirectory = kDataDirectory;
    input.templateURL = kTemplate;
    input.gmtNow = DateTime::fromParts(2026, 1, 5, 20, 50);
    input.discardAfterMinutes = 60;
    input.listText = normaliseRadarList(listText, kTemplate, kRadarServer);
    input.cacheFileNames = cacheNames;

    const RadarListParse parsed = parseRadarList(
        input, [] { return true; }, world.clock, world.log);
    for (const FramePlanItem& item : parsed.items) {
        requireConfined(item.fileName);
        filenameToDate(frameNameOf(item.sourceName), world.clock, world.log);
    }
    filenameToDate(listText.left(64), world.clock, world.log);
    radarListURL(kRadarServer, listText.left(200), input.product);
    return 0;
}
