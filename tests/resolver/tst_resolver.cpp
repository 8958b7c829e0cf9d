#include "resolver/DNSSettingsBuilder.h"
#include "resolver/Resolver.h"
#include "resolver/ResolverJSON.h"

#include <QTest>

using namespace Qt::StringLiterals;

namespace {

QString doh(const QString &extra = {}) {
    return uR"({"base":"dnsOverHTTPS","dohConfiguration":{"domains":["a.test"],"servers":["0.0.0.0"])"_s +
           extra + u"}}"_s;
}

QString resolverList(const QString &configuration, const QString &members = {}) {
    return uR"([{"id":"E621E1F8-C36C-495A-93FC-0C247A3E6E5F","name":"home","configuration":)"_s +
           configuration + members + u"}]"_s;
}

/** A resolver with one rule whose action is the JSON text `action`. */
QString ruleList(const QString &action) {
    return resolverList(doh(),
                        uR"(,"onDemandRules":[{"id":"5E7A2C1B-0D3F-4A6B-8C9D-0E1F2A3B4C5D",)"
                        uR"("name":"r","action":%1,"interfaceType":2,"ssidMatch":[],)"
                        uR"("dnsSearchDomainMatch":[],"dnsServerAddressMatch":[]}])"_s.arg(action));
}

Resolver fullResolver(const QString &name) {
    const OnDemandRule rule{.name = u"r\u00e9gle \"1\""_s,
                            .action = Q_INT64_C(9007199254740993), // past a double
                            .interfaceType = 1,
                            .ssidMatch = {u"caf\u00e9"_s, QString()},
                            .dnsSearchDomainMatch = {u"corp.test"_s},
                            .dnsServerAddressMatch = {u"10.0.0.53"_s},
                            .probeURL = QUrl(u"https://probe.example/\u00fc"_s)};
    return {.name = name,
            .configuration = Configuration::dnsOverHTTPS(
                {.domains = {u"b.test"_s, u"a.test"_s, u"b.test"_s},
                 .servers = {u"0.0.0.0"_s, u"::1"_s},
                 .serverURL = QUrl(u"https://dns.example/dns-query?x=1%202"_s)}),
            .onDemandRules = {rule, OnDemandRule{}}};
}

} // namespace

class TestResolver : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void readingRules_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("ok");
        QTest::newRow("too deep") << QString(5000, u'[') + QString(5000, u']') << false;
        // A member named twice counts only where the reader reads it.
        QTest::newRow("dup") << resolverList(doh(), u",\"n\\u0061me\":\"x\""_s) << false;
        QTest::newRow("surrogate") << resolverList(doh()).replace(u"home"_s, u"\\ud800"_s) << false;
        QTest::newRow("relative URL")
            << resolverList(doh(u",\"serverURL\":\"dns-query\""_s)) << true;
        QTest::newRow("empty URL") << resolverList(doh(u",\"serverURL\":\"\""_s)) << false;
        QTest::newRow("action past max") << ruleList(u"9223372036854775808"_s) << false;
    }
    void readingRules() {
        QFETCH(QString, text);
        QFETCH(bool, ok);
        const auto list = resolverListFromRawValue(text);
        QCOMPARE(list.has_value(), ok);
        if (list) // whatever reads must be written so that it reads back the same
            QCOMPARE(resolverListFromRawValue(rawValue(*list)), list);
    }

    // Any text and every field survive writing and reading; a list that would not read back as
    // itself is written as "[]", never half-right.
    void roundTrip() {
        Resolver tls = fullResolver(u"\u540d\u524d \U0001F600"_s);
        tls.configuration =
            Configuration::dnsOverTLS({.servers = {u"1.1.1.1"_s}, .serverName = QString()});
        const QList<Resolver> list{fullResolver(QString()), tls};
        const QString text = rawValue(list);
        QVERIFY(text != u"[]"_s && !text.contains(u'\n'));
        QCOMPARE(resolverListFromRawValue(text), list);

        Resolver loneSurrogate = fullResolver(u"ok"_s);
        loneSurrogate.onDemandRules[0].name = QString(QChar(0xdc00));
        Resolver invalidURL = fullResolver(u"ok"_s);
        invalidURL.configuration.dohConfiguration()->serverURL = QUrl();
        QCOMPARE(rawValue({fullResolver(u"fine"_s), loneSurrogate}), u"[]"_s);
        QCOMPARE(rawValue({invalidURL}), u"[]"_s);
    }

    // The blocked names, as typed and in order, are the match domains of a dead-end server; none
    // is an empty list, as unset would route every look-up there. TLS never sets them.
    void blockingResolver() {
        for (const QStringList &domains :
             {QStringList{u"z.test"_s, u"a.test"_s, u"z.test"_s, u"Mixed.Test"_s}, QStringList()}) {
            const Resolver made = makeBlockingResolver(domains);
            QVERIFY(made.configuration.dohConfiguration() && made.onDemandRules.isEmpty());
            QCOMPARE(makeDNSSettings(made.configuration)->matchDomains(), domains);
        }
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
};

QTEST_GUILESS_MAIN(TestResolver)
#include "tst_resolver.moc"
