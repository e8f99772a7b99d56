#include "acquisition/CacheNames.h"

#include "acquisition/TextPositions.h"

namespace nimbuscope {

namespace {
constexpr qsizetype kFrameSuffixLength = 5; // ".noaa"
const QString kDot = QStringLiteral(".");
} // namespace

QString frameCacheFileName(const QString& dataDirectory, const QString& zipcode,
                           const QString& product, const QString& frameName) {
    return dataDirectory + zipcode + kDot + product + kDot + frameName;
}

QString listCacheFileName(const QString& dataDirectory, const QString& zipcode,
                          const QString& product) {
    return dataDirectory + zipcode + kDot + product + QStringLiteral(".loop.txt");
}

QString conditionsCacheFileName(const QString& dataDirectory, const QString& zipcode) {
    return dataDirectory + zipcode + QStringLiteral(".currentConditions.jpg");
}

QString frameDownloadURL(const QString& sourceName, bool useAlternateRegion,
                         const QString& primaryRegionLabel, const QString& alternateRegionLabel) {
    QString address = sourceName.left(qMax<qsizetype>(0, sourceName.size() - kFrameSuffixLength)) +
                      QStringLiteral(".gif");
    if (useAlternateRegion) {
        address = textpos::replaced(address, primaryRegionLabel, alternateRegionLabel);
    }
    return address;
}

} // namespace nimbuscope
