#include "foundation/PlatformPaths.h"

#include <QDir>
#include <QtGlobal>

using namespace Qt::StringLiterals;

QString platformStateHome(QString *error) {
    // XDG says a relative value is invalid and must be ignored.
    const QString stateHome = qEnvironmentVariable("XDG_STATE_HOME");
    if (!stateHome.isEmpty() && !QDir::isRelativePath(stateHome))
        return QDir::cleanPath(stateHome);
    // Not QDir::homePath(): it answers "/" when HOME is unset.
    const QString home = qEnvironmentVariable("HOME");
    if (home.isEmpty() || QDir::isRelativePath(home)) {
        if (error)
            *error = home.isEmpty() ? u"HOME is not set, so the platform's folder cannot be found"_s
                                    : u"HOME (%1) is not an absolute path"_s.arg(home);
        return QString();
    }
    return QDir::cleanPath(home + u"/.local/state"_s);
}

QString platformStateDirectory(QString *error) {
    const QString home = platformStateHome(error);
    return home.isEmpty() ? QString() : home + u'/' + platformFolderName;
}
