#pragma once

#include "bridge/BridgeTransport.h"
#include "support/ServiceAddresses.h"

#include <QByteArray>
#include <QDateTime>
#include <QList>
#include <QString>
#include <QStringList>

#include <functional>
#include <memory>

namespace nimbuscope {

class FolderHandle;

/// Where the legacy-forms bridge works and what it calls.
struct BridgeConfig {
    bool enabled = true;
    /// The location search, ending in "zipcity.php".
    QString locationSearchURL = QLatin1String(service_defaults::kBridgeLocationSearchURL);
    QString apiURL = QLatin1String(service_defaults::kBridgeApiURL);
    QString mapServerURL = QLatin1String(service_defaults::kBridgeMapServerURL);
    QString stillsURL = QLatin1String(service_defaults::kBridgeStillsURL);
    /// NOAA's own hosts (those of the host values' defaults): only requests to these for a
    /// retired form are answered by the bridge.
    QStringList noaaHosts;
    /// The host the rebuilt pages name for the radar page and its frames.
    QString radarHost = QStringLiteral("radar.weather.gov");
    /// The current UTC time from the program's one clock (the shell's SystemUtils::getGMT,
    /// a test's fake). Required: the bridge reads no other clock.
    std::function<QDateTime()> utcNow;
    /// The location page address the settings keep (its coordinates centre the frames when
    /// nothing better is known); may be empty.
    std::function<QString()> storedLocationURL;
    /// The cache folder where what was learnt of places is kept for the next runs; asked
    /// once, at the first need. Absent or null: kept for this run only.
    std::function<std::shared_ptr<const FolderHandle>()> keepFolder;
    /// The picture shown in place of radar frames where no radar covers the place (the
    /// saver's own "Radar image unavailable" picture); absent or empty: such frames are
    /// answered as unavailable and stay off screen.
    std::function<QByteArray()> noRadarPicture;
};

/// Each of NOAA's default service addresses and the configured one in its place: every
/// request the bridge sends, and every link it follows, goes through these.
QList<BaseMapping> bridgeBaseMappings(const BridgeConfig& config);

/// What a bridged request comes to, in the page-retrieval component's terms.
struct BridgeResult {
    qint16 status = 0; ///< a `PageRetriever::Status`
    QByteArray body;
    QByteArray finalUrl;

    /// A page, list or picture; `finalUrl` empty: the address asked for.
    static BridgeResult answered(QByteArray body, const QString& finalUrl = {});
    /// A failed transfer: a time-out when the sub-request timed out.
    static BridgeResult failed(const BridgeAnswer& why = {});
};

} // namespace nimbuscope
