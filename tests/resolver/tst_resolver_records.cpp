#include "resolver/DNSSettingsBuilder.h"
#include "resolver/Resolver.h"

#include <QTest>

using namespace Qt::StringLiterals;

class TestResolverRecords : public QObject {
    Q_OBJECT

private Q_SLOTS:
    // HTTPS always sets match domains, also empty (unset would route every look-up); TLS never.
    void dnsSettings() {
        QCOMPARE(makeDNSSettings(Configuration::dnsOverHTTPS({}))->matchDomains(), QStringList());
        QCOMPARE(makeDNSSettings(Configuration::dnsOverTLS({}))->matchDomains(), std::nullopt);
    }

    // An action outside 1..4 has no platform class: skipped, never turned into another; SSIDs
    // only where the interface type takes them.
    void onDemandRules() {
        const auto made =
            makeOnDemandRules({{.action = 7},
                               {.action = 1, .ssidMatch = {u"home"_s}},
                               {.action = 0},
                               {.action = 4, .interfaceType = -5, .ssidMatch = {u"home"_s}}});
        QCOMPARE(made.size(), 2);
        QCOMPARE(made[0]->action(), NEOnDemandRuleAction::connect);
        QCOMPARE(made[0]->SSIDMatch(), std::optional(QStringList{u"home"_s}));
        QCOMPARE(made[1]->action(), NEOnDemandRuleAction::ignore);
        QCOMPARE(made[1]->SSIDMatch(), std::nullopt);
    }

    // The blocked names, as typed and in order, are the match domains of a dead-end server.
    void blockingResolver() {
        const QStringList domains{u"z.test"_s, u"a.test"_s, u"z.test"_s, u"Mixed.Test"_s};
        const Resolver made = makeBlockingResolver(domains);
        const DoHConfiguration *doh = made.configuration.dohConfiguration();
        QVERIFY(doh && made.onDemandRules.isEmpty());
        QCOMPARE(makeDNSSettings(made.configuration)->matchDomains(), domains);
    }
};

QTEST_GUILESS_MAIN(TestResolverRecords)
#include "tst_resolver_records.moc"
