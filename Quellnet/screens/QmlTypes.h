#pragma once

#include "screens/RowListModel.h"
#include "screens/SymbolGlyphs.h"

#include <QObject>
#include <QtQml/qqml.h>

/** Makes the screen kit's row list known to QML tooling; QML never creates one. */
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
