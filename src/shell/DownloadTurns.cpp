// Copies of the saver that share one cache take turns at the downloads: the copy with the
// turn runs the passes, the others show what it has cached and take the turn over when it
// ends.

#include "shell/FrmMain.h"

#include "acquisition/AcquireDataAsync.h"
#include "shell/SaverApp.h"
#include "shell/SharedCache.h"
#include "support/Clock.h"
#include "support/FrameTrace.h"

namespace nimbuscope {

QString FrmMain::dataDirectory() const {
    return app_.workingFolders.dataPath();
}

bool FrmMain::takeDownloads() {
    const bool had = sharedCache_->downloads();
    if (!sharedCache_->takeDownloads()) {
        return false;
    }
    if (!had) {
        if (FrameTrace* trace = app_.frameTrace()) {
            trace->downloadsTaken();
        }
    }
    return true;
}

void FrmMain::followDownloadingCopy() {
    if (takeDownloads()) {
        // The copy that downloaded has ended, perhaps half-way through a pass: this one goes
        // on at once from what the cache holds.
        app_.log().logDebug(QStringLiteral("FrmMain: took over the downloads"));
        startPass();
        acquire_->showCachedFrames(dataDirectory());
        return;
    }
    if (sharedCache_->changedSinceLastLook(dataDirectory())) {
        acquire_->showCachedFrames(dataDirectory());
        state_.lastDownloadTime = app_.services().clock.now();
    }
}

} // namespace nimbuscope
