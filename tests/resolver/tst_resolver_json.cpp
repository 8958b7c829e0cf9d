#include "common/TestEnvironment.h"
#include "resolver/ResolverJSON.h"

#include <QJsonDocument>
#include <QTest>

using namespace Qt::StringLiterals;

namespace {

const QString kId = u"E621E1F8-C36C-495A-93FC-0C247A3E6E5F"_s;

QString doh(const QString &extra = {}) {
    return uR"({"base":"dnsOverHTTPS","dohConfiguration":{"domains":["a.test"],"servers":["0.0.0.0"])"_s +
           extra + u"}}"_s;
}

QString dot(const QString &extra = {}) {
    return uR"({"base":"dnsOverTLS","dotConfiguration":{"servers":["1.1.1.1"])"_s + extra + u"}}"_s;
}

/** A one-resolver list; `members` follow "configuration" inside the resolver object. */
QString resolverList(const QString &configuration, const QString &members = {},
                     const QString &id = u"\"%1\""_s.arg(kId)) {
    return uR"([{"id":)"_s + id + uR"(,"name":"home","configuration":)"_s + configuration +
           members + u"}]"_s;
}

/** A resolver with one rule whose member `key` has the JSON text `value`, or is left out when
 * `value` is null. */
QString ruleList(const QString &key = {}, const QString &value = {}) {
    const QList<std::pair<QString, QString>> defaults{
        {u"id"_s, u"\"5E7A2C1B-0D3F-4A6B-8C9D-0E1F2A3B4C5D\""_s},
        {u"name"_s, u"\"office\""_s},
        {u"action"_s, u"1"_s},
        {u"interfaceType"_s, u"2"_s},
        {u"ssidMatch"_s, u"[\"home\"]"_s},
        {u"dnsSearchDomainMatch"_s, u"[]"_s},
        {u"dnsServerAddressMatch"_s, u"[]"_s},
        {u"probeURL"_s, u"\"https://probe.example/check\""_s},
    };
    QStringList members;
    for (const auto &[name, text] : defaults) {
        const QString chosen = name == key ? value : text;
        if (!chosen.isNull())
            members.append(u"\"%1\":%2"_s.arg(name, chosen));
    }
    return resolverList(doh(), u",\"onDemandRules\":[{"_s + members.join(u',') + u"}]"_s);
}

Resolver fullResolver(const QString &name) {
    Resolver resolver;
    resolver.name = name;
    resolver.configuration = Configuration::dnsOverHTTPS(
        {.domains = {u"b.test"_s, u"a.test"_s, u"b.test"_s},
         .servers = {u"0.0.0.0"_s, u"::1"_s},
         .serverURL = QUrl(u"https://dns.example/dns-query?x=1%202"_s)});
    OnDemandRule rule;
    rule.name = u"r\u00e9gle \"1\""_s;
    rule.action = 7;
    rule.interfaceType = 1;
    rule.ssidMatch = {u"caf\u00e9"_s, QString()};
    rule.dnsSearchDomainMatch = {u"corp.test"_s};
    rule.dnsServerAddressMatch = {u"10.0.0.53"_s};
    rule.probeURL = QUrl(u"https://probe.example/\u00fc"_s);
    resolver.onDemandRules = {rule, OnDemandRule{}};
    return resolver;
}

} // namespace

