#include "shell/ProgramOpeners.h"

#include "bridge/BridgeTransport.h"
#include "desktop/SystemInput.h"
#include "display/QtSaverTimer.h"
#include "platform/X11Embedding.h"
#include "retrieval/HttpRetriever.h"
#include "retrieval/PageRetriever.h"
#include "shell/CommandLine.h"
#include "shell/FrmMain.h"
#include "shell/ProgramComponents.h"
#include "shell/SaverApp.h"
#include "shell/SetupDialogHost.h"
#include "shell/SetupOpener.h"

#include <QCoreApplication>
#include <QEventLoop>

#include <cstdio>

namespace nimbuscope {

namespace {

constexpr int kHostUnreachableStatus = 1;
constexpr int kMsPerSecond = 1000;

// A host that names a window the saver cannot draw in is set up wrongly: say so where the
// host collects its programs' complaints, and end, instead of drawing where nobody looks.
std::unique_ptr<X11Embedding> attachHost(SaverApp& app, const QString& hostWindow) {
    auto host = std::make_unique<X11Embedding>();
    const std::optional<quint32> id = parseHostWindow(hostWindow);
    if (!id || !host->attach(*id)) {
        std::fprintf(stderr, "nimbuscope: XSCREENSAVER_WINDOW=%s names no window to draw in\n",
                     qPrintable(hostWindow));
        std::fflush(stderr);
        app.endProgramNow(kHostUnreachableStatus);
    }
    return host;
}

} // namespace

void ProgramOpeners::openSaver(SaverApp& app) {
    std::unique_ptr<X11Embedding> host;
    if (!hostWindow_.isEmpty()) {
        host = attachHost(app, hostWindow_);
    }
    QtSaverTimerFactory timers;
    const ComponentFactory components = programComponents(app);
    // The alerts have a network stack of their own: a slow alerts answer holds up no frame.
    HttpBridgeTransport alertsNetwork(
        [&app] { return app.settings().getTimeout() * kMsPerSecond; });
    QtSystemInput input;
    FrmSetupHost setup(app, components);
    FrmMain window(app, FrmMainKit{timers, components, input, setup,
                                   [] { QCoreApplication::processEvents(); }, commandLine_,
                                   host.get(), QLocale(), &alertsNetwork});
    window.Form_Load();
    // A load that failed early leaves the window unshown; it still covers the screen and
    // waits for the key or click that ends the saver.
    window.showSaverWindow();
    // The modal show: the window ends the process itself, so this loop does not return.
    QEventLoop modal;
    modal.exec();
}

} // namespace nimbuscope
