#include "NSBundle.h"

NSBundle &NSBundle::mainBundle() {
    static NSBundle bundle;
    return bundle;
}

QString NSBundle::bundleIdentifier() const {
    return m_info ? m_info->value(QStringLiteral("CFBundleIdentifier")).toString() : QString();
}

QString NSBundle::displayName() const {
    const QString name =
        m_info ? m_info->value(QStringLiteral("CFBundleDisplayName")).toString() : QString();
    return name.isEmpty() ? bundleIdentifier() : name;
}
