#include "screens/ReviewPrompt.h"

#include "foundation/NSBundle.h"
#include "foundation/SafeFile.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QHash>
#include <QLoggingCategory>
#include <QSettings>
#include <QStandardPaths>

#include <optional>
#include <sys/stat.h>

Q_LOGGING_CATEGORY(lcSettings, "quellnet.settings")

using namespace Qt::StringLiterals;

namespace ReviewPrompt {

namespace {

constexpr qint64 maxSettingsSize = 1024 * 1024;

/**
 * Versions written this run whose write did not reach the settings file (a full disk, a
 * folder that cannot be created, a link in the file's place). They count for the rest of the
 * run, so an action is not repeated on every appearance just because its version could not be
 * saved. Only the GUI thread runs these actions.
 */
QHash<QString, QString> &unsavedVersions() {
    static QHash<QString, QString> versions;
    return versions;
}

/** Where QSettings() keeps this application's user settings, found without reading them. */
QString settingsPath() {
    QString organization = QCoreApplication::organizationName();
    if (organization.isEmpty())
        organization = QCoreApplication::organizationDomain();
    if (organization.isEmpty())
        organization = u"Unknown Organization"_s;
    const QString application = QCoreApplication::applicationName();
    return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) + u'/' +
           organization + (application.isEmpty() ? QString() : u'/' + application) + u".conf"_s;
}

/**
 * Why the user settings must not be read or written now, or empty. QSettings follows a link
 * in the file's place or its folder's (QSaveFile replaces the link's target) and reads any
 * size; so only a regular file within a limit, in a real folder, is used.
 */
QString settingsRefusal() {
    const QString file = settingsPath();
    const QString folder = QFileInfo(file).path();
    const SafeFile::Kind folderKind = SafeFile::kindOf(folder);
    if (folderKind == SafeFile::Kind::absent)
        return {}; // made by the write as a real folder
    if (folderKind != SafeFile::Kind::directory)
        return u"%1 is %2"_s.arg(folder, SafeFile::describe(folder));
    switch (SafeFile::kindOf(file)) {
    case SafeFile::Kind::absent:
        return {};
    case SafeFile::Kind::regular:
        if (struct stat status{}; ::lstat(QFile::encodeName(file).constData(), &status) == 0 &&
                                  status.st_size <= maxSettingsSize)
            return {};
        return u"%1 is larger than %2 bytes"_s.arg(file).arg(maxSettingsSize);
    default:
        return u"%1 is %2"_s.arg(file, SafeFile::describe(file));
    }
}

std::optional<QString> storedVersion(const QString &key) {
    if (const auto it = unsavedVersions().constFind(key); it != unsavedVersions().cend())
        return *it;
    if (!settingsRefusal().isEmpty())
        return std::nullopt;
    const QSettings settings;
    if (!settings.contains(key))
        return std::nullopt;
    return settings.value(key).toString();
}

void storeVersion(const QString &key, const QString &version) {
    QString problem = settingsRefusal();
    if (problem.isEmpty()) {
        QSettings settings;
        settings.setValue(key, version);
        settings.sync();
        if (settings.status() == QSettings::NoError) {
            unsavedVersions().remove(key);
            return;
        }
        problem = u"%1 could not be written"_s.arg(settings.fileName());
    }
    qCWarning(lcSettings, "%s is kept for this run only: %s", qUtf8Printable(key),
              qUtf8Printable(problem));
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