class TestResolverJson : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void initTestCase() { QVERIFY(m_env.isValid()); }

    void readingRules_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("ok");
        auto row = [](const char *name, const QString &text, bool ok) {
            QTest::newRow(name) << text << ok;
        };
        // Whole text.
        row("empty text", QString(), false);
        row("object at top", u"{}"_s, false);
        row("empty array", u" [ ] "_s, true);
        row("null at top", u"null"_s, false);
        row("garbage after array", u"[] x"_s, false);
        row("null element", u"[null]"_s, false);
        row("nested array", u"[[]]"_s, false);
        row("too deep", QString(5000, u'[') + QString(5000, u']'), false);
        row("lone surrogate in text",
            resolverList(doh()).replace(u"home"_s, u"ho"_s + QChar(0xd800) + u"me"_s), false);
        row("duplicate member", resolverList(doh(), u",\"name\":\"other\""_s), false);
        row("escaped duplicate", resolverList(doh(), u",\"n\\u0061me\":\"x\""_s), false);
        row("duplicate in unknown member", resolverList(doh(), u",\"x\":{\"a\":1,\"a\":1}"_s),
            false);
        row("colons and quotes in texts", resolverList(doh(), u",\"x:\\\"\":\"a:\\\\\""_s), true);
        row("unknown members ignored", resolverList(doh(u",\"extra\":[1]"_s), u",\"z\":null"_s),
            true);
        row("lone surrogate escape", resolverList(doh()).replace(u"home"_s, u"\\ud800"_s), false);
        row("surrogate pair escape", resolverList(doh()).replace(u"home"_s, u"\\ud83d\\ude00"_s),
            true);
        // Resolver members.
        row("lower-case id", resolverList(doh(), {}, u"\"%1\""_s.arg(kId.toLower())), true);
        row("id with braces", resolverList(doh(), {}, u"\"{%1}\""_s.arg(kId)), false);
        row("id without hyphens",
            resolverList(doh(), {}, u"\"%1\""_s.arg(QString(kId).remove(u'-'))), false);
        row("id hyphen moved",
            resolverList(doh(), {}, u"\"E621E1F-8C36C-495A-93FC-0C247A3E6E5F\""_s), false);
        row("id not hex", resolverList(doh(), {}, u"\"G621E1F8-C36C-495A-93FC-0C247A3E6E5F\""_s),
            false);
        row("id number", resolverList(doh(), {}, u"1"_s), false);
        row("name missing", resolverList(doh()).replace(u"\"name\":\"home\","_s, QString()), false);
        row("configuration array", resolverList(u"[]"_s), false);
        row("rules missing", resolverList(doh()), true);
        row("rules null", resolverList(doh(), u",\"onDemandRules\":null"_s), true);
        row("rules object", resolverList(doh(), u",\"onDemandRules\":{}"_s), false);
        row("rules with null", resolverList(doh(), u",\"onDemandRules\":[null]"_s), false);
        // Configuration.
        row("tls", resolverList(dot()), true);
        row("https carrying tls payload",
            resolverList(uR"({"base":"dnsOverHTTPS","dotConfiguration":{"servers":[]}})"_s), false);
        row("tls with junk https payload",
            resolverList(dot().chopped(1) + u",\"dohConfiguration\":5}"_s), true);
        row("base in other case", resolverList(doh().replace(u"dnsOverHTTPS"_s, u"DNSOverHTTPS"_s)),
            false);
        row("base number", resolverList(uR"({"base":1,"dotConfiguration":{"servers":[]}})"_s),
            false);
        row("tls servers not texts", resolverList(dot().replace(u"\"1.1.1.1\""_s, u"1"_s)), false);
        row("tls serverName null", resolverList(dot(u",\"serverName\":null"_s)), true);
        row("tls serverName number", resolverList(dot(u",\"serverName\":5"_s)), false);
        row("https domains missing",
            resolverList(doh().replace(u"\"domains\":[\"a.test\"],"_s, QString())), false);
        row("https serverURL null", resolverList(doh(u",\"serverURL\":null"_s)), true);
        row("https serverURL",
            resolverList(doh(u",\"serverURL\":\"https://ok.example/dns-query\""_s)), true);
        row("https serverURL empty", resolverList(doh(u",\"serverURL\":\"\""_s)), false);
        row("https serverURL relative", resolverList(doh(u",\"serverURL\":\"dns-query\""_s)),
            false);
        row("https serverURL unparsable", resolverList(doh(u",\"serverURL\":\"https://a b\""_s)),
            false);
        row("https serverURL number", resolverList(doh(u",\"serverURL\":3"_s)), false);
        // On-demand rule members.
        row("full rule", ruleList(), true);
        row("rule without probeURL", ruleList(u"probeURL"_s, QString()), true);
        row("rule without ssidMatch", ruleList(u"ssidMatch"_s, QString()), false);
        row("rule ssidMatch null", ruleList(u"ssidMatch"_s, u"null"_s), false);
        row("action 7", ruleList(u"action"_s, u"7"_s), true);
        row("action fraction", ruleList(u"action"_s, u"1.5"_s), false);
        row("action whole in exponent form", ruleList(u"action"_s, u"1e2"_s), true);
        row("action as text", ruleList(u"action"_s, u"\"1\""_s), false);
        row("action max", ruleList(u"action"_s, u"9223372036854775807"_s), true);
        row("action min", ruleList(u"action"_s, u"-9223372036854775808"_s), true);
        row("action past max", ruleList(u"action"_s, u"9223372036854775808"_s), false);
        row("action overflowing double", ruleList(u"action"_s, u"1e400"_s), false);
        row("interfaceType null", ruleList(u"interfaceType"_s, u"null"_s), false);
        row("probeURL unparsable", ruleList(u"probeURL"_s, u"\"http://[::1\""_s), false);
        row("rule id lower case", ruleList(u"id"_s, u"\"5e7a2c1b-0d3f-4a6b-8c9d-0e1f2a3b4c5d\""_s),
            true);
    }
    void readingRules() {
        QFETCH(QString, text);
        QFETCH(bool, ok);
        const auto list = resolverListFromRawValue(text);
        QCOMPARE(list.has_value(), ok);
        if (list) // whatever reads must be written so that it reads back the same
            QCOMPARE(resolverListFromRawValue(rawValue(*list)), list);
    }

    void keptValues() {
        const auto rules = resolverListFromRawValue(
            ruleList(u"action"_s, u"7"_s)
                .replace(u"\"interfaceType\":2"_s, u"\"interfaceType\":1"_s));
        QVERIFY(rules && rules->size() == 1 && rules->at(0).onDemandRules.size() == 1);
        const OnDemandRule &rule = rules->at(0).onDemandRules.at(0);
        QCOMPARE(rule.action, 7);
        QCOMPARE(rule.interfaceType, 1);
        QCOMPARE(rule.ssidMatch, QStringList({u"home"_s}));
        QCOMPARE(rule.probeURL, QUrl(u"https://probe.example/check"_s));

        const auto big = resolverListFromRawValue(ruleList(u"action"_s, u"9007199254740993"_s));
        QVERIFY(big);
        QCOMPARE(big->at(0).onDemandRules.at(0).action, Q_INT64_C(9007199254740993));

        const auto lower =
            resolverListFromRawValue(resolverList(doh(), {}, u"\"%1\""_s.arg(kId.toLower())));
        QVERIFY(lower);
        QCOMPARE(lower->at(0).id, QUuid::fromString(kId));

        const auto both = resolverListFromRawValue(
            resolverList(doh().chopped(1) + u",\"dotConfiguration\":{\"servers\":[]}}"_s));
        QVERIFY(both);
        QCOMPARE(both->at(0).configuration.base(), Configuration::Base::dnsOverHTTPS);
        QCOMPARE(both->at(0).configuration.dohConfiguration()->domains, QStringList({u"a.test"_s}));
    }

    void writtenForm() {
        QCOMPARE(rawValue({}), u"[]"_s);
        QCOMPARE(resolverListFromRawValue(u"[]"_s), QList<Resolver>());

        const auto read =
            resolverListFromRawValue(resolverList(doh(), u",\"onDemandRules\":null"_s));
        QVERIFY(read);
        QVERIFY(read->at(0).onDemandRules.isEmpty());
        QCOMPARE(read->at(0).configuration.dohConfiguration()->serverURL, std::nullopt);
        const QJsonObject written = toJson(read->at(0));
        QCOMPARE(written.value(u"id"_s).toString(), kId);
        QVERIFY(written.value(u"onDemandRules"_s).isArray());
        QVERIFY(written.value(u"onDemandRules"_s).toArray().isEmpty());
        const QJsonObject configuration = written.value(u"configuration"_s).toObject();
        QCOMPARE(configuration.keys(), QStringList({u"base"_s, u"dohConfiguration"_s}));
        QCOMPARE(configuration.value(u"dohConfiguration"_s).toObject().keys(),
                 QStringList({u"domains"_s, u"servers"_s}));

        const QJsonObject emptyDoh = toJson(DoHConfiguration{});
        QVERIFY(emptyDoh.value(u"domains"_s).isArray());
        QCOMPARE(toJson(DoTConfiguration{}).keys(), QStringList({u"servers"_s}));
        QVERIFY(!toJson(OnDemandRule{}).contains(u"probeURL"_s));
    }

    void roundTrip() {
        Resolver tls = fullResolver(u"\u540d\u524d \U0001F600"_s);
        tls.configuration =
            Configuration::dnsOverTLS({.servers = {u"1.1.1.1"_s}, .serverName = QString()});
        const QList<Resolver> list{fullResolver(QString()), tls};
        const QString text = rawValue(list);
        QVERIFY(text != u"[]"_s);
        QVERIFY(!text.contains(u'\n'));
        QCOMPARE(resolverListFromRawValue(text), list);
        QCOMPARE(rawValue(*resolverListFromRawValue(text)), text);
    }

    void unwritableListsFallBack_data() {
        QTest::addColumn<int>("fault");
        QTest::newRow("lone surrogate in a name") << 0;
        QTest::newRow("relative probe URL") << 1;
        QTest::newRow("invalid server URL") << 2;
    }
    void unwritableListsFallBack() {
        QFETCH(int, fault);
        Resolver resolver = fullResolver(u"ok"_s);
        if (fault == 0)
            resolver.onDemandRules[0].name = QString(QChar(0xdc00));
        else if (fault == 1)
            resolver.onDemandRules[0].probeURL = QUrl(u"relative/path"_s);
        else
            resolver.configuration.dohConfiguration()->serverURL = QUrl();
        QCOMPARE(rawValue({fullResolver(u"fine"_s), resolver}), u"[]"_s);
    }

private:
    TestEnvironment m_env;
};

QTEST_GUILESS_MAIN(TestResolverJson)
#include "tst_resolver_json.moc"
