#pragma once

class QString;

namespace nimbuscope {

class ProgramStarter;
class RegistryApi;

/// The system's "start the screen saver now" request.
class ScreenSaverHost {
public:
    virtual ~ScreenSaverHost() = default;
    /// Starts the current screen saver the way the system does when the user is idle;
    /// false when none could be started.
    virtual bool startScreenSaver() = 0;
};

/// The current screen saver is the program named by "SCRNSAVE.EXE" under
/// HKEY_CURRENT_USER\Control Panel\Desktop; it is run with "/s", detached.
class RegistryScreenSaverHost final : public ScreenSaverHost {
public:
    RegistryScreenSaverHost(RegistryApi& registry, ProgramStarter& programs)
        : registry_(registry), programs_(programs) {}

    bool startScreenSaver() override;

private:
    RegistryApi& registry_;
    ProgramStarter& programs_;
};

} // namespace nimbuscope
