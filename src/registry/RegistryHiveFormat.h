#pragma once

#include "registry/RegistryHive.h"

#include <QByteArray>
#include <QString>

#include <optional>

namespace nimbuscope {

/// The first line of every hive file.
inline constexpr char kHiveHeader[] = "Windows Registry Editor Version 5.00";

/// Where and why a hive file could not be read.
struct HiveParseError {
    int line = 0; // 1-based; 0 for the file as a whole
    QString message;
};

/// Reads a hive file in the registry editor's text format (UTF-8, or UTF-16LE with its byte
/// order mark as the editor itself saves). Every section must lie under `rootName`. Anything
/// the format does not allow, or a file past the hive limits (its size, key depth, key count,
/// value size), makes the whole file unreadable: nothing is guessed, so a damaged file is
/// never mistaken for a smaller hive. An empty file is an empty hive. Time and memory grow
/// with the file's size only.
std::optional<RegistryHive> parseHive(const QByteArray& bytes, const QString& rootName,
                                      HiveParseError* error = nullptr);

/// Writes `hive` in the same format (UTF-8, LF line ends). Every key below the root is
/// listed, also keys without values; the root's own section only when it holds values.
/// Text values that the quoted form cannot carry exactly are written as hex(1), and
/// parseHive(writeHive(h)) == h for every hive built from storable names.
QByteArray writeHive(const RegistryHive& hive);
/// As writeHive, or none when the text would be longer than a hive file may be; a deeply
/// nested hive is given up as soon as its text passes the limit, not built in full.
std::optional<QByteArray> writeHiveWithinLimits(const RegistryHive& hive);

} // namespace nimbuscope
