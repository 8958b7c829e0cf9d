#include "QmlTypes.h"

#include <QClipboard>
#include <QFontDatabase>
#include <QGuiApplication>
#include <QQmlEngine>

QString Symbols::fontFamily() {
    static const QString family = [] {
        // Fonts registered before the system's are listed would lose to an installed font of
        // the same family (the icon font package ships a WOFF2 copy that FreeType must
        // decompress), so the system fonts are listed first.
        QFontDatabase::families();
        const int id = QFontDatabase::addApplicationFont(SymbolGlyphs::fontResourcePath());
        const QStringList families = QFontDatabase::applicationFontFamilies(id);
        return families.isEmpty() ? QString() : families.first();
    }();
    return family;
}

QStringList Clipboard::plainTexts() {
    const QString text = QGuiApplication::clipboard()->text();
    return text.isEmpty() ? QStringList() : QStringList{text};
}

Appearance *AppearanceForeign::create(QQmlEngine *, QJSEngine *) {
    if (!s_instance)
        return new Appearance; // the engine owns and deletes it
    QQmlEngine::setObjectOwnership(s_instance, QQmlEngine::CppOwnership);
    return s_instance;
}
