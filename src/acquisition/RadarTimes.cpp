#include "acquisition/RadarTimes.h"

#include "acquisition/FrameList.h"
#include "support/Error.h"

#include <algorithm>

namespace nimbuscope {

namespace {

// The display list holds at most 299 items; a count of 300 or more is not a list to read.
constexpr qsizetype kFullDisplayList = 300;
constexpr int kCountedCycles = 2;

void appendCycleTime(QList<DateTime>& times, const QString& fileName, const Clock& clock,
                     Log& log) {
    if (times.size() >= kMaxRadarCycles) {
        throw Error::of(err::SubscriptOutOfRange);
    }
    times.append(filenameToDate(fileName, clock, log));
}

} // namespace

CycleSummary summariseCycles(const QList<CycleRecord>& items, qint32 playIndex,
                             qint32 displayProgressVal, const Clock& clock, Log& log) {
    CycleSummary s;
    s.progressValue = displayProgressVal;
    int cycle = 0;
    qint32 position = 0;
    for (qsizetype i = 0; i < items.size(); ++i) {
        const CycleRecord& item = items[i];
        if (!item.active) {
            continue;
        }
        if (cycle < kCountedCycles) {
            ++s.cycleFrameCounts[cycle];
        }
        if (item.cycleStart) {
            appendCycleTime(s.startTimes, item.fileName, clock, log);
            if (s.startTimes.size() == 2) {
                s.secondCycleStart = qint16(i);
                position = 0;
            }
        }
        // A cycle of one frame starts and ends on the same item: it ends its cycle too, so
        // its end time counts and the next product's frames are not added to its count.
        if (item.cycleEnd) {
            appendCycleTime(s.endTimes, item.fileName, clock, log);
            ++cycle;
        }
        ++position;
        if (i == playIndex) {
            s.progressValue = position;
        }
    }
    return s;
}

TimeSpan radarTimeSpan(const QList<DateTime>& startTimes, const QList<DateTime>& endTimes) {
    TimeSpan span{startTimes.at(0), endTimes.at(0)};
    if (startTimes.size() > 1) {
        span.start = std::min(span.start, startTimes.at(1));
    }
    if (endTimes.size() > 1) {
        span.end = std::max(span.end, endTimes.at(1));
    }
    return span;
}

DateTime serverToLocal(DateTime serverTime, double gmtBiasMinutes) {
    return serverTime.addMinutes(-gmtBiasMinutes);
}

QString radarTimeText(DateTime localTime) {
    const QString text = localTime.generalDate();
    QString time = text.mid(text.indexOf(QLatin1Char(' ')) + 1);
    time.replace(QStringLiteral(":00 AM"), QStringLiteral("am"), Qt::CaseInsensitive);
    time.replace(QStringLiteral(":00 PM"), QStringLiteral("pm"), Qt::CaseInsensitive);
    return time;
}

RadarTimesUpdate computeRadarTimes(const QList<CycleRecord>& items, qint32 playIndex,
                                   qint32 displayProgressVal, double gmtBiasMinutes,
                                   const Clock& clock, Log& log) {
    RadarTimesUpdate u;
    if (items.isEmpty() || items.size() >= kFullDisplayList) {
        u.clearCaption = true;
        return u;
    }
    u.cycles = summariseCycles(items, playIndex, displayProgressVal, clock, log);
    if (u.cycles.startTimes.isEmpty() || u.cycles.endTimes.isEmpty()) {
        return u;
    }
    const auto local = [&](QList<DateTime> times) {
        for (DateTime& t : times) {
            t = serverToLocal(t, gmtBiasMinutes);
        }
        return times;
    };
    const TimeSpan span = radarTimeSpan(local(u.cycles.startTimes), local(u.cycles.endTimes));
    u.hasTimes = true;
    u.caption = radarTimeText(span.start) + QStringLiteral(" - ") + radarTimeText(span.end);
    u.progressMaximum = std::max(u.cycles.cycleFrameCounts[0], u.cycles.cycleFrameCounts[1]);
    const qint32 value = u.cycles.progressValue;
    u.displayProgressVal = value > 0 ? value - 1 : value;
    return u;
}

} // namespace nimbuscope
