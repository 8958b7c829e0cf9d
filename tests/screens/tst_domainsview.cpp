// The Domains screen as plain C++: its rows follow the store's list and the search through
// single inserts and removals, a delete names the record it shows, the 200-entry cap holds on
// every route, and the review and promotion run once per version.
#include "ScreenFixture.h"

#include "blocklist/BuiltInDomains.h"
#include "blocklist/DomainListModel.h"
#include "blocklist/EntryRules.h"
#include "foundation/NSBundle.h"
#include "screens/DomainsView.h"
#include "screens/ReviewPrompt.h"

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
} // namespace

class TestDomainsView : public QObject {
    Q_OBJECT

    std::unique_ptr<ScreenFixture> m_f;
    std::unique_ptr<DomainsView> m_view;
    std::unique_ptr<QAbstractItemModelTester> m_tester;
    QStringList m_actions;

    DomainRef add(const QString &text) {
        auto record = std::make_shared<Domain>(text, QUuid::createUuid());
        m_f->store.insert(record);
        return record;
    }
    /** The once-per-version actions, noted instead of run. */
    DomainsView::Actions recordedActions() {
        return {.requestReview = [this] { m_actions << u"review"_s; },
                .promoteApp = [this] { m_actions << u"promote"_s; }};
    }

private Q_SLOTS:
    void init() {
        m_f = std::make_unique<ScreenFixture>();
        NSBundle::mainBundle().setInfoDictionary(
            QVariantMap{{u"CFBundleShortVersionString"_s, u"1.0"_s}});
        m_actions.clear();
        m_view = std::make_unique<DomainsView>(&m_f->store, &m_f->phase, recordedActions());
        m_tester = std::make_unique<QAbstractItemModelTester>(
            m_view->rows(), QAbstractItemModelTester::FailureReportingMode::QtTest);
    }
    void cleanup() {
        m_tester.reset();
        m_view.reset();
        m_f.reset();
    }

    // Inserts, removals and searches in any order, among built-ins, letter-case twins and
    // duplicates: the rows are what the records and the search make, never reset.
    void rowsFollowTheRecordsAndTheSearch() {
        QSignalSpy resets(m_view->rows(), &QAbstractItemModel::modelReset);
        QCOMPARE(m_view->content().sections.at(0).rows.size(), 8); // More Options, never filtered
        const QStringList names{u"doubleclick.net"_s, u"Doubleclick.net"_s, u"adnxs.com"_s,
                                u"mine.example"_s,    u"zz.example"_s,      u"Tracker.Example"_s,
                                u"a\u0301.example"_s, u"\u00e1.example"_s,  u"criteo.com"_s};
        const QStringList searches{{}, u"e"_s, u"DOUBLE"_s, u"nothing"_s, u"\u00e1"_s, u"x"_s};
        QRandomGenerator rng(20261206);
        for (int step = 0; step < 300; ++step) {
            const QList<DomainRef> records = m_f->store.domains()->records();
            const int what = rng.bounded(6);
            if (what == 0)
                m_view->setSearchText(searches.at(rng.bounded(searches.size())));
            else if (what == 1 && !records.isEmpty())
                m_f->store.remove(records.at(rng.bounded(records.size())));
            else if (what == 2)
                m_view->setDomain(names.at(rng.bounded(names.size())));
            else
                add(names.at(rng.bounded(names.size())));
            QCOMPARE(drawn(*m_view), expected(m_f->store.domains()->records(), m_view->searchText(),
                                              m_view->domain()));
        }
        QCOMPARE(resets.size(), 0);
    }

    void deleteUnderSearchNamesExactlyOneRecord() {
        add(u"alpha.example"_s);
        const DomainRef first = add(u"beta.example"_s);
        const DomainRef twin = add(u"beta.example"_s); // duplicates exist in old stores
        add(u"gamma.example"_s);
        m_view->setSearchText(u"beta"_s);
        const QString lastKey = m_view->content().sections.at(1).rows.last().key;
        QCOMPARE(lastKey, DomainsView::entryKey(*twin));
        m_view->deleteRows({lastKey});
        QCOMPARE(m_f->store.domains()->domainNames(),
                 QStringList({u"alpha.example"_s, u"beta.example"_s, u"gamma.example"_s}));
        QCOMPARE(m_f->store.domains()->at(1), first);

        // Positions name records as they stood: 0 and 2, once each, despite the shift.
        m_view->deleteDomains({2, 0, 2, 7, -1});
        QCOMPARE(m_f->store.domains()->domainNames(), QStringList{u"beta.example"_s});
        QVERIFY(!m_f->store.hasChanges()); // saved after each delete
    }

