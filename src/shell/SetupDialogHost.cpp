#include "shell/SetupDialogHost.h"

#include "platform/Dialogs.h"
#include "settings/RegistryValues.h"

namespace nimbuscope {

bool SetupDialogStandIn::showModalCentredTopmost(QWidget* owner, const QRect&) {
    dialogs_.messageBox(message(), owner);
    return true;
}

QString SetupDialogStandIn::message() {
    // The settings live in the machine hive when this user may write it.
    const QString hive =
        settings_.cache().hklmWritable ? hives_.localMachineHive : hives_.currentUserHive;
    const QString where = QStringLiteral("set the value \"zipcode\" (five digits) under ") +
                          QLatin1String(RegistryValues::kProductKey) + QStringLiteral(" in ") +
                          hive + QStringLiteral(", then start the saver again.");
    if (settings_.getZipCode().size() <= 1) {
        return QStringLiteral("No weather radar location is configured yet. To choose one, ") +
               where;
    }
    return QStringLiteral("The settings cannot be changed from the running saver yet. To "
                          "choose another location, ") +
           where;
}

} // namespace nimbuscope
