// Keyed diffing of screen rows: every change must arrive as inserts, removals, moves and
// data changes that QAbstractItemModelTester accepts, never as a reset.
#include "TestEnvironment.h"

#include "screens/RowListModel.h"

#include <QAbstractItemModelTester>
#include <QRandomGenerator>
#include <QSignalSpy>
#include <QTest>

using namespace Qt::StringLiterals;
using Screen::Row;
using Screen::Section;

namespace {
QList<Section> oneSection(const QStringList &keys) {
    Section s{u"S"_s, {}};
    for (const QString &k : keys)
        s.rows << Screen::label(k, k.toUpper(), u"plus"_s);
    return {s};
}

QStringList keysOf(const RowListModel &m) {
    QStringList out;
    for (int i = 0; i < m.rowCount(); ++i)
        out << m.data(m.index(i), RowListModel::KeyRole).toString();
    return out;
}
} // namespace

class RowListModelTest : public QObject {
    Q_OBJECT
    TestEnvironment m_env;

private Q_SLOTS:
    void diffs_data() {
        QTest::addColumn<QStringList>("from");
        QTest::addColumn<QStringList>("to");
        QTest::addColumn<int>("inserts");
        QTest::addColumn<int>("removes");
        QTest::newRow("fill empty") << QStringList{} << QStringList{u"a"_s, u"b"_s} << 2 << 0;
        QTest::newRow("clear") << QStringList{u"a"_s, u"b"_s} << QStringList{} << 0 << 1;
        QTest::newRow("insert middle")
            << QStringList{u"a"_s, u"c"_s} << QStringList{u"a"_s, u"b"_s, u"c"_s} << 1 << 0;
        QTest::newRow("remove runs") << QStringList{u"a"_s, u"b"_s, u"c"_s, u"d"_s, u"e"_s}
                                     << QStringList{u"a"_s, u"d"_s} << 0 << 2;
        QTest::newRow("reverse") << QStringList{u"a"_s, u"b"_s, u"c"_s}
                                 << QStringList{u"c"_s, u"b"_s, u"a"_s} << 0 << 0;
        QTest::newRow("swap one") << QStringList{u"x"_s, u"a"_s, u"b"_s}
                                  << QStringList{u"a"_s, u"b"_s, u"y"_s} << 1 << 1;
    }

    void diffs() {
        QFETCH(QStringList, from);
        QFETCH(QStringList, to);
        QFETCH(int, inserts);
        QFETCH(int, removes);
        RowListModel model;
        QAbstractItemModelTester tester(&model,
                                        QAbstractItemModelTester::FailureReportingMode::QtTest);
        model.apply(oneSection(from));
        QSignalSpy inserted(&model, &QAbstractItemModel::rowsInserted);
        QSignalSpy removed(&model, &QAbstractItemModel::rowsRemoved);
        QSignalSpy reset(&model, &QAbstractItemModel::modelReset);
        model.apply(oneSection(to));
        QCOMPARE(keysOf(model), to);
        QCOMPARE(inserted.size(), inserts);
        QCOMPARE(removed.size(), removes);
        QCOMPARE(reset.size(), 0);
    }

    void changedRowKeepsItsPlace() {
        RowListModel model;
        QAbstractItemModelTester tester(&model,
                                        QAbstractItemModelTester::FailureReportingMode::QtTest);
        QList<Section> sections = oneSection({u"save"_s, u"remove"_s});
        model.apply(sections);
        QSignalSpy changed(&model, &QAbstractItemModel::dataChanged);
        QSignalSpy inserted(&model, &QAbstractItemModel::rowsInserted);
        sections[0].rows[1].text = u"Preferences removed!"_s;
        model.apply(sections);
        QCOMPARE(changed.size(), 1);
        QCOMPARE(changed.at(0).at(0).toModelIndex().row(), 1);
        QCOMPARE(inserted.size(), 0);
        QCOMPARE(model.data(model.index(1), RowListModel::TextRole).toString(),
                 u"Preferences removed!"_s);
        // Applying the same content again is silent.
        model.apply(sections);
        QCOMPARE(changed.size(), 1);
    }

    void rolesForQml() {
        RowListModel model;
        Row r =
            Screen::button(u"k"_s, u"Remove preferences"_s, u"trash"_s, Screen::ButtonStyle::plain);
        r.tint = Screen::Tint::red;
        r.role = Screen::ButtonRole::destructive;
        model.apply({{u"Network Settings"_s, {Screen::label(u"l"_s, u"x"_s, u"gear"_s)}},
                     {u"More"_s, {r}}});
        const QModelIndex i = model.index(1);
        QCOMPARE(model.data(i, RowListModel::KindRole).toString(), u"button"_s);
        QCOMPARE(model.data(i, RowListModel::ButtonStyleRole).toString(), u"plain"_s);
        QCOMPARE(model.data(i, RowListModel::TintRole).toString(), u"red"_s);
        QCOMPARE(model.data(i, RowListModel::ButtonRoleRole).toString(), u"destructive"_s);
        QCOMPARE(model.data(i, RowListModel::SectionRole).toString(), u"More"_s);
        QCOMPARE(model.data(i, RowListModel::SectionIndexRole).toInt(), 1);
        QVERIFY(model.data(i, RowListModel::FirstInSectionRole).toBool());
        QVERIFY(model.data(i, RowListModel::LastInSectionRole).toBool());
        QCOMPARE(model.indexOfKey(u"k"_s), 1);
        QCOMPARE(model.indexOfKey(u"none"_s), -1);
    }

    void duplicateKeysStillDiffWithoutReset() {
        RowListModel model;
        QAbstractItemModelTester tester(&model,
                                        QAbstractItemModelTester::FailureReportingMode::QtTest);
        QSignalSpy reset(&model, &QAbstractItemModel::modelReset);
        model.apply(oneSection({u"a"_s, u"a"_s, u"b"_s}));
        model.apply(oneSection({u"b"_s, u"a"_s}));
        QCOMPARE(keysOf(model), (QStringList{u"b"_s, u"a"_s}));
        QCOMPARE(reset.size(), 0);
    }

    void randomPermutationsReachTarget() {
        RowListModel model;
        QAbstractItemModelTester tester(&model,
                                        QAbstractItemModelTester::FailureReportingMode::QtTest);
        QRandomGenerator rng(20240601);
        QSignalSpy reset(&model, &QAbstractItemModel::modelReset);
        for (int round = 0; round < 200; ++round) {
            // A random subset of 40 keys, in random order, split over random sections.
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
            model.apply(sections);
            QCOMPARE(keysOf(model), keys);
            int n = 0;
            for (const Section &s : sections)
                for (const Row &r : s.rows) {
                    QCOMPARE(model.rowAt(n), r);
                    QCOMPARE(model.data(model.index(n), RowListModel::SectionRole).toString(),
                             s.header);
                    ++n;
                }
        }
        QCOMPARE(reset.size(), 0);
    }
};

QTEST_GUILESS_MAIN(RowListModelTest)
#include "tst_row_list_model.moc"
