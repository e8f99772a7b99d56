#pragma once

#include "support/FolderHandle.h"

#include <QByteArray>
#include <QString>
#include <QStringList>

namespace nimbuscope {

// Safe handling of the cache folder. Names of cached files are built from text the servers
// and the settings give (zip code, product, frame name); such text never gets to name a
// file outside the folder, and a file is never seen half-written under its final name.
// Everything goes through the handle of the cache folder the saver made; without one (no
// safe folder could be had) nothing is written, read or deleted.

/// Writes `bytes` to `device`; returns the number of bytes written, or -1.
using CacheWriteBody = FileWriteBody;

/// A zip code fit to start cache names: one or more ASCII letters or digits.
bool isPlainZip(const QString& zip);

/// A name fit for a file of the cache folder: not empty, without "/", "\", "..", NUL or
/// other control characters.
bool isPlainCacheName(const QString& name);

/// True when `path` is `folder` (ending in a separator) followed by a plain name that starts
/// with a plain zip code and a ".", as every cached frame, list and picture does.
bool isCacheFileIn(const QString& folder, const QString& path);

/// The zip part of a cache name: the text before its first ".".
QString zipPartOf(const QString& cacheName);

/// Replaces `path` by a file holding exactly `bytes`: they go to a new temporary file in
/// the same folder, which is then renamed over `path`. On any failure the temporary file is
/// removed, `path` keeps what it held, and Error 75 (or 52 for a name outside `folder`) is
/// raised. Only names that `isCacheFileIn` accepts for the folder's path are written; a
/// null folder raises Error 75.
void replaceCacheFile(const FolderHandle* folder, const QString& path, const QByteArray& bytes,
                      const CacheWriteBody& writeBody = {});

/// Temporary files of `replaceCacheFile` start so; a killed process may leave one behind.
inline constexpr QLatin1StringView kCacheWritePrefix = FolderHandle::kTemporaryPrefix;

/// Names of the regular files (not folders, not links) in `folder` matching any of
/// `patterns` (wildcards, letter case ignored), sorted by name; none without a folder.
QStringList cacheFileNames(const FolderHandle* folder, const QStringList& patterns);

/// A cache file is never larger: frames, lists and pictures are a small part of it.
inline constexpr qint64 kMaxCacheFileBytes = qint64(16) << 20;

/// The whole regular file at `path` inside `folder`, or an empty array when it cannot be
/// read (no folder, a name outside it, a link, a pipe, a file over kMaxCacheFileBytes).
QByteArray readCacheFile(const FolderHandle* folder, const QString& path);

} // namespace nimbuscope
