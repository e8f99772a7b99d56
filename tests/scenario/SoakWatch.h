#pragma once

#include "ScenarioRig.h"

#include <QList>
#include <QSet>
#include <QString>
#include <QStringList>

namespace nimbuscope::test {

/// What the saver holds at one moment; compared from one simulated period to the next.
struct SoakSample {
    int hour = 0;
    int objects = 0;      // Qt objects of the window and top-level widgets
    int pictures = 0;     // decoded frames in the display list and its backup
    qint64 pictureKb = 0; // the bytes of the list's decoded frames
    int cachedFiles = 0;  // files in the cache folder
    qint64 residentKb = 0;
    qint64 heapKb = 0; // allocated and not freed
    int openFiles = 0;
    int serviceFrames = 0; // frames the simulated service keeps rendered (the rig's memory)
};

/// Checks, after every timer tick of a long scenario, the rules that must hold at all times:
/// the display list's limit, the cache folder's contents, no file outside it, and the switch
/// to offline mode exactly after one failed pass more than the retries allowed.
class SoakWatch {
public:
    SoakWatch(ScenarioRig& rig, int maxRetries);

    /// Remembers the files that exist before the saver starts.
    void begin();
    void afterTick(VirtualTimer& timer);
    /// The user pressed Enter while offline: the count of failed passes starts again.
    void enterPressed() { failedInARow_ = 0; }

    SoakSample sample(int hour) const;

    /// The first violations seen (at most a few dozen) and how many there were in all.
    QStringList violations;
    int violationCount = 0;
    int passesEnded = 0;
    int passesFailed = 0;
    int longestFailureRun = 0;
    int timesOffline = 0;
    int ticksChecked = 0;
    int folderChecks = 0;

private:
    void violation(const QString& what);
    void checkCacheFolder();
    void checkNoStrayFiles();
    void passEnded();
    bool passRunning() const;

    ScenarioRig& rig_;
    const int maxRetries_;
    QSet<QString> filesBefore_;
    bool wasRunning_ = false;
    bool wasOffline_ = false;
    int failedInARow_ = 0;
    qsizetype passesStartedSeen_ = 0;
    qint64 nextFolderCheckMs_ = 0;
};

} // namespace nimbuscope::test
