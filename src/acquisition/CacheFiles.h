#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <functional>

class QIODevice;

namespace nimbuscope {

// Safe handling of the cache folder. Names of cached files are built from text the servers
// and the settings give (zip code, product, frame name); such text never gets to name a
// file outside the folder, and a file is never seen half-written under its final name.

/// Writes `bytes` to `device`; returns the number of bytes written, or -1.
using CacheWriteBody = std::function<qint64(QIODevice& device, const QByteArray& bytes)>;

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
/// raised.
/// Only names that `isCacheFileIn` accepts are written.
void replaceCacheFile(const QString& folder, const QString& path, const QByteArray& bytes,
                      const CacheWriteBody& writeBody = {});

/// Temporary files of `replaceCacheFile` start so; a killed process may leave one behind.
inline constexpr QLatin1StringView kCacheWritePrefix{".nimbuscope-write-"};

/// Names of the regular files (not folders, not links) in `folder` matching any of
/// `patterns` (wildcards, letter case ignored), sorted by name.
QStringList cacheFileNames(const QString& folder, const QStringList& patterns);

/// The whole file, or an empty array when it cannot be read.
QByteArray readCacheFile(const QString& path);

} // namespace nimbuscope
