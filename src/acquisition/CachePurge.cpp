#include "acquisition/CachePurge.h"

#include "acquisition/AdaTrap.h"
#include "pictures/DisplayList.h"
#include "retrieval/CacheFiles.h"
#include "support/FolderHandle.h"
#include "support/Log.h"

#include <algorithm>
#include <numeric>

namespace nimbuscope {

namespace {

const QString kFramePattern = QStringLiteral("*.noaa");

bool writtenEarlier(const FolderHandle::Entry& a, const FolderHandle::Entry& b) {
    if (a.modified.tv_sec != b.modified.tv_sec) {
        return a.modified.tv_sec < b.modified.tv_sec;
    }
    if (a.modified.tv_nsec != b.modified.tv_nsec) {
        return a.modified.tv_nsec < b.modified.tv_nsec;
    }
    return a.name < b.name;
}

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

qint32 purgeCacheToBudget(Log& log, DisplayList& list, const FolderHandle* folder, qint64 budget) {
    return trapped(log, QStringLiteral("purgeCacheToBudget"), qint32(0), [&] {
        if (folder == nullptr) {
            return qint32(0);
        }
        std::vector<FolderHandle::Entry> files = folder->files();
        qint64 total = std::accumulate(files.begin(), files.end(), qint64(0),
                                       [](qint64 sum, const auto& e) { return sum + e.size; });
        if (total <= budget) {
            return qint32(0);
        }
        std::sort(files.begin(), files.end(), writtenEarlier);
        qint32 deleted = 0;
        for (const FolderHandle::Entry& file : files) {
            if (total <= budget) {
                break;
            }
            if (!file.name.endsWith(QLatin1String(".noaa"), Qt::CaseInsensitive) ||
                !folder->removeFile(file.name)) {
                continue;
            }
            total -= file.size;
            ++deleted;
            if (const qint16 index = list.findItemByFileName(folder->path() + file.name).index;
                index >= 0) {
                list.setItemActiveFlag(index, false);
            }
        }
        log.logError(QStringLiteral("purgeCacheToBudget :: the cache passed its budget of ") +
                     QString::number(budget) +
                     QStringLiteral(" bytes; the oldest frames were deleted"));
        return deleted;
    });
}

} // namespace nimbuscope
