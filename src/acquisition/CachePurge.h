#pragma once

#include <QString>

namespace nimbuscope {

class DisplayList;
class FolderHandle;
class Log;

// The purges keep the cache folder to one location and the current frames. They only ever
// delete regular files directly inside the folder (never folders, never what a link points
// at), and without a folder they delete nothing.

/// The most the cache folder holds. Radar frames take tens of kilobytes each, so the
/// frames of six hours of both products fit many times over.
inline constexpr qint64 kCacheBudgetBytes = qint64(64) << 20;

/// Deletes the cached pictures, frames and lists ("*.jpg", "*.noaa", "*.txt") that do not
/// belong to `zip` (their names do not start with zip + "."). A zip that is not plain
/// letters and digits deletes nothing: which location is current is then unknown.
void purgeOtherZipcodeCachedItems(Log& log, const FolderHandle* folder, const QString& zip);

/// Deletes every cached frame ("*.noaa") that is not an active item of `list`.
void purgeNonDisplayListItems(Log& log, const DisplayList& list, const FolderHandle* folder);

/// The number of cached frames ("*.noaa"). `zipOut` receives the zip part of the first
/// one's name (the text before its first "."); it is left as it is when the folder holds
/// no frame or that part is not a plain zip, so that an empty cache never names an empty
/// location.
qint32 getAnimationFileCount(Log& log, const FolderHandle* folder, QString& zipOut);

/// Deletes temporary files that a cache write killed half-way left behind.
void purgeStaleCacheWrites(Log& log, const FolderHandle* folder);

/// While the folder's files together take more than `budget` bytes, deletes the frame
/// written longest ago and takes its item out of the animation; one line in the error log
/// says so. Answers the number of frames deleted.
qint32 purgeCacheToBudget(Log& log, DisplayList& list, const FolderHandle* folder,
                          qint64 budget = kCacheBudgetBytes);

} // namespace nimbuscope
