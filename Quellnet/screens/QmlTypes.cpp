#include "QmlTypes.h"

#include <QClipboard>
#include <QFontDatabase>
#include <QGuiApplication>

QString Symbols::fontFamily() {
    static const QString family = [] {
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
