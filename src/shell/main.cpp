// The screen saver: wires the real services together and hands over to the entry point.

#include "desktop/Dialogs.h"
#include "platform/Folders.h"
#include "platform/InstanceLocks.h"
#include "platform/LinuxPlatform.h"
#include "platform/PasswordServices.h"
#include "platform/ProcessEnd.h"
#include "platform/TerminationSignals.h"
#include "registry/RegistryApi.h"
#include "shell/CommandLine.h"
#include "shell/MyMain.h"
#include "shell/ProgramOpeners.h"
#include "shell/SaverApp.h"
#include "support/Clock.h"
#include "support/FileUtils.h"
#include "support/FrameTrace.h"

#include <QApplication>
#include <QProcessEnvironment>

#include <unistd.h>

using namespace nimbuscope;

int main(int argc, char** argv) {
    ignoreFileSizeLimitSignal();
    QApplication application(argc, argv);
    // Qt has taken its own options (-platform, -display) out of the arguments by now.
    const HostArguments arguments = takeHostArguments(QCoreApplication::arguments().mid(1));
    const QString cmd = commandLineFromArguments(arguments.rest);

    const QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    const Folders folders =
        Folders::fromEnvironment(environment, QCoreApplication::applicationDirPath(), ::geteuid());
    const std::unique_ptr<FrameTrace> frameTrace = FrameTrace::fromEnvironment(environment);
    LinuxPlatform platform;
    SystemClock clock;
    const auto registry = makeFileRegistry(folders.registryPaths());
    FileInstanceLocks locks(folders.runtimeDir);
    ImmediateProcessEnd processEnd;
    QtDialogs dialogs;
    NoPasswordServices passwords;
    SaverApp app({platform, clock, *registry, locks, processEnd, dialogs, passwords, folders});
    app.setFrameTrace(frameTrace.get());
    // SIGTERM (a host ending its screen saver, a logout) and SIGINT end the program in order.
    TerminationSignals endSignals;
    QObject::connect(&endSignals, &TerminationSignals::received,
                     [&app](int signalNumber) { app.requestEnd(signalNumber); });

    // The preview's option and the variable name the same window; a bare option is enough.
    ProgramOpeners openers(cmd, arguments.windowId.isEmpty()
                                    ? environment.value(QStringLiteral("XSCREENSAVER_WINDOW"))
                                    : arguments.windowId);
    if (Main(app, openers, cmd) == AfterEntry::RunEventLoop) {
        return QApplication::exec();
    }
    return 0;
}
