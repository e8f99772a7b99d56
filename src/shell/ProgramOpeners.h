#pragma once

#include "shell/ModeOpeners.h"
#include "shell/NoFormOpeners.h"

#include <QString>

namespace nimbuscope {

/// The openers of the program: the saver window; the preview and the setup dialog as the
/// other openers have them.
class ProgramOpeners final : public ModeOpeners {
public:
    /// `commandLine` is shown in the saver window's diagnostic label; `hostWindow` is the
    /// id of the window a screen-saver host hands over (XSCREENSAVER_WINDOW), empty for none.
    ProgramOpeners(QString commandLine, QString hostWindow)
        : commandLine_(std::move(commandLine)), hostWindow_(std::move(hostWindow)) {}

    /// Builds FrmMain with the real timers, retrieval component, cursor and setup dialog,
    /// runs its load and serves it until the process ends (FrmMain ends it). With a host's
    /// window the saver draws inside it; a window that cannot be reached ends the program at
    /// once with status 1 and a line on the standard error.
    void openSaver(SaverApp& app) override;
    bool openPreview(SaverApp& app, qint32 parentHandle) override {
        return others_.openPreview(app, parentHandle);
    }
    void openSetup(SaverApp& app) override { others_.openSetup(app); }
    bool saverHasHost() const override { return !hostWindow_.isEmpty(); }

private:
    QString commandLine_;
    QString hostWindow_;
    NoFormOpeners others_;
};

} // namespace nimbuscope
