#include "common/TestEnvironment.h"
#include "foundation/PlatformPaths.h"
#include "networkextension/DNSConfigurationStore.h"
#include "storekit/StoreReachability.h"

#include <QDir>
#include <QFile>
#include <QTest>

using namespace Qt::StringLiterals;

namespace {

QByteArray validFile() {
    return R"({"format": 1, "identifier": "org.a", "displayName": "A", "enabled": true,
              "settings": {"protocol": "HTTPS", "servers": ["0.0.0.0"]},
              "onDemandRules": []})";
}

/** validFile() with one top-level key replaced by raw JSON text. */
QByteArray withKey(const char *key, const char *json) {
    QByteArray data = validFile();
    const qsizetype at = data.indexOf(QByteArray("\"") + key + '"');
    const qsizetype valueStart = data.indexOf(':', at) + 1;
    qsizetype depth = 0, end = valueStart;
    for (; end < data.size(); ++end) {
        const char c = data[end];
        depth += (c == '{' || c == '[') - (c == '}' || c == ']');
        if (depth < 0 || (depth == 0 && c == ','))
            break;
    }
    return data.replace(valueStart, end - valueStart, json);
}

} // namespace

class DNSConfigurationStoreTest : public QObject {
    Q_OBJECT

    TestEnvironment m_env;

private Q_SLOTS:
    void roundTripKeepsAbsentEmptyOrderAndRepeats() {
        auto settings = std::make_shared<NEDNSOverHTTPSSettings>(QStringList{u"0.0.0.0"_s});
        settings->setMatchDomains(QStringList{u"b.example"_s, u"a.example"_s, u"b.example"_s});
        settings->setServerURL(QUrl(u"https://dns.example/dns-query?x=%2F"_s));
        auto rule = std::make_shared<NEOnDemandRuleDisconnect>();
        rule->setInterfaceTypeMatch(std::numeric_limits<qint64>::max());
        rule->setSSIDMatch(QStringList{});
        rule->setDNSServerAddressMatch(QStringList{u"::1"_s});
        const DNSConfiguration original{u"org.a/../b%"_s,
                                        u"Ä \"name\""_s,
                                        true,
                                        settings,
                                        {rule, std::make_shared<NEOnDemandRuleConnect>()}};

        QString error;
        const auto parsed =
            DNSConfigurationStore::parse(DNSConfigurationStore::serialize(original), &error);
        QVERIFY2(parsed, qPrintable(error));
        QCOMPARE(parsed->identifier, original.identifier);
        QCOMPARE(parsed->displayName, original.displayName);
        QVERIFY(parsed->enabled);
        QVERIFY(DNSConfigurationStore::sameContent(*parsed, original));
        QCOMPARE(parsed->settings->matchDomains(), settings->matchDomains());
        const auto &rules = parsed->onDemandRules;
        QCOMPARE(rules.size(), 2);
        QCOMPARE(rules[0]->action(), NEOnDemandRuleAction::disconnect);
        QCOMPARE(rules[0]->interfaceTypeMatch(), std::numeric_limits<qint64>::max());
        QCOMPARE(rules[0]->SSIDMatch(), std::optional<QStringList>(QStringList{}));
        QCOMPARE(rules[0]->DNSSearchDomainMatch(), std::nullopt);
        QCOMPARE(rules[1]->action(), NEOnDemandRuleAction::connect);
    }

    void rejectsAnythingButAValidFile_data() {
        QTest::addColumn<QByteArray>("data");
        QTest::newRow("valid control") << validFile();
        QTest::newRow("empty") << QByteArray();
        QTest::newRow("array") << QByteArray("[]");
        QTest::newRow("nul bytes") << QByteArray("{\0\0}", 4);
        QTest::newRow("deep nesting") << QByteArray(100000, '[');
        QTest::newRow("format 2") << withKey("format", "2");
        QTest::newRow("format fraction") << withKey("format", "1.5");
        QTest::newRow("format huge") << withKey("format", "1e300");
        QTest::newRow("empty identifier") << withKey("identifier", "\"\"");
        QTest::newRow("enabled as text") << withKey("enabled", "\"yes\"");
        QTest::newRow("settings null") << withKey("settings", "null");
        QTest::newRow("unknown protocol")
            << withKey("settings", R"({"protocol": "QUIC", "servers": []})");
        QTest::newRow("server not text")
            << withKey("settings", R"({"protocol": "TLS", "servers": [1]})");
        QTest::newRow("domains null")
            << withKey("settings", R"({"protocol": "HTTPS", "servers": [], "matchDomains": null})");
        QTest::newRow("rule not object") << withKey("onDemandRules", "[1]");
        QTest::newRow("unknown action")
            << withKey("onDemandRules", R"([{"action": "x", "interfaceTypeMatch": 0}])");
        QTest::newRow("interface out of range")
            << withKey("onDemandRules", R"([{"action": "ignore", "interfaceTypeMatch": 1e19}])");
        QTest::newRow("interface negative huge")
            << withKey("onDemandRules", R"([{"action": "ignore", "interfaceTypeMatch": -9.3e18}])");
    }

