#pragma once

#include <QString>

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
/// once; getters then answer from the cache.
class RegistryValues {
public:
    static constexpr const char* kProductKey = "Software\\Calderwick\\Nimbuscope";

    RegistryValues(RegistryApi& registry, Platform& platform, Log& log);

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

    const SettingsCache& cache() const { return cache_; }
    RegistryApi& registry() { return registry_; }

private:
    RegistryApi& registry_;
    Platform& platform_;
    Log& log_;
    SettingsCache cache_;
};

} // namespace nimbuscope
