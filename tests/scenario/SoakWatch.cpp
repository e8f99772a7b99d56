#include "SoakWatch.h"

#include "pictures/DisplayList.h"
#include "pictures/DisplayListImages.h"

#include <QApplication>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QRegularExpression>

#include <malloc.h>
#include <unistd.h>

namespace nimbuscope::test {

namespace {

constexpr int kMaxItems = 299;
constexpr int kViolationsKept = 40;
constexpr qint64 kFolderCheckEveryMs = 60'000;

// The names the saver gives its cache files: the zip code of the location, then a frame of a
// product, a product's frame list, or the current-conditions picture.
const QRegularExpression kCacheName(QStringLiteral(
    R"(^([0-9]{5})\.(currentConditions\.jpg|(DS\.p19r0|DS\.p20-r)\.(loop\.txt|[^/]+\.noaa))$)"));

qint64 residentKb() {
    QFile statm(QStringLiteral("/proc/self/statm"));
    if (!statm.open(QIODevice::ReadOnly)) {
        return -1;
    }
    const QList<QByteArray> fields = statm.readAll().split(' ');
    return fields.size() > 1 ? fields[1].toLongLong() * (::sysconf(_SC_PAGESIZE) / 1024) : -1;
}

int openFiles() {
    return int(QDir(QStringLiteral("/proc/self/fd"))
                   .entryList(QDir::AllEntries | QDir::System | QDir::NoDotAndDotDot)
                   .size());
}

} // namespace

SoakWatch::SoakWatch(ScenarioRig& rig, int maxRetries) : rig_(rig), maxRetries_(maxRetries) {}

void SoakWatch::begin() {
    QDirIterator it(rig_.world.root(), QDir::Files | QDir::Hidden | QDir::System,
                    QDirIterator::Subdirectories);
    while (it.hasNext()) {
        filesBefore_.insert(it.next());
    }
    wasRunning_ = passRunning();
    passesStartedSeen_ = rig_.passesStarted.size();
}

void SoakWatch::violation(const QString& what) {
    if (++violationCount <= kViolationsKept) {
        violations.append(QStringLiteral("at %1 s: %2").arg(rig_.nowMs() / 1000).arg(what));
    }
}

bool SoakWatch::passRunning() const {
    return rig_.downloading() || rig_.window().controls().AsyncDownloadTimer->isEnabled();
}

void SoakWatch::afterTick(VirtualTimer& timer) {
    ++ticksChecked;
    const qint32 items = rig_.window().displayList().numDLitems();
    if (items > kMaxItems) {
        violation(QStringLiteral("%1 display-list items").arg(items));
    }
    const bool passStarted = rig_.passesStarted.size() != passesStartedSeen_;
    passesStartedSeen_ = rig_.passesStarted.size();
    const bool running = passRunning();
    if (wasRunning_ && !running) {
        passEnded();
    }
    wasRunning_ = running;

    const bool offline = rig_.state().offlineMode;
    if (offline != (failedInARow_ > maxRetries_)) {
        violation(QStringLiteral("offline %1 after %2 failed passes in a row")
                      .arg(offline ? "on" : "off")
                      .arg(failedInARow_));
    }
    if (offline && wasOffline_ && passStarted) {
        violation(QStringLiteral("a pass started while offline"));
    }
    timesOffline += offline && !wasOffline_ ? 1 : 0;
    wasOffline_ = offline;

    // Files are written by the download steps and deleted when a pass starts; the folders
    // are also looked at once a simulated minute whatever ran, to catch any other writer.
    if (&timer == rig_.window().controls().AsyncDownloadTimer || passStarted ||
        rig_.nowMs() >= nextFolderCheckMs_) {
        nextFolderCheckMs_ = rig_.nowMs() + kFolderCheckEveryMs;
        ++folderChecks;
        checkCacheFolder();
        checkNoStrayFiles();
    }
}

void SoakWatch::passEnded() {
    ++passesEnded;
    const bool failed = rig_.shown(QStringLiteral("NetworkProblem"));
    failedInARow_ = failed ? failedInARow_ + 1 : 0;
    passesFailed += failed ? 1 : 0;
    longestFailureRun = std::max(longestFailureRun, failedInARow_);
}

void SoakWatch::checkCacheFolder() {
    const QStringList names =
        QDir(rig_.dataFolder())
            .entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot);
    QString zip;
    for (const QString& name : names) {
        const QRegularExpressionMatch match = kCacheName.match(name);
        if (!match.hasMatch()) {
            violation(QStringLiteral("cache holds a file it never named: ") + name);
            continue;
        }
        if (zip.isEmpty()) {
            zip = match.captured(1);
        } else if (match.captured(1) != zip) {
            violation(QStringLiteral("cache holds two locations: %1 and %2").arg(zip, name));
        }
    }
}

void SoakWatch::checkNoStrayFiles() {
    const QString data = QDir::cleanPath(rig_.dataFolder()) + QLatin1Char('/');
    QDirIterator it(rig_.world.root(), QDir::Files | QDir::Hidden | QDir::System,
                    QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString path = it.next();
        if (!path.startsWith(data) && !filesBefore_.contains(path)) {
            violation(QStringLiteral("file outside the cache folder: ") + path);
            filesBefore_.insert(path); // reported once
        }
    }
}

SoakSample SoakWatch::sample(int hour) const {
    SoakSample s;
    s.hour = hour;
    s.objects =
        int(rig_.window().findChildren<QObject*>().size() + QApplication::topLevelWidgets().size());
    const DisplayList& list = rig_.window().displayList();
    QSet<const void*> counted;
    qint64 pictureBytes = 0;
    for (int i = 0; i < list.numDLitems(); ++i) {
        const KeptPicture picture = list.picture(i);
        s.pictures += picture.isNull() ? 0 : 1;
        if (!picture.isNull() && !counted.contains(picture.identity())) {
            counted.insert(picture.identity());
            pictureBytes += picture.byteCount();
        }
    }
    // Summed before rounding: a packed frame is only a few kilobytes.
    s.pictureKb = pictureBytes / 1024;
    s.pictures += list.images().hasBackup() ? list.images().backupCount() : 0;
    s.cachedFiles = int(QDir(rig_.dataFolder()).entryList(QDir::Files).size());
    s.residentKb = residentKb();
    s.heapKb = qint64(::mallinfo2().uordblks / 1024);
    s.openFiles = openFiles();
    s.serviceFrames = int(rig_.network.site().cachedFrames());
    return s;
}

} // namespace nimbuscope::test
