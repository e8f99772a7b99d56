#include "acquisition/AcquireDataAsync.h"

#include "acquisition/AdaTrap.h"
#include "acquisition/CacheNames.h"
#include "acquisition/FrameList.h"
#include "acquisition/PassReport.h"
#include "pictures/DisplayList.h"
#include "pictures/FramePicture.h"
#include "pictures/ImageUtils.h"
#include "pictures/SaverRunState.h"
#include "retrieval/CacheFiles.h"
#include "retrieval/PageRetriever.h"
#include "settings/RegistryValues.h"
#include "support/Log.h"
#include "support/StringUtils.h"
#include "support/SystemUtils.h"

#include <QFileInfo>

namespace nimbuscope {

namespace {

const QString kStep = QStringLiteral("AsyncRadarURLListDownloadManager");

QString readListFile(const FolderHandle* folder, const QString& path) {
    return ansiToText(readCacheFile(folder, path));
}

} // namespace

QStringList AcquireDataAsync::ownServers() {
    return {serverOf(nationalRadarBase(s_.settings.getRadarServerURL())),
            serverOf(s_.settings.getTemplateURL())};
}

namespace {} // namespace

void AcquireDataAsync::AsyncRadarURLListDownloadManager(const QString& product,
                                                        const QString& caption, bool& requestActive,
                                                        bool& done) {
    adaTrapped(s_.log, kStep, true, [&] {
        if (done) {
            return true;
        }
        Log& log = s_.log;
        RegistryValues& settings = s_.settings;
        const QString zipcode = settings.getZipCode();
        const QString listFile = listCacheFileName(pass_.dataDirectory, zipcode, product);
        QString text;
        if (pass_.gbNetworkProblem) {
            // The network failed: the display is rebuilt from the cached list alone.
            if (!isCacheFileIn(pass_.dataDirectory, listFile) || !QFileInfo(listFile).isFile()) {
                return true;
            }
            text = readListFile(pass_.dataFolder.get(), listFile);
        } else if (!requestActive) {
            requestActive = true;
            pass_.gsRadarURLListURL =
                radarListURL(settings.getRadarServerURL(), settings.getTemplateURL(), product);
            const QString& address = pass_.gsRadarURLListURL;
            log.logDebug(QStringLiteral("ADA: AsyncRadarURLListDownloadManager: *** "
                                        "gsRadarURLListURL==") +
                         address);
            log.logDebug(QStringLiteral("AcquireData:ARURLMgr Initiating radar list download"));
            log.logDebug(QStringLiteral("AcquireData:ARURLMgr ") + address);
            startTransfer(address, kStep + QStringLiteral(": "));
            return true;
        } else {
            const QString& address = pass_.gsRadarURLListURL;
            QByteArray body;
            if (collectTransfer(kStep, address, body) != Transfer::Done) {
                return true;
            }
            log.logDebug(QStringLiteral("AcquireData:ARURLMgr Completed radar list download+free"));
            text = normaliseRadarList(ansiToText(body), settings.getTemplateURL(),
                                      settings.getRadarServerURL());
            // A page that names no frame at all is no list (a portal's or a proxy's page):
            // the cached list stays, and the pass ends as a network problem.
            if (text.size() > kMinParsedListLength && !hasFrameLine(text, ownServers())) {
                log.logError(QStringLiteral("ERROR :: ") + kStep +
                             QStringLiteral(" :: no frame in the list, the cached one is kept - ") +
                             loggableText(address));
                pass_.gbNetworkProblem = true;
                return true;
            }
            done = true;
            writeCache(kStep, listFile, textToAnsi(text));
            log.logDebug(QStringLiteral("ADA: AsyncRadarURLListDownloadManager: *** URLList==") +
                         text);
        }
        if (pass_.showingCachedFrames && !pass_.gbNetworkProblem) {
            // The cached frames on screen give way to this list's, the other product's stay.
            replaceCachedFrames(product == kRadarProducts[0].id ? 0 : 1, text);
            s_.report.advanceDownload();
            return true;
        }
        log.logDebug(QStringLiteral("ARURLLDM: calling parseRadarListItems: ") +
                     QString::number(text.size()));
        log.logDebug(QStringLiteral("ARURLLDM: ") + text);
        if (text.size() > kMinParsedListLength) {
            const bool parsed =
                parseRadarListItems(text, product, caption, zipcode, pass_.dataDirectory);
            log.logDebug(QStringLiteral("***** parseRadarListItems status=") + boolText(parsed));
        }
        s_.report.advanceDownload();
        return true;
    });
}

bool AcquireDataAsync::parseRadarListItems(QString& listText, const QString& product,
                                           const QString& caption, const QString& zipcode,
                                           const QString& dataDirectory) {
    return adaTrapped(s_.log, QStringLiteral("parseRadarListItems"), false, [&] {
        Log& log = s_.log;
        RegistryValues& settings = s_.settings;
        if (!isPlainZip(zipcode)) {
            log.logDebug(QStringLiteral("parseRadarListItems: no plain zip code (") + zipcode +
                         QStringLiteral("), nothing added"));
            return false;
        }
        if (listText.isEmpty()) {
            log.logDebug(
                QStringLiteral("parseRadarListItems - no preloaded URLs, looking for file..."));
            const QString listFile = listCacheFileName(dataDirectory, zipcode, product);
            if (!QFileInfo(listFile).isFile()) {
                return false;
            }
            listText = readListFile(pass_.dataFolder.get(), listFile);
        }
        RadarListInput input;
        input.listText = listText;
        input.product = product;
        input.caption = caption;
        input.zipcode = zipcode;
        input.dataDirectory = dataDirectory;
        input.templateURL = settings.getTemplateURL();
        input.cacheFileNames =
            cacheFileNames(pass_.dataFolder.get(), {zipcode + QLatin1Char('.') + product + "*.*"});
        input.gmtNow = s_.sys.getGMT();
        input.discardAfterMinutes = settings.getDiscardAfter();
        input.ownServers = ownServers();
        // The parse runs to its end without yielding: a tick run in between could change
        // the display list under it, and the parse is quick.
        const RadarListParse parse = parseRadarList(
            input, [&] { return settings.getZipCode() == zipcode; }, s_.clock, log);
        for (qint32 i = 0; i < parse.listedCachedCount; ++i) {
            s_.report.advanceDownload();
        }
        s_.report.restartAnimationBar(parse.displayProgressMaxAtLeast);
        for (const SkippedLine& skipped : parse.skipped) {
            log.logError(QStringLiteral("ERROR :: parseRadarListItems :: ") + skipped.reason +
                         QStringLiteral(", line skipped: ") + loggableText(skipped.line));
        }
        addPlannedItems(parse, dataDirectory);
        return parse.ok;
    });
}

void AcquireDataAsync::addPlannedItems(const RadarListParse& parse, const QString& dataDirectory) {
    DisplayList& list = s_.list;
    for (const FramePlanItem& item : parse.items) {
        // The parse takes plain frame names only; the folder is checked all the same.
        if (!isCacheFileIn(dataDirectory, item.fileName)) {
            s_.log.logDebug(QStringLiteral("parseRadarListItems: unsafe frame name skipped: ") +
                            frameNameOf(item.sourceName));
            continue;
        }
        const bool cached = QFileInfo(item.fileName).isFile();
        const bool added = list.addItem(item.fileName, item.caption, item.sourceName,
                                        item.cycleFlag, cached, !cached, item.radarID);
        if (cached && added && s_.state.preloadImages && !list.images().hasBackup() &&
            isCompleteImageFile(item.fileName)) {
            preloadPicture(qint16(list.numDLitems() - 1), item.fileName);
        }
        s_.report.advanceDownload();
    }
}

void AcquireDataAsync::preloadPicture(qint16 index, const QString& fileName) {
    try {
        // Packed when the frame has few colours: a long animation held in memory then needs
        // a fraction of the space.
        if (s_.list.setPicture(index, KeptPicture::compact(loadFramePicture(fileName)))) {
            s_.list.setPictureLoaded(index, true);
        }
    } catch (const std::exception& e) {
        // The frame stays listed; the presentation decodes it when its turn comes.
        logTrappedError(s_.log, QStringLiteral("parseRadarListItems"), asError(e));
    }
}

} // namespace nimbuscope
