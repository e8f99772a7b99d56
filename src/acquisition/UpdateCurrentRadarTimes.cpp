#include "acquisition/AcquireDataAsync.h"

#include "acquisition/AcquisitionUi.h"
#include "acquisition/AdaTrap.h"
#include "acquisition/RadarTimes.h"
#include "display/DisplayList.h"
#include "display/MyProgress.h"
#include "display/SaverWindow.h"
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
    const SaverControls& c = s_.controls;
    st.cycleFrameCounts = {0, 0};
    st.secondCycleStart = 0;
    adaTrapped(s_.log, QStringLiteral("updateCurrentRadarTimes"), true, [&] {
        const RadarTimesUpdate u =
            computeRadarTimes(cycleRecords(s_.list), st.playIndex, st.displayProgressVal,
                              s_.sys.getGMTBias(), s_.clock, s_.log);
        MyProgress& p = bar();
        if (u.clearCaption) {
            p.setVisible(false, kRadarTimeBar);
            ui::setCaption(c.CurrentRadarTimes, QString());
            return true;
        }
        st.cycleFrameCounts = u.cycles.cycleFrameCounts;
        st.secondCycleStart = u.cycles.secondCycleStart;
        if (!u.hasTimes) {
            return true;
        }
        ui::setCaption(c.CurrentRadarTimes, u.caption);
        ui::setCaption(c.currentRadarTimesLabel, QStringLiteral("Current Radar"));
        p.setMin(1, kRadarTimeBar);
        p.setMax(u.progressMaximum, kRadarTimeBar);
        if (ui::visible(c.CurrentRadarTimes)) {
            p.setVisible(true, kRadarTimeBar);
        }
        st.displayProgressVal = u.displayProgressVal;
        p.setValue(st.displayProgressVal, kRadarTimeBar);
        return true;
    });
}

} // namespace nimbuscope
