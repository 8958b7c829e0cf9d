#include "common/TestFiles.h"
#include "resolver/ResolverJSON.h"

#include <QDir>
#include <QJsonArray>
#include <QJsonObject>
#include <QRegularExpression>
#include <QTest>

using namespace Qt::StringLiterals;

namespace {

const QString kId = u"E621E1F8-C36C-495A-93FC-0C247A3E6E5F"_s;

QString doh(const QString &extra = {}) {
    return uR"({"base":"dnsOverHTTPS","dohConfiguration":{"domains":["a.test"],"servers":["0.0.0.0"])"_s +
           extra + u"}}"_s;
}

/** A one-resolver list; `members` follow "configuration" inside the resolver object. */
QString resolverList(const QString &configuration, const QString &members = {}) {
    return uR"([{"id":")"_s + kId + uR"(","name":"home","configuration":)"_s + configuration +
           members + u"}]"_s;
}

const QString kRule =
    uR"({"id":"5E7A2C1B-0D3F-4A6B-8C9D-0E1F2A3B4C5D","name":"office","action":1,"interfaceType":2,)"
    uR"("ssidMatch":["home"],"dnsSearchDomainMatch":[],"dnsServerAddressMatch":[],)"
    uR"("probeURL":"https://probe.example/check"})"_s;

/** A resolver with kRule, its member `key` set to the JSON text `value`, or left out if null. */
QString ruleList(const QString &key = {}, const QString &value = {}) {
    QString rule = kRule;
    if (!key.isEmpty())
        rule.replace(QRegularExpression(u",\"%1\":(\"[^\"]*\"|\\[[^\\]]*\\]|[^,}]*)"_s.arg(key)),
                     value.isNull() ? QString() : u",\"%1\":%2"_s.arg(key, value));
    return resolverList(doh(), u",\"onDemandRules\":["_s + rule + u"]"_s);
}

Resolver fullResolver(const QString &name) {
    const OnDemandRule rule{.name = u"r\u00e9gle \"1\""_s,
                            .action = 7,
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

class TestResolverJson : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void readingRules_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("ok");
        auto row = [](const char *name, const QString &text, bool ok) {
            QTest::newRow(name) << text << ok;
        };
        row("too deep", QString(5000, u'[') + QString(5000, u']'), false);
        // A member named twice counts only where the reader reads it.
        row("escaped duplicate", resolverList(doh(), u",\"n\\u0061me\":\"x\""_s), false);
        row("unknown member twice", resolverList(doh(), u",\"z\":1,\"z\":[]"_s), true);
        row("payload base does not name, twice",
            resolverList(doh(u"},\"dotConfiguration\":1,\"dotConfiguration\":{"_s)), true);
        row("lone surrogate escape", resolverList(doh()).replace(u"home"_s, u"\\ud800"_s), false);
        row("id with braces", resolverList(doh()).replace(kId, u'{' + kId + u'}'), false);
        row("https carrying tls payload",
            resolverList(uR"({"base":"dnsOverHTTPS","dotConfiguration":{"servers":[]}})"_s), false);
        // URLs: anything that parses reads, relative references included.
        row("https serverURL relative", resolverList(doh(u",\"serverURL\":\"dns-query\""_s)), true);
        row("https serverURL empty", resolverList(doh(u",\"serverURL\":\"\""_s)), false);
        row("action fraction", ruleList(u"action"_s, u"1.5"_s), false);
        row("action whole in exponent form", ruleList(u"action"_s, u"1e2"_s), true);
        row("action past max", ruleList(u"action"_s, u"9223372036854775808"_s), false);
    }
    void readingRules() {
        QFETCH(QString, text);
        QFETCH(bool, ok);
        const auto list = resolverListFromRawValue(text);
        QCOMPARE(list.has_value(), ok);
        if (list) // whatever reads must be written so that it reads back the same
            QCOMPARE(resolverListFromRawValue(rawValue(*list)), list);
    }

    // Values the reader keeps exactly: an unlisted action with all 64 bits, ids in either case,
    // and only the payload that "base" names.
    void keptValues() {
        const auto rules = resolverListFromRawValue(ruleList(u"action"_s, u"9007199254740993"_s));
        QCOMPARE(rules.value().at(0).onDemandRules.at(0).action, Q_INT64_C(9007199254740993));
        const auto lower =
            resolverListFromRawValue(resolverList(doh()).replace(kId, kId.toLower()));
        QCOMPARE(lower.value().at(0).id, QUuid::fromString(kId));
        const auto both = resolverListFromRawValue(
            resolverList(doh().chopped(1) + u",\"dotConfiguration\":{\"servers\":[]}}"_s));
        QCOMPARE(both.value().at(0).configuration.dohConfiguration()->domains,
                 QStringList({u"a.test"_s}));
    }

    // Empty arrays are written, not left out; only absent optionals are.
    void writtenForm() {
        const auto read =
            resolverListFromRawValue(resolverList(doh(), u",\"onDemandRules\":null"_s));
        QVERIFY(read);
        const QJsonObject written = toJson(read->at(0));
        QCOMPARE(written.value(u"onDemandRules"_s), QJsonValue(QJsonArray()));
        QCOMPARE(written[u"configuration"_s][u"dohConfiguration"_s].toObject().keys(),
                 QStringList({u"domains"_s, u"servers"_s}));
        QCOMPARE(toJson(DoHConfiguration{}).value(u"domains"_s), QJsonValue(QJsonArray()));
        QVERIFY(!toJson(OnDemandRule{}).contains(u"probeURL"_s));
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
        QCOMPARE(rawValue(*resolverListFromRawValue(text)), text);

        Resolver loneSurrogate = fullResolver(u"ok"_s);
        loneSurrogate.onDemandRules[0].name = QString(QChar(0xdc00));
        Resolver invalidURL = fullResolver(u"ok"_s);
        invalidURL.configuration.dohConfiguration()->serverURL = QUrl();
        QCOMPARE(rawValue({fullResolver(u"fine"_s), loneSurrogate}), u"[]"_s);
        QCOMPARE(rawValue({invalidURL}), u"[]"_s);
    }

    // Every seed of the resolver list fuzzer is a valid list that is written back the same.
    void seedCorpusReads() {
        const QDir corpus(QStringLiteral(QUELLNET_RESOLVER_CORPUS));
        const QStringList seeds = corpus.entryList(QDir::Files);
        QVERIFY(seeds.size() >= 8);
        for (const QString &seed : seeds) {
            const auto list =
                resolverListFromRawValue(QString::fromUtf8(fileBytes(corpus.filePath(seed))));
            QVERIFY2(list, qPrintable(seed));
            QCOMPARE(resolverListFromRawValue(rawValue(*list)), list);
        }
    }
};

QTEST_GUILESS_MAIN(TestResolverJson)
#include "tst_resolver_json.moc"
