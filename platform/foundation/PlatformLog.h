#pragma once

#include <QLoggingCategory>

// The platform library's log categories: files set aside (with their new path), files refused
// and why, failed writes and enforcement of the blocklist on this computer. Warnings are shown by
// default; QT_LOGGING_RULES="quellnet.platform.*=true" shows the informational lines too.
Q_DECLARE_LOGGING_CATEGORY(lcPlatformDns)
Q_DECLARE_LOGGING_CATEGORY(lcPlatformStoreKit)
Q_DECLARE_LOGGING_CATEGORY(lcPlatformSystem)
