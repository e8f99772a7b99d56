#include "acquisition/BridgeConfig.h"

#include "acquisition/CacheFiles.h"
#include "acquisition/PageRetriever.h"
#include "display/FramePresentation.h"
#include "settings/RegistryValues.h"
#include "support/FileUtils.h"

namespace nimbuscope {

BridgeConfig bridgeConfigFrom(RegistryValues& settings) {
    BridgeConfig c;
    c.enabled = settings.getLegacyFormsBridge() != 0;
    c.locationSearchURL = settings.getBridgeLocationSearchURL();
    c.apiURL = settings.getBridgeApiURL();
    c.mapServerURL = settings.getBridgeMapServerURL();
    c.stillsURL = settings.getBridgeStillsURL();
    c.noaaHosts = RegistryValues::defaultServiceHosts();
    c.storedLocationURL = [&settings] { return settings.getCurrentConditionsURL(); };
    c.noRadarPicture = [&settings] {
        return readRegularFile(joinPath(settings.getHomeDir(), FramePresentation::kFallbackPicture),
                               kMaxCacheFileBytes)
            .value_or(QByteArray());
    };
    return c;
}

QList<BaseMapping> bridgeBaseMappings(const BridgeConfig& config) {
    const BridgeConfig defaults;
    return {{defaults.apiURL, config.apiURL},
            {defaults.mapServerURL, config.mapServerURL},
            {defaults.stillsURL, config.stillsURL},
            {defaults.locationSearchURL, config.locationSearchURL}};
}

BridgeResult BridgeResult::answered(QByteArray body, const QString& finalUrl) {
    return {qint16(PageRetriever::Done), std::move(body), finalUrl.toLatin1()};
}

BridgeResult BridgeResult::failed(const BridgeAnswer& why) {
    return {why.timedOut ? qint16(PageRetriever::TimedOut)
                         : qint16(PageRetriever::ConnectionFailed),
            {},
            {}};
}

} // namespace nimbuscope
