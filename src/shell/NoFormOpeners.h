#pragma once

#include "shell/ModeOpeners.h"

namespace nimbuscope {

/// The openers of a build that has no forms for the modes yet: each mode ends as soon as it
/// is chosen, so the start-up rules (settings, switches, single instance) still hold.
class NoFormOpeners final : public ModeOpeners {
public:
    void openSaver(SaverApp&) override {}
    bool openPreview(SaverApp&, qint32) override { return false; }
    void openSetup(SaverApp&) override {}
};

} // namespace nimbuscope
