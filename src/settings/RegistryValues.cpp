#include "settings/RegistryValues.h"

#include "settings/cRegistry.h"
#include "support/Error.h"
#include "support/Log.h"
#include "support/Platform.h"
#include "support/ServiceAddresses.h"

#include <QUrl>

namespace nimbuscope {

namespace {

constexpr char kDesktopKey[] = "Control Panel\\Desktop";

constexpr qint32 kDefaultLocationMode = 1;
constexpr qint32 kDefaultTimeoutSeconds = 30;
constexpr qint32 kDefaultMaxRetries = 50;
constexpr qint32 kDefaultDiscardAfterMinutes = 60;
constexpr qint32 kDefaultAnimationRateMS = 200;
constexpr qint32 kAnimationRateAfterErrorMS = 500;
constexpr qint32 kDefaultAnimationLastFrameMS = 1000;
constexpr qint32 kDefaultChannelIDs = 18;
constexpr qint32 kDefaultCursorSetting = 0;

constexpr char kDefaultForecastServerURL[] = "http://forecast.weather.gov/";
constexpr char kDefaultValidationServerHost[] = "forecast.weather.gov";
constexpr char kDefaultRadarServerURL[] = "http://radar.weather.gov/";
constexpr char kDefaultAlternateServerURL[] = "http://forecast.weather.gov/";
constexpr char kDefaultServiceDomain[] = "radar.weather.gov";
constexpr char kDefaultPrimaryRegionLabel[] = "radar.weather.gov";
constexpr char kDefaultAlternateRegionLabel[] = "radar2.weather.gov";

constexpr qint32 kDefaultLegacyFormsBridge = 1;
using service_defaults::kBridgeApiURL;
using service_defaults::kBridgeLocationSearchURL;
using service_defaults::kBridgeMapServerURL;
using service_defaults::kBridgeStillsURL;
constexpr qint32 kDefaultShowAlerts = 1;
constexpr qint32 kDefaultAlertsRefreshSeconds = 120;

/// A fresh registry object for one value: every access makes its own.
cRegistry registryAt(RegistryApi& api, qint32 root, const QString& key, const QString& valueName,
                     qint32 type) {
    cRegistry reg(api);
    reg.setClassKey(root);
    reg.setSectionKey(key);
    reg.setValueKey(valueName);
    reg.setValueType(type);
    return reg;
}

} // namespace

RegistryValues::RegistryValues(RegistryApi& registry, Platform& platform, Log& log,
                               QString homeDirectoryDefault)
    : registry_(registry), platform_(platform), log_(log),
      homeDirectoryDefault_(std::move(homeDirectoryDefault)) {}

void RegistryValues::loadRegistryValues() {
    cache_.loading = true;
    // One write test per load: every getter below asks for the chosen root, and each test
    // is a write and a delete of the machine hive, each an fsynced rewrite of its file.
    machineRootTested_ = false;
    cache_.hklmWritable = HKLMisWriteable();
    machineRootTested_ = true;
    cache_.passwordProtected = isScreenSaverSecure();
    cache_.zipcode = getZipCode();
    cache_.homeDirectory = getHomeDir();
    cache_.templateURL = getTemplateURL();
    cache_.currentConditionsURL = getCurrentConditionsURL();
    cache_.cityState = getCityState();
    cache_.locationMode = getLocationMode(false);
    cache_.networkTimeout = getTimeout();
    cache_.networkMaxRetries = getMaxRetries();
    cache_.discardAfter = getDiscardAfter();
    cache_.animationRateMS = getAnimationRateMS();
    cache_.animationLastFrameMS = getAnimationLastFrameMS();
    cache_.channelIDs = getChannelIDs();
    cache_.cursorMovement = getCursorMovementSetting();
    cache_.cursorVisibility = getCursorVisibilitySetting();
    cache_.forecastServerURL = getForecastServerURL();
    cache_.validationServerHost = getValidationServerHost();
    cache_.radarServerURL = getRadarServerURL();
    cache_.alternateServerURL = getAlternateServerURL();
    cache_.serviceDomain = getServiceDomain();
    cache_.primaryRegionLabel = getPrimaryRegionLabel();
    cache_.alternateRegionLabel = getAlternateRegionLabel();
    cache_.legacyFormsBridge = getLegacyFormsBridge();
    cache_.bridgeLocationSearchURL = getBridgeLocationSearchURL();
    cache_.bridgeApiURL = getBridgeApiURL();
    cache_.bridgeMapServerURL = getBridgeMapServerURL();
    cache_.bridgeStillsURL = getBridgeStillsURL();
    cache_.showAlerts = getShowAlerts();
    cache_.alertsRefreshSeconds = getAlertsRefreshSeconds();
    cache_.loading = false;
}

bool RegistryValues::HKLMisWriteable() {
    if (!cache_.loading || machineRootTested_) {
        return cache_.hklmWritable;
    }
    // Asking for the right to set values answers as a test value written and deleted would,
    // without rewriting the machine hive at every start. A damaged hive may still be written:
    // the first save keeps it aside.
    RegistryApi::Handle key = 0;
    const long status = registry_.openKey(HKEY_LOCAL_MACHINE, QString(), regaccess::SetValue, key);
    if (status == regstatus::Success) {
        registry_.closeKey(key);
    }
    return status == regstatus::Success || status == regstatus::BadFile;
}

bool RegistryValues::isScreenSaverSecure() {
    if (!cache_.loading) {
        return cache_.passwordProtected;
    }
    try {
        if (platform_.versionEx().platformId == OSVersionInfo::kNtPlatform) {
            cRegistry reg = registryAt(registry_, HKEY_CURRENT_USER, QLatin1String(kDesktopKey),
                                       QStringLiteral("ScreenSaverIsSecure"), REG_SZ);
            return variantToText(reg.value()) == QLatin1String("1");
        }
        cRegistry reg = registryAt(registry_, HKEY_CURRENT_USER, QLatin1String(kDesktopKey),
                                   QStringLiteral("ScreenSaveUsePassword"), REG_DWORD);
        return variantToInt32(reg.value()) == 1;
    } catch (...) {
        return false;
    }
}

qint32 RegistryValues::chosenRoot() {
    return HKLMisWriteable() ? HKEY_LOCAL_MACHINE : HKEY_CURRENT_USER;
}

QVariant RegistryValues::readValue(qint32 root, const char* valueName, qint32 type) {
    cRegistry reg =
        registryAt(registry_, root, QLatin1String(kProductKey), QLatin1String(valueName), type);
    return reg.value();
}

void RegistryValues::writeValue(const char* valueName, qint32 type, const QVariant& value) {
    cRegistry reg = registryAt(registry_, chosenRoot(), QLatin1String(kProductKey),
                               QLatin1String(valueName), type);
    reg.setValue(value);
}

QString RegistryValues::readText(const char* valueName) {
    const qint32 root = chosenRoot();
    QString text = variantToText(readValue(root, valueName, REG_SZ));
    if (text.isEmpty() && root == HKEY_CURRENT_USER) {
        text = variantToText(readValue(HKEY_LOCAL_MACHINE, valueName, REG_SZ));
    }
    return text;
}

qint32 RegistryValues::readNumber(const char* valueName, qint32 fallback) {
    const qint32 root = chosenRoot();
    if (const qint32 n = variantToInt32(readValue(root, valueName, REG_DWORD)); n != 0) {
        return n;
    }
    if (root == HKEY_CURRENT_USER) {
        if (const qint32 n = variantToInt32(readValue(HKEY_LOCAL_MACHINE, valueName, REG_DWORD));
            n != 0) {
            return n;
        }
    }
    return fallback;
}

QString RegistryValues::cachedText(const QString& field, const char* valueName, const char* getter,
                                   const QString& fallback) {
    if (!cache_.loading) {
        return field;
    }
    return trapped(log_, QLatin1String(getter), fallback, [&] {
        const QString text = readText(valueName);
        return text.isEmpty() ? fallback : text;
    });
}

qint32 RegistryValues::cachedNumber(qint32 field, const char* valueName, const char* getter,
                                    qint32 fallback, qint32 errorFallback) {
    if (!cache_.loading) {
        return field;
    }
    return trapped(log_, QLatin1String(getter), errorFallback,
                   [&] { return readNumber(valueName, fallback); });
}

QString RegistryValues::getZipCode() {
    return cachedText(cache_.zipcode, "zipcode", "getZipCode", {});
}

QString RegistryValues::getHomeDir() {
    if (!cache_.loading) {
        return cache_.homeDirectory;
    }
    return trapped(log_, QStringLiteral("getHomeDir"), homeDirectoryDefault_, [&] {
        const QString folder =
            variantToText(readValue(HKEY_LOCAL_MACHINE, "homeDirectory", REG_SZ));
        return folder.size() > 0 ? folder : homeDirectoryDefault_;
    });
}

QString RegistryValues::getTemplateURL() {
    return cachedText(cache_.templateURL, "templateURL", "getTemplateURL", {});
}

QString RegistryValues::getCurrentConditionsURL() {
    return cachedText(cache_.currentConditionsURL, "currentConditionsURL",
                      "getCurrentConditionsURL", {});
}

QString RegistryValues::getCityState() {
    return cachedText(cache_.cityState, "cityState", "getCityState", {});
}

qint32 RegistryValues::getLocationMode(bool force) {
    if (!force && !cache_.loading) {
        return cache_.locationMode;
    }
    return trapped(log_, QStringLiteral("getLocationMode"), kDefaultLocationMode, [&] {
        cRegistry reg = registryAt(registry_, chosenRoot(), QLatin1String(kProductKey),
                                   QStringLiteral("locationMode"), REG_DWORD);
        if (reg.ValueExists()) {
            if (const qint32 mode = variantToInt32(reg.value()); mode != 0) {
                return mode;
            }
        }
        // Reading may have changed the type to what was stored; the mode is a number.
        reg.setValueType(REG_DWORD);
        reg.setValue(kDefaultLocationMode);
        return kDefaultLocationMode;
    });
}

qint32 RegistryValues::getTimeout() {
    return cachedNumber(cache_.networkTimeout, "networkTimeout", "getTimeout",
                        kDefaultTimeoutSeconds, kDefaultTimeoutSeconds);
}

qint32 RegistryValues::getMaxRetries() {
    return cachedNumber(cache_.networkMaxRetries, "networkMaxRetries", "getMaxRetries",
                        kDefaultMaxRetries, kDefaultMaxRetries);
}

qint32 RegistryValues::getDiscardAfter() {
    return cachedNumber(cache_.discardAfter, "discardAfter", "getDiscardAfter",
                        kDefaultDiscardAfterMinutes, kDefaultDiscardAfterMinutes);
}

qint32 RegistryValues::getAnimationRateMS() {
    return cachedNumber(cache_.animationRateMS, "animationRateMS", "getAnimationRateMS",
                        kDefaultAnimationRateMS, kAnimationRateAfterErrorMS);
}

qint32 RegistryValues::getAnimationLastFrameMS() {
    return cachedNumber(cache_.animationLastFrameMS, "animationLastFrameMS",
                        "getAnimationLastFrameMS", kDefaultAnimationLastFrameMS,
                        kDefaultAnimationLastFrameMS);
}

qint32 RegistryValues::getChannelIDs() {
    if (!cache_.loading) {
        return cache_.channelIDs;
    }
    return trapped(log_, QStringLiteral("getChannelIDs"), kDefaultChannelIDs, [&] {
        const qint32 ids = variantToInt32(readValue(HKEY_LOCAL_MACHINE, "channelIDs", REG_DWORD));
        return ids != 0 ? ids : kDefaultChannelIDs;
    });
}

qint32 RegistryValues::getCursorMovementSetting() {
    return cachedNumber(cache_.cursorMovement, "cursorMovement", "getCursorMovementSetting",
                        kDefaultCursorSetting, kDefaultCursorSetting);
}

qint32 RegistryValues::getCursorVisibilitySetting() {
    return cachedNumber(cache_.cursorVisibility, "cursorVisibility", "getCursorVisibilitySetting",
                        kDefaultCursorSetting, kDefaultCursorSetting);
}

QString RegistryValues::getForecastServerURL() {
    return cachedText(cache_.forecastServerURL, "forecastServerURL", "getForecastServerURL",
                      QLatin1String(kDefaultForecastServerURL));
}

QString RegistryValues::getValidationServerHost() {
    return cachedText(cache_.validationServerHost, "validationServerHost",
                      "getValidationServerHost", QLatin1String(kDefaultValidationServerHost));
}

QString RegistryValues::getRadarServerURL() {
    return cachedText(cache_.radarServerURL, "radarServerURL", "getRadarServerURL",
                      QLatin1String(kDefaultRadarServerURL));
}

QString RegistryValues::getAlternateServerURL() {
    return cachedText(cache_.alternateServerURL, "alternateServerURL", "getAlternateServerURL",
                      QLatin1String(kDefaultAlternateServerURL));
}

QString RegistryValues::getServiceDomain() {
    return cachedText(cache_.serviceDomain, "serviceDomain", "getServiceDomain",
                      QLatin1String(kDefaultServiceDomain));
}

QString RegistryValues::getPrimaryRegionLabel() {
    return cachedText(cache_.primaryRegionLabel, "primaryRegionLabel", "getPrimaryRegionLabel",
                      QLatin1String(kDefaultPrimaryRegionLabel));
}

QString RegistryValues::getAlternateRegionLabel() {
    return cachedText(cache_.alternateRegionLabel, "alternateRegionLabel",
                      "getAlternateRegionLabel", QLatin1String(kDefaultAlternateRegionLabel));
}

qint32 RegistryValues::getLegacyFormsBridge() {
    return cachedSwitch(cache_.legacyFormsBridge, "legacyFormsBridge", "getLegacyFormsBridge",
                        kDefaultLegacyFormsBridge);
}

qint32 RegistryValues::getShowAlerts() {
    return cachedSwitch(cache_.showAlerts, "showAlerts", "getShowAlerts", kDefaultShowAlerts);
}

qint32 RegistryValues::getAlertsRefreshSeconds() {
    return cachedNumber(cache_.alertsRefreshSeconds, "alertsRefreshSeconds",
                        "getAlertsRefreshSeconds", kDefaultAlertsRefreshSeconds,
                        kDefaultAlertsRefreshSeconds);
}

qint32 RegistryValues::cachedSwitch(qint32 field, const char* valueName, const char* getter,
                                    qint32 fallback) {
    if (!cache_.loading) {
        return field;
    }
    return trapped(log_, QLatin1String(getter), fallback, [&] {
        const qint32 root = chosenRoot();
        QVariant value = readValue(root, valueName, REG_DWORD);
        if (variantToText(value).isEmpty() && root == HKEY_CURRENT_USER) {
            value = readValue(HKEY_LOCAL_MACHINE, valueName, REG_DWORD);
        }
        return variantToText(value).isEmpty() ? fallback : variantToInt32(value);
    });
}

QString RegistryValues::getBridgeLocationSearchURL() {
    return cachedText(cache_.bridgeLocationSearchURL, "bridgeLocationSearchURL",
                      "getBridgeLocationSearchURL", QLatin1String(kBridgeLocationSearchURL));
}

QString RegistryValues::getBridgeApiURL() {
    return cachedText(cache_.bridgeApiURL, "bridgeApiURL", "getBridgeApiURL",
                      QLatin1String(kBridgeApiURL));
}

QString RegistryValues::getBridgeMapServerURL() {
    return cachedText(cache_.bridgeMapServerURL, "bridgeMapServerURL", "getBridgeMapServerURL",
                      QLatin1String(kBridgeMapServerURL));
}

QString RegistryValues::getBridgeStillsURL() {
    return cachedText(cache_.bridgeStillsURL, "bridgeStillsURL", "getBridgeStillsURL",
                      QLatin1String(kBridgeStillsURL));
}

QStringList RegistryValues::defaultServiceHosts() {
    QStringList hosts;
    for (const char* address :
         {kDefaultForecastServerURL, kDefaultValidationServerHost, kDefaultRadarServerURL,
          kDefaultAlternateServerURL, kDefaultServiceDomain, kDefaultPrimaryRegionLabel,
          kDefaultAlternateRegionLabel}) {
        QString host = QString::fromLatin1(address);
        if (host.contains(QLatin1String("://"))) {
            host = QUrl(host).host();
        }
        if (!hosts.contains(host)) {
            hosts << host;
        }
    }
    return hosts;
}

} // namespace nimbuscope
