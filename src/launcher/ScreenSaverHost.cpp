#include "launcher/ScreenSaverHost.h"

#include "launcher/FrmLaunch.h"
#include "platform/ProgramStarter.h"
#include "settings/cRegistry.h"

namespace nimbuscope {

bool RegistryScreenSaverHost::startScreenSaver() {
    cRegistry reg(registry_);
    reg.setClassKey(HKEY_CURRENT_USER);
    reg.setSectionKey(QString::fromLatin1(FrmLaunch::kDesktopKey));
    reg.setValueKey(QString::fromLatin1(FrmLaunch::kSaverValue));
    reg.setValueType(REG_SZ);
    const QString saver = reg.value().toString();
    if (saver.isEmpty()) {
        return false;
    }
    return programs_.startDetached(saver, {QString::fromLatin1(FrmLaunch::kSaverSwitch)});
}

} // namespace nimbuscope
