// The row kit and the screen models as plain C++ against the real platform layer in a temporary
// state folder.
#include "ScreenFixture.h"
#include "SettingsTestSupport.h"
#include "TestFiles.h"

#include "blocklist/BuiltInDomains.h"
#include "blocklist/DomainListModel.h"
#include "blocklist/EntryRules.h"
#include "foundation/NSBundle.h"
#include "screens/DomainsView.h"
#include "screens/ReviewPrompt.h"
#include "screens/SettingsView.h"

#include <QAbstractItemModelTester>
#include <QDir>
#include <QFile>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <QScopeGuard>
#include <QSettings>
#include <QSignalSpy>
#include <QTest>

#include <memory>

using namespace Qt::StringLiterals;
using namespace TestSupport;
using Screen::Section;

namespace {
// The Domains section as "text|symbol|description", its edges as "[" and "]".
QStringList drawn(DomainsView &view) {
    QStringList out;
    const RowListModel &rows = *view.rows();
    for (int i = 8; i < rows.rowCount(); ++i) { // after the More Options rows
        const auto edge = [&](int role, QChar mark) {
            return rows.data(rows.index(i), role).toBool() ? QString(mark) : QString();
        };
        const Screen::Row &r = rows.rowAt(i);
        out << edge(RowListModel::FirstInSectionRole, u'[') + r.text + u'|' + r.systemImage + u'|' +
                   r.accessibleDescription + edge(RowListModel::LastInSectionRole, u']');
    }
    return out;
}

// The same, worked out from the records the slow way.
QStringList expected(const QList<DomainRef> &records, const QString &search, const QString &add) {
    QStringList out{u'[' + add + u"|doc.on.clipboard|"_s};
    for (const QString &entry : builtInDomains())
        if (EntryRules::isOffered(entry, records) && EntryRules::matchesSearch(entry, search))
            out << entry + u"|plus|add"_s;
    for (const DomainRef &r : records)
        if (EntryRules::matchesSearch(r->domain(), search))
            out << r->domain() + (isBuiltIn(r->domain()) ? u"|hand.raised.fill|built-in tracker"_s
                                                         : u"|crown|added by you"_s);
    out.last().append(u']');
    return out;
}

void setVersion(const QString &version) {
    NSBundle::mainBundle().setInfoDictionary(
        QVariantMap{{u"CFBundleIdentifier"_s, appIdentifier},
                    {u"CFBundleDisplayName"_s, u"Quellnet"_s},
                    {u"CFBundleShortVersionString"_s, version}});
}
} // namespace

class ScreensTest : public QObject {
    Q_OBJECT

    std::unique_ptr<ScreenFixture> m_f;
    std::unique_ptr<DomainsView> m_view;
    QStringList m_actions;

