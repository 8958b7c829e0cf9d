#pragma once

#include "screens/Appearance.h"
#include "screens/RowListModel.h"
#include "screens/SymbolGlyphs.h"

#include <QObject>
#include <QtQml/qqml.h>

/** Makes the screen kit's row list, and its row kinds (RowListModel.TextField), known to QML;
    QML never creates one. */
struct RowListModelForeign {
    Q_GADGET
    QML_FOREIGN(RowListModel)
    QML_NAMED_ELEMENT(RowListModel)
    QML_UNCREATABLE("Owned by a screen")
};

/** The symbol-name-to-glyph table and its icon font, for QML's Icon. */
class Symbols : public QObject {
    Q_OBJECT
    QML_ELEMENT
    QML_SINGLETON
    Q_PROPERTY(QString fontFamily READ fontFamily CONSTANT)
public:
    using QObject::QObject;
    /**
     * Registers the icon font on first use. Call it before any window exists: a font added
     * later makes every window lay out all its text again at its next frame.
     */
    static QString fontFamily();
    Q_INVOKABLE QString glyph(const QString &symbolName) const {
        return SymbolGlyphs::glyph(symbolName);
    }
};

/** Plain text from the system clipboard, for paste buttons (QML has no clipboard of its own). */
class Clipboard : public QObject {
    Q_OBJECT
    QML_ELEMENT
    QML_SINGLETON
public:
    using QObject::QObject;
    /** The clipboard's plain text as a one-element list, or an empty list. */
    Q_INVOKABLE static QStringList plainTexts();
};

/**
 * Light or dark, for Theme.qml. The app hands in the Appearance it owns, which also follows the
 * desktop portal; anything else that loads the screens (tests, the screenshot tool) gets one
 * that follows the application palette.
 */
struct AppearanceForeign {
    Q_GADGET
    QML_FOREIGN(Appearance)
    QML_NAMED_ELEMENT(Appearance)
    QML_SINGLETON
public:
    /** The instance the next engine uses; it must outlive that engine. */
    static void setInstance(Appearance *appearance) { s_instance = appearance; }
    static Appearance *create(QQmlEngine *, QJSEngine *);

private:
    inline static Appearance *s_instance = nullptr;
};
