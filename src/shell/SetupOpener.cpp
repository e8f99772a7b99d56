#include "shell/SetupOpener.h"

#include "desktop/Dialogs.h"
#include "setup/FrmSetup.h"
#include "shell/ProgramComponents.h"
#include "shell/SaverApp.h"

namespace nimbuscope {

void SetupOpener::open(SaverApp& app) {
    if (!components_) {
        components_ = programComponents(app);
    }
    RetrieverSlot retriever(*components_);
    {
        FrmSetup dialog(
            {app.settings(), app.log(), app.services().dialogs, app.services().locks, retriever});
        dialog.PositionFrmSetup();
        app.services().dialogs.showModal(dialog);
    }
}

} // namespace nimbuscope
