#include "common/TestEnvironment.h"

#include "AppStoreView/AppCatalogue.h"
#include "blocklist/BlocklistStore.h"
#include "blocklist/BuiltInDomains.h"
#include "blocklist/DomainListModel.h"
#include "foundation/NSBundle.h"
#include "screens/DomainsView.h"
#include "screens/ReviewPrompt.h"

#include <QAbstractItemModelTester>
#include <QSettings>
#include <QSignalSpy>
#include <QTest>

#include <memory>

using namespace Qt::StringLiterals;
using Screen::Row;

namespace {
QStringList rowTexts(const QList<Row> &rows) {
    QStringList out;
    for (const Row &row : rows)
        out << row.text;
    return out;
}

/** The rows of the "Domains" section after the add field and paste button. */
struct DomainRows {
    QList<Row> suggestions;
    QList<Row> entries;
};

DomainRows domainRows(const DomainsView &view) {
    const Screen::Content content = view.content();
    DomainRows out;
    const QList<Row> &rows = content.sections.at(1).rows;
    for (qsizetype i = 2; i < rows.size(); ++i)
        (rows.at(i).key.startsWith(u"suggestion:"_s) ? out.suggestions : out.entries) << rows.at(i);
    return out;
}
} // namespace

class TestDomainsView : public QObject {
    Q_OBJECT

    std::unique_ptr<TestEnvironment> m_env;
    std::unique_ptr<BlocklistStore> m_store;
    std::unique_ptr<DomainsView> m_view;
    std::unique_ptr<QAbstractItemModelTester> m_tester;
    QStringList m_actions;

    DomainRef add(const QString &text) {
        auto record = std::make_shared<Domain>(text, QUuid::createUuid());
        m_store->insert(record);
        return record;
    }

private Q_SLOTS:
    void init() {
        m_env = std::make_unique<TestEnvironment>();
        QVERIFY(m_env->isValid());
        QCoreApplication::setOrganizationName(u"Quellnet"_s);
        QCoreApplication::setApplicationName(u"Quellnet"_s);
        NSBundle::mainBundle().setInfoDictionary(
            QVariantMap{{u"CFBundleShortVersionString"_s, u"1.0"_s}});
        m_store = std::make_unique<BlocklistStore>(m_env->dataHome() + u"/domains.sqlite"_s);
        m_view = std::make_unique<DomainsView>(m_store.get(), nullptr);
        m_tester = std::make_unique<QAbstractItemModelTester>(
            m_view->rows(), QAbstractItemModelTester::FailureReportingMode::QtTest);
        m_actions.clear();
        m_view->setRequestReview([this] { m_actions << u"review"_s; });
        m_view->setPromoteApp([this] { m_actions << u"promote"_s; });
    }
    void cleanup() {
        m_tester.reset();
        m_view.reset();
        m_store.reset();
        m_env.reset();
    }

    void emptyStoreLayout() {
        const Screen::Content content = m_view->content();
        QCOMPARE(content.navigationTitle, u"Domains"_s);
        QCOMPARE(content.sections.size(), 2);

        const Screen::Section &more = content.sections.at(0);
        QCOMPARE(more.header, u"More Options"_s);
        QCOMPARE(more.rows.size(), 8);
        for (int i = 0; i < 8; ++i) {
            const Row &row = more.rows.at(i);
            QCOMPARE(row.key, DomainsView::moreOptionsKey(i));
            QCOMPARE(row.text, AppCatalogue::moreOptionsInfo().at(i).title);
            QCOMPARE(row.kind, Screen::RowKind::button);
            QCOMPARE(row.buttonStyle, Screen::ButtonStyle::automatic);
            QCOMPARE(row.systemImage, u"arrow.down.circle"_s);
        }

        const Screen::Section &domains = content.sections.at(1);
        QCOMPARE(domains.header, u"Domains"_s);
        const Row &field = domains.rows.at(0);
        QCOMPARE(field.kind, Screen::RowKind::textField);
        QCOMPARE(field.placeholder, u"Type here to add a new domain"_s);
        QCOMPARE(domains.rows.at(1).kind, Screen::RowKind::pasteButton);
        QCOMPARE(domains.rows.at(1).text, QString()); // icon only

        const DomainRows rows = domainRows(*m_view);
        QCOMPARE(rowTexts(rows.suggestions), builtInDomains());
        QVERIFY(rows.entries.isEmpty());
        const Row &suggestion = rows.suggestions.first();
        QCOMPARE(suggestion.buttonStyle, Screen::ButtonStyle::plain);
        QCOMPARE(suggestion.tint, Screen::Tint::teal);
        QCOMPARE(suggestion.systemImage, u"plus"_s);
        for (const Screen::Section &section : content.sections)
            for (const Row &row : section.rows)
                QVERIFY(row.separatorHidden && (row.deletable == row.key.startsWith(u"domain:"_s)));
    }

