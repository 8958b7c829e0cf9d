#include "storekit/StoreReachability.h"

#include "foundation/PlatformLog.h"
#include "foundation/PlatformPaths.h"
#include "foundation/SafeFile.h"

using namespace Qt::StringLiterals;

QString StoreReachability::offlineFlagPath() {
    const QString root = platformStateDirectory();
    return root.isEmpty() ? QString() : root + u"/StoreKit/offline"_s;
}

bool StoreReachability::isReachable() {
    const QString path = offlineFlagPath();
    // Not QFileInfo::exists(): a dangling link there was still put there to mean offline.
    return path.isEmpty() || SafeFile::kindOf(path) == SafeFile::Kind::absent;
}

bool StoreReachability::setReachable(bool reachable, QString *error) {
    QString reason;
    const QString home = platformStateHome(&reason);
    bool done = false;
    if (!home.isEmpty()) {
        const QString path = offlineFlagPath();
        if (reachable) {
            done = SafeFile::remove(path, &reason);
        } else {
            const QByteArray note = "The app store is unreachable until this file is removed.\n";
            done = SafeFile::ensureDirectory(home, platformFolderName + u"/StoreKit"_s, &reason) &&
                   SafeFile::write(path, note, &reason);
        }
    }
    if (!done) {
        qCWarning(lcPlatformStoreKit).noquote()
            << "cannot change the store's reachability:" << reason;
        if (error)
            *error = reason;
    }
    return done;
}