    void add(const QString &text) {
        m_f->store.insert(std::make_shared<Domain>(text, QUuid::createUuid()));
    }
    /** The once-per-version actions, noted instead of run. */
    DomainsView::Actions recordedActions() {
        return {.requestReview = [this] { m_actions << u"review"_s; },
                .promoteApp = [this] { m_actions << u"promote"_s; }};
    }

private Q_SLOTS:
    void initTestCase() {
        QCoreApplication::setOrganizationName(u"Quellnet"_s); // without, QSettings never saves
        setVersion(u"1.0"_s);
    }
    void init() {
        QVERIFY(settle()); // the previous test's answers land before its folders go away
        m_f = std::make_unique<ScreenFixture>();
        // QSettings keeps the folder it found first; each test's is its own.
        QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, m_f->env.configHome());
        QVERIFY(settle()); // the shared manager forgets the previous folder's configuration
        m_actions.clear();
        m_view = std::make_unique<DomainsView>(&m_f->store, &m_f->phase, recordedActions());
    }
    void cleanup() {
        m_view.reset();
        m_f.reset();
    }

    // Inserts, deletes and searches in any order, among built-ins, letter-case twins and
    // duplicates: the rows are what the records and the search make, never reset. A delete of
    // several rows names the records as the list stood, a row's key its own record among twins,
    // and saves at once.
    void rowsFollowTheRecordsAndTheSearch() {
        QAbstractItemModelTester tester(m_view->rows(),
                                        QAbstractItemModelTester::FailureReportingMode::QtTest);
        QSignalSpy resets(m_view->rows(), &QAbstractItemModel::modelReset);
        const QStringList names{u"doubleclick.net"_s, u"Doubleclick.net"_s, u"adnxs.com"_s,
                                u"mine.example"_s,    u"zz.example"_s,      u"Tracker.Example"_s,
                                u"a\u0301.example"_s, u"\u00e1.example"_s,  u"criteo.com"_s};
        const QStringList searches{{}, u"e"_s, u"DOUBLE"_s, u"nothing"_s, u"\u00e1"_s, u"x"_s};
        QRandomGenerator rng(20261206);
        for (int step = 0; step < 300; ++step) {
            QList<DomainRef> records = m_f->store.domains()->records();
            const QList<Screen::Row> shown = m_view->content().sections.at(1).rows;
            const int what = rng.bounded(5);
            if (what == 0) {
                m_view->setSearchText(searches.at(rng.bounded(searches.size())));
            } else if (what == 1) {
                m_view->setDomain(names.at(rng.bounded(names.size())));
            } else if (what == 2) { // some shown rows' keys: entries, a suggestion or the add row
                QStringList keys;
                for (int n = rng.bounded(1, 4); n > 0; --n)
                    keys << shown.at(rng.bounded(shown.size())).key;
                records.removeIf(
                    [&](const DomainRef &r) { return keys.contains(DomainsView::entryKey(*r)); });
                const bool deleting = records.size() < m_f->store.domains()->count();
                m_view->deleteRows(keys);
                QVERIFY(!deleting || !m_f->store.hasChanges()); // saved at once
            } else {
                add(names.at(rng.bounded(names.size())));
                records = m_f->store.domains()->records();
            }
            QCOMPARE(m_f->store.domains()->records(), records);
            QCOMPARE(drawn(*m_view), expected(records, m_view->searchText(), m_view->domain()));
        }
        QCOMPARE(resets.size(), 0);
    }

    // Crossing the cap either way, with or without a search hiding suggestions, and by a
    // built-in that leaves the offer as it crosses: the add and suggestion rows take input
    // exactly while the list has room. A plain crossing reaches views as one change naming
    // `enabled` alone: a view walks its rows once per change it is told of.
    void capCrossingsFlipOnlyEnabled() {
        QSignalSpy full(m_view.get(), &DomainsView::listFullChanged);
        for (int i = 0; i <= EntryRules::listCapacity; ++i)
            add(u"host%1.example"_s.arg(i, 3, 10, QChar(u'0')));
        RowListModel *rows = m_view->rows();
        const auto refusing = [&](bool full) {
            int offered = 0;
            for (int i = 0; i < rows->rowCount(); ++i) {
                const Screen::Row &row = rows->rowAt(i);
                const bool capped = row.key == DomainsView::addKey ||
                                    row.key.startsWith(DomainsView::suggestionKey({}));
                offered += row.key != DomainsView::addKey && capped;
                if (capped && row.enabled == full)
                    return -1;
            }
            return offered;
        };
        const auto cross = [&](const QString &name, bool plain) {
            QSignalSpy changed(rows, &QAbstractItemModel::dataChanged);
            add(name);
            const int offered = refusing(true);
            QVERIFY(offered > 0);
            QCOMPARE(drawn(*m_view), expected(m_f->store.domains()->records(), m_view->searchText(),
                                              m_view->domain()));
            const auto enabledChanges = [&] {
                QList<QList<QVariant>> out;
                for (const QList<QVariant> &change : std::as_const(changed))
                    if (change.at(2).value<QList<int>>().contains(RowListModel::EnabledRole))
                        out << change;
                return out;
            };
            if (plain) {
                const QList<QList<QVariant>> flips = enabledChanges();
                QCOMPARE(flips.size(), 1);
                const int addRow = rows->indexOfKey(DomainsView::addKey);
                QCOMPARE(flips.at(0).at(0).toModelIndex().row(), addRow);
                QCOMPARE(flips.at(0).at(1).toModelIndex().row(), addRow + offered);
                QCOMPARE(flips.at(0).at(2).value<QList<int>>(),
                         QList<int>{RowListModel::EnabledRole});
            }
            changed.clear();
            const QList<DomainRef> records = m_f->store.domains()->records();
            const auto it = std::find_if(records.cbegin(), records.cend(),
                                         [&](const DomainRef &r) { return r->domain() == name; });
            QVERIFY(it != records.cend());
            m_view->deleteRows({DomainsView::entryKey(**it)});
            QCOMPARE(refusing(false), offered + (plain ? 0 : 1));
            QCOMPARE(drawn(*m_view), expected(m_f->store.domains()->records(), m_view->searchText(),
                                              m_view->domain()));
            if (plain)
                QCOMPARE(enabledChanges().size(), 1);
        };
        // Past the cap (as an older store may be) direct calls are refused too, the typed name
        // kept; deleting by position gives the room back.
        QVERIFY(refusing(true) > 0);
        m_view->setDomain(u"waiting.example"_s);
        m_view->submitDomain();
        m_view->addSuggestedDomain(u"adnxs.com"_s);
        QCOMPARE(m_f->store.domains()->count(), EntryRules::listCapacity + 1);
        QCOMPARE(m_view->domain(), u"waiting.example"_s);
        m_view->deleteDomains({0, 1});
        QVERIFY(refusing(false) > 0);
        QCOMPARE(full.size(), 2);
        for (const QString &search : {QString(), u"d"_s}) {
            m_view->setSearchText(search);
            for (const bool plain : {true, false}) {
                cross(plain ? u"over.example"_s : u"doubleclick.net"_s, plain);
                if (QTest::currentTestFailed())
                    return;
            }
        }
    }

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

    void oncePerVersion_data() {
        QTest::addColumn<QVariant>("stored"); // invalid: absent
        QTest::addColumn<QString>("version");
        QTest::addColumn<bool>("acts");
        QTest::addColumn<QString>("planted"); // what stands in the settings file's place
        const QVariant v10(u"1.0"_s), none;
        QTest::newRow("first launch") << none << u"1.0"_s << true << QString();
        QTest::newRow("same version") << v10 << u"1.0"_s << false << QString();
        QTest::newRow("updated") << v10 << u"1.1"_s << true << QString();
        QTest::newRow("letter case differs")
            << QVariant(u"1.0-B"_s) << u"1.0-b"_s << true << QString();
        QTest::newRow("empty version, again") << QVariant(u""_s) << u""_s << false << QString();
        QTest::newRow("a folder at the file") << none << u"1.0"_s << true << u"folder"_s;
        QTest::newRow("the file is a link") << none << u"1.0"_s << true << u"file link"_s;
        QTest::newRow("its folder is a link") << none << u"1.0"_s << true << u"folder link"_s;
    }
    // Appearing acts once per version; appearing again, returning to the app or a screen made
    // anew do not, even when the version cannot be kept: a folder in the file's place (as root no
    // permission stops a write) or a link there or at its folder, which is never read or written
    // through (its target stays as it was). Other settings stay beside the version. After an
    // update, returning to the app acts once more.
    void oncePerVersion() {
        QFETCH(QVariant, stored);
        QFETCH(QString, version);
        QFETCH(bool, acts);
        QFETCH(QString, planted);
        const QStringList keys{ReviewPrompt::appReviewVersionKey,
                               ReviewPrompt::promotedAppVersionKey};
        const QString file = QSettings().fileName(), folder = QFileInfo(file).path();
        const QString elsewhere = m_f->env.root() + u"/elsewhere"_s,
                      moved = elsewhere + u'/' + QFileInfo(file).fileName();
        const auto forget = qScopeGuard([] { ReviewPrompt::forgetUnsavedSettings(); });
        setVersion(version);
        {
            QSettings settings;
            settings.setValue(u"other"_s, u"kept"_s);
            for (const QString &key : keys)
                stored.isValid() ? settings.setValue(key, stored) : settings.remove(key);
        }
        QVERIFY(QDir().mkpath(elsewhere));
        if (!planted.isEmpty()) {
            QVERIFY(QFile::rename(file, moved));
            if (planted == u"folder"_s)
                QVERIFY(QDir().mkpath(file));
            else if (planted == u"file link"_s)
                QVERIFY(QFile::link(moved, file));
            else
                QVERIFY(QDir(folder).removeRecursively() && QFile::link(elsewhere, folder));
            QTest::ignoreMessage(QtWarningMsg,
                                 QRegularExpression(u"^appReviewVersion is kept for this run only: "
                                                    ".* is a (symbolic link|folder)$"_s));
        }
        const auto before = folderSnapshot(elsewhere);

        const QStringList once = acts ? QStringList{u"review"_s, u"promote"_s} : QStringList();
        m_view->appear();
        m_view->appear();
        m_f->phase.setPhase(ScenePhase::background);
        m_f->phase.setPhase(ScenePhase::active);
        DomainsView(&m_f->store, &m_f->phase, recordedActions()).appear();
        QCOMPARE(m_actions, once);
        QCOMPARE(folderSnapshot(elsewhere), before);
        QVERIFY(planted.isEmpty() || planted == u"folder"_s ||
                QFileInfo(planted == u"file link"_s ? file : folder).isSymLink());
        if (planted.isEmpty()) {
            const QSettings settings;
            QCOMPARE(settings.value(u"other"_s).toString(), u"kept"_s);
            for (const QString &key : keys)
                QCOMPARE(settings.value(key).toString(), version);
        }

        setVersion(u"2.0"_s);
        m_f->phase.setPhase(ScenePhase::background);
        QCOMPARE(m_actions, once);
        m_f->phase.setPhase(ScenePhase::active);
        m_f->phase.setPhase(ScenePhase::inactive);
        m_view->appear();
        QCOMPARE(m_actions, (once + QStringList{u"review"_s, u"promote"_s}));
    }

    // On Settings a press that raced the guard must not save an empty configuration; one with
    // names saves, and a screen made with the configuration stored offers to remove it.
    void tabsAndSettingsButtons() {
        AppView app(&m_f->store, &m_f->phase, ScreenFixture::services());
        app.select(AppView::settings);
        ScreenModel *view = app.screen(AppView::settings);
        QVERIFY(view);
        QTRY_COMPARE(view->content().texts().value(0), u"Blocklist is empty"_s);
        view->activate(SettingsView::saveButtonKey);
        QVERIFY(settle());
        QCOMPARE(DNSConfigurationStore().read(appIdentifier).status,
                 DNSConfigurationStore::ReadResult::absent);
        addDomains(m_f->store, {u"a.example"_s}); // the rows follow the count
        view->activate(SettingsView::saveButtonKey);
        QTRY_COMPARE(view->content().texts().value(0), u"Preferences saved!"_s);

        AppView next(&m_f->store, &m_f->phase, ScreenFixture::services());
        next.select(AppView::settings);
        view = next.screen(AppView::settings);
        QTRY_COMPARE(view->content().texts().value(1), u"Remove preferences"_s);
        view->activate(SettingsView::removeButtonKey);
        QTRY_COMPARE(DNSConfigurationStore().read(appIdentifier).status,
                     DNSConfigurationStore::ReadResult::absent);
    }
};

QTEST_MAIN(ScreensTest)
#include "tst_screens.moc"
