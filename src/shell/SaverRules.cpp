#include "shell/SaverRules.h"

namespace nimbuscope {

bool downloadPassDue(qint64 elapsedSeconds, qint32 networkProblemCount, qint32 listedItems,
                     bool networkProblemShown) {
    // The clock was set back (or fell back an hour): when the last pass began is unknown,
    // and waiting until the clock catches up would stop the updates for that long.
    if (elapsedSeconds < 0) {
        return true;
    }
    // After many failed passes in a row the service is down for a while: the five-minute
    // retries of few frames or a shown problem would keep every failed pass five minutes
    // apart, and the back-off would never apply.
    if (networkProblemCount > PassSchedule::kManyProblems) {
        return elapsedSeconds > PassSchedule::kManyProblemsPassMinutes * 60;
    }
    const bool few = listedItems < PassSchedule::kFewItems || networkProblemShown;
    return (few && elapsedSeconds > PassSchedule::kFewItemsWaitSeconds) ||
           elapsedSeconds > PassSchedule::kPassMinutes * 60;
}

bool locationRefreshDue(qint64 elapsedSeconds) {
    return elapsedSeconds < 0 || elapsedSeconds > PassSchedule::kLocationRefreshSeconds;
}

} // namespace nimbuscope
