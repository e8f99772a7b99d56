#include "shell/ProgramOpeners.h"

#include "acquisition/HttpRetriever.h"
#include "acquisition/PageRetriever.h"
#include "display/QtSaverTimer.h"
#include "platform/SystemInput.h"
#include "shell/FrmMain.h"
#include "shell/SaverApp.h"
#include "shell/SetupDialogHost.h"
#include "shell/SetupOpener.h"

#include <QCoreApplication>
#include <QEventLoop>

namespace nimbuscope {

void ProgramOpeners::openSaver(SaverApp& app) {
    QtSaverTimerFactory timers;
    const ComponentFactory components = programComponents(app.settings());
    QtSystemInput input;
    FrmSetupHost setup(app, components);
    FrmMain window(app, FrmMainKit{timers, components, input, setup,
                                   [] { QCoreApplication::processEvents(); }, commandLine_});
    window.Form_Load();
    // A load that failed early leaves the window unshown; it still covers the screen and
    // waits for the key or click that ends the saver.
    window.showSaverWindow();
    // The modal show: the window ends the process itself, so this loop does not return.
    QEventLoop modal;
    modal.exec();
}

} // namespace nimbuscope
