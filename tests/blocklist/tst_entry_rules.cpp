#include "blocklist/BlocklistStore.h"
#include "blocklist/BuiltInDomains.h"
#include "blocklist/CodePointOrder.h"
#include "blocklist/DomainListModel.h"
#include "blocklist/EntryRules.h"
#include "common/TestEnvironment.h"

#include <QAbstractItemModelTester>
#include <QSet>
#include <QTest>

#include <algorithm>
#include <memory>

using namespace Qt::StringLiterals;

class TestEntryRules : public QObject {
    Q_OBJECT

private:
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

    void submitDomain_data() {
        QTest::addColumn<QStringList>("existing");
        QTest::addColumn<QString>("typed");
        QTest::addColumn<bool>("added");
        const QStringList one{u"example.com"_s};
        QTest::newRow("new text") << one << u"other.com"_s << true;
        QTest::newRow("exact duplicate") << one << u"example.com"_s << false;
        QTest::newRow("differs in case") << one << u"Example.com"_s << true;
        QTest::newRow("leading space") << one << u" example.com"_s << true;
        QTest::newRow("trailing newline") << one << u"example.com\n"_s << true;
        QTest::newRow("address kept whole") << one << u"https://example.com:8080/x"_s << true;
        QTest::newRow("built-in typed") << one << u"criteo.com"_s << true;
        QTest::newRow("empty refused") << one << QString() << false;
        QTest::newRow("empty refused, empty list") << QStringList{} << QString() << false;
        QTest::newRow("composed equals decomposed")
            << QStringList{u"caf\u00e9.fr"_s} << u"cafe\u0301.fr"_s << false;
        QTest::newRow("decomposed equals composed")
            << QStringList{u"cafe\u0301.fr"_s} << u"caf\u00e9.fr"_s << false;
    }

    void submitDomain() {
        QFETCH(QStringList, existing);
        QFETCH(QString, typed);
        QFETCH(bool, added);
        BlocklistStore &store = freshStore(existing);
        QString addText = typed;
        const DomainRef record = ::submitDomain(addText, store);
        QVERIFY(addText.isEmpty());
        QCOMPARE(bool(record), added);
        QCOMPARE(store.domains()->count(), existing.size() + (added ? 1 : 0));
        QVERIFY(!store.hasChanges());
        if (added) {
            QCOMPARE(record->domain(), typed); // stored unchanged
            QVERIFY(!isOffered(typed, store.domains()->records()));
            QVERIFY(!::submitDomain(addText = typed, store)); // a second submit is a duplicate
        }
    }

    void capacity() {
        QVERIFY(!isListFull(0));
        QVERIFY(!isListFull(199));
        QVERIFY(isListFull(200));
        QVERIFY(isListFull(201));
        QStringList texts;
        for (int i = 0; i < 199; ++i)
            texts.append(u"n%1.test"_s.arg(i));
        BlocklistStore &store = freshStore(texts);
        QVERIFY(!isListFull(store.domains()->count()));
        QVERIFY(addSuggestedDomain(u"taboola.com"_s, store));
        QVERIFY(isListFull(store.domains()->count()));
        store.remove(store.domains()->at(0));
        QVERIFY(!isListFull(store.domains()->count()));
    }

    void suggestions() {
        BlocklistStore &store = freshStore({u"Criteo.com"_s, u"doubleclick.net"_s});
        QVERIFY(isOffered(u"criteo.com"_s, store.domains()->records())); // case counts
        QVERIFY(!isOffered(u"doubleclick.net"_s, store.domains()->records()));
        QVERIFY(!isBuiltIn(u"Criteo.com"_s));

        const DomainRef picked = addSuggestedDomain(u"taboola.com"_s, store);
        QVERIFY(picked);
        QCOMPARE(picked->domain(), u"taboola.com"_s);
        QVERIFY(!isOffered(u"taboola.com"_s, store.domains()->records()));
        QVERIFY(!addSuggestedDomain(QString(), store));

        freshStore();
        const auto offered = [this] {
            return std::count_if(builtInDomains().cbegin(), builtInDomains().cend(),
                                 [this](const QString &entry) {
                                     return isOffered(entry, m_store->domains()->records());
                                 });
        };
        QCOMPARE(offered(), 58);
        for (const QString &entry : builtInDomains())
            addSuggestedDomain(entry, *m_store);
        QCOMPARE(offered(), 0);
        QCOMPARE(m_store->domains()->domainNames(), builtInDomains());
    }

    void matchesSearch_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("search");
        QTest::addColumn<bool>("matches");
        QTest::newRow("empty search") << u"anything"_s << QString() << true;
        QTest::newRow("middle") << u"doubleclick.net"_s << u"eclic"_s << true;
        QTest::newRow("capitals find lower") << u"criteo.com"_s << u"CRITEO"_s << true;
        QTest::newRow("lower finds capitals") << u"Criteo.COM"_s << u"o.co"_s << true;
        QTest::newRow("space not trimmed") << u"criteo.com"_s << u" criteo"_s << false;
        QTest::newRow("space matches space") << u"my host"_s << u"y h"_s << true;
        QTest::newRow("no match") << u"criteo.com"_s << u"taboola"_s << false;
        QTest::newRow("longer than text") << u"a.b"_s << u"a.b.c"_s << false;
        QTest::newRow("non-ASCII case") << u"\u00c9COLE.fr"_s << u"\u00e9cole"_s << true;
        QTest::newRow("canonical equivalence") << u"caf\u00e9.fr"_s << u"E\u0301."_s << true;
    }

    void matchesSearch() {
        QFETCH(QString, text);
        QFETCH(QString, search);
        QFETCH(bool, matches);
        QCOMPARE(::matchesSearch(text, search), matches);
    }

    void builtInList() {
        const QStringList &list = builtInDomains();
        QCOMPARE(list.size(), 58);
        QCOMPARE(QSet<QString>(list.cbegin(), list.cend()).size(), 58);
        QVERIFY(std::is_sorted(list.cbegin(), list.cend(), [](const QString &a, const QString &b) {
            return blocklist::compareCodePoints(a, b) < 0;
        }));
        int twoLabel = 0;
        int threeLabel = 0;
        bool hyphen = false;
        bool digit = false;
        for (const QString &entry : list) {
            QCOMPARE(entry, entry.toLower());
            QVERIFY2(entry.size() >= 5 && entry.size() <= 24, qPrintable(entry));
            QVERIFY2(!entry.startsWith(u"www."_s) && !entry.endsWith(u'.') &&
                         !entry.contains(u'/') && !entry.contains(u':'),
                     qPrintable(entry));
            const auto labels = entry.split(u'.');
            QVERIFY(std::none_of(labels.cbegin(), labels.cend(),
                                 [](const QString &label) { return label.isEmpty(); }));
            twoLabel += labels.size() == 2;
            threeLabel += labels.size() == 3;
            hyphen = hyphen || entry.contains(u'-');
            digit = digit ||
                    std::any_of(entry.cbegin(), entry.cend(), [](QChar c) { return c.isDigit(); });
            QVERIFY(isBuiltIn(entry));
        }
        QCOMPARE(twoLabel, 50);
        QCOMPARE(threeLabel, 8);
        QVERIFY(hyphen && digit);
        QVERIFY(!isBuiltIn(u"Criteo.com"_s));
        QVERIFY(!isBuiltIn(u"criteo.com "_s));
        QVERIFY(!isBuiltIn(QString()));
    }
};

QTEST_GUILESS_MAIN(TestEntryRules)
#include "tst_entry_rules.moc"
