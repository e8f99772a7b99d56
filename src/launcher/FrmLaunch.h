#pragma once

#include "settings/cRegistry.h"

#include <QString>
#include <QWidget>

namespace nimbuscope {

class Clock;
class Dialogs;
class Platform;
class ProcessEnd;
class ProgramStarter;
class RegistryApi;
class ScreenSaverHost;

/// What the launcher works with; main passes the real ones.
struct LaunchServices {
    Platform& platform;
    RegistryApi& registry;
    Clock& clock;
    ProgramStarter& programs;
    ScreenSaverHost& host;
    Dialogs& dialogs;
    ProcessEnd& processEnd;
    /// The folder the saver is installed in: the launcher's own folder.
    QString systemFolder;
};

/// The launcher's only window. It is never shown: loading it starts the saver full screen,
/// as if the system had started it, and ends the program.
class FrmLaunch final : public QWidget {
    Q_OBJECT

public:
    static constexpr const char* kCaption = "Nimbuscope Launcher";
    static constexpr const char* kSaverFileName = "nimbuscope";
    static constexpr const char* kSaverSwitch = "/s";
    static constexpr const char* kDesktopKey = "Control Panel\\Desktop";
    static constexpr const char* kActiveValue = "ScreenSaveActive";
    static constexpr const char* kSaverValue = "SCRNSAVE.EXE";
    /// Time the system gets to start the saver before the previous choice is put back.
    static constexpr int kStartWaitMs = 2000;
    /// Exit status after an error has been shown.
    static constexpr int kFailedStatus = 1;

    explicit FrmLaunch(LaunchServices services, QWidget* parent = nullptr);

    /// Starts the saver and ends the process: status 0, or kFailedStatus after showing the
    /// error that stopped it. The user's screen-saver choice is never left replaced.
    [[noreturn]] void Form_Load();

    /// The installed saver: the system folder followed by the saver's file name.
    QString saverPath() const;

private:
    void launch9x(const QString& saver);
    void launchNt(const QString& saver);
    void startAndWait();
    void restoreChoice(const QString& previous, const QString& saver);
    QString readDesktopValue(const char* name);
    void writeDesktopValue(const char* name, const QString& value);

    LaunchServices services_;
    cRegistry reg_;
};

} // namespace nimbuscope
