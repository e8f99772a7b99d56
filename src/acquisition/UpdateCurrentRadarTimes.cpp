#include "acquisition/AcquireDataAsync.h"

#include "acquisition/AdaTrap.h"
#include "acquisition/PassReport.h"
#include "acquisition/RadarTimes.h"
#include "pictures/DisplayList.h"
#include "pictures/SaverRunState.h"
#include "support/SystemUtils.h"

namespace nimbuscope {

namespace {

QList<CycleRecord> cycleRecords(const DisplayList& list) {
    QList<CycleRecord> records;
    records.reserve(list.numDLitems());
    for (int i = 0; i < list.numDLitems(); ++i) {
        const DisplayItem item = list.itemAt(i);
        records.append({item.active, item.cycleStart, item.cycleEnd, item.fileName});
    }
    return records;
}

} // namespace

void AcquireDataAsync::updateCurrentRadarTimes() {
    SaverRunState& st = s_.state;
    st.cycleFrameCounts = {0, 0};
    st.secondCycleStart = 0;
    adaTrapped(s_.log, QStringLiteral("updateCurrentRadarTimes"), true, [&] {
        const RadarTimesUpdate u =
            computeRadarTimes(cycleRecords(s_.list), st.playIndex, st.displayProgressVal,
                              s_.sys.getGMTBias(), s_.clock, s_.log);
        if (u.clearCaption) {
            s_.report.clearRadarTimes();
            return true;
        }
        st.cycleFrameCounts = u.cycles.cycleFrameCounts;
        st.secondCycleStart = u.cycles.secondCycleStart;
        if (!u.hasTimes) {
            return true;
        }
        st.displayProgressVal = u.displayProgressVal;
        s_.report.showRadarTimes(u.caption, u.progressMaximum, st.displayProgressVal);
        return true;
    });
}

} // namespace nimbuscope