    // The add field adds its text unless it is an exact duplicate, and empties either way. At
    // 200 records disabled controls do nothing, whichever way they are reached (QML may call
    // the actions directly); paste still fills the field, and one delete enables them again.
    void submitPasteAndCapacity() {
        for (int i = 0; i < 198; ++i)
            add(u"host%1.example"_s.arg(i, 3, 10, QChar(u'0')));
        QSignalSpy full(m_view.get(), &DomainsView::listFullChanged);
        for (int i = 0; i < 2; ++i) {
            m_view->editText(DomainsView::addKey, u" Example.COM "_s);
            m_view->submit(DomainsView::addKey);
            QCOMPARE(m_view->domain(), QString());
        }
        QCOMPARE(m_f->store.domains()->domainNames().count(u" Example.COM "_s), 1);
        m_view->paste(DomainsView::addKey, {u"last.example"_s, u"second"_s});
        m_view->pasteDomain({});
        QCOMPARE(m_view->domain(), u"last.example"_s);
        m_view->submitDomain();
        QCOMPARE(full.size(), 1);
        QVERIFY(!m_view->content().row(DomainsView::addKey)->enabled);
        QVERIFY(!m_view->content().row(DomainsView::suggestionKey(u"2mdn.net"_s))->enabled);

        m_view->activate(DomainsView::suggestionKey(u"2mdn.net"_s));
        m_view->paste(DomainsView::addKey, {u"waiting.example"_s});
        QVERIFY(QMetaObject::invokeMethod(m_view.get(), "submitDomain"));
        QVERIFY(QMetaObject::invokeMethod(m_view.get(), "addSuggestedDomain",
                                          Q_ARG(QString, u"adnxs.com"_s)));
        QCOMPARE(m_f->store.domains()->count(), 200);
        QCOMPARE(m_view->domain(), u"waiting.example"_s);

        m_view->deleteDomains({0});
        QCOMPARE(full.size(), 2);
        QVERIFY(m_view->content().row(DomainsView::addKey)->enabled);

        // Past the cap (an older store) nothing is added either.
        add(u"full.example"_s);
        add(u"over.example"_s);
        m_view->submitDomain();
        m_view->addSuggestedDomain(u"adnxs.com"_s);
        QCOMPARE(m_f->store.domains()->count(), 201);
    }

    void oncePerVersion_data() {
        QTest::addColumn<QVariant>("stored"); // invalid: absent
        QTest::addColumn<QString>("version");
        QTest::addColumn<bool>("acts");
        QTest::addColumn<QString>("written");
        const QVariant v10(u"1.0"_s), none;
        QTest::newRow("first launch") << none << u"1.0"_s << true << u"1.0"_s;
        QTest::newRow("same version") << v10 << u"1.0"_s << false << u"1.0"_s;
        QTest::newRow("updated") << v10 << u"1.1"_s << true << u"1.1"_s;
        QTest::newRow("letter case differs")
            << QVariant(u"1.0-B"_s) << u"1.0-b"_s << true << u"1.0-b"_s;
        QTest::newRow("empty version, first") << none << u""_s << true << QString();
        QTest::newRow("empty version, again") << QVariant(u""_s) << u""_s << false << QString();
    }
    void oncePerVersion() {
        QFETCH(QVariant, stored);
        QFETCH(QString, version);
        QFETCH(bool, acts);
        QFETCH(QString, written);
        NSBundle::mainBundle().setInfoDictionary(
            QVariantMap{{u"CFBundleShortVersionString"_s, version}});
        QSettings settings;
        for (const QString &key :
             {ReviewPrompt::appReviewVersionKey, ReviewPrompt::promotedAppVersionKey})
            stored.isValid() ? settings.setValue(key, stored) : settings.remove(key);
        m_view->appear();
        QCOMPARE(m_actions, acts ? QStringList({u"review"_s, u"promote"_s}) : QStringList());
        QCOMPARE(settings.value(ReviewPrompt::appReviewVersionKey).toString(), written);
        QCOMPARE(settings.value(ReviewPrompt::promotedAppVersionKey).toString(), written);
    }

    // Appearing or returning to the app acts once per version, even when the settings file
    // cannot be written (as root no permission stops a write: a folder stands in its way).
    void oncePerVersionOnAppearOrReturn_data() {
        QTest::addColumn<bool>("blocked");
        QTest::newRow("settings written") << false;
        QTest::newRow("settings file is a folder") << true;
    }
    void oncePerVersionOnAppearOrReturn() {
        QFETCH(bool, blocked);
        const QString file = QSettings().fileName();
        const auto unblock = qScopeGuard([&] {
            QDir(file).removeRecursively();
            ReviewPrompt::forgetUnsavedSettings();
            QSettings settings; // what QSettings kept of the failed writes goes too
            settings.remove(ReviewPrompt::appReviewVersionKey);
            settings.remove(ReviewPrompt::promotedAppVersionKey);
        });
        QFile::remove(file);
        if (blocked)
            QVERIFY(QDir().mkpath(file));

        const QStringList once{u"review"_s, u"promote"_s};
        m_view->appear();
        m_view->appear(); // coming back to the tab, same version
        m_f->phase.setPhase(ScenePhase::background);
        m_f->phase.setPhase(ScenePhase::active);
        DomainsView(&m_f->store, &m_f->phase, recordedActions()).appear(); // made anew
        QCOMPARE(m_actions, once);

        // After an update only returning to the app acts, once.
        NSBundle::mainBundle().setInfoDictionary(
            QVariantMap{{u"CFBundleShortVersionString"_s, u"2.0"_s}});
        m_f->phase.setPhase(ScenePhase::background);
        QCOMPARE(m_actions, once);
        m_f->phase.setPhase(ScenePhase::active);
        m_f->phase.setPhase(ScenePhase::inactive);
        m_view->appear();
        QCOMPARE(m_actions, once + once);
    }
};

QTEST_MAIN(TestDomainsView)
#include "tst_domainsview.moc"
