#include "screens/ReviewPrompt.h"

#include "foundation/NSBundle.h"

#include <QHash>
#include <QSettings>

#include <optional>

namespace ReviewPrompt {

namespace {

/**
 * Versions written this run whose write did not reach the settings file (a full disk, a
 * folder that cannot be created). They count for the rest of the run, so an action is not
 * repeated on every appearance just because its version could not be saved. Only the GUI
 * thread runs these actions.
 */
QHash<QString, QString> &unsavedVersions() {
    static QHash<QString, QString> versions;
    return versions;
}

std::optional<QString> storedVersion(const QString &key) {
    if (const auto it = unsavedVersions().constFind(key); it != unsavedVersions().cend())
        return *it;
    const QSettings settings;
    if (!settings.contains(key))
        return std::nullopt;
    return settings.value(key).toString();
}

void storeVersion(const QString &key, const QString &version) {
    QSettings settings;
    settings.setValue(key, version);
    settings.sync();
    if (settings.status() == QSettings::NoError)
        unsavedVersions().remove(key);
    else
        unsavedVersions().insert(key, version);
}

} // namespace

QString currentAppVersion() {
    const auto info = NSBundle::mainBundle().infoDictionary();
    if (!info)
        return {};
    const QVariant version = info->value(QStringLiteral("CFBundleShortVersionString"));
    return version.typeId() == QMetaType::QString ? version.toString() : QString();
}

void forgetUnsavedSettings() {
    unsavedVersions().clear();
}

bool runOncePerVersion(const QString &key, const std::function<void()> &action) {
    const QString version = currentAppVersion();
    if (storedVersion(key) == version)
        return false;
    storeVersion(key, version);
    if (action)
        action();
    return true;
}

} // namespace ReviewPrompt
