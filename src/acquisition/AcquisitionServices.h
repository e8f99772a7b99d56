#pragma once

#include "retrieval/CacheFiles.h"
#include "support/DateTime.h"

#include <QString>

#include <array>
#include <functional>
#include <memory>

namespace nimbuscope {

class Clock;
class DisplayList;
class Log;
class PageRetriever;
class PassReport;
class RegistryValues;
class RetrieverSlot;
class SystemUtils;
struct SaverRunState;

/// What the download pass works with. The saver window owns all of it and outlives the
/// `AcquireDataAsync` built from it.
struct AcquisitionServices {
    /// Where the pass says what changed; the window shows it.
    PassReport& report;
    SaverRunState& state;
    DisplayList& list;
    RegistryValues& settings;
    Log& log;
    const Clock& clock;
    SystemUtils& sys;
    /// The window's page-retrieval component; may be empty (the pass is then refused).
    RetrieverSlot& myHTTPRetrieve;
    /// Ends the saver and does not return, except when a 9x password is refused. A test
    /// seam must unwind with something that is not a std::exception, so that no error trap
    /// of the pass catches it and no statement after the end runs.
    std::function<void(bool skipCleanup)> endProgram;
    /// Lets pending window messages run.
    std::function<void()> doEvents;
    /// The handle of the cache folder the saver made at `dataDirectory` (ending in a
    /// separator), or null when it made none there: the pass then writes, reads and deletes
    /// no cache file.
    std::function<std::shared_ptr<const FolderHandle>(const QString& dataDirectory)> cacheFolderAt;
    /// How a cache file's bytes reach its temporary file; empty writes them all at once.
    /// Tests fail it half-way.
    CacheWriteBody writeBody = {};
};

/// The module state of the download pass.
struct DownloadPassState {
    /// The step just run met a network problem.
    bool gbNetworkProblem = false;
    /// Passes in a row that ended in a network problem.
    qint32 networkProblemCount = 0;

    bool zipCityDone = false;
    bool currentConditionsDone = false;
    bool shortRangeListDone = false;
    bool longRangeListDone = false;
    bool radarImagesDone = false;
    bool zipCityRequestActive = false;
    bool currentConditionsRequestActive = false;
    bool shortRangeListRequestActive = false;
    bool longRangeListRequestActive = false;
    qint32 zipCityRetryCount = 0;
    /// Frame transfers of this pass that brought a frame, and those that failed.
    qint32 framesFetched = 0;
    qint32 framesFailed = 0;

    /// Local time the pass was reset, and the longest it may take in seconds.
    DateTime cycleStartTime;
    qint32 maxDurationEstimate = 0;

    /// The cache folder of the pass, always ending in a separator, and its handle (null
    /// without a cache).
    QString dataDirectory;
    std::shared_ptr<const FolderHandle> dataFolder;
    bool refreshLocation = false;
    /// Frames come from the alternate regional server.
    bool useAlternateRegion = false;
    /// "Nimbuscope for ...", shown in DownloadInfoChannelName.
    QString windowTitle;

    /// Carried from the location page to the conditions picture.
    QString locationPage;
    QString currentConditionsImgURL;
    QString gsRadarURLListURL;
    /// When the last conditions picture arrived (the timer cycle sets and reads it too).
    DateTime lastConditionsTime;

    /// The display shows the cached lists' frames, which the pass replaces list by list.
    bool showingCachedFrames = false;
    /// The lists of this pass that replaced cached ones, by product.
    std::array<QString, 2> passListTexts;
};

} // namespace nimbuscope
