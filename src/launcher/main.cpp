// The launcher: wires the real services together and loads its one window, which does the
// work and ends the program.

#include "desktop/Dialogs.h"
#include "launcher/FrmLaunch.h"
#include "launcher/ScreenSaverHost.h"
#include "platform/Folders.h"
#include "platform/LinuxPlatform.h"
#include "platform/ProcessEnd.h"
#include "platform/ProgramStarter.h"
#include "registry/RegistryApi.h"
#include "support/Clock.h"

#include <QApplication>
#include <QProcessEnvironment>

#include <unistd.h>

using namespace nimbuscope;

int main(int argc, char** argv) {
    QApplication application(argc, argv);
    const Folders folders =
        Folders::fromEnvironment(QProcessEnvironment::systemEnvironment(),
                                 QCoreApplication::applicationDirPath(), ::geteuid());
    LinuxPlatform platform;
    SystemClock clock;
    const auto registry = makeFileRegistry(folders.registryPaths());
    QProcessStarter programs;
    RegistryScreenSaverHost host(*registry, programs);
    QtDialogs dialogs;
    ImmediateProcessEnd processEnd;

    FrmLaunch form(
        {platform, *registry, clock, programs, host, dialogs, processEnd, folders.programDir});
    form.Form_Load();
}
