#include "settings/RegistryValues.h"

#include "registry/MemoryRegistry.h"
#include "settings/cRegistry.h"
#include "support/Log.h"

#include "common/FakeClock.h"
#include "common/RecordingRegistry.h"
#include "common/RegistryValue.h"
#include "common/TestWorld.h"

#include <gtest/gtest.h>

#include <functional>

using namespace nimbuscope;
using namespace nimbuscope::test;

namespace {

const QString kProduct = QStringLiteral("Software\\Calderwick\\Nimbuscope");
const QString kHomeDefault = QStringLiteral("/opt/nimbuscope/share/nimbuscope");

class RegistryValuesTest : public ::testing::Test {
protected:
    RegistryValuesTest() : log(clock, platform), store(registry, platform, log, kHomeDefault) {
        log.setFolder(world.root());
        world.writeFile(QStringLiteral("errorlog.txt"), {});
    }
    void TearDown() override { EXPECT_EQ(registry.openHandleCount(), 0); }

    cRegistry at(qint32 root, const QString& name, qint32 type) {
        return registryValue(registry, root, kProduct, name, type);
    }
    void put(qint32 root, const QString& name, const QVariant& v) {
        storeRegistryValue(registry, root, kProduct, name, v);
    }
    QVariant get(qint32 root, const QString& name) { return at(root, name, REG_SZ).value(); }
    bool exists(qint32 root, const QString& name) { return at(root, name, REG_SZ).ValueExists(); }
    QByteArray errorLog() const { return world.readFile(QStringLiteral("errorlog.txt")); }

    TestWorld world;
    FakeClock clock;
    FakePlatform platform;
    Log log;
    MemoryRegistry registry;
    RegistryValues store;
};

using Getter = std::function<QVariant(RegistryValues&)>;

/// Every getter with the value it answers when nothing is stored.
std::vector<std::tuple<const char*, Getter, QVariant>> defaults() {
    using R = RegistryValues;
    const QString forecast = QStringLiteral("http://forecast.weather.gov/");
    return {
        {"zipcode", &R::getZipCode, QString()},
        {"homeDirectory", &R::getHomeDir, kHomeDefault},
        {"templateURL", &R::getTemplateURL, QString()},
        {"currentConditionsURL", &R::getCurrentConditionsURL, QString()},
        {"cityState", &R::getCityState, QString()},
        {"locationMode", [](R& s) { return QVariant(s.getLocationMode()); }, 1},
        {"networkTimeout", &R::getTimeout, 30},
        {"networkMaxRetries", &R::getMaxRetries, 50},
        {"discardAfter", &R::getDiscardAfter, 60},
        {"animationRateMS", &R::getAnimationRateMS, 200},
        {"animationLastFrameMS", &R::getAnimationLastFrameMS, 1000},
        {"channelIDs", &R::getChannelIDs, 18},
        {"cursorMovement", &R::getCursorMovementSetting, 0},
        {"cursorVisibility", &R::getCursorVisibilitySetting, 0},
        {"forecastServerURL", &R::getForecastServerURL, forecast},
        {"validationServerHost", &R::getValidationServerHost, "forecast.weather.gov"},
        {"radarServerURL", &R::getRadarServerURL, "http://radar.weather.gov/"},
        {"alternateServerURL", &R::getAlternateServerURL, forecast},
        {"serviceDomain", &R::getServiceDomain, "radar.weather.gov"},
        {"primaryRegionLabel", &R::getPrimaryRegionLabel, "radar.weather.gov"},
        {"alternateRegionLabel", &R::getAlternateRegionLabel, "radar2.weather.gov"},
        {"legacyFormsBridge", &R::getLegacyFormsBridge, 1},
        {"bridgeLocationSearchURL", &R::getBridgeLocationSearchURL,
         "https://forecast.weather.gov/zipcity.php"},
        {"bridgeApiURL", &R::getBridgeApiURL, "https://api.weather.gov/"},
        {"bridgeMapServerURL", &R::getBridgeMapServerURL,
         "https://opengeo.ncep.noaa.gov/geoserver/"},
        {"bridgeStillsURL", &R::getBridgeStillsURL, "https://radar.weather.gov/ridge/standard/"},
        {"showAlerts", &R::getShowAlerts, 1},
        {"alertsRefreshSeconds", &R::getAlertsRefreshSeconds, 120},
    };
}

} // namespace

TEST_F(RegistryValuesTest, WithNothingStoredEveryGetterAnswersItsDefault) {
    for (const bool machineWritable : {false, true}) {
        SCOPED_TRACE(machineWritable);
        MemoryRegistry fresh;
        fresh.setReadOnly(HKEY_LOCAL_MACHINE, !machineWritable);
        RecordingRegistry counting(fresh);
        RegistryValues values(counting, platform, log, kHomeDefault);
        values.loadRegistryValues();
        EXPECT_EQ(values.HKLMisWriteable(), machineWritable);
        // A start writes only what it stores: the write test writes nothing.
        ASSERT_EQ(counting.writes.size(), 1);
        EXPECT_EQ(counting.writes[0], "locationMode");
        for (const auto& [name, getter, expected] : defaults()) {
            EXPECT_EQ(getter(values), expected) << name;
        }
        const qint32 chosen = machineWritable ? HKEY_LOCAL_MACHINE : HKEY_CURRENT_USER;
        const RegistryKey* key = fresh.hive(chosen).find(splitKeyPath(kProduct));
        ASSERT_NE(key, nullptr);
        ASSERT_EQ(key->values.size(), 1) << "only the location mode is stored, never testtmp";
        EXPECT_EQ(key->values[0].name, "locationMode");
        EXPECT_EQ(key->values[0].data, QByteArray("\1\0\0\0", 4));
    }
    EXPECT_EQ(errorLog(), QByteArray());
}

