#pragma once

#include "platform/RegistryApi.h"

#include <QRect>
#include <QString>

class QWidget;

namespace nimbuscope {

class Dialogs;
class RegistryValues;

/// The setup dialog as the saver window opens it: loaded, centred on the screen, shown
/// modally above every window, then unloaded.
class SetupDialogHost {
public:
    virtual ~SetupDialogHost() = default;
    /// Shows the dialog over `owner`, centred on `screen` (pixels), and returns its Cancel
    /// flag: true when the user left it with Cancel.
    virtual bool showModalCentredTopmost(QWidget* owner, const QRect& screen) = 0;
};

/// Stands in for the setup dialog until the program has one: it says in a message box how
/// a location is configured and answers Cancel, so a saver without a location ends cleanly
/// and a running one resumes.
class SetupDialogStandIn final : public SetupDialogHost {
public:
    SetupDialogStandIn(Dialogs& dialogs, RegistryValues& settings, RegistryPaths hives)
        : dialogs_(dialogs), settings_(settings), hives_(std::move(hives)) {}

    bool showModalCentredTopmost(QWidget* owner, const QRect& screen) override;

    /// The message for the current settings: no location stored, or settings not
    /// changeable from the running saver.
    QString message();

private:
    Dialogs& dialogs_;
    RegistryValues& settings_;
    RegistryPaths hives_;
};

} // namespace nimbuscope
