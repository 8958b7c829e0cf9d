#include "ProtectionStatus.h"

#include "networkextension/NEDNSSettingsManager.h"

#include <QPointer>

void refreshProtectionStatus(NEDNSSettingsManager &manager, QObject *context,
                             std::function<void(bool)> setFlag) {
    manager.loadFromPreferencesWithCompletionHandler(
        [guard = QPointer(context), &manager, setFlag = std::move(setFlag)](OptionalError error) {
            if (!guard || error)
                return;
            setFlag(manager.isEnabled());
        });
}
