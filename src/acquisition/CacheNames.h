#pragma once

#include <QString>

namespace nimbuscope {

// Names of the files in the cache folder. `dataDirectory` always ends in a separator; every
// name starts with the five-digit zip code of the location, which is how the purges tell
// one location's files from another's.

/// dataDirectory + zip + "." + product + "." + frame name (the frame name ends in ".noaa").
QString frameCacheFileName(const QString& dataDirectory, const QString& zipcode,
                           const QString& product, const QString& frameName);
/// dataDirectory + zip + "." + product + ".loop.txt": the normalised frame list.
QString listCacheFileName(const QString& dataDirectory, const QString& zipcode,
                          const QString& product);
/// dataDirectory + zip + ".currentConditions.jpg".
QString conditionsCacheFileName(const QString& dataDirectory, const QString& zipcode);

/// Where a frame is fetched from: its listed address without ".noaa", plus ".gif". While the
/// alternate region is in use every exact occurrence of the primary region label becomes
/// the alternate one (an empty primary label changes nothing).
QString frameDownloadURL(const QString& sourceName, bool useAlternateRegion,
                         const QString& primaryRegionLabel, const QString& alternateRegionLabel);

} // namespace nimbuscope
