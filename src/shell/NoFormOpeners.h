#pragma once

#include "shell/ModeOpeners.h"
#include "shell/PreviewOpener.h"

namespace nimbuscope {

/// The openers of a build whose saver and setup forms are not there yet: those modes end as
/// soon as they are chosen, so the start-up rules (settings, switches, single instance) still
/// hold. The preview is real.
class NoFormOpeners final : public ModeOpeners {
public:
    void openSaver(SaverApp&) override {}
    bool openPreview(SaverApp& app, qint32 parentHandle) override {
        return preview_.open(app, parentHandle);
    }
    void openSetup(SaverApp&) override {}

private:
    PreviewOpener preview_;
};

} // namespace nimbuscope
