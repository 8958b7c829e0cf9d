#include "foundation/PlatformLog.h"

Q_LOGGING_CATEGORY(lcPlatformDns, "quellnet.platform.dns", QtWarningMsg)
Q_LOGGING_CATEGORY(lcPlatformStoreKit, "quellnet.platform.storekit", QtWarningMsg)
Q_LOGGING_CATEGORY(lcPlatformSystem, "quellnet.platform.system", QtWarningMsg)
