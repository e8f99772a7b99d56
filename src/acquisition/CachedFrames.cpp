// The display built from the cache alone: at start, so that cached radar plays before the
// network answers, and for a copy of the saver that shows what another copy downloads.

#include "acquisition/AcquireDataAsync.h"

#include "acquisition/AdaTrap.h"
#include "acquisition/FrameList.h"
#include "acquisition/PassReport.h"
#include "pictures/DisplayList.h"
#include "pictures/SaverRunState.h"
#include "settings/RegistryValues.h"
#include "support/FileUtils.h"
#include "support/Log.h"

namespace nimbuscope {

bool AcquireDataAsync::showCachedFrames(const QString& dataDirectory) {
    return adaTrapped(s_.log, QStringLiteral("showCachedFrames"), false, [&] {
        if (!radarChannelOn()) {
            return false;
        }
        // A copy that does not download starts no pass: the cache is reached here.
        pass_.dataDirectory = dataDirectory;
        AdddDirSep(pass_.dataDirectory);
        pass_.dataFolder = s_.cacheFolderAt ? s_.cacheFolderAt(pass_.dataDirectory) : nullptr;
        rebuildDisplay(pass_.dataDirectory, {}, -1);
        // The pass under way replaces these frames list by list as its lists arrive.
        pass_.showingCachedFrames = s_.list.numDLitems() > 0;
        return s_.list.getNextItem(0).active;
    });
}

void AcquireDataAsync::replaceCachedFrames(int product, const QString& listText) {
    pass_.passListTexts[std::size_t(product)] = listText;
    rebuildDisplay(pass_.dataDirectory, pass_.passListTexts, product);
    if (product == kRadarProductCount - 1) {
        pass_.showingCachedFrames = false;
    }
}

void AcquireDataAsync::rebuildDisplay(const QString& folder,
                                      const std::array<QString, kRadarProductCount>& listTexts,
                                      int arrived) {
    DisplayList& list = s_.list;
    // The pictures already decoded carry over to the frames listed again.
    list.initDisplayList(false, s_.state.preloadImages);
    const QString zipcode = s_.settings.getZipCode();
    for (int i = 0; i < kRadarProductCount; ++i) {
        // An empty text is read from the product's cached list.
        QString text = listTexts[std::size_t(i)];
        if (!text.isEmpty() && text.size() <= kMinParsedListLength) {
            continue;
        }
        const qint32 barValue = s_.report.downloadStep();
        parseRadarListItems(text, kRadarProducts[i].id.toString(),
                            kRadarProducts[i].caption.toString(), zipcode, folder);
        // The download bar counts the list that arrived, as the step would; not the others.
        if (i != arrived) {
            s_.report.setDownloadStep(barValue);
        }
    }
    if (list.images().hasBackup()) {
        list.images().restore();
    }
    list.calculateAllCycleCounts();
    updateCurrentRadarTimes();
}

} // namespace nimbuscope
