#include "shell/MyMain.h"

#include "platform/InstanceLocks.h"
#include "platform/PasswordServices.h"
#include "shell/CommandLine.h"
#include "shell/ModeOpeners.h"
#include "shell/SaverApp.h"

#include <QCoreApplication>

namespace nimbuscope {

namespace {

// The single-instance step: the search for the mode's window and the hold of its caption in
// one step, so that of copies started together exactly one goes on. A second window of a
// mode is refused without a word: the user already sees the first.
void holdOnlyInstance(SaverApp& app, const char* caption) {
    std::unique_ptr<InstanceLock> hold =
        app.services().locks.acquireIfFree(QString::fromLatin1(caption));
    if (!hold) {
        app.endProgramNow(0);
    }
    app.keepInstanceHold(std::move(hold));
}

AfterEntry runSaver(SaverApp& app, ModeOpeners& openers) {
    // Copies in a host's windows run side by side, one per window; they share the work.
    if (!openers.saverHasHost()) {
        holdOnlyInstance(app, kPlaybackCaption);
    }
    openers.openSaver(app);
    return AfterEntry::Return;
}

AfterEntry runPreview(SaverApp& app, ModeOpeners& openers, qint32 parentHandle) {
    app.gbSaverMode = false;
    holdOnlyInstance(app, kPreviewCaption);
    return openers.openPreview(app, parentHandle) ? AfterEntry::RunEventLoop : AfterEntry::Return;
}

[[noreturn]] void runSetup(SaverApp& app, ModeOpeners& openers) {
    app.gbSaverMode = false;
    holdOnlyInstance(app, kSetupCaption);
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
