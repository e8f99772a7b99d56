#include "shell/SaverRules.h"

namespace nimbuscope {

bool downloadPassDue(qint64 elapsedSeconds, qint32 networkProblemCount, qint32 listedItems,
                     bool networkProblemShown) {
    const qint64 limitMinutes = networkProblemCount > PassSchedule::kManyProblems
                                    ? PassSchedule::kManyProblemsPassMinutes
                                    : PassSchedule::kPassMinutes;
    const bool few = listedItems < PassSchedule::kFewItems || networkProblemShown;
    return (few && elapsedSeconds > PassSchedule::kFewItemsWaitSeconds) ||
           elapsedSeconds > limitMinutes * 60;
}

} // namespace nimbuscope
