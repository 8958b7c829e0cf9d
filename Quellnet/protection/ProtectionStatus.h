#pragma once

#include <QObject>

#include <functional>

class NEDNSSettingsManager;

/**
 * Asks the platform whether the saved DNS configuration is switched on. The answer arrives
 * later through `setFlag`; a failed load leaves the flag as it was. Nothing runs once `context`
 * is gone, so a screen may go away while the question is open.
 */
void refreshProtectionStatus(NEDNSSettingsManager &manager, QObject *context,
                             std::function<void(bool)> setFlag);
