#include "ProtectionStatus.h"

#include "networkextension/NEDNSSettingsManager.h"

#include <QPointer>

void refreshProtectionStatus(QObject *context, std::function<void(bool)> setFlag) {
    NEDNSSettingsManager &manager = NEDNSSettingsManager::sharedManager();
    manager.loadFromPreferencesWithCompletionHandler(
        [guard = QPointer(context), &manager, setFlag = std::move(setFlag)](OptionalError error) {
            if (!guard || error)
                return;
            setFlag(manager.isEnabled());
        });
}
