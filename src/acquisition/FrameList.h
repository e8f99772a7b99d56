#pragma once

#include "support/DateTime.h"

#include <QList>
#include <QString>
#include <QStringList>

#include <array>
#include <functional>

namespace nimbuscope {

class Clock;
class Log;

/// One radar product: its directory name on the server and the caption under its frames.
struct RadarProduct {
    QStringView id;
    QStringView caption;
};
/// The products in the order a pass fetches them.
inline constexpr std::array<RadarProduct, 2> kRadarProducts = {
    RadarProduct{u"DS.p19r0", u"Short Range Radar"},
    RadarProduct{u"DS.p20-r", u"Long Range Radar"}};

/// Lists of this length or shorter are not parsed (the step still counts as done).
inline constexpr qsizetype kMinParsedListLength = 80;
/// Cached frames no longer listed are taken until more than this many are taken.
inline constexpr qsizetype kMaxOldFrames = 300 / 2 - 20;
/// List positions are 16-bit: the walk cannot go past this character.
inline constexpr qsizetype kMaxListPosition = 32767;

/// The national radar server's base address ending in "/radar/": the configured
/// "radarServerURL" (a host root such as "http://radar.weather.gov/") + "radar/", or the
/// configured value itself when it already ends in "/radar/".
QString nationalRadarBase(const QString& radarServerURL);
/// The radar site of a template: the text between "/SI." (any case) and the next "/";
/// empty when the template names none.
QString radarSite(const QString& templateURL);
/// The frame list address of `product` for the template's site; empty when the template
/// names no site.
QString radarListURL(const QString& radarServerURL, const QString& templateURL,
                     const QString& product);

/// Turns a received loop list into absolute frame addresses ending in ".noaa".
QString normaliseRadarList(const QString& text, const QString& templateURL,
                           const QString& radarServerURL);

/// The part of a list line after its last "/".
QString frameNameOf(const QString& line);

/// The server part of an address as lists are matched against it: the host in lower case,
/// with ":port" when a port other than the scheme's own is given; empty without a host.
QString serverOf(const QString& address);
/// Why a normalised list line is no frame of the list's own servers (`ownServers`, as
/// `serverOf` gives them), or an empty text when it is one: an http or https address on one
/// of those servers whose name is a plain cache name ending in ".noaa" with a frame time.
QString notAFrameReason(const QString& line, const QStringList& ownServers);
/// True when some line of a normalised list is a frame of its own servers.
bool hasFrameLine(const QString& text, const QStringList& ownServers);

/// The server time of a frame name: ".dd." (any case), then YYYYMMDD; after the next "."
/// HHMM. A name without a valid time gives `fallback` and the trapped error lines
/// ("filenameToDate").
DateTime filenameToDate(const QString& frameName, DateTime fallback, Log& log);
/// The same with the current local time as the fallback.
DateTime filenameToDate(const QString& frameName, const Clock& clock, Log& log);

/// True when both times are valid and more than `windowSeconds` whole seconds apart.
bool isOutsideFreshness(DateTime frameTime, DateTime reference, qint64 windowSeconds);

/// What the newest listed frame tells: the reference time and the address base of cached
/// frames. `text` is the working text (the list plus a final line feed).
struct ListReference {
    QString lastLine;      ///< the list's last line (empty for a text of 10 characters or less)
    QString lastFrameName; ///< its frame name
    QString base;          ///< the template for this product, ending where frame names go
    /// The reference time: the last line's, or the current GMT when the list gives none (the
    /// last line names no time): frame times are server times, in GMT.
    DateTime time;
};
ListReference listReference(const QString& text, const QString& templateURL, const QString& product,
                            DateTime gmtNow, Log& log);

/// A cached frame of the product that is no longer listed but still fresh.
struct OldFrame {
    QString address; ///< base + frame name: the line it gets in the list
    QString frameName;
    DateTime time;
};
struct OldFrameSelection {
    QList<OldFrame> taken;  ///< in the order the cache names were given
    qint32 listedCount = 0; ///< cached frames skipped because the list names them
};
/// Picks the cached frames worth keeping from the names of the files in the cache folder
/// (give them sorted by name: the order decides which are taken at the limit).
OldFrameSelection selectCachedFrames(const QStringList& cacheFileNames, const QString& zipcode,
                                     const QString& product, const QString& text,
                                     const ListReference& reference, qint64 windowSeconds,
                                     const Clock& clock, Log& log);

/// `text` with the old frames' addresses in front, one a line, oldest first.
QString prependOldFrames(const QString& text, QList<OldFrame> frames);

/// One display item the list asks for, in list order.
struct FramePlanItem {
    QString fileName;       ///< the cached frame file
    QString caption;        ///< the product's caption
    QString sourceName;     ///< the list line: the frame's absolute address ending in ".noaa"
    bool cycleFlag = false; ///< the list's last line
    QString radarID;        ///< the product
};

struct RadarListInput {
    QString listText; ///< the normalised list, fresh or read back from the cache
    QString product;
    QString caption;
    QString zipcode;
    QString dataDirectory; ///< ends in a separator
    QString templateURL;
    QStringList cacheFileNames; ///< names of the files in dataDirectory, sorted by name
    DateTime gmtNow;
    qint32 discardAfterMinutes = 0;
    /// The servers frames may come from (see `serverOf`): the list's and the template's.
    QStringList ownServers;
};

/// A list line that is no frame of the list's servers, and why.
struct SkippedLine {
    QString line;
    QString reason;
};

struct RadarListParse {
    /// False after an error: its lines are in the logs, and `items` holds the items planned
    /// before it, which the caller adds all the same.
    bool ok = false;
    DateTime reference;
    QList<OldFrame> oldFrames;
    qint32 listedCachedCount = 0;         ///< one download-bar step each
    qint32 displayProgressMaxAtLeast = 0; ///< raise bar 1's maximum to at least this
    QList<FramePlanItem> items;           ///< one download-bar step each
    QList<SkippedLine> skipped;           ///< left out, for the error log
    bool stoppedByZipChange = false;
};

/// The whole frame-list parse short of its files and widgets: reference time, cached frames
/// kept, time order, and the items to add. `zipcodeUnchanged` is asked before each line; a
/// false answer ends the walk. A working text of more than 32767 characters ends in the
/// error path once the walk reaches that position (error 6, Overflow).
RadarListParse parseRadarList(const RadarListInput& input,
                              const std::function<bool()>& zipcodeUnchanged, const Clock& clock,
                              Log& log);

} // namespace nimbuscope
