#pragma once

#include <QtGlobal>

namespace nimbuscope {

class SaverApp;

/// Opens the form of the mode that start-up has chosen. Start-up has already loaded the
/// settings, set `gbSaverMode` and passed the single-instance step, whose hold of the mode's
/// caption lasts as long as the process.
class ModeOpeners {
public:
    virtual ~ModeOpeners() = default;

    /// Loads FrmMain and shows it modally; returns once it is gone. The process then ends
    /// normally (or FrmMain has ended it already).
    virtual void openSaver(SaverApp& app) = 0;
    /// Loads FrmPreview, puts its picture inside the window `parentHandle` (0: none) and
    /// shows it without modality. True when the form is now loaded and the event loop must
    /// serve it; the form ends the process itself.
    virtual bool openPreview(SaverApp& app, qint32 parentHandle) = 0;
    /// Places FrmSetup, shows it modally and unloads it; the process ends right after.
    virtual void openSetup(SaverApp& app) = 0;
    /// True when the saver is to draw in a window that a screen-saver host handed over.
    virtual bool saverHasHost() const { return false; }
};

} // namespace nimbuscope
