#pragma once

#include <QByteArray>
#include <QString>

#include <optional>

namespace nimbuscope {

class Log;

/// The separator this system writes between folder and file names.
inline constexpr QChar kDirSep = QLatin1Char('/');

/// True when anything exists at `path`: a file, a folder, or (with * or ? in the name) any
/// match of the pattern. An empty path is false.
bool FileExists(Log& log, const QString& path);

/// Appends the separator unless `path` (blanks trimmed) already ends in "/" or "\"; trailing
/// blanks are dropped when it is appended.
void AdddDirSep(QString& path);

/// The first `maxBytes` of the regular file at `path`; nothing when it cannot be opened or
/// is no regular file (a pipe or a device is never waited on).
std::optional<QByteArray> readRegularFile(const QString& path, qint64 maxBytes);

/// Joins a folder and a name with exactly one separator.
QString joinPath(const QString& folder, const QString& name);

/// A write past the process's file-size limit (ulimit -f) then fails like one on a full disk
/// instead of ending the program with SIGXFSZ.
void ignoreFileSizeLimitSignal();

} // namespace nimbuscope
