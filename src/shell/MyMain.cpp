#include "shell/MyMain.h"

#include "platform/InstanceLocks.h"
#include "platform/PasswordServices.h"
#include "shell/CommandLine.h"
#include "shell/ModeOpeners.h"
#include "shell/SaverApp.h"

#include <QCoreApplication>

namespace nimbuscope {

namespace {

// A second window of a mode is refused without a word: the user already sees the first.
void endIfWindowExists(SaverApp& app, const char* caption) {
    if (app.services().locks.isHeld(QString::fromLatin1(caption))) {
        app.endProgramNow(0);
    }
}

AfterEntry runSaver(SaverApp& app, ModeOpeners& openers) {
    endIfWindowExists(app, kPlaybackCaption);
    openers.openSaver(app);
    return AfterEntry::Return;
}

AfterEntry runPreview(SaverApp& app, ModeOpeners& openers, qint32 parentHandle) {
    app.gbSaverMode = false;
    endIfWindowExists(app, kPreviewCaption);
    return openers.openPreview(app, parentHandle) ? AfterEntry::RunEventLoop : AfterEntry::Return;
}

[[noreturn]] void runSetup(SaverApp& app, ModeOpeners& openers) {
    app.gbSaverMode = false;
    endIfWindowExists(app, kSetupCaption);
    openers.openSetup(app);
    app.endProgramNow(0);
}

} // namespace

AfterEntry Main(SaverApp& app, ModeOpeners& openers, const QString& cmd) {
    QCoreApplication::processEvents();
    app.gbSaverMode = true;
    app.settings().loadRegistryValues();

    const CommandLine line = parseCommandLine(cmd);
    switch (line.mode) {
    case SaverMode::Password:
        // Its answer changes nothing here: the system's dialog has said all there is to say.
        app.services().passwords.changePassword(line.number);
        return AfterEntry::Return;
    case SaverMode::Saver:
        return runSaver(app, openers);
    case SaverMode::Preview:
        return runPreview(app, openers, line.number);
    case SaverMode::Setup:
        runSetup(app, openers);
    case SaverMode::None:
        break;
    }
    app.endProgramNow(0);
}

} // namespace nimbuscope
