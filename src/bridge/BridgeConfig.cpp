#include "bridge/BridgeConfig.h"

#include "retrieval/PageRetriever.h"

namespace nimbuscope {

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
