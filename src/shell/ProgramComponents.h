#pragma once

#include "bridge/BridgeConfig.h"
#include "retrieval/PageRetriever.h"

namespace nimbuscope {

class RegistryValues;
class SaverApp;

/// The bridge's settings as the settings store holds them; NOAA's hosts from the host
/// values' defaults.
BridgeConfig bridgeConfigFrom(RegistryValues& settings);

/// The saver's components: a factory that creates "RetrievePg.RetrievePg.1" as an
/// HttpRetriever whose bridge follows the app's settings (read when a component is created)
/// and keeps places in the user's working folder's cache.
ComponentFactory programComponents(SaverApp& app);

} // namespace nimbuscope
