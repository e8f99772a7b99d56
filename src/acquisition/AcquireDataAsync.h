#pragma once

#include "acquisition/AcquisitionServices.h"

#include <QString>

namespace nimbuscope {

struct RadarListParse;

/// One download pass of the saver: the location page, the current-conditions picture, the
/// frame list of each radar product and the missing frames, then the cache trimmed. The
/// pass never blocks: `getWeatherRadar` prepares it and enables the window's
/// AsyncDownloadTimer, whose every tick calls `AsyncDownloadManager` for one step.
/// Everything runs on the user-interface thread.
class AcquireDataAsync {
public:
    static constexpr int kRadarProductCount = 2;
    /// Steps of a pass on the download bar, and the pass's time limit in network
    /// time-outs: (2 products × 11 + 2).
    static constexpr qint32 kPassSteps = 2 * 11 + 2;
    /// The pass steps when the location page and the conditions picture are skipped.
    static constexpr qint32 kPassStepsWithoutLocation = kPassSteps - 2;
    /// The `channelIDs` bit that asks for the radar products.
    static constexpr qint32 kRadarChannelBit = 2;
    /// Failed location-page transfers a pass retries before going on without the page.
    static constexpr qint32 kZipCityRetries = 3;
    /// Fewer listed frames than this show "Radar partially unavailable".
    static constexpr qint32 kFewFrames = 18;
    /// The zip code the location load passes at start: nothing counts as changed.
    static constexpr QLatin1StringView kNoPreviousZip{"00000"};

    explicit AcquireDataAsync(AcquisitionServices services);
    AcquireDataAsync(const AcquireDataAsync&) = delete;
    AcquireDataAsync& operator=(const AcquireDataAsync&) = delete;

    /// Starts a pass in `dataDirectory` (the cache folder). `shownZipcode` is the window's
    /// `zipcode` member: unless `zipcode` differs from it and from "00000" (the location load
    /// at start), it is set to the zip code of the cached frames, and left alone when none
    /// is cached. The pass start deletes the cached files of every location but the zip code
    /// setting's. True when the pass was refused (offline, or no retrieval component).
    bool getWeatherRadar(QString& shownZipcode, const QString& dataDirectory, bool refreshLocation,
                         const QString& zipcode);
    /// One step of the running pass; the AsyncDownloadTimer tick calls it. Each statement
    /// group (a step, a transfer call, a change to the controls) runs under its own trap: an
    /// error is written as "ERROR :: AsyncDownloadManager :: ..." and the next group runs.
    /// The steps trap their own errors under their own names.
    void AsyncDownloadManager();
    /// Clears the pass flags and restarts its clock.
    void resetDownloadCycle();
    /// Shows the time span the listed frames cover, sizes bar 1 and records the cycle
    /// counts of SaverRunState.
    void updateCurrentRadarTimes();

    // The steps, one call each per tick; AsyncDownloadManager runs them in order.
    void AsyncZipCityDownloadManager();
    void AsyncCurrentConditionsImageDownloadManager();
    void AsyncRadarURLListDownloadManager(const QString& product, const QString& caption,
                                          bool& requestActive, bool& done);
    /// Adds one display item per listed (and still fresh cached) frame; true when the parse
    /// ran to its end. An empty `listText` is read from the cached list.
    bool parseRadarListItems(QString& listText, const QString& product, const QString& caption,
                             const QString& zipcode, const QString& dataDirectory);
    void AsyncRadarImageDownloadManager();

    /// Fills the display from the cached lists of the location in `dataDirectory`, with the
    /// cached frames that are not stale: radar to show at once, without the network. A pass
    /// started before keeps them on screen until its own lists replace them. True when an
    /// active frame is listed.
    bool showCachedFrames(const QString& dataDirectory);

    qint32 networkProblemCount() const { return pass_.networkProblemCount; }
    /// The Enter key and the window load set it to 0.
    void setNetworkProblemCount(qint32 count) { pass_.networkProblemCount = count; }
    const QString& windowTitle() const { return pass_.windowTitle; }
    /// The location load sets the title before the first pass.
    void setWindowTitle(const QString& title) { pass_.windowTitle = title; }
    DateTime lastConditionsTime() const { return pass_.lastConditionsTime; }
    void setLastConditionsTime(DateTime t) { pass_.lastConditionsTime = t; }
    bool gbNetworkProblem() const { return pass_.gbNetworkProblem; }
    const DownloadPassState& passState() const { return pass_; }

private:
    // Branches of AsyncDownloadManager.
    void resetBranch();
    void problemBranch();
    bool timeLimitBranch();
    void locationBranch();
    void conditionsBranch();
    void listBranch(int product);
    void framesBranch();
    void finishBranch();
    /// Runs one statement group of AsyncDownloadManager; its error is logged and skipped.
    template <typename Body> void resume(Body&& body);

    PageRetriever& retriever();
    bool radarChannelOn();
    void showWindowTitle();
    /// Starts a transfer; a refused request writes `refusedLine` + the answer and ends the
    /// saver. True when the transfer runs.
    bool startTransfer(const QString& address, const QString& refusedLine);
    enum class Transfer { Running, Failed, Done };
    /// Polls a transfer. A failed one is freed, writes its line to the error log under
    /// `procedure` (and `failureLine` to the debug log, when given) and marks the pass's
    /// network problem; a finished one hands over its body and is freed.
    Transfer collectTransfer(const QString& procedure, const QString& address, QByteArray& body,
                             const QString& failureLine = {});
    /// Replaces a cache file; a failure is logged under `trapName` and gives false.
    bool writeCache(const QString& trapName, const QString& path, const QByteArray& bytes);

    // Parts of getWeatherRadar.
    void sizeDownloadBar(QString& shownZipcode, const QString& zipcode);
    // Parts of the location step.
    void storeLocationStatics(const QString& address);
    void showConditions();
    // Parts of the list and frame steps.
    /// The servers list lines may name frames on: the national radar server's and the
    /// frame template's.
    QStringList ownServers();
    void addPlannedItems(const RadarListParse& parse, const QString& dataDirectory);
    void preloadPicture(qint16 index, const QString& fileName);
    bool collectFrame();
    void startNextFrame();
    void finishRadarImages();
    // The display built from cached lists (CachedFrames.cpp).
    void replaceCachedFrames(int product, const QString& listText);
    /// Rebuilds the display from `listTexts` by product, an empty text standing for the
    /// product's cached list in `folder`; only the product `arrived` counts on the download
    /// bar.
    void rebuildDisplay(const QString& folder,
                        const std::array<QString, kRadarProductCount>& listTexts, int arrived);

    AcquisitionServices s_;
    DownloadPassState pass_;
};

} // namespace nimbuscope
