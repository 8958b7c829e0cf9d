#include "common/TestEnvironment.h"
#include "foundation/PlatformPaths.h"
#include "networkextension/DNSConfigurationStore.h"

#include <QDir>
#include <QFile>
#include <QTest>

using namespace Qt::StringLiterals;

namespace {

/** A valid file, with `from` replaced by `to`. */
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
    // Every field survives serialize and parse exactly: protocol, absent against empty lists,
    // order and repeats, 64-bit interface types, identifiers and names with odd characters.
    void roundTrip_data() {
        QTest::addColumn<DNSConfiguration>("original");
        auto https = std::make_shared<NEDNSOverHTTPSSettings>(QStringList{u"0.0.0.0"_s});
        https->setMatchDomains(QStringList{u"b.example"_s, u"a.example"_s, u"b.example"_s});
        https->setServerURL(QUrl(u"https://dns.example/dns-query?x=%2F"_s));
        auto rule = std::make_shared<NEOnDemandRuleDisconnect>();
        rule->setInterfaceTypeMatch(std::numeric_limits<qint64>::max());
        rule->setSSIDMatch(QStringList{});
        rule->setDNSServerAddressMatch(QStringList{u"::1"_s});
        rule->setProbeURL(QUrl(u"https://probe.example/ok"_s));
        QTest::newRow("https, repeated domains, rules")
            << DNSConfiguration{u"org.a/../b%"_s,
                                u"\u00c4 \"name\""_s,
                                true,
                                https,
                                {rule, std::make_shared<NEOnDemandRuleConnect>()}};
        auto empty = std::make_shared<NEDNSOverHTTPSSettings>(QStringList{});
        empty->setMatchDomains(QStringList{});
        QTest::newRow("https, empty lists, no URL")
            << DNSConfiguration{u"a"_s, {}, false, empty, {}};
        auto tls = std::make_shared<NEDNSOverTLSSettings>(QStringList{u"9.9.9.9"_s, u"::1"_s});
        tls->setServerName(u"dns.quad9.net"_s);
        QTest::newRow("tls with server name") << DNSConfiguration{u"a"_s, u"A"_s, false, tls, {}};
        QTest::newRow("cleartext, domains absent") << DNSConfiguration{
            u"a"_s, u"A"_s, false, std::make_shared<NEDNSSettings>(QStringList()), {}};
    }
    void roundTrip() {
        QFETCH(DNSConfiguration, original);
        QString error;
        const QByteArray written = DNSConfigurationStore::serialize(original);
        const auto parsed = DNSConfigurationStore::parse(written, &error);
        QVERIFY2(parsed, qPrintable(error));
        QVERIFY(DNSConfigurationStore::sameContent(*parsed, original));
        QCOMPARE(std::tuple(parsed->identifier, parsed->displayName, parsed->enabled),
                 std::tuple(original.identifier, original.displayName, original.enabled));
        QCOMPARE(DNSConfigurationStore::serialize(*parsed), written);
    }

    void rejectsAnythingButAValidFile_data() {
        QTest::addColumn<QByteArray>("data");
        QTest::newRow("valid control") << validFile();
        QTest::newRow("empty") << QByteArray();
        QTest::newRow("deep nesting") << QByteArray(100000, '[');
        QTest::newRow("format 2") << validFile("\"format\": 1", "\"format\": 2");
        QTest::newRow("empty identifier") << validFile("\"org.a\"", "\"\"");
        QTest::newRow("settings null")
            << validFile(R"({"protocol": "HTTPS", "servers": ["0.0.0.0"]})", "null");
        QTest::newRow("unknown protocol") << validFile("HTTPS", "QUIC");
        QTest::newRow("rule not object") << validFile("[]}", "[1]}");
        QTest::newRow("unknown action")
            << validFile("[]}", R"([{"action": "x", "interfaceTypeMatch": 0}]})");
        QTest::newRow("interface out of range")
            << validFile("[]}", R"([{"action": "ignore", "interfaceTypeMatch": 1e19}]})");
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
        QTest::newRow("percent") << u"a%2Fb"_s;
        QTest::newRow("non-latin") << u"приложение"_s;
    }

    void identifiersNeverLeaveTheFolder() {
        QFETCH(QString, identifier);
        const DNSConfigurationStore store;
        const QString path = store.filePath(identifier);
        QCOMPARE(QFileInfo(path).absolutePath(), store.directory());

        auto settings = std::make_shared<NEDNSSettings>(QStringList{u"1.1.1.1"_s});
        QVERIFY(store.write({identifier, u"X"_s, false, settings, {}}, nullptr));
        const auto read = store.read(identifier);
        QCOMPARE(read.status, DNSConfigurationStore::ReadResult::ok);
        QCOMPARE(read.configuration->identifier, identifier);
        QVERIFY(store.remove(identifier, nullptr));
        QCOMPARE(store.read(identifier).status, DNSConfigurationStore::ReadResult::absent);
    }

    void platformFolderFollowsTheEnvironment() {
        const QByteArray saved = qgetenv("XDG_STATE_HOME");
        qputenv("XDG_STATE_HOME", "/somewhere/state");
        QCOMPARE(platformStateDirectory(), u"/somewhere/state/device-platform"_s);
        qputenv("XDG_STATE_HOME", "relative/state"); // invalid by XDG: ignored
        QCOMPARE(platformStateDirectory(), QDir::homePath() + u"/.local/state/device-platform"_s);
        qputenv("XDG_STATE_HOME", saved);
    }
};

QTEST_GUILESS_MAIN(DNSConfigurationStoreTest)
#include "tst_dns_configuration_store.moc"
