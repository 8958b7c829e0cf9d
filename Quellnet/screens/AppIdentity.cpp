#include "AppIdentity.h"

#include "foundation/NSBundle.h"

#include <QCoreApplication>
#include <QGuiApplication>

using namespace Qt::StringLiterals;

void installAppIdentity() {
    NSBundle::mainBundle().setInfoDictionary(QVariantMap{
        {u"CFBundleIdentifier"_s, u"net.quellnet.Quellnet"_s},
        {u"CFBundleDisplayName"_s, u"Quellnet"_s},
        {u"CFBundleShortVersionString"_s, QStringLiteral(QUELLNET_VERSION)},
    });
    QCoreApplication::setOrganizationName(u"Quellnet"_s);
    QCoreApplication::setApplicationName(u"Quellnet"_s);
    QCoreApplication::setApplicationVersion(QStringLiteral(QUELLNET_VERSION));
    QGuiApplication::setApplicationDisplayName(u"Quellnet"_s);
}
