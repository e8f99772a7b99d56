#include "shell/SetupOpener.h"

#include "acquisition/HttpRetriever.h"
#include "platform/Dialogs.h"
#include "settings/FrmSetup.h"
#include "shell/SaverApp.h"

#include <memory>

namespace nimbuscope {

ComponentFactory programComponents(RegistryValues& settings) {
    ComponentFactory components;
    components.registerCreator(QLatin1String(ComponentFactory::kRetrievePg), [&settings] {
        return std::make_unique<HttpRetriever>(bridgeConfigFrom(settings));
    });
    return components;
}

void SetupOpener::open(SaverApp& app) {
    if (!components_) {
        components_ = programComponents(app.settings());
    }
    std::unique_ptr<PageRetriever> retriever;
    {
        FrmSetup dialog({app.settings(), app.log(), app.services().dialogs, app.services().locks,
                         *components_, retriever});
        dialog.PositionFrmSetup();
        app.services().dialogs.showModal(dialog);
    }
}

} // namespace nimbuscope
