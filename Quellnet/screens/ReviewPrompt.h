#pragma once

#include <QString>

#include <functional>

/**
 * The once-per-version actions of the Domains screen (the store review request and the
 * promotion of another app). The running version is written to the user settings before the
 * action, so an action that fails or is dismissed is not repeated for the same version.
 */
namespace ReviewPrompt {

inline const QString appReviewVersionKey = QStringLiteral("appReviewVersion");
inline const QString promotedAppVersionKey = QStringLiteral("promotedAppVersion");

/** The bundle's CFBundleShortVersionString when present and a text, else the empty text.
    Read afresh on every call. */
QString currentAppVersion();

/** Unless the standard user settings hold exactly the running version under `key`, writes it
    there and then runs `action`. Returns whether it acted. */
bool runOncePerVersion(const QString &key, const std::function<void()> &action);

/** Drops the versions kept in memory because their write failed, as at the start of a run
    (tests). */
void forgetUnsavedSettings();

} // namespace ReviewPrompt
