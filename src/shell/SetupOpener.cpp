#include "shell/SetupOpener.h"

#include "acquisition/HttpRetriever.h"
#include "platform/Dialogs.h"
#include "settings/FrmSetup.h"
#include "shell/SaverApp.h"

#include <memory>

namespace nimbuscope {

ComponentFactory programComponents() {
    ComponentFactory components;
    components.registerCreator(QLatin1String(ComponentFactory::kRetrievePg),
                               [] { return std::make_unique<HttpRetriever>(); });
    return components;
}

SetupOpener::SetupOpener() : components_(programComponents()) {}

void SetupOpener::open(SaverApp& app) {
    std::unique_ptr<PageRetriever> retriever;
    {
        FrmSetup dialog({app.settings(), app.log(), app.services().dialogs, app.services().locks,
                         components_, retriever});
        dialog.PositionFrmSetup();
        app.services().dialogs.showModal(dialog);
    }
}

} // namespace nimbuscope