    void rejectsAnythingButAValidFile() {
        QFETCH(QByteArray, data);
        QString error;
        const auto parsed = DNSConfigurationStore::parse(data, &error);
        QCOMPARE(bool(parsed), QByteArray(QTest::currentDataTag()) == "valid control");
        QCOMPARE(error.isEmpty(), bool(parsed));
    }

    void identifiersNeverLeaveTheFolder_data() {
        QTest::addColumn<QString>("identifier");
        QTest::newRow("slashes") << u"../../etc/passwd"_s;
        QTest::newRow("dot dot") << u".."_s;
        QTest::newRow("percent") << u"a%2Fb"_s;
        QTest::newRow("non-latin") << u"приложение"_s;
    }

    void identifiersNeverLeaveTheFolder() {
        QFETCH(QString, identifier);
        const DNSConfigurationStore store;
        const QString path = store.filePath(identifier);
        QCOMPARE(QFileInfo(path).absolutePath(), store.directory());
        QVERIFY(path != store.filePath(identifier.toUpper()) || identifier == identifier.toUpper());

        auto settings = std::make_shared<NEDNSSettings>(QStringList{u"1.1.1.1"_s});
        QVERIFY(store.write({identifier, u"X"_s, false, settings, {}}, nullptr));
        const auto read = store.read(identifier);
        QCOMPARE(read.status, DNSConfigurationStore::ReadResult::ok);
        QCOMPARE(read.configuration->identifier, identifier);
        QVERIFY(store.remove(identifier, nullptr));
        QCOMPARE(store.read(identifier).status, DNSConfigurationStore::ReadResult::absent);
    }

    void readAllMovesDamagedFilesAsideAndKeepsTheRest() {
        const DNSConfigurationStore store;
        auto settings = std::make_shared<NEDNSSettings>(QStringList{u"1.1.1.1"_s});
        QVERIFY(store.write({u"org.good"_s, u"Good"_s, false, settings, {}}, nullptr));
        QFile bad(store.directory() + u"/org.bad.json"_s);
        QVERIFY(bad.open(QIODevice::WriteOnly));
        bad.write("{\"format\": 1");
        bad.close();

        const auto all = store.readAll(nullptr);
        QVERIFY(all);
        QCOMPARE(all->size(), 2);
        QCOMPARE(all->at(0).status, DNSConfigurationStore::ReadResult::damaged);
        QVERIFY(QFile::exists(all->at(0).movedTo));
        QVERIFY(!QFile::exists(bad.fileName()));
        QCOMPARE(all->at(1).configuration->identifier, u"org.good"_s);
        QCOMPARE(store.readAll(nullptr)->size(), 1);
    }

    void platformFolderFollowsTheEnvironment() {
        const QByteArray saved = qgetenv("XDG_STATE_HOME");
        qputenv("XDG_STATE_HOME", "/somewhere/state");
        QCOMPARE(platformStateDirectory(), u"/somewhere/state/device-platform"_s);
        qputenv("XDG_STATE_HOME", "relative/state"); // invalid by XDG: ignored
        QCOMPARE(platformStateDirectory(), QDir::homePath() + u"/.local/state/device-platform"_s);
        qunsetenv("XDG_STATE_HOME");
        QCOMPARE(platformStateDirectory(), QDir::homePath() + u"/.local/state/device-platform"_s);
        qputenv("XDG_STATE_HOME", saved);
    }

    void storeReachabilityPersists() {
        QVERIFY(StoreReachability::isReachable());
        QVERIFY(StoreReachability::setReachable(false));
        QVERIFY(!StoreReachability::isReachable());
        QVERIFY(StoreReachability::offlineFlagPath().startsWith(platformStateDirectory()));
        QVERIFY(StoreReachability::setReachable(false));
        QVERIFY(StoreReachability::setReachable(true));
        QVERIFY(StoreReachability::isReachable());
        QVERIFY(StoreReachability::setReachable(true));
    }
};

QTEST_GUILESS_MAIN(DNSConfigurationStoreTest)
#include "tst_dns_configuration_store.moc"
