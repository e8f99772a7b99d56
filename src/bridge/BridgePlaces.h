#pragma once

#include "bridge/CurrentForms.h"
#include "bridge/LegacyForms.h"

#include <QDateTime>
#include <QString>
#include <QStringList>

#include <map>

namespace nimbuscope {

class FolderHandle;

/// What the bridge learnt of one place from the points and station services.
struct KeptPlace {
    PointFacts point;
    QStringList stations;
    QDateTime learnt;
};

/// Where a location search led.
struct KeptSearch {
    LatLon where;
    QDateTime learnt;
};

/// The bridge's knowledge of places, kept across runs.
struct KeptPlaces {
    std::map<QString, KeptPlace> places;    ///< by place key "lat,lon" at four decimals
    std::map<QString, KeptSearch> searches; ///< by search text
};

/// The file in the saver's cache folder that keeps places across runs. Its name has none of
/// the endings the cache purges delete.
inline constexpr QLatin1StringView kKeptPlacesFileName{"bridge.places"};

/// The file's text: a JSON object {"nimbuscope-places": 2, "places": [...], "searches": [...]},
/// each entry with the time it was learnt ("learnt", ISO 8601 UTC to the second); a place
/// with its "key", "radarStation", "city", "state" and "stations", a search with its "text",
/// "lat" and "lon". A file of the first, tab-separated, form reads as nothing: the places are
/// learnt afresh and kept anew.
QByteArray formatKeptPlaces(const KeptPlaces& kept);

/// Reads the file's text. Entries learnt `maxAgeSeconds` or more before `now` (or after it)
/// are dropped; `*clean` is false when any were, or the text is not such a file. The file is
/// another program's to write as much as ours, so a text with any entry out of form is
/// nothing at all.
KeptPlaces parseKeptPlaces(const QByteArray& text, const QDateTime& now, qint64 maxAgeSeconds,
                           bool* clean);

/// The kept places in `folder`. A file that is missing, a link, another user's or too large
/// counts as empty and not clean.
KeptPlaces readKeptPlaces(const FolderHandle* folder, const QDateTime& now, qint64 maxAgeSeconds,
                          bool* clean);

/// Replaces the file in `folder` in one step, readable by its owner only; false on failure.
bool writeKeptPlaces(const FolderHandle* folder, const KeptPlaces& kept);

} // namespace nimbuscope
