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
    explicit SaverApp(ShellServices services);
    ~SaverApp();
    SaverApp(const SaverApp&) = delete;
    SaverApp& operator=(const SaverApp&) = delete;

    /// Keeps the hold of the single-instance step for as long as the process lives.
    void keepInstanceHold(std::unique_ptr<InstanceLock> hold);

    /// Ends the process at once; nothing after the call runs.
    [[noreturn]] void endProgramNow(int status = 0);

    /// The system asks the program to end with `signalNumber` (SIGTERM, SIGINT; called from
    /// the event loop): the open form ends in its own order (the saver window through
    /// endProgram), or, when no form has given an orderly end, the process dies of the
    /// signal at once.
    void requestEnd(int signalNumber);
    /// The orderly end of the open form; an empty one takes it back. With `diesOfSignal`
    /// an end the system asked for finishes by dying of its signal, as a host that killed
    /// its display mode expects; otherwise with status 0.
    void setOrderlyEnd(std::function<void()> end, bool diesOfSignal = false) {
        orderlyEnd_ = std::move(end);
        diesOfSignal_ = diesOfSignal;
    }

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
    std::unique_ptr<InstanceLock> instanceHold_;
    std::function<void()> orderlyEnd_;
    bool diesOfSignal_ = false;
    int endSignal_ = 0;
};

} // namespace nimbuscope
