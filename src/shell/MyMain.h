#pragma once

#include <QString>

namespace nimbuscope {

class ModeOpeners;
class SaverApp;

/// What main does once the entry point has returned.
enum class AfterEntry {
    Return,       // no form is left: return from main
    RunEventLoop, // a modeless form is loaded: serve it until it ends the process
};

/// Window captions by which instances of each mode find each other.
inline constexpr const char* kPlaybackCaption = "NimbuscopePlayback";
inline constexpr const char* kPreviewCaption = "NimbuscopePreview";
inline constexpr const char* kSetupCaption = "Nimbuscope Setup";

/// The entry point: lets pending events run once, loads the settings, reads the switch of
/// the command line `cmd` and opens exactly one mode. A second start of a mode whose window
/// is open (the full-screen saver, the preview or the setup dialog), and an unknown switch,
/// end the process at once with status 0; a saver in a host's window always opens.
AfterEntry Main(SaverApp& app, ModeOpeners& openers, const QString& cmd);

} // namespace nimbuscope
