#pragma once

#include "support/DateTime.h"

#include <QList>
#include <QString>

#include <array>

namespace nimbuscope {

class Clock;
class Log;

/// What the radar times need of one display item.
struct CycleRecord {
    bool active = false;
    bool cycleStart = false;
    bool cycleEnd = false;
    QString fileName;
};

/// The animation cycles found in the display list.
struct CycleSummary {
    /// Active frames of the first and the second cycle.
    std::array<qint16, 2> cycleFrameCounts{0, 0};
    /// List index of the first frame of the second cycle; 0 when there is none.
    qint16 secondCycleStart = 0;
    /// Server times of the first frame of each cycle and of the last (at most three each).
    QList<DateTime> startTimes;
    QList<DateTime> endTimes;
    /// Position of the frame at `playIndex` within its cycle, counted from 1; the value
    /// passed in when that frame is not an active one.
    qint32 progressValue = 0;
};

/// More cycles than the times have room for.
inline constexpr qsizetype kMaxRadarCycles = 3;

/// Walks the items in list order. A display list with more than three cycles raises error 9
/// (subscript out of range); the caller's trap reports it.
CycleSummary summariseCycles(const QList<CycleRecord>& items, qint32 playIndex,
                             qint32 displayProgressVal, const Clock& clock, Log& log);

/// The span the frames cover: the earlier of the first two start times and the later of the
/// first two end times. Both lists must hold at least one time.
struct TimeSpan {
    DateTime start;
    DateTime end;
};
TimeSpan radarTimeSpan(const QList<DateTime>& startTimes, const QList<DateTime>& endTimes);

/// Server (GMT) time to local time: minus the zone's bias in minutes.
DateTime serverToLocal(DateTime serverTime, double gmtBiasMinutes);

/// "2:34pm": the time of the system's date-time text, ":00 AM"/":00 PM" shortened to
/// "am"/"pm"; a time with seconds keeps them ("2:34:17 PM").
QString radarTimeText(DateTime localTime);

/// Everything `updateCurrentRadarTimes` shows, computed from the display list.
struct RadarTimesUpdate {
    /// The list is empty or full: hide bar 1, empty the caption, nothing else.
    bool clearCaption = false;
    CycleSummary cycles;
    /// Start and end times were found: the captions and bar 1 below are to be set.
    bool hasTimes = false;
    QString caption; ///< "1:58pm - 2:48pm"
    qint32 progressMaximum = 0;
    qint32 displayProgressVal = 0; ///< also bar 1's value
};

/// `items` are the display list's `numDLitems` items. Errors (more than three cycles)
/// propagate to the caller's trap.
RadarTimesUpdate computeRadarTimes(const QList<CycleRecord>& items, qint32 playIndex,
                                   qint32 displayProgressVal, double gmtBiasMinutes,
                                   const Clock& clock, Log& log);

} // namespace nimbuscope
