#include "acquisition/AcquireDataAsync.h"

#include "acquisition/AdaTrap.h"
#include "acquisition/LocationPage.h"
#include "acquisition/PassReport.h"
#include "pictures/SaverRunState.h"
#include "retrieval/PageRetriever.h"
#include "settings/RegistryValues.h"
#include "support/Log.h"
#include "support/StringUtils.h"

namespace nimbuscope {

namespace {

LocationPageConfig locationPageConfig(RegistryValues& settings) {
    return {settings.getServiceDomain(), settings.getAlternateServerURL(),
            settings.getTemplateURL()};
}

} // namespace

void AcquireDataAsync::AsyncZipCityDownloadManager() {
    adaTrapped(s_.log, QStringLiteral("AsyncZipCityDownloadManager"), true, [&] {
        if (pass_.zipCityDone) {
            return true;
        }
        Log& log = s_.log;
        RegistryValues& settings = s_.settings;
        const QString address =
            locationQueryURL(settings.getCurrentConditionsURL(), settings.getForecastServerURL(),
                             settings.getZipCode());
        if (!pass_.zipCityRequestActive) {
            pass_.zipCityRequestActive = true;
            log.logDebug(QStringLiteral("AsyncZipCityDownloadManager: RetrieveAsync(") + address +
                         QLatin1Char(')'));
            startTransfer(address, QStringLiteral("AsyncZipCityDownloadManager: error"));
            return true;
        }
        const qint16 status = retriever().RetrieveAsyncCompleted(address);
        if (status == PageRetriever::Running) {
            return true;
        }
        if (status != PageRetriever::Done) {
            log.logError(transferFailureLine(QStringLiteral("AsyncZipCityDownloadManager"), address,
                                             status));
            retriever().FreePage(address);
            pass_.gbNetworkProblem = true;
            log.logDebug(QStringLiteral("AsyncZipCityDownloadManager: dlerror") +
                         QString::number(status));
            return true;
        }
        pass_.locationPage = locationPageText(retriever().RetrieveAsyncPage(address));
        const bool errorPage = isLocationErrorPage(pass_.locationPage);
        // An error page's address is not the location's page: keeping it would send every
        // later pass to the error.
        if (isLocationQuery(address) && !errorPage) {
            storeLocationStatics(address);
        }
        retriever().FreePage(address);
        if (errorPage) {
            pass_.zipCityRequestActive = false;
            pass_.gbNetworkProblem = true;
            return true;
        }
        showConditions();
        showWindowTitle();
        pass_.zipCityDone = true;
        s_.report.advanceDownload();
        return true;
    });
}

void AcquireDataAsync::storeLocationStatics(const QString& address) {
    RegistryValues& settings = s_.settings;
    // Only a page that makes a usable location replaces the stored one, its address included:
    // another page's address would send every later pass to that page.
    const std::optional<LocationStatics> statics =
        usableLocationStatics(pass_.locationPage, locationPageConfig(settings), s_.log);
    if (!statics) {
        s_.log.logDebug(QStringLiteral("ADA:AZCDM: parse statics failed"));
        return;
    }
    const QByteArray finalURL = retriever().GetResultURL(address);
    // An array whose upper bound is not above 0 names no address.
    settings.saveCurrentConditionsURL(finalURL.size() > 1 ? ansiToText(finalURL) : QString());
    settings.saveTemplateURL(statics->templateURL);
    settings.saveCityState(statics->cityState);
    s_.state.zipcodeIsValid = true;
}

void AcquireDataAsync::showConditions() {
    QString imageURL;
    QString forecast;
    qint16 temperature = kNoTemperature;
    parseZipCityDynamics(pass_.locationPage, imageURL, forecast, temperature,
                         locationPageConfig(s_.settings), s_.log);
    pass_.currentConditionsImgURL = imageURL;
    const ConditionsCaptions captions = conditionsCaptions(temperature, forecast);
    s_.report.showConditions(captions.currentTempF, captions.currentConditions);
    if (!captions.debugLine.isEmpty()) {
        s_.log.logDebug(captions.debugLine);
    }
}

} // namespace nimbuscope
