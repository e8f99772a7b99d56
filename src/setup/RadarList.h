#pragma once

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>

#include <optional>
#include <vector>

namespace nimbuscope {

class Log;

/// What one item of the radar site list stands for. A state header has no city, zip code
/// or template; a city item carries the state of the header above it.
struct RadarSiteEntry {
    QString city;
    QString state;
    QString zipcode;
    QString templateURL;

    bool operator==(const RadarSiteEntry&) const = default;
};

/// The items of `RadarListCombo` and, index for index, their entries.
struct RadarList {
    /// The list holds at most this many items; further lines of the file are not read.
    static constexpr qsizetype kCapacity = 251;
    static constexpr const char* kFileName = "RadarList.txt";

    QStringList items;
    std::vector<RadarSiteEntry> entries;
};

/// What reading the file gave: the list, and the error that ended the reading early, if
/// one did (what was read before it is kept).
struct RadarListRead {
    RadarList list;
    std::optional<int> stoppedByError;
};

/// The file's lines: a line ends at a carriage return, with or without a line feed after
/// it, or at a line feed alone (a list saved by a Unix editor). A terminator at the very end
/// does not start another line.
QList<QByteArray> radarListLines(const QByteArray& bytes);

/// Reads the radar site list from the bytes of RadarList.txt (Windows-1252 text): state
/// lines ("STATE: " + state) give "--- " + state + " ---" headers, site lines
/// ("address","city",...,"zip") give four blanks + city, any other line repeats the item
/// before it. A site line whose fields cannot be cut out ends the reading.
RadarListRead parseRadarList(const QByteArray& bytes);

/// The site line's entry, or nothing when its quoted fields cannot be cut out. `state` is
/// the state of the last state line.
std::optional<RadarSiteEntry> parseRadarSiteLine(const QString& line, const QString& state);

/// True for the items that head a state's cities.
bool isStateHeader(const QString& item);

} // namespace nimbuscope
