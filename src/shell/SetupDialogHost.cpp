#include "shell/SetupDialogHost.h"

#include "desktop/Dialogs.h"
#include "retrieval/PageRetriever.h"
#include "setup/FrmSetup.h"
#include "shell/FrmMain.h"
#include "shell/SaverApp.h"

namespace nimbuscope {

FrmSetupHost::FrmSetupHost(SaverApp& app, const ComponentFactory& components)
    : app_(app), ownRetriever_(components) {}

FrmSetupHost::~FrmSetupHost() = default;

bool FrmSetupHost::showModalCentredTopmost(QWidget* owner, const QRect& screen) {
    auto* window = qobject_cast<FrmMain*>(owner);
    std::function<void()> zipcodeValidated;
    if (window != nullptr) {
        zipcodeValidated = [window] { window->state().zipcodeIsValid = true; };
    }
    FrmSetup dialog({app_.settings(), app_.log(), app_.services().dialogs, app_.services().locks,
                     window != nullptr ? window->myHTTPRetrieve : ownRetriever_,
                     std::move(zipcodeValidated)},
                    owner);
    dialog.setWindowFlag(Qt::WindowStaysOnTopHint, true);
    const QSize size = dialog.frameGeometry().size();
    dialog.move(screen.x() + (screen.width() - size.width()) / 2,
                screen.y() + (screen.height() - size.height()) / 2);
    app_.services().dialogs.showModal(dialog);
    return dialog.Cancel;
}

} // namespace nimbuscope
