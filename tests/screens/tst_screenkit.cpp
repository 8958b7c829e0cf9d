// The screen row kit: keyed diffing must reach QML as inserts, removals, moves and data changes
// that QAbstractItemModelTester accepts, never a reset; every symbol a screen names must draw.
#include "TestEnvironment.h"

#include "screens/RowListModel.h"
#include "screens/SymbolGlyphs.h"

#include <QAbstractItemModelTester>
#include <QFile>
#include <QRandomGenerator>
#include <QRawFont>
#include <QSignalSpy>
#include <QTest>

using namespace Qt::StringLiterals;
using Screen::Section;

namespace {
// One section from "key" or "key=text" items (the text defaults to the key upper-cased).
QList<Section> oneSection(const QStringList &items) {
    Section s{u"S"_s, {}};
    for (const QString &item : items) {
        const QString key = item.section(u'=', 0, 0);
        s.rows << Screen::label(key, item.contains(u'=') ? item.section(u'=', 1) : key.toUpper(),
                                u"plus"_s);
    }
    return {s};
}

struct TestedModel {
    RowListModel model;
    QAbstractItemModelTester tester{&model, QAbstractItemModelTester::FailureReportingMode::QtTest};
    QSignalSpy reset{&model, &QAbstractItemModel::modelReset};
};
} // namespace

class ScreenKitTest : public QObject {
    Q_OBJECT
    TestEnvironment m_env;

private Q_SLOTS:
    void diffs_data() {
        QTest::addColumn<QStringList>("from");
        QTest::addColumn<QStringList>("to");
        QTest::addColumn<int>("inserts");
        QTest::addColumn<int>("removes");
        // Rows whose text or place in their section (first, last: the rounded corners) changed.
        QTest::addColumn<QList<int>>("changedRows");
        using L = QStringList;
        QTest::newRow("remove runs") << L{u"a"_s, u"b"_s, u"c"_s, u"d"_s, u"e"_s}
                                     << L{u"a"_s, u"d"_s} << 0 << 2 << QList<int>{1};
        QTest::newRow("swap one") << L{u"x"_s, u"a"_s, u"b"_s} << L{u"a"_s, u"b"_s, u"y"_s} << 1
                                  << 1 << QList<int>{0, 1};
        QTest::newRow("duplicate keys")
            << L{u"a"_s, u"a"_s, u"b"_s} << L{u"b"_s, u"a"_s} << 0 << 1 << QList<int>{0, 1};
        QTest::newRow("changed text keeps its place")
            << L{u"save"_s, u"remove"_s} << L{u"save"_s, u"remove=Preferences removed!"_s} << 0 << 0
            << QList<int>{1};
        QTest::newRow("same content is silent")
            << L{u"a"_s, u"b=x"_s} << L{u"a"_s, u"b=x"_s} << 0 << 0 << QList<int>{};
    }
    void diffs() {
        QFETCH(QStringList, from);
        QFETCH(QStringList, to);
        TestedModel t;
        t.model.apply(oneSection(from));
        QSignalSpy inserted(&t.model, &QAbstractItemModel::rowsInserted);
        QSignalSpy removed(&t.model, &QAbstractItemModel::rowsRemoved);
        QSignalSpy changed(&t.model, &QAbstractItemModel::dataChanged);
        t.model.apply(oneSection(to));
        QList<Screen::Row> rows;
        for (int i = 0; i < t.model.rowCount(); ++i)
            rows << t.model.rowAt(i);
        QCOMPARE(rows, oneSection(to).first().rows);
        QTEST(int(inserted.size()), "inserts");
        QTEST(int(removed.size()), "removes");
        QList<int> changedAt;
        for (const QList<QVariant> &args : changed)
            changedAt << args.at(0).toModelIndex().row();
        QTEST(changedAt, "changedRows");
        QCOMPARE(t.reset.size(), 0);
    }

    void randomEditsReachTheTarget() {
        TestedModel t;
        QRandomGenerator rng(20240601);
        for (int round = 0; round < 200; ++round) {
            // A random subset of 40 keys, in random order and texts, over random sections.
            QStringList keys;
            for (int k = 0; k < 40; ++k)
                if (rng.bounded(3) != 0)
                    keys << QString::number(k);
            std::shuffle(keys.begin(), keys.end(), rng);
            QList<Section> sections;
            for (const QString &k : keys) {
                if (sections.isEmpty() || rng.bounded(5) == 0)
                    sections << Section{QString::number(sections.size()), {}};
                sections.last().rows << Screen::label(k, k + QString::number(rng.bounded(2)), {});
            }
            t.model.apply(sections);
            int n = 0;
            for (const Section &s : sections)
                for (const Screen::Row &r : s.rows) {
                    QCOMPARE(t.model.rowAt(n), r);
                    QCOMPARE(t.model.data(t.model.index(n++), RowListModel::SectionRole), s.header);
                }
            QCOMPARE(t.model.rowCount(), n);
        }
        QCOMPARE(t.reset.size(), 0);
    }

    void everyUsedSymbolHasADistinctGlyph() {
        QFile file(SymbolGlyphs::fontResourcePath());
        QVERIFY2(file.open(QIODevice::ReadOnly), "icon font missing from the resources");
        const QRawFont font(file.readAll(), 24);
        // The tabs, the rows of every screen, the outcome messages and the Domains screen.
        for (const char *name :
             {"checkmark", "xmark", "info.circle", "gear", "trash", "plus", "hand.raised",
              "hand.raised.fill", "crown", "network", "square.and.arrow.down",
              "arrow.trianglehead.2.clockwise", "exclamationmark.circle",
              "exclamationmark.triangle", "arrow.down.circle", "doc.on.clipboard",
              "magnifyingglass", "star"})
            QVERIFY2(SymbolGlyphs::symbolNames().contains(QString::fromLatin1(name)), name);
        QSet<QString> seen;
        for (const QString &name : SymbolGlyphs::symbolNames()) {
            const QString glyph = SymbolGlyphs::glyph(name);
            QVERIFY2(!glyph.isEmpty() && font.supportsCharacter(glyph.at(0)), qPrintable(name));
            seen.insert(glyph);
        }
        QCOMPARE(seen.size(), SymbolGlyphs::symbolNames().size()); // no two alike
    }
};

QTEST_MAIN(ScreenKitTest)
#include "tst_screenkit.moc"
