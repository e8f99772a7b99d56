#pragma once

#include "shell/ModeOpeners.h"
#include "shell/PreviewOpener.h"
#include "shell/SetupOpener.h"

namespace nimbuscope {

/// The openers of a build whose saver form is not there yet: that mode ends as soon as it is
/// chosen, so the start-up rules (settings, switches, single instance) still hold. The
/// preview and the setup dialog are real.
class NoFormOpeners final : public ModeOpeners {
public:
    void openSaver(SaverApp&) override {}
    bool openPreview(SaverApp& app, qint32 parentHandle) override {
        return preview_.open(app, parentHandle);
    }
    void openSetup(SaverApp& app) override { setup_.open(app); }

private:
    PreviewOpener preview_;
    SetupOpener setup_;
};

} // namespace nimbuscope
