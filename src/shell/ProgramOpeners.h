#pragma once

#include "shell/ModeOpeners.h"
#include "shell/NoFormOpeners.h"

#include <QString>

namespace nimbuscope {

/// The openers of the program: the saver window; the preview and the setup dialog as the
/// other openers have them.
class ProgramOpeners final : public ModeOpeners {
public:
    /// `commandLine` is shown in the saver window's diagnostic label.
    explicit ProgramOpeners(QString commandLine) : commandLine_(std::move(commandLine)) {}

    /// Builds FrmMain with the real timers, retrieval component, cursor and setup dialog,
    /// runs its load and serves it until the process ends (FrmMain ends it).
    void openSaver(SaverApp& app) override;
    bool openPreview(SaverApp& app, qint32 parentHandle) override {
        return others_.openPreview(app, parentHandle);
    }
    void openSetup(SaverApp& app) override { others_.openSetup(app); }

private:
    QString commandLine_;
    NoFormOpeners others_;
};

} // namespace nimbuscope
