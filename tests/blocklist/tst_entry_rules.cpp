#include "blocklist/BlocklistStore.h"
#include "blocklist/BuiltInDomains.h"
#include "blocklist/CodePointOrder.h"
#include "blocklist/DomainListModel.h"
#include "blocklist/EntryRules.h"
#include "common/TestEnvironment.h"

#include <QTest>

#include <algorithm>
#include <memory>

using namespace Qt::StringLiterals;
using namespace EntryRules;

class TestEntryRules : public QObject {
    Q_OBJECT

    TestEnvironment m_env;
    std::unique_ptr<BlocklistStore> m_store;

    BlocklistStore &freshStore(const QStringList &texts) {
        m_store = std::make_unique<BlocklistStore>(
            QString(), BlocklistStore::Options{.isStoredInMemoryOnly = true});
        for (const QString &text : texts)
            m_store->insert(std::make_shared<Domain>(text, QUuid::createUuid()));
        return *m_store;
    }

private Q_SLOTS:
    // Text is kept as typed; only a canonically equal duplicate and the empty text are refused
    // (an empty match domain would send every look-up to the dead end). The field empties.
    void submitDomain_data() {
        QTest::addColumn<QStringList>("existing");
        QTest::addColumn<QString>("typed");
        QTest::addColumn<bool>("added");
        QTest::newRow("differs in case")
            << QStringList{u"example.com"_s} << u"Example.com"_s << true;
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
        QCOMPARE(store.domains()->count(), existing.size() + (added ? 1 : 0));
        QVERIFY(added ? record && record->domain() == typed : !record);
    }

    // A suggestion is offered until a record with exactly its text exists (case counts); the
    // built-in list is in code point order, as the suggestion rows show it.
    void suggestions() {
        BlocklistStore &store = freshStore({u"Criteo.com"_s, u"doubleclick.net"_s});
        QVERIFY(isOffered(u"criteo.com"_s, store.domains()->records()));
        QVERIFY(!isOffered(u"doubleclick.net"_s, store.domains()->records()));
        QVERIFY(!addSuggestedDomain(QString(), store));
        const QStringList &list = builtInDomains();
        QVERIFY(
            std::adjacent_find(list.cbegin(), list.cend(), [](const QString &a, const QString &b) {
                return blocklist::compareCodePoints(a, b) >= 0;
            }) == list.cend());
        QVERIFY(isBuiltIn(u"criteo.com"_s) && !isBuiltIn(u"Criteo.com"_s) && !isBuiltIn({}));
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
};

QTEST_GUILESS_MAIN(TestEntryRules)
#include "tst_entry_rules.moc"
