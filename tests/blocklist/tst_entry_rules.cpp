#include "blocklist/BlocklistStore.h"
#include "blocklist/DomainListModel.h"
#include "blocklist/EntryRules.h"
#include "common/TestEnvironment.h"

#include <QTest>

#include <memory>

using namespace Qt::StringLiterals;
using namespace EntryRules;

class TestEntryRules : public QObject {
    Q_OBJECT

    TestEnvironment m_env;

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
        BlocklistStore store(QString(), {.isStoredInMemoryOnly = true});
        for (const QString &text : existing)
            store.insert(std::make_shared<Domain>(text, QUuid::createUuid()));
        QString addText = typed;
        const DomainRef record = EntryRules::submitDomain(addText, store);
        QVERIFY(addText.isEmpty());
        QCOMPARE(store.domains()->count(), existing.size() + (added ? 1 : 0));
        QVERIFY(added ? record && record->domain() == typed : !record);
    }
};

QTEST_GUILESS_MAIN(TestEntryRules)
#include "tst_entry_rules.moc"
