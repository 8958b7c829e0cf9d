#include "SymbolGlyphs.h"

#include <array>
#include <utility>

namespace {
struct Entry {
    const char16_t *symbol;
    char32_t codePoint; // Material Icons code point (material-design-icons.css)
};

// Outline glyphs where the font has them, to match the system symbols' stroke style.
constexpr std::array kTable{
    Entry{u"checkmark", 0xe5ca},                      // check
    Entry{u"xmark", 0xe5cd},                          // close
    Entry{u"info.circle", 0xe88f},                    // info_outline
    Entry{u"gear", 0xe8b8},                           // settings
    Entry{u"trash", 0xe92e},                          // delete_outline
    Entry{u"plus", 0xe145},                           // add
    Entry{u"hand.raised", 0xe769},                    // front_hand
    Entry{u"hand.raised.fill", 0xe925},               // pan_tool
    Entry{u"crown", 0xe7af},                          // workspace_premium
    Entry{u"network", 0xe894},                        // language (globe)
    Entry{u"square.and.arrow.down", 0xe171},          // save_alt
    Entry{u"arrow.trianglehead.2.clockwise", 0xe627}, // sync
    Entry{u"exclamationmark.circle", 0xe001},         // error_outline
    Entry{u"exclamationmark.triangle", 0xf083},       // warning_amber
    Entry{u"arrow.down.circle", 0xf181},              // arrow_circle_down
    Entry{u"doc.on.clipboard", 0xe14f},               // content_paste
    Entry{u"magnifyingglass", 0xe8b6},                // search
    Entry{u"star", 0xe838},                           // star
    Entry{u"chevron.left", 0xe5cb},                   // chevron_left
    Entry{u"lock.shield", 0xe32a},                    // security
};
} // namespace

namespace SymbolGlyphs {

QString glyph(const QString &symbolName) {
    for (const Entry &e : kTable)
        if (symbolName == QStringView(e.symbol))
            return QString::fromUcs4(&e.codePoint, 1);
    return {};
}

QStringList symbolNames() {
    QStringList names;
    for (const Entry &e : kTable)
        names << QString::fromUtf16(e.symbol);
    return names;
}

QString fontResourcePath() {
    return QStringLiteral(":/quellnet/fonts/MaterialIcons-Regular.ttf");
}

QString fontUrl() {
    return QStringLiteral("qrc") + fontResourcePath();
}

} // namespace SymbolGlyphs
