#include "screens/ReviewPrompt.h"

#include "foundation/NSBundle.h"

#include <QSettings>

namespace ReviewPrompt {

QString currentAppVersion() {
    const auto info = NSBundle::mainBundle().infoDictionary();
    if (!info)
        return {};
    const QVariant version = info->value(QStringLiteral("CFBundleShortVersionString"));
    return version.typeId() == QMetaType::QString ? version.toString() : QString();
}

bool runOncePerVersion(const QString &key, const std::function<void()> &action) {
    const QString version = currentAppVersion();
    {
        QSettings settings;
        if (settings.contains(key) && settings.value(key).toString() == version)
            return false;
        settings.setValue(key, version);
        settings.sync();
    }
    if (action)
        action();
    return true;
}

} // namespace ReviewPrompt
