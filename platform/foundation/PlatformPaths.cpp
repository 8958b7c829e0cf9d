#include "foundation/PlatformPaths.h"

#include <QDir>
#include <QtGlobal>

QString platformStateDirectory() {
    // XDG says a relative value is invalid and must be ignored.
    QString stateHome = qEnvironmentVariable("XDG_STATE_HOME");
    if (stateHome.isEmpty() || QDir::isRelativePath(stateHome))
        stateHome = QDir::homePath() + QStringLiteral("/.local/state");
    return QDir::cleanPath(stateHome + QStringLiteral("/device-platform"));
}
