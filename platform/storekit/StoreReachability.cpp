#include "storekit/StoreReachability.h"

#include "foundation/PlatformPaths.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

using namespace Qt::StringLiterals;

QString StoreReachability::offlineFlagPath() {
    return platformStateDirectory() + u"/StoreKit/offline"_s;
}

bool StoreReachability::isReachable() {
    return !QFileInfo::exists(offlineFlagPath());
}

bool StoreReachability::setReachable(bool reachable) {
    const QString path = offlineFlagPath();
    if (reachable)
        return !QFileInfo::exists(path) || QFile::remove(path);
    if (!QDir().mkpath(QFileInfo(path).path()))
        return false;
    QSaveFile file(path);
    const QByteArray note = "The app store is unreachable until this file is removed.\n";
    return file.open(QIODevice::WriteOnly) && file.write(note) == note.size() && file.commit();
}
