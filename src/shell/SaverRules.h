#pragma once

#include <QtGlobal>

namespace nimbuscope {

/// When the main timer starts a download pass.
struct PassSchedule {
    /// Below this many listed frames the list counts as "few".
    static constexpr qint32 kFewItems = 18;
    /// With few frames, or a network problem shown, a pass is due after this long.
    static constexpr qint64 kFewItemsWaitSeconds = 300;
    static constexpr qint64 kPassMinutes = 10;
    /// After more than kManyProblems failed passes in a row, passes are this far apart,
    /// however few frames are listed and whether or not the problem is shown.
    static constexpr qint64 kManyProblemsPassMinutes = 30;
    static constexpr qint32 kManyProblems = 10;
    /// A pass re-reads the location page when the last one is older than this.
    static constexpr qint64 kLocationRefreshSeconds = 1800;
};

/// Whether a download pass is due, `elapsedSeconds` whole seconds after the last one began
/// (a negative time, from a clock set back, counts as due).
bool downloadPassDue(qint64 elapsedSeconds, qint32 networkProblemCount, qint32 listedItems,
                     bool networkProblemShown);

/// Whether a pass re-reads the location page, `elapsedSeconds` after the last reading (a
/// negative time counts as long ago).
bool locationRefreshDue(qint64 elapsedSeconds);

} // namespace nimbuscope
