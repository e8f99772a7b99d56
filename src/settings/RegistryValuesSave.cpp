// Saving a setting: the cache takes the value at once, the chosen root when it can.
#include "settings/RegistryValues.h"

#include "registry/RegistryHive.h"
#include "settings/cRegistry.h"

#include <utility>

namespace nimbuscope {

// A refused save is not reported here: the cache keeps the new value, and whoever must tell
// the user (the setup dialog's OK) asks takeFailedSave.
void RegistryValues::saveText(QString& field, const char* valueName, const QString& value) {
    field = value;
    try {
        writeValue(valueName, REG_SZ, value);
    } catch (...) {
        noteFailedSave();
    }
}

void RegistryValues::saveNumber(qint32& field, const char* valueName, qint32 value) {
    field = value;
    try {
        writeValue(valueName, REG_DWORD, value);
    } catch (...) {
        noteFailedSave();
    }
}

void RegistryValues::noteFailedSave() {
    const qint32 root = chosenRoot();
    failedSave_ = registry_.rootLocation(root);
    if (failedSave_.isEmpty()) {
        failedSave_ = rootKeyName(root);
    }
}

QString RegistryValues::takeFailedSave() {
    return std::exchange(failedSave_, QString());
}

void RegistryValues::saveZipCode(const QString& value) {
    saveText(cache_.zipcode, "zipcode", value);
}

void RegistryValues::saveTemplateURL(const QString& value) {
    saveText(cache_.templateURL, "templateURL", value);
}

void RegistryValues::saveCurrentConditionsURL(const QString& value) {
    saveText(cache_.currentConditionsURL, "currentConditionsURL", value);
}

void RegistryValues::saveCityState(const QString& value) {
    saveText(cache_.cityState, "cityState", value);
}

void RegistryValues::saveLocationMode(qint32 value) {
    saveNumber(cache_.locationMode, "locationMode", value);
}

void RegistryValues::saveDiscardAfter(qint32 value) {
    saveNumber(cache_.discardAfter, "discardAfter", value);
}

void RegistryValues::saveAnimationRateMS(qint32 value) {
    saveNumber(cache_.animationRateMS, "animationRateMS", value);
}

void RegistryValues::saveAnimationLastFrameMS(qint32 value) {
    saveNumber(cache_.animationLastFrameMS, "animationLastFrameMS", value);
}

void RegistryValues::saveChannelIDs(qint32 value) {
    saveNumber(cache_.channelIDs, "channelIDs", value);
}

void RegistryValues::saveCursorMovementSetting(qint32 value) {
    saveNumber(cache_.cursorMovement, "cursorMovement", value);
}

void RegistryValues::saveCursorVisibilitySetting(qint32 value) {
    saveNumber(cache_.cursorVisibility, "cursorVisibility", value);
}

void RegistryValues::saveShowAlerts(qint32 value) {
    saveNumber(cache_.showAlerts, "showAlerts", value);
}

} // namespace nimbuscope
