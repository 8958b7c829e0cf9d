// The screen row kit: keyed diffing must reach QML as inserts, removals, moves and data changes
// that QAbstractItemModelTester accepts, never a reset.
#include "screens/RowListModel.h"

#include <QAbstractItemModelTester>
#include <QRandomGenerator>
#include <QSignalSpy>
#include <QTest>

using namespace Qt::StringLiterals;
using Screen::Section;

class ScreenKitTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    // Random lists over random sections: the rows and their section edges are always the ones
    // given, a row whose text alone changed keeps its place (and a view its focus), and the same
    // rows again send nothing.
    void randomListsReachTheTarget() {
        RowListModel model;
        QAbstractItemModelTester tester(&model,
                                        QAbstractItemModelTester::FailureReportingMode::QtTest);
        QSignalSpy reset(&model, &QAbstractItemModel::modelReset);
        QSignalSpy inserted(&model, &QAbstractItemModel::rowsInserted);
        QSignalSpy removed(&model, &QAbstractItemModel::rowsRemoved);
        QSignalSpy moved(&model, &QAbstractItemModel::rowsMoved);
        QSignalSpy changed(&model, &QAbstractItemModel::dataChanged);
        const auto sent = [&] { return inserted.size() + removed.size() + moved.size(); };
        QRandomGenerator rng(20240601);
        QList<Section> sections;
        for (int round = 0; round < 300; ++round) {
            const bool textsOnly = round % 3 == 2;
            if (textsOnly) { // the same keys in the same sections, some texts new
                for (Section &section : sections)
                    for (Screen::Row &row : section.rows)
                        row.text = row.key + QString::number(rng.bounded(2));
            } else { // a random subset of 40 keys, in random order, over random sections
                QStringList keys;
                for (int k = 0; k < 40; ++k)
                    if (rng.bounded(3) != 0)
                        keys << QString::number(k);
                std::shuffle(keys.begin(), keys.end(), rng);
                sections.clear();
                for (const QString &k : keys) {
                    if (sections.isEmpty() || rng.bounded(5) == 0)
                        sections << Section{QString::number(sections.size()), {}};
                    sections.last().rows
                        << Screen::label(k, k + QString::number(rng.bounded(2)), {});
                }
            }
            const qsizetype before = sent();
            model.apply(sections);
            QVERIFY(!textsOnly || sent() == before);
            const qsizetype after = sent() + changed.size();
            model.apply(sections);
            QCOMPARE(sent() + changed.size(), after);

            int n = 0;
            for (const Section &section : std::as_const(sections))
                for (const Screen::Row &row : section.rows) {
                    const QModelIndex at = model.index(n++);
                    QCOMPARE(model.rowAt(at.row()), row);
                    QCOMPARE(model.data(at, RowListModel::SectionRole).toString(), section.header);
                    QCOMPARE(model.data(at, RowListModel::FirstInSectionRole).toBool(),
                             &row == &section.rows.first());
                    QCOMPARE(model.data(at, RowListModel::LastInSectionRole).toBool(),
                             &row == &section.rows.last());
                }
            QCOMPARE(model.rowCount(), n);
        }
        QCOMPARE(reset.size(), 0);
    }

    // A row that changed sends only the roles that did: at the cap only `enabled` flips, and
    // a view rebinds nothing else of the 59 rows.
    void changesNameOnlyTheirRoles() {
        RowListModel model;
        QList<Screen::Row> rows;
        for (const QString &key : {u"add"_s, u"a"_s, u"b"_s})
            rows << Screen::button(key, key, u"plus"_s);
        model.apply({{u"Domains"_s, rows}});
        QSignalSpy changed(&model, &QAbstractItemModel::dataChanged);
        for (Screen::Row &row : rows)
            row.enabled = false;
        rows[2].text = u"b2"_s;
        model.apply({{u"Domains"_s, rows}});
        QCOMPARE(changed.size(), 3);
        for (int i = 0; i < 2; ++i)
            QCOMPARE(changed.at(i).at(2).value<QList<int>>(),
                     QList<int>{RowListModel::EnabledRole});
        QCOMPARE(changed.at(2).at(2).value<QList<int>>(),
                 (QList<int>{RowListModel::TextRole, Qt::DisplayRole, RowListModel::EnabledRole}));
    }
};

QTEST_MAIN(ScreenKitTest)
#include "tst_screenkit.moc"
