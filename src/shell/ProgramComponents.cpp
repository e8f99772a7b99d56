#include "shell/ProgramComponents.h"

#include "bridge/LegacyFormsAnswerer.h"
#include "display/FramePresentation.h"
#include "retrieval/CacheFiles.h"
#include "retrieval/HttpRetriever.h"
#include "settings/RegistryValues.h"
#include "shell/SaverApp.h"
#include "shell/WorkingFolder.h"
#include "support/FileUtils.h"
#include "support/SystemUtils.h"

#include <memory>

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

ComponentFactory programComponents(SaverApp& app) {
    ComponentFactory components;
    components.registerCreator(QLatin1String(ComponentFactory::kRetrievePg), [&app] {
        BridgeConfig bridge = bridgeConfigFrom(app.settings());
        // The bridge dates observations and kept places in UTC, from the program's one clock.
        bridge.utcNow = [&app] {
            SystemUtils system(app.services().platform, app.log(), app.services().clock);
            return system.getGMT().toQDateTime();
        };
        bridge.keepFolder = [&app]() -> std::shared_ptr<const FolderHandle> {
            SystemUtils system(app.services().platform, app.log(), app.services().clock);
            prepareWorkingFolders(app.workingFolders, system.getTempFolder(),
                                  system.getCurrentUserName());
            return app.workingFolders.data;
        };
        return std::make_unique<HttpRetriever>(
            std::make_unique<LegacyFormsAnswerer>(std::move(bridge)));
    });
    return components;
}

} // namespace nimbuscope
