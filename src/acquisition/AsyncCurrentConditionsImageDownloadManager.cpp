#include "acquisition/AcquireDataAsync.h"

#include "acquisition/AdaTrap.h"
#include "acquisition/CacheNames.h"
#include "acquisition/PassReport.h"
#include "pictures/FramePicture.h"
#include "pictures/SaverRunState.h"
#include "retrieval/PageRetriever.h"
#include "settings/RegistryValues.h"
#include "support/Clock.h"
#include "support/Log.h"

#include <QImage>

namespace nimbuscope {

namespace {
const QString kStep = QStringLiteral("AsyncCurrentConditionsImageDownloadManager");
} // namespace

void AcquireDataAsync::AsyncCurrentConditionsImageDownloadManager() {
    adaTrapped(s_.log, kStep, true, [&] {
        if (pass_.currentConditionsDone) {
            return true;
        }
        Log& log = s_.log;
        const QString address = pass_.currentConditionsImgURL;
        if (!pass_.currentConditionsRequestActive) {
            pass_.currentConditionsRequestActive = true;
            log.logDebug(kStep + QStringLiteral(" downloading: ") + address);
            startTransfer(address, kStep + QStringLiteral(": "));
            return true;
        }
        QByteArray body;
        if (collectTransfer(kStep, address, body) != Transfer::Done) {
            return true;
        }
        pass_.currentConditionsDone = true;
        pass_.lastConditionsTime = s_.clock.now();
        log.logDebug(QStringLiteral("Successful current conditions download!"));
        // The picture comes from the very bytes cached, so a failed cache write still shows
        // it. A body that is no picture leaves the old one on screen and in the cache.
        const QImage picture = decodePicture(body);
        if (!picture.isNull()) {
            writeCache(kStep,
                       conditionsCacheFileName(pass_.dataDirectory, s_.settings.getZipCode()),
                       body);
            s_.state.currentConditionsImgIsValid = true;
            s_.report.showConditionsPicture(picture);
        } else {
            logTrappedError(log, kStep,
                            Error(kInvalidPictureError, QStringLiteral("Invalid picture")));
            logAdaHandled(log, kStep);
        }
        s_.report.advanceDownload();
        return true;
    });
}

} // namespace nimbuscope