    void filters_data() {
        QTest::addColumn<QStringList>("records");
        QTest::addColumn<QString>("search");
        QTest::addColumn<QStringList>("suggestions");
        QTest::addColumn<QStringList>("entries");
        QTest::addColumn<QStringList>("icons");

        QTest::newRow("added built-in is no longer offered")
            << QStringList{u"doubleclick.net"_s, u"example.org"_s} << u"double"_s
            << QStringList{u"doubleverify.com"_s} << QStringList{u"doubleclick.net"_s}
            << QStringList{u"hand.raised.fill"_s};
        QTest::newRow("capital search finds lower case, mid-text")
            << QStringList{u"Tracker.Example"_s, u"mytracker.net"_s} << u"RACK"_s << QStringList{}
            << QStringList{u"Tracker.Example"_s, u"mytracker.net"_s}
            << QStringList{u"crown"_s, u"crown"_s};
        QTest::newRow("case-different built-in is not built-in")
            << QStringList{u"Criteo.com"_s} << u"criteo"_s << QStringList{u"criteo.com"_s}
            << QStringList{u"Criteo.com"_s} << QStringList{u"crown"_s};
        QTest::newRow("nothing matches") << QStringList{u"a.example"_s} << u"zzz"_s << QStringList{}
                                         << QStringList{} << QStringList{};
        QTest::newRow("space is not trimmed")
            << QStringList{u"a b"_s, u"ab"_s} << u" "_s << QStringList{} << QStringList{u"a b"_s}
            << QStringList{u"crown"_s};
    }
    void filters() {
        QFETCH(QStringList, records);
        QFETCH(QString, search);
        QFETCH(QStringList, suggestions);
        QFETCH(QStringList, entries);
        QFETCH(QStringList, icons);
        for (const QString &text : records)
            add(text);
        QSignalSpy changed(m_view.get(), &DomainsView::searchTextChanged);
        m_view->setSearchText(search);
        QCOMPARE(changed.size(), 1);

        const DomainRows rows = domainRows(*m_view);
        QCOMPARE(rowTexts(rows.suggestions), suggestions);
        QCOMPARE(rowTexts(rows.entries), entries);
        QStringList shownIcons;
        for (const Row &row : rows.entries)
            shownIcons << row.systemImage;
        QCOMPARE(shownIcons, icons);
        // The add row and "More Options" are never filtered.
        QCOMPARE(m_view->content().sections.at(0).rows.size(), 8);
        QVERIFY(m_view->content().row(DomainsView::addKey));
    }

