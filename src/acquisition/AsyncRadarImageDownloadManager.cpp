#include "acquisition/AcquireDataAsync.h"

#include "acquisition/AdaTrap.h"
#include "acquisition/CacheNames.h"
#include "acquisition/CachePurge.h"
#include "acquisition/PassReport.h"
#include "pictures/DisplayList.h"
#include "pictures/ImageUtils.h"
#include "pictures/SaverRunState.h"
#include "retrieval/PageRetriever.h"
#include "settings/RegistryValues.h"
#include "support/Log.h"

namespace nimbuscope {

namespace {
const QString kStep = QStringLiteral("AsyncRadarImageDownloadManager");
} // namespace

void AcquireDataAsync::AsyncRadarImageDownloadManager() {
    try {
        if (s_.list.downloadIndex != -1 && !collectFrame()) {
            return;
        }
        startNextFrame();
    } catch (const std::exception& e) {
        logTrappedError(s_.log, kStep, asError(e));
        s_.log.logDebug(QStringLiteral("ERROR: Nimbuscope async download manager failure"));
        s_.endProgram(false);
    }
}

// Collects the frame being fetched; false when the step is to return (the transfer still
// runs or failed), true to go on with the next frame in the same call.
bool AcquireDataAsync::collectFrame() {
    Log& log = s_.log;
    DisplayList& list = s_.list;
    RegistryValues& settings = s_.settings;
    const qint16 index = list.downloadIndex;
    const DisplayItem item = list.itemAt(index);
    const QString primary = settings.getPrimaryRegionLabel();
    const QString address = frameDownloadURL(item.sourceName, pass_.useAlternateRegion, primary,
                                             settings.getAlternateRegionLabel());
    QByteArray body;
    const Transfer transfer = collectTransfer(
        kStep, address, body, QStringLiteral("ARIDMgr: downloadStatus <> 1, goto Done"));
    if (transfer == Transfer::Running) {
        return false;
    }
    if (transfer == Transfer::Failed) {
        // One bad frame is one bad frame: it stays off screen and is fetched again by the
        // next pass, while the others of this pass are fetched now.
        pass_.gbNetworkProblem = false;
        ++pass_.framesFailed;
        list.setItemNeedsDownloadingFlag(index, false);
        list.setItemActiveFlag(index, false);
        s_.report.advanceDownload();
        list.downloadIndex = -1;
        return true;
    }
    ++pass_.framesFetched;
    log.logDebug(QStringLiteral("AcquireData:ARIDMgr Complete radar image download+free"));
    const bool saved = writeCache(kStep, item.fileName, body);
    if (saved) {
        log.logDebug(QStringLiteral("ARIDMgr: SAVED FILE"));
        log.logDebug(QStringLiteral("AcquireData:ARIDMgr saved file: ") + item.fileName);
        log.logDebug(QStringLiteral("AcquireData:ARIDMgr  file size: ") +
                     QString::number(body.size() - 1));
    }
    // Fetched once per pass, whatever came of it: a frame that could not be saved stays
    // off screen and is fetched again by the next pass.
    list.setItemNeedsDownloadingFlag(index, false);
    if (saved && RadarUnavailableImage(item.fileName)) {
        log.logDebug(QStringLiteral("ARIDMgr: RadarUnavailableImage returned TRUE"));
        if (!primary.isEmpty() && address.contains(primary)) {
            pass_.useAlternateRegion = true;
            list.downloadIndex = -1;
            return true;
        }
        log.logDebug(QStringLiteral("AcquireData:ARIDMgr UNAVAIL flag on file: ") + item.fileName);
        list.setItemActiveFlag(index, false);
    } else {
        list.setItemActiveFlag(index, saved);
    }
    if (saved) {
        purgeCacheToBudget(log, list, pass_.dataFolder.get());
    }
    s_.report.advanceDownload();
    list.downloadIndex = -1;
    return true;
}

void AcquireDataAsync::startNextFrame() {
    DisplayList& list = s_.list;
    const DisplayItem item = list.getNextItemForDownload(0);
    if (!item.needsDownloading) {
        // Every frame failed and none came: the network, not a frame, is at fault.
        if (pass_.framesFailed > 0 && pass_.framesFetched == 0) {
            pass_.gbNetworkProblem = true;
            return;
        }
        finishRadarImages();
        return;
    }
    list.downloadIndex = item.index;
    s_.log.logDebug(QStringLiteral("AcquireData:ARIDMgr Initiating radar image download"));
    const QString address = frameDownloadURL(item.sourceName, pass_.useAlternateRegion,
                                             s_.settings.getPrimaryRegionLabel(),
                                             s_.settings.getAlternateRegionLabel());
    s_.log.logDebug(QStringLiteral("ARIDMgr: downloading ") + address);
    if (startTransfer(address, QStringLiteral("async download object failed: "))) {
        s_.report.runSteps(true);
    }
}

void AcquireDataAsync::finishRadarImages() {
    DisplayList& list = s_.list;
    pass_.radarImagesDone = true;
    list.downloadIndex = -1;
    list.calculateAllCycleCounts();
    using Supply = PassReport::FrameSupply;
    s_.report.showFramesEnd(list.numDLitems() == 0           ? Supply::None
                            : list.numDLitems() < kFewFrames ? Supply::Partial
                                                             : Supply::Full);
}

} // namespace nimbuscope
