#include "launcher/FrmLaunch.h"

#include "desktop/Dialogs.h"
#include "launcher/ScreenSaverHost.h"
#include "platform/ProcessEnd.h"
#include "platform/ProgramStarter.h"
#include "support/Clock.h"
#include "support/Error.h"
#include "support/FileUtils.h"
#include "support/Platform.h"
#include "support/StringUtils.h"

#include <QCoreApplication>

#include <cstdlib>

namespace nimbuscope {

FrmLaunch::FrmLaunch(LaunchServices services, QWidget* parent)
    : QWidget(parent), services_(std::move(services)), reg_(services_.registry) {
    setWindowTitle(QString::fromLatin1(kCaption));
}

QString FrmLaunch::saverPath() const {
    return joinPath(StripTerminator(services_.systemFolder), QString::fromLatin1(kSaverFileName));
}

void FrmLaunch::Form_Load() {
    int status = 0;
    try {
        const QString saver = saverPath();
        if (services_.platform.versionEx().platformId != OSVersionInfo::kNtPlatform) {
            launch9x(saver);
        } else {
            launchNt(saver);
        }
    } catch (const Error& e) {
        status = kFailedStatus;
        services_.dialogs.messageBox(e.description());
    } catch (const std::exception& e) {
        status = kFailedStatus;
        services_.dialogs.messageBox(asError(e).description());
    }
    hide();
    services_.processEnd.endProcess(status);
    std::abort(); // an end that returns would run code the program never runs
}

void FrmLaunch::launch9x(const QString& saver) {
    if (!services_.programs.startDetached(saver, {QString::fromLatin1(kSaverSwitch)})) {
        throw Error::of(err::FileNotFound);
    }
}

void FrmLaunch::launchNt(const QString& saver) {
    writeDesktopValue(kActiveValue, QStringLiteral("1"));
    const QString previous = readDesktopValue(kSaverValue);
    writeDesktopValue(kSaverValue, saver);
    // From here on the user's own choice is replaced, so it goes back whatever happens.
    try {
        startAndWait();
    } catch (...) {
        try {
            restoreChoice(previous, saver);
        } catch (const std::exception&) {
            // The error that stopped the start is the one the user needs to see.
        }
        throw;
    }
    restoreChoice(previous, saver);
}

void FrmLaunch::startAndWait() {
    if (!services_.host.startScreenSaver()) {
        throw Error::of(err::FileNotFound);
    }
    hide();
    QCoreApplication::processEvents();
    services_.clock.sleep(kStartWaitMs);
    QCoreApplication::processEvents();
}

void FrmLaunch::restoreChoice(const QString& previous, const QString& saver) {
    if (previous != saver) {
        writeDesktopValue(kSaverValue, previous);
    }
}

QString FrmLaunch::readDesktopValue(const char* name) {
    reg_.setClassKey(HKEY_CURRENT_USER);
    reg_.setSectionKey(QString::fromLatin1(kDesktopKey));
    reg_.setValueKey(QString::fromLatin1(name));
    reg_.setValueType(REG_SZ);
    return reg_.value().toString();
}

void FrmLaunch::writeDesktopValue(const char* name, const QString& value) {
    reg_.setClassKey(HKEY_CURRENT_USER);
    reg_.setSectionKey(QString::fromLatin1(kDesktopKey));
    reg_.setValueKey(QString::fromLatin1(name));
    reg_.setValueType(REG_SZ);
    reg_.setValue(value);
}

} // namespace nimbuscope
