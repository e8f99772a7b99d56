#pragma once

#include <QString>

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

/// Joins a folder and a name with exactly one separator.
QString joinPath(const QString& folder, const QString& name);

} // namespace nimbuscope
