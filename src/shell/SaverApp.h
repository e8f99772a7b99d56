#pragma once

#include "platform/Folders.h"
#include "settings/RegistryValues.h"
#include "shell/WorkingFolder.h"
#include "support/Log.h"

#include <QString>

#include <functional>
#include <memory>

namespace nimbuscope {

class Clock;
class Dialogs;
class FrameTrace;
class InstanceLock;
class InstanceLocks;
class PasswordServices;
class Platform;
class ProcessEnd;
class RegistryApi;

/// The outside world one saver process works with. main passes the real services; a test
/// passes fakes or real ones inside a TestWorld.
struct ShellServices {
    Platform& platform;
    Clock& clock;
    RegistryApi& registry;
    InstanceLocks& locks;
    ProcessEnd& processEnd;
    Dialogs& dialogs;
    PasswordServices& passwords;
    Folders folders;
};

/// The one application object of a saver process: the services it was given and the state
/// that lives as long as the process (the logs, the settings, the start-up flags). Forms
/// receive it and reach everything through it.
class SaverApp {
public:
    /// The lock a running copy of the program holds, for the previous-instance test.
    static constexpr const char* kProgramLockName = "nimbuscope";

    explicit SaverApp(ShellServices services);
    ~SaverApp();
    SaverApp(const SaverApp&) = delete;
    SaverApp& operator=(const SaverApp&) = delete;

    /// What the runtime does before the entry point: answer whether another copy of the
    /// program is running, then count this one in. Called once, first.
    void registerInstance();
    /// True when another copy of the program was running when this one registered.
    bool prevInstance() const { return prevInstance_; }

    /// Ends the process at once; nothing after the call runs.
    [[noreturn]] void endProgramNow(int status = 0);

    /// The system asks the program to end (SIGTERM, SIGINT; called from the event loop):
    /// the open form ends in its own order (the saver window through endProgram), or the
    /// process ends at once when no form has given an orderly end.
    void requestEnd();
    /// The orderly end of the open form; an empty one takes it back.
    void setOrderlyEnd(std::function<void()> end) { orderlyEnd_ = std::move(end); }

    const ShellServices& services() const { return services_; }
    const Folders& folders() const { return services_.folders; }
    Log& log() { return log_; }
    RegistryValues& settings() { return settings_; }
    /// The frame trace the environment asked for, or null (the usual case).
    FrameTrace* frameTrace() const { return frameTrace_; }
    void setFrameTrace(FrameTrace* trace) { frameTrace_ = trace; }

    /// True unless the program was started for setup or preview; the setup dialog places
    /// its about box by it.
    bool gbSaverMode = true;
    /// The cache and log folders, once the saver window or the bridge has made them.
    WorkingFolders workingFolders;

private:
    ShellServices services_;
    Log log_;
    RegistryValues settings_;
    FrameTrace* frameTrace_ = nullptr;
    std::unique_ptr<InstanceLock> programLock_;
    std::function<void()> orderlyEnd_;
    bool prevInstance_ = false;
};

} // namespace nimbuscope
