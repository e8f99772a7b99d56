#include "acquisition/FrameList.h"

#include "acquisition/AdaTrap.h"
#include "acquisition/CacheNames.h"
#include "acquisition/TextPositions.h"
#include "retrieval/CacheFiles.h"
#include "support/Clock.h"
#include "support/Error.h"
#include "support/Log.h"
#include "support/StringUtils.h"

#include <QDate>
#include <QUrl>

#include <cstdlib>

namespace nimbuscope {

using namespace textpos;

namespace {

constexpr QChar kLineFeed = QLatin1Char('\n');
const QString kRelativePrefix = QStringLiteral("../../");
const QString kRadarDir = QStringLiteral("/radar/");
// Shorter lines (blank ones, stray fragments) are not frames.
constexpr qsizetype kMinFrameLineLength = 10;
// A line ending closer than this to the end of the text is the list's last.
constexpr qsizetype kLastLineSpan = 10;
constexpr qsizetype kDdMarkerLength = 4; // ".dd."
// Bar 1 keeps room for this many frames beyond the old ones.
constexpr qint32 kDisplayProgressHeadroom = 10;
constexpr int kHttpPort = 80;
constexpr int kHttpsPort = 443;

// Replaces `what` where a line starts with it (after blanks). Absolute lines keep a
// "/radar/" in their path, which must not be replaced.
QString replaceAtLineStarts(const QString& text, const QString& what, const QString& with) {
    QStringList lines = text.split(kLineFeed);
    for (QString& line : lines) {
        qsizetype first = 0;
        while (first < line.size() && line[first] == QLatin1Char(' ')) {
            ++first;
        }
        if (QStringView(line).mid(first).startsWith(what)) {
            line.replace(first, what.size(), with);
        }
    }
    return lines.join(kLineFeed);
}

int digitsAt(const QString& s, qsizetype start, qsizetype count) {
    const QString field = mid(s, start, count);
    bool ok = field.size() == count;
    for (const QChar c : field) {
        ok = ok && c >= QLatin1Char('0') && c <= QLatin1Char('9');
    }
    if (!ok) {
        throw Error::of(err::TypeMismatch);
    }
    return field.toInt();
}

// The working text during the walk, with the stage markers the error lines report.
struct WalkState {
    std::array<bool, 10> stages{};
    qsizetype workingLength = 0;
};

enum Stage {
    TextBuilt,       // s1: the list plus its final line feed
    ReferenceTaken,  // s2: the current GMT logged
    LastLineRead,    // s3: the newest frame examined
    CacheScanned,    // s4: cached frames chosen
    OldFramesPlaced, // s5: old frames in front of the list
    WalkStarted,     // s2a
    LinePlanned,     // s2b: at least one item planned
    LastLinePlanned, // s2c
    WalkEnded,       // s2d
    ParseComplete,   // s2e
};

void logParseError(Log& log, const Error& e, qsizetype listLength, const WalkState& state) {
    const QString name = QStringLiteral("ERROR :: parseRadarListItems :: ");
    const auto marks = [&](const char* const(&labels)[5], int first) {
        QString text;
        for (int i = 0; i < 5; ++i) {
            text += QString::fromLatin1(labels[i]) + boolText(state.stages[first + i]);
        }
        return text;
    };
    logTrappedError(log, QStringLiteral("parseRadarListItems"), e);
    log.logError(name + QStringLiteral("Len(preloadedURLS)=") + QString::number(listLength));
    log.logError(name + QStringLiteral("Len(sExpression)=") + QString::number(state.workingLength));
    log.logError(name + marks({"s1=", ",s2=", ",s3=", ",s4=", ",s5="}, TextBuilt));
    log.logError(name + marks({"s2a=", ",s2b=", ",s2c=", ",s2d=", ",s2e="}, WalkStarted));
    log.logDebug(QStringLiteral("ADA: parseRadarListItems: ERROR ENCOUNTERED AND HANDLED"));
}

struct WalkParams {
    const RadarListInput& input;
    DateTime reference;
    qint64 windowSeconds;
};

// Plans one item per frame line; items stay in `out` when an error ends the walk.
void walkLines(const QString& text, const WalkParams& p,
               const std::function<bool()>& zipcodeUnchanged, RadarListParse& out, WalkState& state,
               const Clock& clock, Log& log) {
    state.stages[WalkStarted] = true;
    qsizetype start = 0;
    for (qsizetype lf = text.indexOf(kLineFeed); lf >= 0; lf = text.indexOf(kLineFeed, start)) {
        const qsizetype end = lf + 1; // position of the line feed, counted from 1
        if (end > kMaxListPosition) {
            throw Error::of(err::Overflow);
        }
        const QString line = text.mid(start, lf - start).trimmed();
        start = end;
        if (line.size() <= kMinFrameLineLength) {
            continue;
        }
        if (!zipcodeUnchanged()) {
            out.stoppedByZipChange = true;
            break;
        }
        const RadarListInput& in = p.input;
        if (const QString reason = notAFrameReason(line, in.ownServers); !reason.isEmpty()) {
            out.skipped.append({line, reason});
            continue;
        }
        const QString frameName = frameNameOf(line);
        if (isOutsideFreshness(filenameToDate(frameName, clock, log), p.reference,
                               p.windowSeconds)) {
            continue;
        }
        const QString file =
            frameCacheFileName(in.dataDirectory, in.zipcode, in.product, frameName);
        log.logDebug(QStringLiteral("parseRadarListItems: DLADD ") + file);
        const bool last = text.size() - end < kLastLineSpan;
        out.items.append({file, in.caption, line, last, in.product});
        state.stages[LinePlanned] = true;
        state.stages[LastLinePlanned] = state.stages[LastLinePlanned] || last;
    }
    state.stages[WalkEnded] = true;
}

// The time a frame name carries; raises error 13 (no time) or 5 (no such time).
DateTime frameTimeOf(const QString& frameName) {
    const qsizetype dd = findNoCase(frameName, u".dd.");
    if (dd == 0) {
        throw Error::of(err::TypeMismatch);
    }
    const QString s = mid(frameName, dd + kDdMarkerLength);
    const int year = digitsAt(s, 1, 4);
    const int month = digitsAt(s, 5, 2);
    const int day = digitsAt(s, 7, 2);
    const qsizetype dot = find(s, u".");
    if (dot == 0) {
        throw Error::of(err::TypeMismatch);
    }
    const int hour = digitsAt(s, dot + 1, 2);
    const int minute = digitsAt(s, dot + 3, 2);
    if (!QDate(year, month, day).isValid() || hour > 23 || minute > 59) {
        throw Error::of(err::InvalidProcedureCall);
    }
    return DateTime::fromParts(year, month, day, hour, minute);
}

} // namespace

QString nationalRadarBase(const QString& radarServerURL) {
    if (radarServerURL.endsWith(kRadarDir)) {
        return radarServerURL;
    }
    QString base = radarServerURL;
    if (!base.endsWith(QLatin1Char('/'))) {
        base += QLatin1Char('/');
    }
    return base + QStringLiteral("radar/");
}

QString radarSite(const QString& templateURL) {
    const qsizetype si = findNoCase(templateURL, u"/SI.");
    return si == 0 ? QString() : cutBefore(mid(templateURL, si + 4), u"/");
}

QString radarListURL(const QString& radarServerURL, const QString& templateURL,
                     const QString& product) {
    const QString site = radarSite(templateURL);
    if (site.isEmpty()) {
        return {};
    }
    return nationalRadarBase(radarServerURL) + QStringLiteral("loopdata/") + product +
           QLatin1Char('/') + site + QStringLiteral(".txt");
}

QString normaliseRadarList(const QString& text, const QString& templateURL,
                           const QString& radarServerURL) {
    const qsizetype images = findNoCase(templateURL, u"/images");
    const QString base = images > 1 ? templateURL.left(images) : nationalRadarBase(radarServerURL);
    QString out = text.contains(kRelativePrefix) ? replaced(text, kRelativePrefix, base)
                                                 : replaceAtLineStarts(text, kRadarDir, base);
    out.replace(QStringLiteral("/radar/http"), QStringLiteral("http"));
    out.replace(QStringLiteral(".gif"), QStringLiteral(".noaa"));
    out.replace(QStringLiteral(".gov//"), QStringLiteral(".gov/"));
    return out;
}

QString frameNameOf(const QString& line) {
    return line.mid(line.lastIndexOf(QLatin1Char('/')) + 1);
}

DateTime filenameToDate(const QString& frameName, const Clock& clock, Log& log) {
    return filenameToDate(frameName, clock.now(), log);
}

DateTime filenameToDate(const QString& frameName, DateTime fallback, Log& log) {
    return adaTrapped(log, QStringLiteral("filenameToDate"), fallback,
                      [&] { return frameTimeOf(frameName); });
}

QString serverOf(const QString& address) {
    const QUrl url(address);
    const QString host = url.host().toLower();
    if (host.isEmpty()) {
        return {};
    }
    const int port = url.port();
    const int schemePort = url.scheme().compare(QLatin1String("https"), Qt::CaseInsensitive) == 0
                               ? kHttpsPort
                               : kHttpPort;
    return port < 0 || port == schemePort ? host : host + QLatin1Char(':') + QString::number(port);
}

QString notAFrameReason(const QString& line, const QStringList& ownServers) {
    const QString frameName = frameNameOf(line);
    if (!isPlainCacheName(frameName)) {
        return QStringLiteral("unsafe frame name");
    }
    const QUrl url(line, QUrl::StrictMode);
    const QString scheme = url.scheme().toLower();
    if (!url.isValid() || (scheme != QLatin1String("http") && scheme != QLatin1String("https")) ||
        !url.userInfo().isEmpty() || !ownServers.contains(serverOf(line))) {
        return QStringLiteral("not an address of the list's server");
    }
    try {
        frameTimeOf(frameName);
    } catch (const Error&) {
        return QStringLiteral("not a frame");
    }
    return frameName.endsWith(QLatin1String(".noaa"), Qt::CaseInsensitive)
               ? QString()
               : QStringLiteral("not a frame");
}

bool hasFrameLine(const QString& text, const QStringList& ownServers) {
    for (const QString& line : text.split(kLineFeed)) {
        if (notAFrameReason(line.trimmed(), ownServers).isEmpty()) {
            return true;
        }
    }
    return false;
}

bool isOutsideFreshness(DateTime frameTime, DateTime reference, qint64 windowSeconds) {
    return frameTime.isValid() && reference.isValid() &&
           std::llabs(wholeSecondsBetween(reference, frameTime)) > windowSeconds;
}

ListReference listReference(const QString& text, const QString& templateURL, const QString& product,
                            DateTime gmtNow, Log& log) {
    ListReference r;
    r.time = gmtNow;
    if (text.size() <= kLastLineSpan) {
        return r;
    }
    // The newest frame's line starts after the last line feed that is not one of the
    // trailing ones.
    const qsizetype lf = findLast(text, u"\n", text.size() - kLastLineSpan);
    r.lastLine = cutBefore(mid(text, lf + 1), u"\n");
    r.lastFrameName = frameNameOf(r.lastLine);
    r.base = templateURL;
    r.base.replace(QStringLiteral("@@@@@"), product);
    r.base.replace(QStringLiteral("/#####.noaa"), QStringLiteral("/"));
    if (!r.base.isEmpty() && !r.lastFrameName.isEmpty()) {
        r.time = filenameToDate(r.lastFrameName, gmtNow, log);
    }
    return r;
}

OldFrameSelection selectCachedFrames(const QStringList& cacheFileNames, const QString& zipcode,
                                     const QString& product, const QString& text,
                                     const ListReference& reference, qint64 windowSeconds,
                                     const Clock& clock, Log& log) {
    OldFrameSelection out;
    const QString prefix = zipcode + QLatin1Char('.') + product;
    const QString productDot = product + QLatin1Char('.');
    // Every cached name is looked for in the whole list: fold the list's case once rather
    // than on every search (the same simple folding a case-blind search applies).
    const QString foldedText = text.toCaseFolded();
    for (const QString& name : cacheFileNames) {
        const qsizetype at = findNoCase(name, productDot);
        if (!name.startsWith(prefix, Qt::CaseInsensitive) || at == 0 ||
            !name.contains(zipcode, Qt::CaseInsensitive) || findNoCase(name, u".noaa", 2) == 0) {
            continue;
        }
        const QString frameName = mid(name, at + productDot.size());
        if (find(foldedText, frameName.toCaseFolded(), 2) > 0) {
            ++out.listedCount;
            continue;
        }
        if (out.taken.size() > kMaxOldFrames) {
            break;
        }
        const DateTime time = filenameToDate(frameName, clock, log);
        if (isOutsideFreshness(time, reference.time, windowSeconds)) {
            continue;
        }
        out.taken.append({reference.base + frameName, frameName, time});
        log.logDebug(QStringLiteral("parseRadarListItems: ADDED OLD ") + frameName);
    }
    return out;
}

QString prependOldFrames(const QString& text, QList<OldFrame> frames) {
    QString out = text;
    while (!frames.isEmpty()) {
        qsizetype latest = 0;
        for (qsizetype i = 1; i < frames.size(); ++i) {
            if (frames[i].time > frames[latest].time) {
                latest = i;
            }
        }
        out.prepend(frames[latest].address + kLineFeed);
        frames.removeAt(latest);
    }
    return out;
}

RadarListParse parseRadarList(const RadarListInput& in,
                              const std::function<bool()>& zipcodeUnchanged, const Clock& clock,
                              Log& log) {
    RadarListParse out;
    WalkState state;
    try {
        log.logDebug(QStringLiteral("parseRadarListItems - processList"));
        QString text = in.listText + kLineFeed;
        state.workingLength = text.size();
        state.stages[TextBuilt] = true;
        log.logDebug(QStringLiteral("parseRadarListItems - calling getGMT"));
        log.logDebug(QStringLiteral("done date add"));
        log.logDebug(QStringLiteral("parseRadarListItems - GMT: ") + in.gmtNow.generalDate());
        state.stages[ReferenceTaken] = true;
        const qint64 window = qint64(in.discardAfterMinutes) * 60;
        const ListReference ref = listReference(text, in.templateURL, in.product, in.gmtNow, log);
        out.reference = ref.time;
        state.stages[LastLineRead] = true;
        if (!ref.base.isEmpty()) {
            OldFrameSelection old = selectCachedFrames(in.cacheFileNames, in.zipcode, in.product,
                                                       text, ref, window, clock, log);
            out.oldFrames = std::move(old.taken);
            out.listedCachedCount = old.listedCount;
        }
        state.stages[CacheScanned] = true;
        log.logDebug(QStringLiteral("parseRadarListItems oldItemCount=") +
                     QString::number(out.oldFrames.size()));
        text = prependOldFrames(text, out.oldFrames);
        state.workingLength = text.size();
        log.logDebug(QStringLiteral("parseRadarListItems - doneSort"));
        state.stages[OldFramesPlaced] = true;
        out.displayProgressMaxAtLeast = qint32(out.oldFrames.size()) + kDisplayProgressHeadroom;
        walkLines(text, {in, ref.time, window}, zipcodeUnchanged, out, state, clock, log);
        state.stages[ParseComplete] = true;
        out.ok = true;
    } catch (const std::exception& e) {
        logParseError(log, asError(e), in.listText.size(), state);
    }
    return out;
}

} // namespace nimbuscope
