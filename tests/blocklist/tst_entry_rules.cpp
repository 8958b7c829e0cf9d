#include "blocklist/BlocklistStore.h"
#include "blocklist/BuiltInDomains.h"
#include "blocklist/CodePointOrder.h"
#include "blocklist/DomainListModel.h"
#include "blocklist/EntryRules.h"
#include "common/TestEnvironment.h"

#include <QAbstractItemModelTester>
#include <QTest>

#include <algorithm>
#include <memory>

using namespace Qt::StringLiterals;
using namespace EntryRules;

class TestEntryRules : public QObject {
    Q_OBJECT

    TestEnvironment m_env;
    std::unique_ptr<BlocklistStore> m_store;

    BlocklistStore &freshStore(const QStringList &texts = {}) {
        m_store = std::make_unique<BlocklistStore>(
            QString(), BlocklistStore::Options{.isStoredInMemoryOnly = true});
        new QAbstractItemModelTester(m_store->domains(),
                                     QAbstractItemModelTester::FailureReportingMode::QtTest,
                                     m_store->domains());
        for (const QString &text : texts)
            m_store->insert(std::make_shared<Domain>(text, QUuid::createUuid()));
        m_store->save();
        return *m_store;
    }

private Q_SLOTS:
    void initTestCase() { QVERIFY(m_env.isValid()); }

    // Text is kept as typed; only an exact (canonically equal) duplicate and the empty text are
    // refused. An empty match domain would send every look-up to the dead end, so it is refused.
    void submitDomain_data() {
        QTest::addColumn<QStringList>("existing");
        QTest::addColumn<QString>("typed");
        QTest::addColumn<bool>("added");
        const QStringList one{u"example.com"_s};
        QTest::newRow("exact duplicate") << one << u"example.com"_s << false;
        QTest::newRow("differs in case") << one << u"Example.com"_s << true;
        QTest::newRow("leading space") << one << u" example.com"_s << true;
        QTest::newRow("empty refused") << QStringList{} << QString() << false;
        QTest::newRow("composed equals decomposed")
            << QStringList{u"caf\u00e9.fr"_s} << u"cafe\u0301.fr"_s << false;
    }
    void submitDomain() {
        QFETCH(QStringList, existing);
        QFETCH(QString, typed);
        QFETCH(bool, added);
        BlocklistStore &store = freshStore(existing);
        QString addText = typed;
        const DomainRef record = EntryRules::submitDomain(addText, store);
        QVERIFY(addText.isEmpty());
        QCOMPARE(bool(record), added);
        QCOMPARE(store.domains()->count(), existing.size() + (added ? 1 : 0));
        if (added)
            QCOMPARE(record->domain(), typed);
    }

    void capacity() {
        QVERIFY(!isListFull(199) && isListFull(200));
        BlocklistStore &store = freshStore(QStringList(199, u"n.test"_s)); // equal texts coexist
        QVERIFY(addSuggestedDomain(u"taboola.com"_s, store));
        QVERIFY(isListFull(store.domains()->count()));
    }

    // A suggestion is offered until a record with exactly its text exists (case counts).
    void suggestions() {
        BlocklistStore &store = freshStore({u"Criteo.com"_s, u"doubleclick.net"_s});
        QVERIFY(isOffered(u"criteo.com"_s, store.domains()->records()));
        QVERIFY(!isOffered(u"doubleclick.net"_s, store.domains()->records()));
        const DomainRef picked = addSuggestedDomain(u"taboola.com"_s, store);
        QVERIFY(picked && picked->domain() == u"taboola.com"_s);
        QVERIFY(!isOffered(u"taboola.com"_s, store.domains()->records()));
        QVERIFY(!addSuggestedDomain(QString(), store));
    }

    void matchesSearch_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("search");
        QTest::addColumn<bool>("matches");
        QTest::newRow("empty search") << u"anything"_s << QString() << true;
        QTest::newRow("middle") << u"doubleclick.net"_s << u"eclic"_s << true;
        QTest::newRow("capitals find lower") << u"criteo.com"_s << u"CRITEO"_s << true;
        QTest::newRow("space not trimmed") << u"criteo.com"_s << u" criteo"_s << false;
        QTest::newRow("non-ASCII case") << u"\u00c9COLE.fr"_s << u"\u00e9cole"_s << true;
        QTest::newRow("canonical equivalence") << u"caf\u00e9.fr"_s << u"E\u0301."_s << true;
    }
    void matchesSearch() {
        QFETCH(QString, text);
        QFETCH(QString, search);
        QFETCH(bool, matches);
        QCOMPARE(EntryRules::matchesSearch(text, search), matches);
    }

    // Bare host names (lower case, no scheme, path, port, "www." or empty label), strictly
    // ascending by code point, so unique; membership is exact.
    void builtInList() {
        const QStringList &list = builtInDomains();
        const auto notAscending = [](const QString &a, const QString &b) {
            return blocklist::compareCodePoints(a, b) >= 0;
        };
        QVERIFY(std::adjacent_find(list.cbegin(), list.cend(), notAscending) == list.cend());
        for (const QString &entry : list) {
            QVERIFY2(entry == entry.toLower() && entry.size() >= 5 && entry.size() <= 24 &&
                         !entry.startsWith(u"www."_s) && !entry.contains(u'/') &&
                         !entry.contains(u':') && !entry.split(u'.').contains(QString()),
                     qPrintable(entry));
            QVERIFY(isBuiltIn(entry));
        }
        QVERIFY(!isBuiltIn(u"Criteo.com"_s) && !isBuiltIn(u"criteo.com "_s) && !isBuiltIn({}));
    }
};

QTEST_GUILESS_MAIN(TestEntryRules)
#include "tst_entry_rules.moc"
