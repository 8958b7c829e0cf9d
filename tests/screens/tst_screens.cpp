// The screen models as plain C++ against the real platform layer in a temporary state folder.
#include "ScreenFixture.h"
#include "SettingsTestSupport.h"

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
#include <QScopeGuard>
#include <QSettings>
#include <QSignalSpy>
#include <QTest>

#include <memory>

using namespace Qt::StringLiterals;
using namespace TestSupport;

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
    void initTestCase() { setVersion(u"1.0"_s); }
    void init() {
        QVERIFY(settle()); // the previous test's answers land before its folders go away
        m_f = std::make_unique<ScreenFixture>();
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

    // Full (past the cap, as an older store may be), the add row and suggestions are disabled and
    // refuse direct calls too; deletes enable them. Every route through the window is QML's test.
    void capacity() {
        QSignalSpy full(m_view.get(), &DomainsView::listFullChanged);
        for (int i = 0; i <= EntryRules::listCapacity; ++i)
            add(u"host%1.example"_s.arg(i));
        QVERIFY(!m_view->content().row(DomainsView::addKey)->enabled);
        QVERIFY(!m_view->content().row(DomainsView::suggestionKey(u"2mdn.net"_s))->enabled);
        m_view->setDomain(u"waiting.example"_s);
        m_view->submitDomain();
        m_view->addSuggestedDomain(u"adnxs.com"_s);
        QCOMPARE(m_f->store.domains()->count(), EntryRules::listCapacity + 1);
        QCOMPARE(m_view->domain(), u"waiting.example"_s);
        m_view->deleteDomains({0, 1});
        QVERIFY(m_view->content().row(DomainsView::addKey)->enabled);
        QCOMPARE(full.size(), 2);
    }

    // Crossing the cap either way, with or without a search hiding suggestions, and by a
    // built-in that leaves the offer as it crosses: the add and suggestion rows take input
    // exactly while the list has room. A plain crossing reaches views as one change naming
    // `enabled` alone: a view walks its rows once per change it is told of.
    void capCrossingsFlipOnlyEnabled() {
        for (int i = 0; i < EntryRules::listCapacity - 1; ++i)
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
        for (const QString &search : {QString(), u"d"_s}) {
            m_view->setSearchText(search);
            for (const bool plain : {true, false}) {
                cross(plain ? u"over.example"_s : u"doubleclick.net"_s, plain);
                if (QTest::currentTestFailed())
                    return;
            }
        }
    }

    void oncePerVersion_data() {
        QTest::addColumn<QVariant>("stored"); // invalid: absent
        QTest::addColumn<QString>("version");
        QTest::addColumn<bool>("acts");
        QTest::addColumn<bool>("blocked"); // a folder stands where the settings file goes
        const QVariant v10(u"1.0"_s), none;
        QTest::newRow("first launch") << none << u"1.0"_s << true << false;
        QTest::newRow("same version") << v10 << u"1.0"_s << false << false;
        QTest::newRow("updated") << v10 << u"1.1"_s << true << false;
        QTest::newRow("letter case differs") << QVariant(u"1.0-B"_s) << u"1.0-b"_s << true << false;
        QTest::newRow("empty version, again") << QVariant(u""_s) << u""_s << false << false;
        QTest::newRow("settings cannot be written") << none << u"1.0"_s << true << true;
    }
    // Appearing acts once per version; appearing again, returning to the app or a screen made
    // anew do not, even when the version could not be written (as root no permission stops a
    // write: a folder does). After an update, returning to the app acts once more.
    void oncePerVersion() {
        QFETCH(QVariant, stored);
        QFETCH(QString, version);
        QFETCH(bool, acts);
        QFETCH(bool, blocked);
        const QStringList keys{ReviewPrompt::appReviewVersionKey,
                               ReviewPrompt::promotedAppVersionKey};
        const QString file = QSettings().fileName();
        const auto unblock = qScopeGuard([&] {
            QDir(file).removeRecursively();
            ReviewPrompt::forgetUnsavedSettings();
            QSettings settings; // what QSettings kept of the failed writes goes too
            for (const QString &key : keys)
                settings.remove(key);
        });
        setVersion(version);
        {
            QSettings settings;
            for (const QString &key : keys)
                stored.isValid() ? settings.setValue(key, stored) : settings.remove(key);
        }
        if (blocked)
            QVERIFY(QFile::remove(file) && QDir().mkpath(file));

        const QStringList once = acts ? QStringList{u"review"_s, u"promote"_s} : QStringList();
        m_view->appear();
        m_view->appear();
        m_f->phase.setPhase(ScenePhase::background);
        m_f->phase.setPhase(ScenePhase::active);
        DomainsView(&m_f->store, &m_f->phase, recordedActions()).appear();
        QCOMPARE(m_actions, once);
        for (const QString &key : keys)
            QCOMPARE(QSettings().value(key).toString(), blocked ? QString() : version);

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
