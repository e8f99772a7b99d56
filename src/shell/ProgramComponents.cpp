#include "shell/ProgramComponents.h"

#include "acquisition/HttpRetriever.h"
#include "shell/SaverApp.h"
#include "shell/WorkingFolder.h"
#include "support/SystemUtils.h"

#include <memory>

namespace nimbuscope {

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
        return std::make_unique<HttpRetriever>(std::move(bridge));
    });
    return components;
}

} // namespace nimbuscope