    void deleteUnderSearchNamesExactlyOneRecord() {
        add(u"alpha.example"_s);
        const DomainRef first = add(u"beta.example"_s);
        const DomainRef twin = add(u"beta.example"_s); // duplicates exist in old stores
        add(u"gamma.example"_s);
        m_view->setSearchText(u"beta"_s);
        const DomainRows rows = domainRows(*m_view);
        QCOMPARE(rows.entries.size(), 2);
        QCOMPARE_NE(rows.entries.at(0).key, rows.entries.at(1).key);
        QSignalSpy resets(m_view->rows(), &QAbstractItemModel::modelReset);

        // The second visible row is the twin at full-list position 2.
        QCOMPARE(rows.entries.at(1).key, DomainsView::entryKey(*twin));
        m_view->deleteRows({rows.entries.at(1).key});
        QCOMPARE(m_store->domains()->domainNames(),
                 QStringList({u"alpha.example"_s, u"beta.example"_s, u"gamma.example"_s}));
        QCOMPARE(m_store->domains()->at(1), first);
        QCOMPARE(resets.size(), 0); // rows leave one by one, the list keeps its place

        // Positions name records as they stood: 0 and 2, once each, despite the shift.
        m_view->deleteDomains({2, 0, 2, 7, -1});
        QCOMPARE(m_store->domains()->domainNames(), QStringList{u"beta.example"_s});
        QVERIFY(!m_store->hasChanges()); // saved after each delete
    }

    void deletedBuiltInIsOfferedAgain() {
        m_view->setSearchText(u"taboola"_s);
        m_view->activate(DomainsView::suggestionKey(u"taboola.com"_s));
        DomainRows rows = domainRows(*m_view);
        QVERIFY(rows.suggestions.isEmpty());
        QCOMPARE(rowTexts(rows.entries), QStringList{u"taboola.com"_s});
        QCOMPARE(m_view->domain(), QString()); // a suggestion leaves the add text alone
        m_view->deleteRows({rows.entries.first().key});
        rows = domainRows(*m_view);
        QCOMPARE(rowTexts(rows.suggestions), QStringList{u"taboola.com"_s});
    }

    void submitAndPaste() {
        m_view->editText(DomainsView::addKey, u" Example.COM "_s);
        m_view->submit(DomainsView::addKey);
        QCOMPARE(m_view->domain(), QString());
        QCOMPARE(m_store->domains()->domainNames(), QStringList{u" Example.COM "_s});
        m_view->setDomain(u" Example.COM "_s);
        m_view->submitDomain(); // exact duplicate: refused, field still emptied
        QCOMPARE(m_store->domains()->count(), 1);
        QCOMPARE(m_view->domain(), QString());

        m_view->paste(DomainsView::pasteKey, {u"pasted.example"_s, u"second"_s});
        QCOMPARE(m_view->domain(), u"pasted.example"_s);
        m_view->pasteDomain({});
        QCOMPARE(m_view->domain(), u"pasted.example"_s);
        QCOMPARE(m_view->content().row(DomainsView::addKey)->text, u"pasted.example"_s);
        QCOMPARE(m_store->domains()->count(), 1);
    }

    void capacity() {
        for (int i = 0; i < 199; ++i)
            add(u"host%1.example"_s.arg(i, 3, 10, QChar(u'0')));
        QVERIFY(!m_view->isListFull());
        QVERIFY(m_view->content().row(DomainsView::addKey)->enabled);

        QSignalSpy full(m_view.get(), &DomainsView::listFullChanged);
        m_view->setDomain(u"last.example"_s);
        m_view->submit(DomainsView::addKey);
        QCOMPARE(m_store->domains()->count(), 200);
        QCOMPARE(full.size(), 1);
        const Screen::Content content = m_view->content();
        QVERIFY(!content.row(DomainsView::addKey)->enabled);
        QVERIFY(content.row(DomainsView::pasteKey)->enabled);
        for (const Row &row : domainRows(*m_view).suggestions)
            QVERIFY(!row.enabled);

        // Disabled controls do nothing; paste still fills the field.
        m_view->activate(DomainsView::suggestionKey(u"2mdn.net"_s));
        m_view->paste(DomainsView::pasteKey, {u"waiting.example"_s});
        m_view->submit(DomainsView::addKey);
        QCOMPARE(m_store->domains()->count(), 200);
        QCOMPARE(m_view->domain(), u"waiting.example"_s);

        m_view->deleteDomains({0});
        QVERIFY(!m_view->isListFull());
        QCOMPARE(full.size(), 2);
        QVERIFY(m_view->content().row(DomainsView::addKey)->enabled);
        QVERIFY(domainRows(*m_view).suggestions.first().enabled);
    }

