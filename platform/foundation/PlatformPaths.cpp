#include "foundation/PlatformPaths.h"

#include <QDir>
#include <QFile>
#include <QtGlobal>

#include <sys/stat.h>
#include <unistd.h>

using namespace Qt::StringLiterals;

namespace {

/**
 * Root (through sudo -E, say) must not keep its state in a folder another account controls:
 * that account could swap a folder on the way for a link between root's check and its write.
 */
bool rootMayUse(const QString &folder, QString *error) {
    if (::geteuid() != 0)
        return true;
    QString at;
    for (const QString &part : folder.split(u'/', Qt::SkipEmptyParts)) {
        at += u'/' + part;
        struct stat info {};
        if (::lstat(QFile::encodeName(at).constData(), &info) != 0)
            return true;
        if (info.st_uid != 0) {
            if (error)
                *error = u"%1 belongs to uid %2, and root does not write in another account's "
                         u"folders; run this as that account"_s.arg(at)
                             .arg(info.st_uid);
            return false;
        }
    }
    return true;
}

QString stateHomeFromEnvironment(QString *error) {
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

} // namespace

QString platformStateHome(QString *error) {
    const QString home = stateHomeFromEnvironment(error);
    return home.isEmpty() || !rootMayUse(home, error) ? QString() : home;
}

QString platformStateDirectory(QString *error) {
    const QString home = platformStateHome(error);
    return home.isEmpty() ? QString() : home + u'/' + platformFolderName;
}
