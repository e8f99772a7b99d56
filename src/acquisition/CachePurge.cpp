#include "acquisition/CachePurge.h"

#include "acquisition/AdaTrap.h"
#include "acquisition/CacheFiles.h"
#include "display/DisplayList.h"
#include "support/FileUtils.h"
#include "support/Log.h"

#include <QFile>

namespace nimbuscope {

namespace {

const QString kFramePattern = QStringLiteral("*.noaa");

void removeCacheFile(const QString& folder, const QString& name) {
    // A name that could not be deleted stays; the next purge tries again.
    QFile::remove(joinPath(folder, name));
}

} // namespace

void purgeOtherZipcodeCachedItems(Log& log, const QString& folder, const QString& zip) {
    adaTrapped(log, QStringLiteral("purgeOtherZipcodeCachedItems"), true, [&] {
        if (folder.isEmpty()) {
            return true;
        }
        if (!isPlainZip(zip)) {
            log.logDebug(QStringLiteral("purgeOtherZipcodeCachedItems: no plain zip code (") + zip +
                         QStringLiteral("), nothing purged"));
            return true;
        }
        const QString ownPrefix = zip + QLatin1Char('.');
        for (const char* pattern : {"*.jpg", "*.noaa", "*.txt"}) {
            for (const QString& name : cacheFileNames(folder, {QString::fromLatin1(pattern)})) {
                if (!name.startsWith(ownPrefix)) {
                    removeCacheFile(folder, name);
                }
            }
        }
        return true;
    });
}

void purgeNonDisplayListItems(Log& log, const DisplayList& list, const QString& folder) {
    adaTrapped(log, QStringLiteral("purgeNonDisplayListItems"), true, [&] {
        if (folder.isEmpty()) {
            return true;
        }
        for (const QString& name : cacheFileNames(folder, {kFramePattern})) {
            if (list.findItemByFileName(joinPath(folder, name)).index < 0) {
                removeCacheFile(folder, name);
            }
        }
        return true;
    });
}

qint32 getAnimationFileCount(Log& log, const QString& folder, QString& zipOut) {
    return adaTrapped(log, QStringLiteral("getAnimationFileCount"), qint32(0), [&] {
        if (folder.isEmpty()) {
            return qint32(0);
        }
        const QStringList frames = cacheFileNames(folder, {kFramePattern});
        if (!frames.isEmpty() && isPlainZip(zipPartOf(frames.first()))) {
            zipOut = zipPartOf(frames.first());
        }
        return qint32(frames.size());
    });
}

void purgeStaleCacheWrites(Log& log, const QString& folder) {
    trappedVoid(log, QStringLiteral("purgeStaleCacheWrites"), [&] {
        if (folder.isEmpty()) {
            return;
        }
        for (const QString& name :
             cacheFileNames(folder, {QString(kCacheWritePrefix) + QLatin1Char('*')})) {
            removeCacheFile(folder, name);
        }
    });
}

} // namespace nimbuscope
