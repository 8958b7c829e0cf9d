#include "resolver/DNSSettingsBuilder.h"
#include "resolver/Resolver.h"

#include <QTest>

using namespace Qt::StringLiterals;

class TestResolverRecords : public QObject {
    Q_OBJECT

private Q_SLOTS:
    // HTTPS always sets match domains (also empty), TLS never; absent optionals stay unset.
    void dnsSettings() {
        const auto empty = makeDNSSettings(Configuration::dnsOverHTTPS({}));
        QCOMPARE(empty->matchDomains(), QStringList());
        QCOMPARE(static_cast<NEDNSOverHTTPSSettings &>(*empty).serverURL(), std::nullopt);

        const auto dot = makeDNSSettings(
            Configuration::dnsOverTLS({.servers = {u"1.1.1.1"_s}, .serverName = u"dns.example"_s}));
        QCOMPARE(dot->matchDomains(), std::nullopt);
        QCOMPARE(static_cast<NEDNSOverTLSSettings &>(*dot).serverName(), u"dns.example"_s);
    }

    // Rules keep their action, interface type and matches (SSID only where the action takes
    // one); an action outside 1..4 has no platform class: skipped, never turned into another.
    void onDemandRules() {
        const OnDemandRule probing{.action = 1,
                                   .interfaceType = 0,
                                   .ssidMatch = {u"home"_s},
                                   .probeURL = QUrl(u"https://probe.example/"_s)};
        const auto made =
            makeOnDemandRules({{.action = 7},
                               probing,
                               {.action = 0},
                               {.action = 4, .interfaceType = -5, .ssidMatch = {u"home"_s}}});
        QCOMPARE(made.size(), 2);
        QCOMPARE(made[0]->action(), NEOnDemandRuleAction::connect);
        QCOMPARE(made[0]->probeURL(), probing.probeURL);
        QCOMPARE(made[0]->SSIDMatch(), std::optional(probing.ssidMatch));
        QCOMPARE(made[0]->DNSSearchDomainMatch(), QStringList());
        QCOMPARE(made[1]->action(), NEOnDemandRuleAction::ignore);
        QCOMPARE(made[1]->interfaceTypeMatch(), -5);
        QCOMPARE(made[1]->SSIDMatch(), std::nullopt);
    }

    void blockingResolver() {
        const QStringList domains{u"z.test"_s, u"a.test"_s, u"z.test"_s, u"Mixed.Test"_s};
        const Resolver made = makeBlockingResolver(domains);
        QVERIFY(made.id != makeBlockingResolver(domains).id);
        const DoHConfiguration *doh = made.configuration.dohConfiguration();
        QVERIFY(doh && made.onDemandRules.isEmpty());
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
