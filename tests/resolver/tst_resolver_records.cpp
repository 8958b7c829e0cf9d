#include "common/TestEnvironment.h"
#include "resolver/DNSSettingsBuilder.h"
#include "resolver/Resolver.h"

#include <QTest>

using namespace Qt::StringLiterals;

using Edit = std::function<void(Resolver &)>;

class TestResolverRecords : public QObject {
    Q_OBJECT

    TestEnvironment m_env;

private Q_SLOTS:
    void initTestCase() { QVERIFY(m_env.isValid()); }

    // Equality and hashing must see every field, in order, and the case apart from its payload.
    void everyFieldCounts_data() {
        QTest::addColumn<Edit>("edit");
        QTest::newRow("same id, other name") << Edit([](Resolver &r) { r.name = u"work"_s; });
        QTest::newRow("rules swapped")
            << Edit([](Resolver &r) { std::swap(r.onDemandRules[0], r.onDemandRules[1]); });
        QTest::newRow("domains swapped") << Edit([](Resolver &r) {
            r.configuration.dohConfiguration()->domains = {u"b.test"_s, u"a.test"_s};
        });
        QTest::newRow("other case, same servers") << Edit([](Resolver &r) {
            r.configuration = Configuration::dnsOverTLS({.servers = {u"1.1.1.1"_s}});
        });
    }
    void everyFieldCounts() {
        QFETCH(Edit, edit);
        Resolver original;
        original.name = u"home"_s;
        original.configuration = Configuration::dnsOverHTTPS(
            {.domains = {u"a.test"_s, u"b.test"_s}, .servers = {u"1.1.1.1"_s}, .serverURL = {}});
        original.onDemandRules = {{.action = 1}, {.action = 2}};
        Resolver other = original;
        QCOMPARE(other, original);
        QCOMPARE(qHash(other), qHash(original));
        edit(other);
        QVERIFY(other != original);
        QVERIFY(qHash(other) != qHash(original));
    }

    // HTTPS always sets match domains (also empty), TLS never; absent optionals stay unset.
    void dnsSettings() {
        const auto empty = makeDNSSettings(Configuration::dnsOverHTTPS({}));
        QCOMPARE(empty->dnsProtocol(), NEDNSProtocol::HTTPS);
        QCOMPARE(empty->matchDomains(), QStringList());
        QCOMPARE(static_cast<NEDNSOverHTTPSSettings &>(*empty).serverURL(), std::nullopt);

        const auto dot = makeDNSSettings(
            Configuration::dnsOverTLS({.servers = {u"1.1.1.1"_s}, .serverName = u"dns.example"_s}));
        QCOMPARE(dot->dnsProtocol(), NEDNSProtocol::TLS);
        QCOMPARE(dot->servers(), QStringList({u"1.1.1.1"_s}));
        QCOMPARE(dot->matchDomains(), std::nullopt);
        QCOMPARE(static_cast<NEDNSOverTLSSettings &>(*dot).serverName(), u"dns.example"_s);
    }

    void ruleSettings_data() {
        QTest::addColumn<qint64>("action");
        QTest::addColumn<qint64>("interfaceType");
        QTest::addColumn<bool>("ssidSet");
        QTest::newRow("connect, any") << qint64(1) << qint64(0) << true;
        QTest::newRow("ignore, unknown type") << qint64(4) << qint64(-5) << false;
    }
    void ruleSettings() {
        QFETCH(qint64, action);
        QFETCH(qint64, interfaceType);
        QFETCH(bool, ssidSet);
        const OnDemandRule r{
            .action = action, .interfaceType = interfaceType, .ssidMatch = {u"home"_s}};
        const auto made = makeOnDemandRule(r);
        QVERIFY(made);
        QCOMPARE(qint64(made->action()), action);
        QCOMPARE(made->interfaceTypeMatch(), interfaceType);
        QCOMPARE(made->SSIDMatch(), ssidSet ? std::optional(r.ssidMatch) : std::nullopt);
        QCOMPARE(made->DNSSearchDomainMatch(), QStringList());
    }

    // An action outside 1..4 has no platform class: skipped, never turned into another rule.
    void rulesOutsideTheVocabularyAreSkipped() {
        QVERIFY(!makeOnDemandRule({.action = 5}));
        const OnDemandRule probing{.action = 1, .probeURL = QUrl(u"https://probe.example/"_s)};
        const auto made = makeOnDemandRules({{.action = 7}, probing, {.action = 0}, {.action = 4}});
        QCOMPARE(made.size(), 2);
        QCOMPARE(made[0]->action(), NEOnDemandRuleAction::connect);
        QCOMPARE(made[0]->probeURL(), probing.probeURL);
        QCOMPARE(made[1]->action(), NEOnDemandRuleAction::ignore);
    }

    void blockingResolver() {
        const QStringList domains{u"z.test"_s, u"a.test"_s, u"z.test"_s, u"Mixed.Test"_s};
        const Resolver made = makeBlockingResolver(domains);
        QVERIFY(made.id != makeBlockingResolver(domains).id);
        QCOMPARE(made.name, QString());
        QVERIFY(made.onDemandRules.isEmpty());
        const DoHConfiguration *doh = made.configuration.dohConfiguration();
        QVERIFY(doh);
        QCOMPARE(doh->domains, domains);
        QCOMPARE(doh->servers, QStringList({u"0.0.0.0"_s}));
        const QUrl url = doh->serverURL.value();
        QVERIFY2(url.scheme() == u"https"_s && url.path() == u"/dns-query"_s &&
                     url.host().endsWith(u".example"_s) && !url.hasQuery(),
                 qPrintable(url.toString()));
        QCOMPARE(makeDNSSettings(made.configuration)->matchDomains(), domains);
    }
};

QTEST_GUILESS_MAIN(TestResolverRecords)
#include "tst_resolver_records.moc"
