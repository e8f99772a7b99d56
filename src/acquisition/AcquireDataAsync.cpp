#include "acquisition/AcquireDataAsync.h"

#include "acquisition/AdaTrap.h"
#include "acquisition/CachePurge.h"
#include "acquisition/FrameList.h"
#include "acquisition/LocationPage.h"
#include "acquisition/PassReport.h"
#include "pictures/DisplayList.h"
#include "pictures/SaverRunState.h"
#include "retrieval/PageRetriever.h"
#include "settings/RegistryValues.h"
#include "support/Clock.h"
#include "support/Error.h"
#include "support/FileUtils.h"
#include "support/Log.h"

namespace nimbuscope {

namespace {

constexpr qint32 kMsPerSecond = 1000;
const QString kOk = QStringLiteral("ok");

} // namespace

AcquireDataAsync::AcquireDataAsync(AcquisitionServices services) : s_(std::move(services)) {}

template <typename Body> void AcquireDataAsync::resume(Body&& body) {
    // Only errors are skipped: the end of the program (not a std::exception) goes through.
    try {
        std::forward<Body>(body)();
    } catch (const std::exception& e) {
        logTrappedError(s_.log, QStringLiteral("AsyncDownloadManager"), asError(e));
    }
}

PageRetriever& AcquireDataAsync::retriever() {
    PageRetriever* made = s_.myHTTPRetrieve.get();
    if (made == nullptr) {
        throw Error::of(err::ObjectRequired);
    }
    return *made;
}

bool AcquireDataAsync::radarChannelOn() {
    return (s_.settings.getChannelIDs() & kRadarChannelBit) != 0;
}

void AcquireDataAsync::showWindowTitle() {
    pass_.windowTitle = nimbuscope::windowTitle(
        s_.settings.getCityState(), s_.settings.getLocationMode(), s_.settings.getZipCode());
    s_.report.showTitle(pass_.windowTitle);
}

bool AcquireDataAsync::startTransfer(const QString& address, const QString& refusedLine) {
    const QString answer = retriever().RetrieveAsync(address);
    if (answer == kOk) {
        return true;
    }
    s_.log.logDebug(refusedLine + answer);
    s_.endProgram(false);
    return false;
}

AcquireDataAsync::Transfer AcquireDataAsync::collectTransfer(const QString& procedure,
                                                             const QString& address,
                                                             QByteArray& body,
                                                             const QString& failureLine) {
    const qint16 status = retriever().RetrieveAsyncCompleted(address);
    if (status == PageRetriever::Running) {
        return Transfer::Running;
    }
    if (status != PageRetriever::Done) {
        s_.log.logError(transferFailureLine(procedure, address, status));
        if (!failureLine.isEmpty()) {
            s_.log.logDebug(failureLine);
        }
        retriever().FreePage(address);
        pass_.gbNetworkProblem = true;
        return Transfer::Failed;
    }
    body = retriever().RetrieveAsyncPage(address);
    retriever().FreePage(address);
    return Transfer::Done;
}

bool AcquireDataAsync::writeCache(const QString& trapName, const QString& path,
                                  const QByteArray& bytes) {
    try {
        replaceCacheFile(pass_.dataFolder.get(), path, bytes, s_.writeBody);
        return true;
    } catch (const std::exception& e) {
        logTrappedError(s_.log, trapName, asError(e));
        logAdaHandled(s_.log, trapName);
        return false;
    }
}

void AcquireDataAsync::resetDownloadCycle() {
    pass_.locationPage.clear();
    pass_.currentConditionsImgURL.clear();
    pass_.gsRadarURLListURL.clear();
    pass_.gbNetworkProblem = false;
    pass_.zipCityRetryCount = 0;
    pass_.framesFetched = pass_.framesFailed = 0;
    pass_.zipCityDone = pass_.currentConditionsDone = false;
    pass_.shortRangeListDone = pass_.longRangeListDone = pass_.radarImagesDone = false;
    pass_.zipCityRequestActive = pass_.currentConditionsRequestActive = false;
    pass_.shortRangeListRequestActive = pass_.longRangeListRequestActive = false;
    pass_.cycleStartTime = s_.clock.now();
    pass_.maxDurationEstimate = kPassSteps * s_.settings.getTimeout();
    pass_.showingCachedFrames = false;
    pass_.passListTexts = {};
}

// ----- getWeatherRadar -----

bool AcquireDataAsync::getWeatherRadar(QString& shownZipcode, const QString& dataDirectory,
                                       bool refreshLocation, const QString& zipcode) {
    return adaTrapped(s_.log, QStringLiteral("getWeatherRadar"), false, [&] {
        Log& log = s_.log;
        if (s_.state.offlineMode) {
            log.logDebug(QStringLiteral("getWeatherRadar: offline mode detected, returning..."));
            return true;
        }
        if (s_.myHTTPRetrieve.get() == nullptr) {
            log.logDebug(
                QStringLiteral("getWeatherRadar: myHTTPRetrieve is nothing, returning..."));
            return true;
        }
        if (!retriever().RetrieveIsActive({}).isEmpty() || s_.report.downloadBarShown()) {
            log.logDebug(QStringLiteral("getWeatherRadar: double up attempt, killing hung thread"));
            retriever().KillAsyncRetrieve({});
            log.logDebug(QStringLiteral("getWeatherRadar: double up attempt, killed hung thread"));
        }
        retriever().SetRcvTimeout(s_.settings.getTimeout() * kMsPerSecond);
        resetDownloadCycle();
        pass_.dataDirectory = dataDirectory;
        AdddDirSep(pass_.dataDirectory);
        pass_.dataFolder = s_.cacheFolderAt ? s_.cacheFolderAt(pass_.dataDirectory) : nullptr;
        pass_.useAlternateRegion = false;
        pass_.refreshLocation = refreshLocation;
        sizeDownloadBar(shownZipcode, zipcode);
        s_.report.showPassStart();
        log.logDebug(QStringLiteral("ADS: getWeatherRadar"));
        // Every name this pass writes starts with the zip code setting: those files are the
        // ones to keep, whatever location the cache held before.
        purgeOtherZipcodeCachedItems(log, pass_.dataFolder.get(), s_.settings.getZipCode());
        purgeStaleCacheWrites(log, pass_.dataFolder.get());
        if (s_.doEvents) {
            s_.doEvents();
        }
        s_.report.showImageInfo();
        s_.report.runSteps(true);
        return false;
    });
}

void AcquireDataAsync::sizeDownloadBar(QString& shownZipcode, const QString& zipcode) {
    PassReport& r = s_.report;
    r.setDownloadSteps(kPassSteps);
    if (!(zipcode != kNoPreviousZip && shownZipcode != zipcode)) {
        const qint32 count = getAnimationFileCount(s_.log, pass_.dataFolder.get(), shownZipcode);
        r.setDownloadSteps((pass_.refreshLocation ? kPassSteps : kPassStepsWithoutLocation) +
                           count);
    }
    if (!r.downloadBarShown()) {
        r.startDownloadSteps();
    }
}

// ----- AsyncDownloadManager -----

void AcquireDataAsync::AsyncDownloadManager() {
    if (s_.state.interruptedDownload) {
        resetBranch();
    }
    if (pass_.gbNetworkProblem) {
        problemBranch();
        return;
    }
    if (timeLimitBranch()) {
        return;
    }
    resume([&] {
        if (!s_.settings.getTemplateURL().isEmpty() && !pass_.refreshLocation &&
            !pass_.zipCityDone) {
            pass_.zipCityDone = true;
            pass_.currentConditionsDone = true;
        }
    });
    if (!pass_.zipCityDone) {
        locationBranch();
    } else if (!pass_.currentConditionsDone) {
        conditionsBranch();
    } else if (!pass_.shortRangeListDone) {
        listBranch(0);
    } else if (!pass_.longRangeListDone) {
        listBranch(1);
    } else if (!pass_.radarImagesDone) {
        framesBranch();
    } else {
        finishBranch();
    }
}

void AcquireDataAsync::resetBranch() {
    SaverRunState& st = s_.state;
    resume([&] { resetDownloadCycle(); });
    // The pass starts afresh, possibly for a location chosen while it ran: as at any pass
    // start, the cache keeps only the files of the location it downloads.
    resume([&] {
        purgeOtherZipcodeCachedItems(s_.log, pass_.dataFolder.get(), s_.settings.getZipCode());
    });
    resume([&] { s_.list.initDisplayList(true, st.preloadImages); });
    resume([&] { showWindowTitle(); });
    st.currentConditionsImgIsValid = false;
    st.zipcodeIsValid = true;
    st.interruptedDownload = false;
    resume([&] {
        s_.report.setDownloadStep(1);
        if (st.locationChanged) {
            s_.report.setDownloadSteps(kPassSteps);
        }
    });
}

void AcquireDataAsync::problemBranch() {
    Log& log = s_.log;
    ++pass_.networkProblemCount;
    resume([&] {
        s_.report.showRetries(pass_.networkProblemCount);
        log.logDebug(QStringLiteral("ASDM: gbNetworkProblem #") +
                     QString::number(pass_.networkProblemCount));
    });
    resume([&] {
        retriever().KillAsyncRetrieve({});
        log.logDebug(QStringLiteral("ASDM: killed any active retrieve thread"));
    });
    resume([&] {
        if (pass_.networkProblemCount > s_.settings.getMaxRetries()) {
            s_.state.offlineMode = true;
            log.logDebug(QStringLiteral("ASDM: Switching to offline mode"));
        }
    });
    // The display is rebuilt from the cached lists alone: items this pass already added
    // would otherwise appear twice.
    resume([&] { s_.list.initDisplayList(false, s_.state.preloadImages); });
    for (int i = 0; i < kRadarProductCount; ++i) {
        resume([&] {
            if (!radarChannelOn()) {
                return;
            }
            bool& done = i == 0 ? pass_.shortRangeListDone : pass_.longRangeListDone;
            bool& active =
                i == 0 ? pass_.shortRangeListRequestActive : pass_.longRangeListRequestActive;
            done = false;
            AsyncRadarURLListDownloadManager(kRadarProducts[i].id.toString(),
                                             kRadarProducts[i].caption.toString(), active, done);
        });
    }
    // The frames step is only settled, not run: a transfer started now would outlive the
    // pass that ends here.
    resume([&] {
        pass_.radarImagesDone = false;
        if (s_.list.images().hasBackup()) {
            s_.list.images().restore();
        }
        finishRadarImages();
    });
    resume([&] {
        s_.report.runSteps(false);
        // Offline, only Enter brings the downloads back: the window says so, frames cached or
        // not.
        s_.report.showNetworkProblem(s_.state.offlineMode);
    });
    resume([&] { s_.list.calculateAllCycleCounts(); });
    resume([&] { updateCurrentRadarTimes(); });
}

bool AcquireDataAsync::timeLimitBranch() {
    if (wholeSecondsBetween(pass_.cycleStartTime, s_.clock.now()) <= pass_.maxDurationEstimate) {
        return false;
    }
    s_.log.logDebug(QStringLiteral("ASDM: DateDiff exceeding max duration estimate"));
    pass_.gbNetworkProblem = true;
    return true;
}

void AcquireDataAsync::locationBranch() {
    s_.log.logDebug(QStringLiteral("ASDM: calling AsyncZipCityDownloadManager"));
    AsyncZipCityDownloadManager();
    if (!pass_.gbNetworkProblem) {
        return;
    }
    if (pass_.zipCityRetryCount < kZipCityRetries) {
        ++pass_.zipCityRetryCount;
        pass_.gbNetworkProblem = false;
        resume([&] { retriever().KillAsyncRetrieve({}); });
        // The retry sends the request again rather than polling the one that failed.
        pass_.zipCityRequestActive = false;
        return;
    }
    s_.log.logDebug(QStringLiteral("ASDM: ZipCity returned gbNetworkProblem"));
    pass_.gbNetworkProblem = false;
    pass_.zipCityDone = true;
    pass_.currentConditionsDone = true;
}

void AcquireDataAsync::conditionsBranch() {
    AsyncCurrentConditionsImageDownloadManager();
    if (pass_.gbNetworkProblem) {
        s_.log.logDebug(QStringLiteral("ASDM: CurrentConditionsImage returned gbNetworkProblem"));
        pass_.gbNetworkProblem = false;
        pass_.currentConditionsDone = true;
    }
}

void AcquireDataAsync::listBranch(int product) {
    bool& done = product == 0 ? pass_.shortRangeListDone : pass_.longRangeListDone;
    bool& active =
        product == 0 ? pass_.shortRangeListRequestActive : pass_.longRangeListRequestActive;
    resume([&] {
        if (radarChannelOn()) {
            AsyncRadarURLListDownloadManager(kRadarProducts[product].id.toString(),
                                             kRadarProducts[product].caption.toString(), active,
                                             done);
        } else {
            done = true;
        }
    });
    if (pass_.gbNetworkProblem) {
        s_.log.logDebug(product == 0 ? QStringLiteral("ASDM: DSp19r0 returned gbNetworkProblem")
                                     : QStringLiteral("ASDM: DSp20r returned gbNetworkProblem"));
    }
}

void AcquireDataAsync::framesBranch() {
    resume([&] {
        if (s_.list.images().hasBackup()) {
            s_.list.images().restore();
        }
    });
    AsyncRadarImageDownloadManager();
    if (pass_.gbNetworkProblem) {
        s_.log.logDebug(QStringLiteral("ASDM: RadarImagesDownload returned gbNetworkProblem"));
    }
}

void AcquireDataAsync::finishBranch() {
    Log& log = s_.log;
    log.logDebug(QStringLiteral("ADM: step 5, DL=") + QString::number(s_.list.numDLitems()));
    if (s_.list.numDLitems() == 0) {
        pass_.radarImagesDone = false;
        framesBranch();
        return;
    }
    if (!pass_.gbNetworkProblem) {
        resume([&] { purgeNonDisplayListItems(log, s_.list, pass_.dataFolder.get()); });
        if (pass_.networkProblemCount > 0) {
            log.logDebug(QStringLiteral(
                "ASDM: ======= Successfull Download, so resetting networkProblemCount ======="));
            pass_.networkProblemCount = 0;
        }
    } else {
        log.logDebug(QStringLiteral("ASDM: step5 purge somehow returned gbNetworkProblem"));
    }
    s_.report.runSteps(false);
    resume([&] { updateCurrentRadarTimes(); });
    log.logDebug(QStringLiteral("AcquireData:AsyncDownloadManager, complete"));
}

} // namespace nimbuscope
