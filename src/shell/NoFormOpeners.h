#pragma once

#include "shell/ModeOpeners.h"
#include "shell/SetupOpener.h"

namespace nimbuscope {

/// The openers of a build whose saver and preview forms are not there yet: those modes end
/// as soon as they are chosen, so the start-up rules (settings, switches, single instance)
/// still hold. The setup dialog is real.
class NoFormOpeners final : public ModeOpeners {
public:
    void openSaver(SaverApp&) override {}
    bool openPreview(SaverApp&, qint32) override { return false; }
    void openSetup(SaverApp& app) override { setup_.open(app); }

private:
    SetupOpener setup_;
};

} // namespace nimbuscope
