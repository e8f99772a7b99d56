#include "acquisition/CachePurge.h"

#include "acquisition/AdaTrap.h"
#include "acquisition/CacheFiles.h"
#include "display/DisplayList.h"
#include "support/FolderHandle.h"
#include "support/Log.h"

namespace nimbuscope {

namespace {

const QString kFramePattern = QStringLiteral("*.noaa");

} // namespace

void purgeOtherZipcodeCachedItems(Log& log, const FolderHandle* folder, const QString& zip) {
    adaTrapped(log, QStringLiteral("purgeOtherZipcodeCachedItems"), true, [&] {
        if (folder == nullptr) {
            return true;
        }
        if (!isPlainZip(zip)) {
            log.logDebug(QStringLiteral("purgeOtherZipcodeCachedItems: no plain zip code (") + zip +
                         QStringLiteral("), nothing purged"));
            return true;
        }
        const QString ownPrefix = zip + QLatin1Char('.');
        for (const char* pattern : {"*.jpg", "*.noaa", "*.txt"}) {
            for (const QString& name : folder->fileNames({QString::fromLatin1(pattern)})) {
                // A name that could not be deleted stays; the next purge tries again.
                if (!name.startsWith(ownPrefix)) {
                    folder->removeFile(name);
                }
            }
        }
        return true;
    });
}

void purgeNonDisplayListItems(Log& log, const DisplayList& list, const FolderHandle* folder) {
    adaTrapped(log, QStringLiteral("purgeNonDisplayListItems"), true, [&] {
        if (folder == nullptr) {
            return true;
        }
        for (const QString& name : folder->fileNames({kFramePattern})) {
            if (list.findItemByFileName(folder->path() + name).index < 0) {
                folder->removeFile(name);
            }
        }
        return true;
    });
}

qint32 getAnimationFileCount(Log& log, const FolderHandle* folder, QString& zipOut) {
    return adaTrapped(log, QStringLiteral("getAnimationFileCount"), qint32(0), [&] {
        if (folder == nullptr) {
            return qint32(0);
        }
        const QStringList frames = folder->fileNames({kFramePattern});
        if (!frames.isEmpty() && isPlainZip(zipPartOf(frames.first()))) {
            zipOut = zipPartOf(frames.first());
        }
        return qint32(frames.size());
    });
}

void purgeStaleCacheWrites(Log& log, const FolderHandle* folder) {
    trappedVoid(log, QStringLiteral("purgeStaleCacheWrites"), [&] {
        if (folder == nullptr) {
            return;
        }
        for (const QString& name :
             folder->fileNames({QString(kCacheWritePrefix) + QLatin1Char('*')})) {
            folder->removeFile(name);
        }
    });
}

} // namespace nimbuscope
