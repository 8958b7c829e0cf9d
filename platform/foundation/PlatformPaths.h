#pragma once

#include <QString>

/**
 * The folder under which the emulated phone keeps its own system state: XDG_STATE_HOME, or
 * ~/.local/state. Read from the environment on every call so that a test or tool that moves
 * XDG_STATE_HOME is followed at once. Empty, with a reason in `error`, when neither
 * XDG_STATE_HOME nor HOME is usable: a folder at the root of the file system is never a guess.
 */
QString platformStateHome(QString *error = nullptr);

/** Name of the platform's own folder inside platformStateHome(). */
inline const QString platformFolderName = QStringLiteral("device-platform");

/**
 * The one folder where the emulated phone keeps its own system state (DNS configurations, store
 * reachability), apart from any app's data. Empty when platformStateHome() is.
 */
QString platformStateDirectory(QString *error = nullptr);
