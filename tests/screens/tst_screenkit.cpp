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
    // A row whose text changes keeps its place (one data change, no removal and insert, so a
    // view keeps its focus on it), and the same content again sends nothing.
    void changesAreMinimal() {
        TestedModel t;
        const auto rows = [](const QString &removeText) {
            return QList<Section>{{u"S"_s,
                                   {Screen::label(u"save"_s, u"Save"_s, u"plus"_s),
                                    Screen::label(u"remove"_s, removeText, u"plus"_s)}}};
        };
        t.model.apply(rows(u"Remove"_s));
        QSignalSpy inserted(&t.model, &QAbstractItemModel::rowsInserted);
        QSignalSpy removed(&t.model, &QAbstractItemModel::rowsRemoved);
        QSignalSpy changed(&t.model, &QAbstractItemModel::dataChanged);
        t.model.apply(rows(u"Preferences removed!"_s));
        t.model.apply(rows(u"Preferences removed!"_s));
        QCOMPARE(inserted.size() + removed.size(), 0);
        QCOMPARE(changed.size(), 1);
        QCOMPARE(changed.first().at(0).toModelIndex().row(), 1);
    }

    // Random whole-list updates, and runs of single inserts and removals in between, always
    // match the rows given; the section edges (rounded corners) follow.
    void randomEditsReachTheTarget() {
        TestedModel t;
        QRandomGenerator rng(20240601);
        QList<std::pair<int, Screen::Row>> want; // section index (also its header), row
        int fresh = 100;                         // keys never used before
        const auto label = [&](const QString &key) {
            return Screen::label(key, key + QString::number(rng.bounded(2)), {});
        };
        for (int round = 0; round < 400; ++round) {
            const int what = want.isEmpty() ? 0 : rng.bounded(4);
            if (what == 0) { // a random subset of 40 keys, in random order, over random sections
                QStringList keys;
                for (int k = 0; k < 40; ++k)
                    if (rng.bounded(3) != 0)
                        keys << QString::number(k);
                std::shuffle(keys.begin(), keys.end(), rng);
                QList<Section> sections;
                want.clear();
                for (const QString &k : keys) {
                    if (sections.isEmpty() || rng.bounded(5) == 0)
                        sections << Section{QString::number(sections.size()), {}};
                    sections.last().rows << label(k);
                    want.append({int(sections.size()) - 1, sections.last().rows.last()});
                }
                t.model.apply(sections);
            } else if (what == 1) { // new rows at the end of the section above or in it
                const int at = rng.bounded(int(want.size()) + 1);
                const int s = want.at(std::max(at - 1, 0)).first;
                QList<Screen::Row> rows;
                for (int n = rng.bounded(1, 4); n > 0; --n) {
                    rows << label(QString::number(fresh++));
                    want.insert(at + rows.size() - 1, {s, rows.last()});
                }
                t.model.insertRowsAt(at, QString::number(s), s, rows);
            } else { // a run of one section removed, or brought to a new order and texts
                const int first = rng.bounded(int(want.size()));
                int end = first + 1;
                while (end < want.size() && want.at(end).first == want.at(first).first &&
                       rng.bounded(4) != 0)
                    ++end;
                const int s = want.at(first).first;
                QList<Screen::Row> rows;
                for (int i = first; i < end; ++i)
                    if (what == 3 && rng.bounded(3) != 0)
                        rows << label(want.at(i).second.key);
                std::shuffle(rows.begin(), rows.end(), rng);
                want.remove(first, end - first);
                for (int i = 0; i < rows.size(); ++i)
                    want.insert(first + i, {s, rows.at(i)});
                if (what == 2)
                    t.model.removeRowsAt(first, end - first);
                else
                    t.model.applyRange(first, end - first, QString::number(s), s, rows);
            }
            QCOMPARE(t.model.rowCount(), int(want.size()));
            for (int n = 0; n < want.size(); ++n) {
                const QModelIndex at = t.model.index(n);
                const int s = want.at(n).first;
                QCOMPARE(t.model.rowAt(n), want.at(n).second);
                QCOMPARE(t.model.data(at, RowListModel::SectionRole).toString(),
                         QString::number(s));
                QCOMPARE(t.model.data(at, RowListModel::FirstInSectionRole).toBool(),
                         n == 0 || want.at(n - 1).first != s);
                QCOMPARE(t.model.data(at, RowListModel::LastInSectionRole).toBool(),
                         n + 1 == want.size() || want.at(n + 1).first != s);
            }
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
