#include "shell/SaverRules.h"

namespace nimbuscope {

bool downloadPassDue(qint64 elapsedSeconds, qint32 networkProblemCount, qint32 listedItems,
                     bool networkProblemShown) {
    // The clock was set back (or fell back an hour): when the last pass began is unknown,
    // and waiting until the clock catches up would stop the updates for that long.
    if (elapsedSeconds < 0) {
        return true;
    }
    const qint64 limitMinutes = networkProblemCount > PassSchedule::kManyProblems
                                    ? PassSchedule::kManyProblemsPassMinutes
                                    : PassSchedule::kPassMinutes;
    const bool few = listedItems < PassSchedule::kFewItems || networkProblemShown;
    return (few && elapsedSeconds > PassSchedule::kFewItemsWaitSeconds) ||
           elapsedSeconds > limitMinutes * 60;
}

bool locationRefreshDue(qint64 elapsedSeconds) {
    return elapsedSeconds < 0 || elapsedSeconds > PassSchedule::kLocationRefreshSeconds;
}

} // namespace nimbuscope
