#include "common/TestEnvironment.h"
#include "resolver/DNSSettingsBuilder.h"
#include "resolver/Resolver.h"

#include <QTest>

#include <unordered_set>

using namespace Qt::StringLiterals;

namespace {

OnDemandRule rule(const QString &name, qint64 action = 4, qint64 interfaceType = 0) {
    OnDemandRule r;
    r.name = name;
    r.action = action;
    r.interfaceType = interfaceType;
    return r;
}

Resolver sampleResolver() {
    Resolver r;
    r.name = u"home"_s;
    r.configuration = Configuration::dnsOverHTTPS(
        {.domains = {u"a.test"_s, u"b.test"_s}, .servers = {u"1.1.1.1"_s}, .serverURL = {}});
    r.onDemandRules = {rule(u"first"_s, 1), rule(u"second"_s, 2)};
    return r;
}

} // namespace

class TestResolverRecords : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void initTestCase() { QVERIFY(m_env.isValid()); }

    void differentRecordsAreUnequal_data() {
        QTest::addColumn<int>("change");
        QTest::newRow("same id, other name") << 0;
        QTest::newRow("rules swapped") << 1;
        QTest::newRow("domains swapped") << 2;
        QTest::newRow("serverURL present") << 3;
        QTest::newRow("rule action changed") << 4;
        QTest::newRow("other case, same servers") << 5;
        QTest::newRow("empty probe URL, not absent") << 6;
    }
    void differentRecordsAreUnequal() {
        QFETCH(int, change);
        const Resolver original = sampleResolver();
        Resolver other = original;
        QCOMPARE(other, original);
        QCOMPARE(qHash(other), qHash(original));
        switch (change) {
        case 0:
            other.name = u"work"_s;
            break;
        case 1:
            std::swap(other.onDemandRules[0], other.onDemandRules[1]);
            break;
        case 2:
            other.configuration.dohConfiguration()->domains = {u"b.test"_s, u"a.test"_s};
            break;
        case 3:
            other.configuration.dohConfiguration()->serverURL = QUrl(u"https://x.example/"_s);
            break;
        case 4:
            other.onDemandRules[1].action = 7;
            break;
        case 5:
            other.configuration = Configuration::dnsOverTLS({.servers = {u"1.1.1.1"_s}});
            break;
        case 6: // present-but-empty is not absent
            other.onDemandRules[0].probeURL = QUrl();
            break;
        }
        QCOMPARE(other.id, original.id);
        QVERIFY(other != original);
        QVERIFY(qHash(other) != qHash(original));
    }

    void configurationCasesHashApart() {
        const Configuration tls = Configuration::dnsOverTLS({});
        const Configuration https = Configuration::dnsOverHTTPS({});
        QVERIFY(tls != https);
        for (size_t seed : {size_t(0), size_t(1), size_t(0x9e3779b9)})
            QVERIFY(qHash(tls, seed) != qHash(https, seed));
        QCOMPARE(std::unordered_set<Configuration>({tls, https, tls}).size(), size_t(2));

        QCOMPARE(tls.description(), u"DNS-over-TLS"_s);
        QCOMPARE(https.description(), u"DNS-over-HTTPS"_s);
        QCOMPARE(Configuration::baseFromText(u"dnsOverHTTPS"_s), Configuration::Base::dnsOverHTTPS);
        QCOMPARE(Configuration::baseFromText(u"dnsoverhttps"_s), std::nullopt);
    }

    void constructionDefaults() {
        const OnDemandRule a, b;
        QCOMPARE(a.action, 4);
        QCOMPARE(a.interfaceType, 0);
        QCOMPARE(a.id.version(), QUuid::Random);
        QVERIFY(a.id != b.id);
        const Resolver r1, r2;
        QCOMPARE(r1.id.version(), QUuid::Random);
        QVERIFY(r1 != r2);
    }

    void vocabulary_data() {
        QTest::addColumn<bool>("isAction");
        QTest::addColumn<qint64>("value");
        QTest::addColumn<QString>("text");
        QTest::newRow("action 1") << true << qint64(1) << u"Apply settings"_s;
        QTest::newRow("action 2") << true << qint64(2) << u"Do not apply settings"_s;
        QTest::newRow("action 3") << true << qint64(3) << u"Apply with excluded domains"_s;
        QTest::newRow("action 4") << true << qint64(4) << u"As is"_s;
        QTest::newRow("action 7") << true << qint64(7) << u"Unknown"_s;
        QTest::newRow("action min") << true << std::numeric_limits<qint64>::min() << u"Unknown"_s;
        QTest::newRow("type 0") << false << qint64(0) << u"Any"_s;
        QTest::newRow("type 1") << false << qint64(1) << u"Unknown"_s;
        QTest::newRow("type 2") << false << qint64(2) << u"Wi-Fi"_s;
        QTest::newRow("type 3") << false << qint64(3) << u"Cellular"_s;
    }
    void vocabulary() {
        QFETCH(bool, isAction);
        QFETCH(qint64, value);
        QFETCH(QString, text);
        QCOMPARE(isAction ? OnDemandAction::description(value)
                          : OnDemandInterfaceType::description(value),
                 text);
    }

    void allCasesOrder() {
        QCOMPARE(QList<qint64>(OnDemandAction::allCases.begin(), OnDemandAction::allCases.end()),
                 QList<qint64>({1, 2, 3, 4}));
        QCOMPARE(QList<qint64>(OnDemandInterfaceType::allCases.begin(),
                               OnDemandInterfaceType::allCases.end()),
                 QList<qint64>({0, 2, 3}));
    }

    void dohSettingsKeepEmptyApartFromAbsent() {
        const auto settings = makeDNSSettings(Configuration::dnsOverHTTPS({}));
        QCOMPARE(settings->dnsProtocol(), NEDNSProtocol::HTTPS);
        QCOMPARE(settings->matchDomains(), QStringList());
        const auto *https = dynamic_cast<const NEDNSOverHTTPSSettings *>(settings.get());
        QVERIFY(https);
        QCOMPARE(https->serverURL(), std::nullopt);

        const QUrl url(u"https://dns.example/q"_s);
        const auto direct = makeDNSSettings(DoHConfiguration{
            .domains = {u"b"_s, u"a"_s, u"b"_s}, .servers = {u"9.9.9.9"_s}, .serverURL = url});
        QCOMPARE(direct->matchDomains(), QStringList({u"b"_s, u"a"_s, u"b"_s}));
        QCOMPARE(direct->servers(), QStringList({u"9.9.9.9"_s}));
        QCOMPARE(direct->serverURL(), url);
    }

    void dotSettingsCarryNoDomains() {
        const auto bare = makeDNSSettings(Configuration::dnsOverTLS({.servers = {u"1.1.1.1"_s}}));
        QCOMPARE(bare->dnsProtocol(), NEDNSProtocol::TLS);
        QCOMPARE(bare->servers(), QStringList({u"1.1.1.1"_s}));
        QCOMPARE(bare->matchDomains(), std::nullopt);
        QCOMPARE(static_cast<NEDNSOverTLSSettings &>(*bare).serverName(), std::nullopt);

        const auto named = makeDNSSettings(
            Configuration::dnsOverTLS({.servers = {}, .serverName = u"dns.example"_s}));
        QCOMPARE(static_cast<NEDNSOverTLSSettings &>(*named).serverName(), u"dns.example"_s);
    }

    void ruleSettings_data() {
        QTest::addColumn<qint64>("action");
        QTest::addColumn<qint64>("interfaceType");
        QTest::addColumn<QStringList>("ssids");
        QTest::addColumn<bool>("ssidSet");
        const QStringList home{u"home"_s};
        QTest::newRow("connect, any, empty ssids")
            << qint64(1) << qint64(0) << QStringList() << true;
        QTest::newRow("disconnect, wifi") << qint64(2) << qint64(2) << home << true;
        QTest::newRow("evaluate, cellular") << qint64(3) << qint64(3) << home << false;
        QTest::newRow("ignore, wired kept") << qint64(4) << qint64(1) << home << false;
        QTest::newRow("ignore, unknown type") << qint64(4) << qint64(-5) << home << false;
    }
    void ruleSettings() {
        QFETCH(qint64, action);
        QFETCH(qint64, interfaceType);
        QFETCH(QStringList, ssids);
        QFETCH(bool, ssidSet);
        OnDemandRule r = rule(u"r"_s, action, interfaceType);
        r.ssidMatch = ssids;
        r.dnsServerAddressMatch = {u"10.0.0.1"_s};
        const auto made = makeOnDemandRule(r);
        QVERIFY(made);
        QCOMPARE(qint64(made->action()), action);
        QCOMPARE(made->interfaceTypeMatch(), interfaceType);
        QCOMPARE(made->SSIDMatch(), ssidSet ? std::optional(ssids) : std::nullopt);
        QCOMPARE(made->DNSSearchDomainMatch(), QStringList());
        QCOMPARE(made->DNSServerAddressMatch(), QStringList({u"10.0.0.1"_s}));
        QCOMPARE(made->probeURL(), std::nullopt);
    }

    void rulesWithoutPlatformClassAreSkipped() {
        OnDemandRule probing = rule(u"probe"_s, 1);
        probing.probeURL = QUrl(u"https://probe.example/"_s);
        for (qint64 action : {qint64(0), qint64(5), qint64(7), qint64(-1)})
            QVERIFY(makeOnDemandRule(rule(u"x"_s, action)) == nullptr);

        const auto made = makeOnDemandRules(
            {rule(u"bad"_s, 7), probing, rule(u"bad"_s, 0), rule(u"ignore"_s, 4)});
        QCOMPARE(made.size(), 2);
        QCOMPARE(made[0]->action(), NEOnDemandRuleAction::connect);
        QCOMPARE(made[0]->probeURL(), probing.probeURL);
        QCOMPARE(made[1]->action(), NEOnDemandRuleAction::ignore);
        QVERIFY(makeOnDemandRules({}).isEmpty());
    }

    void blockingResolver() {
        const QStringList domains{u"z.test"_s, u"a.test"_s, u"z.test"_s, u"Mixed.Test"_s};
        const Resolver first = makeBlockingResolver(domains);
        const Resolver second = makeBlockingResolver(domains);
        QVERIFY(first.id != second.id);
        QCOMPARE(first.id.version(), QUuid::Random);
        QCOMPARE(first.name, QString());
        QVERIFY(first.onDemandRules.isEmpty());
        const DoHConfiguration *doh = first.configuration.dohConfiguration();
        QVERIFY(doh);
        QCOMPARE(doh->domains, domains);
        QCOMPARE(doh->servers, QStringList({u"0.0.0.0"_s}));
        const QUrl url = doh->serverURL.value();
        QVERIFY(url.isValid());
        QCOMPARE(url.scheme(), u"https"_s);
        QCOMPARE(url.path(), u"/dns-query"_s);
        QCOMPARE(url.port(), -1);
        QVERIFY(!url.hasQuery() && !url.hasFragment() && url.userInfo().isEmpty());
        QVERIFY(url.host().endsWith(u".example"_s));

        const auto settings = makeDNSSettings(first.configuration);
        QCOMPARE(settings->matchDomains(), domains);
        QVERIFY(makeOnDemandRules(first.onDemandRules).isEmpty());
    }

private:
    TestEnvironment m_env;
};

QTEST_GUILESS_MAIN(TestResolverRecords)
#include "tst_resolver_records.moc"