    void oncePerVersion_data() {
        QTest::addColumn<QVariant>("stored");  // invalid: absent
        QTest::addColumn<QVariant>("version"); // invalid: no information dictionary
        QTest::addColumn<bool>("acts");
        QTest::addColumn<QString>("written");

        QTest::newRow("first launch") << QVariant() << QVariant(u"1.0"_s) << true << u"1.0"_s;
        QTest::newRow("same version")
            << QVariant(u"1.0"_s) << QVariant(u"1.0"_s) << false << u"1.0"_s;
        QTest::newRow("updated") << QVariant(u"1.0"_s) << QVariant(u"1.1"_s) << true << u"1.1"_s;
        QTest::newRow("letter case differs")
            << QVariant(u"1.0-BETA"_s) << QVariant(u"1.0-beta"_s) << true << u"1.0-beta"_s;
        QTest::newRow("empty version, first") << QVariant() << QVariant(u""_s) << true << QString();
        QTest::newRow("empty version, again")
            << QVariant(u""_s) << QVariant(u""_s) << false << QString();
        QTest::newRow("no dictionary counts as empty")
            << QVariant(u""_s) << QVariant() << false << QString();
        QTest::newRow("version not a text")
            << QVariant(u"1.0"_s) << QVariant(2) << true << QString();
    }
    void oncePerVersion() {
        QFETCH(QVariant, stored);
        QFETCH(QVariant, version);
        QFETCH(bool, acts);
        QFETCH(QString, written);
        if (version.isValid())
            NSBundle::mainBundle().setInfoDictionary(
                QVariantMap{{u"CFBundleShortVersionString"_s, version}});
        else
            NSBundle::mainBundle().setInfoDictionary(std::nullopt);
        {
            QSettings settings;
            settings.remove(ReviewPrompt::appReviewVersionKey);
            settings.remove(ReviewPrompt::promotedAppVersionKey);
            if (stored.isValid()) {
                settings.setValue(ReviewPrompt::appReviewVersionKey, stored);
                settings.setValue(ReviewPrompt::promotedAppVersionKey, stored);
            }
        }
        m_view->appear();
        QCOMPARE(m_actions, acts ? QStringList({u"review"_s, u"promote"_s}) : QStringList());
        QSettings settings;
        QCOMPARE(settings.value(ReviewPrompt::appReviewVersionKey).toString(), written);
        QCOMPARE(settings.value(ReviewPrompt::promotedAppVersionKey).toString(), written);
    }

    void triggers() {
        ScenePhaseSource phase;
        DomainsView view(m_store.get(), &phase);
        QStringList actions;
        view.setRequestReview([&] { actions << u"review"_s; });
        view.setPromoteApp([&] { actions << u"promote"_s; });

        view.appear();
        view.appear(); // coming back to the tab, same version
        phase.setPhase(ScenePhase::background);
        phase.setPhase(ScenePhase::active);
        QCOMPARE(actions, QStringList({u"review"_s, u"promote"_s}));

        // After an update, returning to the app acts once, review first; other phases never.
        NSBundle::mainBundle().setInfoDictionary(
            QVariantMap{{u"CFBundleShortVersionString"_s, u"2.0"_s}});
        phase.setPhase(ScenePhase::inactive);
        phase.setPhase(ScenePhase::background);
        QCOMPARE(actions.size(), 2);
        phase.setPhase(ScenePhase::active);
        phase.setPhase(ScenePhase::inactive);
        phase.setPhase(ScenePhase::active);
        QCOMPARE(actions, QStringList({u"review"_s, u"promote"_s, u"review"_s, u"promote"_s}));
    }
};

QTEST_MAIN(TestDomainsView)
#include "tst_domainsview.moc"
