#include "retrieval/CacheFiles.h"

#include "support/Error.h"

namespace nimbuscope {

namespace {

constexpr char16_t kLastControlChar = 0x1F;
constexpr char16_t kDelete = 0x7F;

bool endsWithSeparator(const QString& folder) {
    return folder.endsWith(QLatin1Char('/')) || folder.endsWith(QLatin1Char('\\'));
}

} // namespace

bool isPlainZip(const QString& zip) {
    if (zip.isEmpty()) {
        return false;
    }
    for (const QChar c : zip) {
        const char16_t u = c.unicode();
        const bool plain =
            (u >= u'0' && u <= u'9') || (u >= u'a' && u <= u'z') || (u >= u'A' && u <= u'Z');
        if (!plain) {
            return false;
        }
    }
    return true;
}

bool isPlainCacheName(const QString& name) {
    if (name.isEmpty() || name.contains(QStringLiteral(".."))) {
        return false;
    }
    for (const QChar c : name) {
        const char16_t u = c.unicode();
        if (u <= kLastControlChar || u == kDelete || u == u'/' || u == u'\\') {
            return false;
        }
    }
    return true;
}

bool isCacheFileIn(const QString& folder, const QString& path) {
    if (!endsWithSeparator(folder) || !path.startsWith(folder)) {
        return false;
    }
    const QString name = path.mid(folder.size());
    return isPlainCacheName(name) && name.contains(QLatin1Char('.')) && isPlainZip(zipPartOf(name));
}

QString zipPartOf(const QString& cacheName) {
    const qsizetype dot = cacheName.indexOf(QLatin1Char('.'));
    return dot < 0 ? cacheName : cacheName.left(dot);
}

void replaceCacheFile(const FolderHandle* folder, const QString& path, const QByteArray& bytes,
                      const CacheWriteBody& writeBody) {
    if (folder == nullptr) {
        throw Error::of(err::PathFileAccessError);
    }
    if (!isCacheFileIn(folder->path(), path)) {
        throw Error::of(err::BadFileNameOrNumber);
    }
    // The temporary name cannot be taken for a cached frame, list or picture: it starts
    // with a dot and carries none of their endings.
    if (!folder->replaceFile(path.mid(folder->path().size()), bytes, writeBody)) {
        throw Error::of(err::PathFileAccessError);
    }
}

QStringList cacheFileNames(const FolderHandle* folder, const QStringList& patterns) {
    return folder == nullptr ? QStringList() : folder->fileNames(patterns);
}

QByteArray readCacheFile(const FolderHandle* folder, const QString& path) {
    if (folder == nullptr || !isCacheFileIn(folder->path(), path)) {
        return {};
    }
    return folder->readFile(path.mid(folder->path().size()), kMaxCacheFileBytes)
        .value_or(QByteArray());
}

} // namespace nimbuscope