TEST_F(RegistryValuesTest, SettingsGoToTheMachineRootIfWritableElseToTheUserRoot) {
    put(HKEY_CURRENT_USER, "channelIDs", 5);
    store.loadRegistryValues();
    EXPECT_EQ(store.getChannelIDs(), 18) << "with machine write access user values are not read";
    store.saveDiscardAfter(120);
    EXPECT_EQ(get(HKEY_LOCAL_MACHINE, "discardAfter"), 120);
    EXPECT_FALSE(exists(HKEY_CURRENT_USER, "discardAfter"));

    put(HKEY_LOCAL_MACHINE, "zipcode", QStringLiteral("99999"));
    registry.setReadOnly(HKEY_LOCAL_MACHINE, true);
    store.loadRegistryValues();
    EXPECT_EQ(store.getZipCode(), "99999") << "the machine value shows through an empty user one";
    store.saveZipCode(QStringLiteral("12345"));
    EXPECT_EQ(store.getZipCode(), "12345");
    EXPECT_EQ(get(HKEY_CURRENT_USER, "zipcode"), QStringLiteral("12345"));
    EXPECT_EQ(get(HKEY_LOCAL_MACHINE, "zipcode"), QStringLiteral("99999"));
}

TEST_F(RegistryValuesTest, NumbersFallBackToTheMachineThenToTheirDefault) {
    struct Row {
        const char* name;
        QVariant user;    // invalid: not stored
        QVariant machine; // invalid: not stored
        std::function<qint32(RegistryValues&)> getter;
        qint32 expected;
    };
    using R = RegistryValues;
    const auto discard = &R::getDiscardAfter;
    const Row rows[] = {
        {"stored 0 reads as the default", 0, {}, discard, 60},
        {"user 0 lets the machine value through", 0, 90, discard, 90},
        {"user value wins", 120, 90, discard, 120},
        {"text holding a number converts", " 45 ", {}, &R::getTimeout, 45},
        {"text that is no number gives the default", "abc", {}, &R::getTimeout, 30},
        {"a rate that is no number: the error default", "fast", {}, &R::getAnimationRateMS, 500},
        {"user cursor 0 lets the machine value through", 0, 1, &R::getCursorMovementSetting, 1},
        {"machine-only channel ids", 7, {}, &R::getChannelIDs, 18},
        {"a stored 0 switches the alerts off", 0, 1, &R::getShowAlerts, 0},
        {"a missing user switch lets the machine's through", {}, 0, &R::getShowAlerts, 0},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        MemoryRegistry fresh;
        RegistryValues values(fresh, platform, log, kHomeDefault);
        // Each row stores under the value name its getter reads.
        for (const char* valueName : {"discardAfter", "networkTimeout", "animationRateMS",
                                      "cursorMovement", "channelIDs", "showAlerts"}) {
            storeRegistryValue(fresh, HKEY_CURRENT_USER, kProduct, QLatin1String(valueName),
                               row.user);
            storeRegistryValue(fresh, HKEY_LOCAL_MACHINE, kProduct, QLatin1String(valueName),
                               row.machine);
        }
        fresh.setReadOnly(HKEY_LOCAL_MACHINE, true);
        values.loadRegistryValues();
        EXPECT_EQ(row.getter(values), row.expected);
    }
}

TEST_F(RegistryValuesTest, SaversKeepTheirValueAndStaySilentWhenTheRegistryRefuses) {
    registry.setReadOnly(HKEY_LOCAL_MACHINE, true);
    registry.setReadOnly(HKEY_CURRENT_USER, true);
    store.saveZipCode(QStringLiteral("68102"));
    store.saveCursorVisibilitySetting(1);
    EXPECT_EQ(store.getZipCode(), "68102");
    EXPECT_EQ(store.getCursorVisibilitySetting(), 1);
    EXPECT_EQ(errorLog(), QByteArray());
}

TEST_F(RegistryValuesTest, TheScreenSaverPasswordSwitchDependsOnThePlatformFamily) {
    const struct {
        quint32 platformId;
        const char* name;
        QVariant stored;
        bool expected;
    } rows[] = {
        {OSVersionInfo::kNtPlatform, "ScreenSaverIsSecure", QStringLiteral("1"), true},
        {OSVersionInfo::kNtPlatform, "ScreenSaverIsSecure", QStringLiteral("0"), false},
        {OSVersionInfo::kNtPlatform, "ScreenSaveUsePassword", 1, false},
        {1, "ScreenSaveUsePassword", 1, true},
        {1, "ScreenSaveUsePassword", QStringLiteral("on"), false},
        {1, "ScreenSaverIsSecure", QStringLiteral("1"), false},
    };
    for (const auto& row : rows) {
        MemoryRegistry fresh;
        storeRegistryValue(fresh, HKEY_CURRENT_USER, QStringLiteral("Control Panel\\Desktop"),
                           QLatin1String(row.name), row.stored);
        platform.platformId = row.platformId;
        RegistryValues values(fresh, platform, log, kHomeDefault);
        values.loadRegistryValues();
        EXPECT_EQ(values.isScreenSaverSecure(), row.expected)
            << row.platformId << " " << row.name << " " << variantToText(row.stored).toStdString();
    }
}
