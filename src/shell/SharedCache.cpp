#include "shell/SharedCache.h"

#include "platform/InstanceLocks.h"
#include "support/Clock.h"

#include <QDir>
#include <QFileInfo>

namespace nimbuscope {

namespace {

constexpr double kMsPerDay = 86400000.0;

} // namespace

QByteArray cacheStamp(const QString& dataDirectory) {
    QByteArray stamp;
    // Hidden files are writes under way; their finished file appears by a rename.
    const QFileInfoList files =
        QDir(dataDirectory).entryInfoList(QDir::Files | QDir::NoDotAndDotDot, QDir::Name);
    for (const QFileInfo& file : files) {
        stamp += file.fileName().toUtf8() + ' ' + QByteArray::number(file.size()) + ' ' +
                 QByteArray::number(file.lastModified().toMSecsSinceEpoch()) + '\n';
    }
    return stamp;
}

SharedCache::SharedCache(InstanceLocks& locks, const Clock& clock) : locks_(locks), clock_(clock) {}

SharedCache::~SharedCache() = default;

bool SharedCache::takeDownloads() {
    if (hold_) {
        return true;
    }
    const QString name = QString::fromLatin1(kDownloadLockName);
    // The plain look passes no gate: a copy that follows asks on every tick.
    if (!locks_.isHeld(name)) {
        hold_ = locks_.acquireIfFree(name);
    }
    return hold_ != nullptr;
}

bool SharedCache::changedSinceLastLook(const QString& dataDirectory) {
    const DateTime now = clock_.now();
    const double sinceMs = (now.days() - lastLook_.days()) * kMsPerDay;
    const bool first = !looked_;
    // A clock set back counts as time enough.
    if (!first && sinceMs >= 0 && sinceMs < double(kLookIntervalMs)) {
        return false;
    }
    looked_ = true;
    lastLook_ = now;
    QByteArray stamp = cacheStamp(dataDirectory);
    const bool changed = first || stamp != lastStamp_;
    lastStamp_ = std::move(stamp);
    return changed;
}

} // namespace nimbuscope
