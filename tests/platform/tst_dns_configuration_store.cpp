#include "common/DnsWriterSupport.h"
#include "common/TestEnvironment.h"
#include "common/TestFiles.h"

#include <QDir>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTest>

#include <sys/stat.h>

using namespace Qt::StringLiterals;
using ReadResult = DNSConfigurationStore::ReadResult;

namespace {

QByteArray validFile(const char *from = nullptr, const char *to = nullptr) {
    QByteArray data = R"({"format": 1, "identifier": "org.a", "displayName": "A", "enabled": true,
              "settings": {"protocol": "HTTPS", "servers": ["0.0.0.0"]}, "onDemandRules": []})";
    return from ? data.replace(from, to) : data;
}

} // namespace

class DNSConfigurationStoreTest : public QObject {
    Q_OBJECT

    TestEnvironment m_env;

private Q_SLOTS:
    void init() { QVERIFY(QDir(DNSConfigurationStore().directory()).removeRecursively()); }

    // Every field survives serialize and parse exactly: every rule action, absent against empty
    // lists, order and repeats, 64-bit interface types, odd identifiers and names.
    void roundTrip() {
        auto https = std::make_shared<NEDNSOverHTTPSSettings>(QStringList{u"0.0.0.0"_s});
        https->setMatchDomains(QStringList{u"b.example"_s, u"a.example"_s, u"b.example"_s});
        https->setServerURL(QUrl(u"https://dns.example/dns-query?x=%2F"_s));
        auto rule = std::make_shared<NEOnDemandRuleDisconnect>();
        rule->setInterfaceTypeMatch(std::numeric_limits<qint64>::max());
        rule->setSSIDMatch(QStringList{});
        const QList<DNSConfiguration> originals{
            {u"org.a/../b%"_s,
             u"\u00c4 \"name\""_s,
             true,
             https,
             {rule, std::make_shared<NEOnDemandRuleConnect>(),
              std::make_shared<NEOnDemandRuleEvaluateConnection>(),
              std::make_shared<NEOnDemandRuleIgnore>()}},
            {u"a"_s, u"A"_s, false, std::make_shared<NEDNSSettings>(QStringList()), {}}};
        for (const DNSConfiguration &original : originals) {
            const QByteArray written = DNSConfigurationStore::serialize(original);
            const auto parsed = DNSConfigurationStore::parse(written);
            QVERIFY(parsed && DNSConfigurationStore::sameContent(*parsed, original));
            QCOMPARE(DNSConfigurationStore::serialize(*parsed), written);
        }
    }

    void identifiersNeverLeaveTheFolder() {
        const DNSConfigurationStore store;
        for (const QString &identifier : {u"../../etc/passwd"_s, u"a%2Fb"_s}) {
            QCOMPARE(QFileInfo(store.filePath(identifier)).absolutePath(), store.directory());
            QVERIFY(store.write({identifier, u"X"_s, false, TestSupport::generationSettings(1), {}},
                                nullptr));
            QCOMPARE(store.read(identifier).configuration->identifier, identifier);
        }
    }

