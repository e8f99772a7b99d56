#pragma once

#include <QString>
#include <QStringList>
#include <QVariant>

namespace nimbuscope {

class Log;
class Platform;
class RegistryApi;

/// Every setting as loaded once at start-up; savers update it as they write.
struct SettingsCache {
    bool loading = false;
    bool hklmWritable = false;
    bool passwordProtected = false;
    QString zipcode;
    QString homeDirectory;
    QString templateURL;
    QString currentConditionsURL;
    QString cityState;
    // Where the NOAA-format pages are served from.
    QString forecastServerURL;
    QString validationServerHost;
    QString radarServerURL;
    QString alternateServerURL;
    QString serviceDomain;
    QString primaryRegionLabel;
    QString alternateRegionLabel;
    // The bridge that answers NOAA's retired forms from its current services.
    qint32 legacyFormsBridge = 0;
    QString bridgeLocationSearchURL;
    QString bridgeApiURL;
    QString bridgeMapServerURL;
    QString bridgeStillsURL;
    /// Active weather alerts of the place on screen.
    qint32 showAlerts = 0;
    qint32 alertsRefreshSeconds = 0;
    qint32 locationMode = 0;
    qint32 networkTimeout = 0;
    qint32 networkMaxRetries = 0;
    qint32 discardAfter = 0;
    qint32 animationRateMS = 0;
    qint32 animationLastFrameMS = 0;
    qint32 channelIDs = 0;
    qint32 cursorMovement = 0;
    qint32 cursorVisibility = 0;
};

/// The settings store: one getter per setting, one saver per setting the program writes,
/// all values under Software\Calderwick\Nimbuscope. `loadRegistryValues` reads everything
/// once; getters then answer from the cache. Settings are kept under HKEY_LOCAL_MACHINE when
/// the process may write there, else under HKEY_CURRENT_USER ("the chosen root").
class RegistryValues {
public:
    static constexpr const char* kProductKey = "Software\\Calderwick\\Nimbuscope";

    /// `homeDirectoryDefault` is what `getHomeDir` answers when the machine root names no
    /// home folder: the program passes its installed data folder.
    RegistryValues(RegistryApi& registry, Platform& platform, Log& log,
                   QString homeDirectoryDefault = {});

    void setHomeDirectoryDefault(const QString& folder) { homeDirectoryDefault_ = folder; }
    const QString& homeDirectoryDefault() const { return homeDirectoryDefault_; }

    void loadRegistryValues();
    bool HKLMisWriteable();
    bool isScreenSaverSecure();

    QString getZipCode();
    QString getHomeDir();
    QString getTemplateURL();
    QString getCurrentConditionsURL();
    QString getCityState();
    qint32 getLocationMode(bool force = false);
    qint32 getTimeout();
    qint32 getMaxRetries();
    qint32 getDiscardAfter();
    qint32 getAnimationRateMS();
    qint32 getAnimationLastFrameMS();
    qint32 getChannelIDs();
    qint32 getCursorMovementSetting();
    qint32 getCursorVisibilitySetting();

    QString getForecastServerURL();
    QString getValidationServerHost();
    QString getRadarServerURL();
    QString getAlternateServerURL();
    QString getServiceDomain();
    QString getPrimaryRegionLabel();
    QString getAlternateRegionLabel();

    /// 1 (the default) lets the bridge answer NOAA's retired forms; a stored 0 switches it off.
    qint32 getLegacyFormsBridge();
    QString getBridgeLocationSearchURL();
    QString getBridgeApiURL();
    QString getBridgeMapServerURL();
    QString getBridgeStillsURL();
    /// 1 (the default) shows the place's active weather alerts; a stored 0 hides them.
    qint32 getShowAlerts();
    /// How often the alerts are asked between passes while any is in effect (seconds).
    qint32 getAlertsRefreshSeconds();
    /// The host names of the service addresses' defaults: NOAA's own hosts.
    static QStringList defaultServiceHosts();

    void saveZipCode(const QString& value);
    void saveTemplateURL(const QString& value);
    void saveCurrentConditionsURL(const QString& value);
    void saveCityState(const QString& value);
    void saveLocationMode(qint32 value);
    void saveDiscardAfter(qint32 value);
    void saveAnimationRateMS(qint32 value);
    void saveAnimationLastFrameMS(qint32 value);
    void saveChannelIDs(qint32 value);
    void saveCursorMovementSetting(qint32 value);
    void saveCursorVisibilitySetting(qint32 value);
    void saveShowAlerts(qint32 value);

    /// Where the last save that the registry refused should have gone (the chosen root's
    /// hive file), then forgets it; empty when every save since the last call was written.
    QString takeFailedSave();

    const SettingsCache& cache() const { return cache_; }
    RegistryApi& registry() { return registry_; }

private:
    qint32 chosenRoot();
    QVariant readValue(qint32 root, const char* valueName, qint32 type);
    /// Writes to the chosen root; throws as the registry does.
    void writeValue(const char* valueName, qint32 type, const QVariant& value);
    QString readText(const char* valueName);
    qint32 readNumber(const char* valueName, qint32 fallback);
    QString cachedText(const QString& field, const char* valueName, const char* getter,
                       const QString& fallback);
    /// A setting whose stored 0 means off, unlike the numbers a 0 leaves at their default.
    qint32 cachedSwitch(qint32 field, const char* valueName, const char* getter, qint32 fallback);
    qint32 cachedNumber(qint32 field, const char* valueName, const char* getter, qint32 fallback,
                        qint32 errorFallback);
    void saveText(QString& field, const char* valueName, const QString& value);
    void saveNumber(qint32& field, const char* valueName, qint32 value);
    void noteFailedSave();

    RegistryApi& registry_;
    Platform& platform_;
    Log& log_;
    QString homeDirectoryDefault_;
    SettingsCache cache_;
    /// The load has made its machine-root write test; later getters use its answer.
    bool machineRootTested_ = false;
    QString failedSave_;
};

} // namespace nimbuscope
