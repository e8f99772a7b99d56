#pragma once

#include "retrieval/PageRetriever.h"

#include <optional>

namespace nimbuscope {

class SaverApp;

/// Opens the setup dialog on its own, as a start with "/c" does: places it, shows it
/// modally and unloads it. Without the saver window the dialog gets a page-retrieval slot of
/// its own, filled from `components` when a zip code check needs it.
class SetupOpener {
public:
    /// The program's components: the page-retrieval component on Qt Network, with the
    /// legacy-forms bridge as the settings at `open` configure it.
    SetupOpener() = default;
    explicit SetupOpener(ComponentFactory components) : components_(std::move(components)) {}

    void open(SaverApp& app);

private:
    std::optional<ComponentFactory> components_;
};

} // namespace nimbuscope
