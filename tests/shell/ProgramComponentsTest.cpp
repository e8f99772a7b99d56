#include "shell/ProgramComponents.h"

#include "registry/MemoryRegistry.h"
#include "settings/RegistryValues.h"
#include "support/Log.h"

#include "common/FakeClock.h"
#include "common/RegistryValue.h"

#include <gtest/gtest.h>

using namespace nimbuscope;
using namespace nimbuscope::test;

// The four stored addresses point the bridge at another server; NOAA's own hosts stay the ones
// it answers for, and a stored 0 switches it off.
TEST(ProgramComponents, TheStoredBridgeSettingsMakeItsConfiguration) {
    MemoryRegistry registry;
    FakeClock clock;
    FakePlatform platform;
    Log log(clock, platform);
    const auto put = [&](const char* name, const QVariant& value) {
        storeRegistryValue(registry, HKEY_LOCAL_MACHINE, QLatin1String(RegistryValues::kProductKey),
                           QLatin1String(name), value);
    };
    put("bridgeLocationSearchURL", QStringLiteral("http://fake/zipcity.php"));
    put("bridgeApiURL", QStringLiteral("http://fake/api/"));
    put("bridgeMapServerURL", QStringLiteral("http://fake/geoserver/"));
    put("bridgeStillsURL", QStringLiteral("http://fake/ridge/standard/"));
    RegistryValues settings(registry, platform, log);
    settings.loadRegistryValues();
    BridgeConfig config = bridgeConfigFrom(settings);
    EXPECT_TRUE(config.enabled);
    EXPECT_EQ(QStringList({config.locationSearchURL, config.apiURL, config.mapServerURL,
                           config.stillsURL}),
              QStringList({"http://fake/zipcity.php", "http://fake/api/", "http://fake/geoserver/",
                           "http://fake/ridge/standard/"}));
    EXPECT_TRUE(config.noaaHosts.contains("forecast.weather.gov"));
    EXPECT_TRUE(config.noaaHosts.contains("radar.weather.gov"));

    put("legacyFormsBridge", 0);
    settings.loadRegistryValues();
    EXPECT_FALSE(bridgeConfigFrom(settings).enabled);
}
