// Every symbol a screen names must draw a real glyph of the bundled icon font.
#include "TestEnvironment.h"

#include "screens/SymbolGlyphs.h"

#include <QFile>
#include <QRawFont>
#include <QTest>

using namespace Qt::StringLiterals;

class SymbolGlyphsTest : public QObject {
    Q_OBJECT
    TestEnvironment m_env;
    QRawFont m_font;

private Q_SLOTS:
    void initTestCase() {
        QFile file(SymbolGlyphs::fontResourcePath());
        QVERIFY2(file.open(QIODevice::ReadOnly), "icon font missing from the resources");
        m_font.loadFromData(file.readAll(), 24, QFont::PreferDefaultHinting);
        QVERIFY(m_font.isValid());
        QCOMPARE(m_font.familyName(), u"Material Icons"_s);
    }

    void everyUsedSymbolHasAGlyph_data() {
        QTest::addColumn<QString>("symbol");
        // The tabs, the rows of every screen, the outcome messages and the Domains screen.
        for (const char *name :
             {"checkmark", "xmark", "info.circle", "gear", "trash", "plus", "hand.raised",
              "hand.raised.fill", "crown", "network", "square.and.arrow.down",
              "arrow.trianglehead.2.clockwise", "exclamationmark.circle",
              "exclamationmark.triangle", "arrow.down.circle", "doc.on.clipboard",
              "magnifyingglass", "star"})
            QTest::newRow(name) << QString::fromLatin1(name);
    }

    void everyUsedSymbolHasAGlyph() {
        QFETCH(QString, symbol);
        const QString glyph = SymbolGlyphs::glyph(symbol);
        QVERIFY2(!glyph.isEmpty(), qPrintable(symbol));
        QVERIFY2(m_font.supportsCharacter(glyph.at(0)), qPrintable(symbol));
        QVERIFY(SymbolGlyphs::symbolNames().contains(symbol));
    }

    void glyphsAreDistinctPerSymbolOrUnknownIsEmpty() {
        QSet<QString> seen;
        for (const QString &name : SymbolGlyphs::symbolNames()) {
            const QString glyph = SymbolGlyphs::glyph(name);
            QVERIFY2(!seen.contains(glyph), qPrintable(name));
            seen.insert(glyph);
        }
        QVERIFY(SymbolGlyphs::glyph(u"no.such.symbol"_s).isEmpty());
        QVERIFY(SymbolGlyphs::glyph(QString()).isEmpty());
    }
};

QTEST_MAIN(SymbolGlyphsTest)
#include "tst_symbol_glyphs.moc"