    // Whatever sits in an app's slot, reading changes nothing; a write or removal sets a damaged
    // file of ours aside byte for byte and goes ahead, and fails on anything else (a newer
    // format, a link, a FIFO, a folder), leaving it and a link's target as they are.
    void slotContents_data() {
        QTest::addColumn<QByteArray>("content"); // or "@link" to a valid file, "@fifo", "@folder"
        QTest::addColumn<ReadResult::Status>("status");
        QTest::newRow("truncated") << validFile().left(30) << ReadResult::damaged;
        QTest::newRow("deep nesting") << QByteArray(100000, '[') << ReadResult::damaged;
        QTest::newRow("interface out of range")
            << validFile("[]}", R"([{"action": "ignore", "interfaceTypeMatch": 1e19}]})")
            << ReadResult::damaged;
        QTest::newRow("over the size limit")
            << validFile() + QByteArray(DNSConfigurationStore::maximumFileSize, ' ')
            << ReadResult::damaged;
        QTest::newRow("format 2") << validFile("\"format\": 1", "\"format\": 2")
                                  << ReadResult::newerFormat;
        QTest::newRow("link") << QByteArray("@link") << ReadResult::refused;
        QTest::newRow("FIFO") << QByteArray("@fifo") << ReadResult::refused;
        QTest::newRow("folder") << QByteArray("@folder") << ReadResult::refused;
    }
    void slotContents() {
        QFETCH(QByteArray, content);
        QFETCH(ReadResult::Status, status);
        const DNSConfigurationStore store;
        QVERIFY(QDir().mkpath(store.directory()));
        const QString outside = m_env.root() + u"/outside.json"_s;
        const QString slot = store.filePath(u"org.a"_s);
        QVERIFY(putFile(outside, validFile()));
        const auto plant = [&] {
            return content == "@link"     ? QFile::link(outside, slot)
                   : content == "@fifo"   ? ::mkfifo(QFile::encodeName(slot).constData(), 0600) == 0
                   : content == "@folder" ? QDir().mkdir(slot)
                                          : putFile(slot, content);
        };
        QVERIFY(plant());
        const auto before = folderSnapshot(store.directory());

        QCOMPARE(store.read(u"org.a"_s).status, status);
        const auto all = store.readAll(nullptr);
        QVERIFY(all && all->size() == 1);
        QCOMPARE(all->first().status, status);
        QCOMPARE(folderSnapshot(store.directory()), before);

        const bool setAside = status == ReadResult::damaged;
        for (const bool removing : {true, false}) {
            QString movedTo;
            const DNSConfiguration replacement{
                u"org.a"_s, u"A"_s, false, std::make_shared<NEDNSSettings>(QStringList()), {}};
            QCOMPARE(removing ? store.remove(u"org.a"_s, nullptr, &movedTo)
                              : store.write(replacement, nullptr, &movedTo),
                     setAside);
            QCOMPARE(fileBytes(outside), validFile());
            if (!setAside) {
                QCOMPARE(folderSnapshot(store.directory()), before);
                continue;
            }
            QCOMPARE(fileBytes(movedTo), before.value(u"org.a.json"_s));
            QCOMPARE(store.read(u"org.a"_s).status, removing ? ReadResult::absent : ReadResult::ok);
            QVERIFY(QFile::remove(movedTo) && (QFile::remove(slot) || removing) && plant());
        }
    }

    // Switching touches the switch only: members this version does not know, at the top and
    // inside settings, keep their values.
    void unknownMembersSurvive() {
        const DNSConfigurationStore store;
        const QString path = store.filePath(u"org.a"_s);
        const QByteArray original = validFile(R"("servers": ["0.0.0.0"]})",
                                              R"("servers": ["0.0.0.0"], "x-extra": [1, "two"]},
               "x-future": {"nested": true, "n": 12345678901234})");
        QVERIFY(QDir().mkpath(store.directory()) && putFile(path, original));
        QVERIFY(store.setEnabled(u"org.a"_s, false, nullptr));
        QJsonObject expected = QJsonDocument::fromJson(original).object();
        expected.insert(u"enabled"_s, false);
        QCOMPARE(QJsonDocument::fromJson(fileBytes(path)).object(), expected);
    }

    // A holder killed before it wrote anything leaves an empty lock file: that is no lock.
    void emptyLockFileIsNoLock() {
        const DNSConfigurationStore store;
        QVERIFY(QDir().mkpath(store.directory()) && putFile(store.lockFilePath(), {}));
        QVERIFY(store.lock(nullptr, std::chrono::milliseconds(0)));
    }
};

QTEST_GUILESS_MAIN(DNSConfigurationStoreTest)

#include "tst_dns_configuration_store.moc"
