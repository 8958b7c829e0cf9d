#pragma once

#include <QString>
#include <QStringList>

/**
 * The phone names its icons by system symbol names; on this desktop they are drawn with glyphs
 * of the Material Icons font. This table is the one place that pairs the two, so a screen that
 * uses a new symbol fails a unit test instead of drawing an empty box.
 */
namespace SymbolGlyphs {
/** The glyph (one character) for `symbolName`, or an empty string for an unknown name. */
QString glyph(const QString &symbolName);
/** Every symbol name the table knows. */
QStringList symbolNames();
/** The icon font inside the application's resources, usable with QFontDatabase and FontLoader. */
QString fontResourcePath();
QString fontUrl();
} // namespace SymbolGlyphs
