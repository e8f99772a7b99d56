#include "acquisition/CacheFiles.h"

#include "support/Error.h"

#include <QDir>
#include <QFile>
#include <QTemporaryFile>

#include <filesystem>
#include <system_error>

namespace nimbuscope {

namespace {

constexpr char16_t kLastControlChar = 0x1F;
constexpr char16_t kDelete = 0x7F;

std::filesystem::path nativePath(const QString& path) {
    return std::filesystem::path(QFile::encodeName(path).toStdString());
}

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

void replaceCacheFile(const QString& folder, const QString& path, const QByteArray& bytes,
                      const CacheWriteBody& writeBody) {
    if (!isCacheFileIn(folder, path)) {
        throw Error::of(err::BadFileNameOrNumber);
    }
    // The temporary name cannot be taken for a cached frame, list or picture: it starts
    // with a dot and carries none of their endings.
    QTemporaryFile temporary(folder + kCacheWritePrefix + QStringLiteral("XXXXXX"));
    if (!temporary.open()) {
        throw Error::of(err::PathFileAccessError);
    }
    const qint64 written = writeBody ? writeBody(temporary, bytes) : temporary.write(bytes);
    if (written != bytes.size() || !temporary.flush()) {
        throw Error::of(err::PathFileAccessError);
    }
    temporary.close();
    // rename(2) replaces the old file in one step: readers see the old bytes or the new.
    std::error_code failed;
    std::filesystem::rename(nativePath(temporary.fileName()), nativePath(path), failed);
    if (failed) {
        throw Error::of(err::PathFileAccessError);
    }
    temporary.setAutoRemove(false);
}

QStringList cacheFileNames(const QString& folder, const QStringList& patterns) {
    if (folder.isEmpty()) {
        return {};
    }
    const QDir dir(folder);
    return dir.entryList(patterns, QDir::Files | QDir::Hidden | QDir::NoSymLinks,
                         QDir::Name | QDir::IgnoreCase);
}

QByteArray readCacheFile(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        return {};
    }
    return file.readAll();
}

} // namespace nimbuscope
