#include "AppIdentity.h"

#include "foundation/NSBundle.h"

#include <QCoreApplication>
#include <QGuiApplication>

using namespace Qt::StringLiterals;

void installAppIdentity() {
    // The installed desktop entry, metainfo and icon carry this name (data/), so the desktop
    // matches the running window to its menu entry and icon by it.
    const QString identifier = u"net.quellnet.Quellnet"_s;
    NSBundle::mainBundle().setInfoDictionary(QVariantMap{
        {u"CFBundleIdentifier"_s, identifier},
        {u"CFBundleDisplayName"_s, u"Quellnet"_s},
        {u"CFBundleShortVersionString"_s, QStringLiteral(QUELLNET_VERSION)},
    });
    QCoreApplication::setOrganizationName(u"Quellnet"_s);
    QCoreApplication::setApplicationName(u"Quellnet"_s);
    QCoreApplication::setApplicationVersion(QStringLiteral(QUELLNET_VERSION));
    QGuiApplication::setApplicationDisplayName(u"Quellnet"_s);
    QGuiApplication::setDesktopFileName(identifier);
}
