#pragma once

#include <QRect>

#include "retrieval/PageRetriever.h"

class QWidget;

namespace nimbuscope {

class SaverApp;

/// The setup dialog as the saver window opens it: loaded, centred on the screen, shown
/// modally above every window, then unloaded.
class SetupDialogHost {
public:
    virtual ~SetupDialogHost() = default;
    /// Shows the dialog over `owner`, centred on `screen` (pixels), and returns its Cancel
    /// flag: true when the user left it with Cancel.
    virtual bool showModalCentredTopmost(QWidget* owner, const QRect& screen) = 0;
};

/// The setup dialog FrmSetup. When the owner is the saver window, the dialog's zip code
/// check uses the window's page-retrieval component (created from `components` if the window
/// has none yet) and marks the window's zip code valid when it finds the location; for any
/// other owner the host keeps a component of its own.
class FrmSetupHost final : public SetupDialogHost {
public:
    FrmSetupHost(SaverApp& app, const ComponentFactory& components);
    ~FrmSetupHost() override;

    bool showModalCentredTopmost(QWidget* owner, const QRect& screen) override;

private:
    SaverApp& app_;
    RetrieverSlot ownRetriever_;
};

} // namespace nimbuscope
