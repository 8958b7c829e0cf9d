#pragma once

// The app's own window as a test or benchmark draws it: the bundle's identity, the Basic style,
// and this version's review request and promotion already seen, so no sheet takes the keyboard
// until one is asked for.

#include "foundation/NSBundle.h"
#include "screens/ReviewPrompt.h"

#include <QQuickStyle>
#include <QSettings>

inline void setUpAsTheApp() {
    using namespace Qt::StringLiterals;
    NSBundle::mainBundle().setInfoDictionary(
        QVariantMap{{u"CFBundleIdentifier"_s, u"net.quellnet.Quellnet"_s},
                    {u"CFBundleDisplayName"_s, u"Quellnet"_s},
                    {u"CFBundleShortVersionString"_s, QStringLiteral(QUELLNET_VERSION)}});
    QQuickStyle::setStyle(u"Basic"_s);
    QSettings settings;
    settings.setValue(ReviewPrompt::appReviewVersionKey, ReviewPrompt::currentAppVersion());
    settings.setValue(ReviewPrompt::promotedAppVersionKey, ReviewPrompt::currentAppVersion());
}
