#include "common/EnforcementTestSupport.h"
#include "common/TestEnvironment.h"
#include "networkextension/BlocklistExport.h"
#include "networkextension/EnforcedList.h"

#include <QTest>

using namespace Qt::StringLiterals;
using Outcome = EnforcedList::Outcome;
using BlocklistExport::Format;
using LeftOut = EnforcedList::LeftOut;

namespace {

DNSConfiguration configuration(const QString &identifier, const QStringList &servers,
                               const std::optional<QStringList> &domains) {
    auto settings = std::make_shared<NEDNSOverHTTPSSettings>(servers);
    settings->setMatchDomains(domains);
    return {identifier, identifier, true, settings, {}};
}

// Every kind of entry a saved list can hold that must not go out as it is.
const QStringList dangerous{
    u"Kept.Example"_s,     // upper case
    u"kept.example."_s,    // the same name again, with the root's dot
    u"kept.example"_s,     // and once more as typed
    u""_s,                 // empty: an empty RPZ owner or address=// blocks everything
    u"."_s,                // the root: every name
    u"*.wild.example"_s,   // a wildcard is not a name
    u"bücher.example"_s,   // IDN
    u"quellnet.rpz"_s,     // the zone's own origin
    u"bad name.example"_s, // not a DNS name
    u"-dash.example"_s,    // label starting with a hyphen
    u"a..b.example"_s,     // empty label
    u"x/y.example"_s,      // would end a dnsmasq domain early
};

const QList<LeftOut> dangerousLeftOut{
    {u""_s, u"empty"_s},
    {u"."_s, u"not a DNS name"_s},
    {u"*.wild.example"_s, u"not a DNS name"_s},
    {u"bad name.example"_s, u"not a DNS name"_s},
    {u"-dash.example"_s, u"not a DNS name"_s},
    {u"a..b.example"_s, u"not a DNS name"_s},
    {u"x/y.example"_s, u"not a DNS name"_s},
};

} // namespace

class EnforcedListTest : public QObject {
    Q_OBJECT

    TestEnvironment m_env;
    const QByteArray m_writer = qgetenv("DEVICE_PLATFORM_ENFORCE_WRITER");

private Q_SLOTS:
    void init() {
        qputenv("DEVICE_PLATFORM_ENFORCE_WRITER", m_writer);
        QFile::remove(m_env.enforcedListPath());
        QVERIFY(putFile(m_env.nsswitchPath(), TestEnvironment::installedNsswitch()));
    }

    // Names as the resolver sees them: punycode, lower case, one trailing dot dropped, sorted
    // by bytes, no repeats; empty names and names no resolver can ask for are left out and
    // never keep the good ones out.
    void conversion() {
        const QStringList bad =
            (u"|a b.example|a..example|"_s + QString(64, u'a') + u".example"_s).split(u'|');
        const auto converted = EnforcedList::convert(
            QStringList{u"b.example"_s, u"A.example"_s, u"a.example."_s, u"Bücher.Example"_s,
                        u"例え.テスト"_s, u"a.example"_s} +
            bad);
        QCOMPARE(converted.names,
                 (QStringList{u"a.example"_s, u"b.example"_s, u"xn--bcher-kva.example"_s,
                              u"xn--r8jz45g.xn--zckzah"_s}));
        QCOMPARE(converted.leftOut.size(), bad.size());
    }

    // Every way the writer (or pkexec in front of it) ends maps to one outcome; none of the
    // failures reads as done.
    void writerOutcomes() {
        for (const auto &[code, crashed, pkexec, status] :
             {std::tuple(0, false, true, Outcome::done),
              {1, false, false, Outcome::failed},
              {126, false, true, Outcome::cancelled},
              {127, false, true, Outcome::notPermitted},
              {127, false, false, Outcome::failed},
              {0, true, false, Outcome::failed}})
            QCOMPARE(
                EnforcedList::outcomeOfWriter(code, crashed, pkexec, u"quellnet-enforce: x\n"_s)
                    .status,
                status);
    }

    // Only a dead end is enforced; release() of another app leaves our list in force. (What the
    // list holds and clearing it: tst_device_settings.)
    void enforceAndRelease() {
        QVERIFY(!EnforcedList::isDeadEnd(NEDNSSettings({u"0.0.0.0"_s, u"9.9.9.9"_s})));
        const auto first = EnforcedList::enforce(
            configuration(u"org.a"_s, {u"::"_s}, QStringList{u"B.example"_s, u""_s}));
        QVERIFY(first.outcome.ok() && first.enforced);
        QVERIFY(EnforcedList::release(u"org.other"_s).ok());
        QCOMPARE(fileBytes(m_env.enforcedListPath()), enforcedListHeader("org.a") + "b.example\n");
    }

    // What cannot be enforced fails and leaves the list as it is. A test system root without a
    // test writer counts as not installed, so nothing ever reaches the real /etc. (Module not
    // on the hosts line: tst_dns_settings_manager.)
    void refusals_data() {
        QTest::addColumn<std::optional<QStringList>>("domains");
        QTest::addColumn<Outcome::Status>("status");
        const std::optional<QStringList> one = QStringList{u"a.example"_s}, every;
        QTest::newRow("another account's list") << one << Outcome::notPermitted;
        QTest::newRow("half a test setup") << one << Outcome::failed;
        QTest::newRow("no match domains: every name") << every << Outcome::invalid;
    }
    void refusals() {
        QFETCH(std::optional<QStringList>, domains);
        QVERIFY(writeListAs(4242, m_env.systemRoot(), u"com.x"_s, "x.example\n"));
        const QByteArray before = fileBytes(m_env.enforcedListPath());
        if (QTest::currentDataTag() == QByteArray("half a test setup"))
            qunsetenv("DEVICE_PLATFORM_ENFORCE_WRITER");
        const auto result =
            EnforcedList::enforce(configuration(u"org.a"_s, {u"0.0.0.0"_s}, domains));
        QTEST(result.outcome.status, "status");
        QVERIFY(!result.enforced);
        QCOMPARE(fileBytes(m_env.enforcedListPath()), before);
    }

    // Each format whole, from a list of every dangerous kind of entry: only the three real
    // names go out (ASCII, lower case, once, sorted), the rest are reported.
    void formats_data() {
        QTest::addColumn<Format>("format");
        QTest::addColumn<QByteArray>("expected");
        const QByteArray every = " Quellnet blocklist: 3 names, each blocking itself and every "
                                 "name under it.\n";
        QTest::newRow("rpz") << Format::rpz
                             << ";" + every +
                                    "$TTL 300\n"
                                    "$ORIGIN quellnet.rpz.\n"
                                    "@ SOA localhost. root.localhost. 1 3600 600 86400 300\n"
                                    "@ NS localhost.\n"
                                    "kept.example CNAME .\n*.kept.example CNAME .\n"
                                    "quellnet.rpz CNAME .\n*.quellnet.rpz CNAME .\n"
                                    "xn--bcher-kva.example CNAME .\n"
                                    "*.xn--bcher-kva.example CNAME .\n";
        QTest::newRow("unbound") << Format::unbound
                                 << "#" + every +
                                        "server:\n"
                                        "    local-zone: \"kept.example.\" always_nxdomain\n"
                                        "    local-zone: \"quellnet.rpz.\" always_nxdomain\n"
                                        "    local-zone: \"xn--bcher-kva.example.\" "
                                        "always_nxdomain\n";
        QTest::newRow("dnsmasq") << Format::dnsmasq
                                 << "#" + every +
                                        "address=/kept.example/\naddress=/quellnet.rpz/\n"
                                        "address=/xn--bcher-kva.example/\n";
        QTest::newRow("adblock") << Format::adblock
                                 << "!" + every +
                                        "||kept.example^\n||quellnet.rpz^\n"
                                        "||xn--bcher-kva.example^\n";
        QTest::newRow("hosts") << Format::hosts
                               << QByteArray("# Quellnet blocklist: 3 names.\n"
                                             "# Exact names only: a hosts file cannot block the "
                                             "names under these.\n"
                                             "0.0.0.0 kept.example\n0.0.0.0 quellnet.rpz\n"
                                             "0.0.0.0 xn--bcher-kva.example\n");
    }
    void formats() {
        QFETCH(Format, format);
        QFETCH(QByteArray, expected);
        const auto exported = BlocklistExport::render(format, dangerous);
        QCOMPARE(exported.bytes, expected);
        QCOMPARE(exported.names,
                 (QStringList{u"kept.example"_s, u"quellnet.rpz"_s, u"xn--bcher-kva.example"_s}));
        QCOMPARE(exported.leftOut, dangerousLeftOut);
    }

    // Nothing saved, or nothing that is a name: a file that blocks nothing, never one that
    // blocks everything.
    void nothingToBlock() {
        for (const QString &name : BlocklistExport::formatNames()) {
            const auto format = *BlocklistExport::formatNamed(name);
            for (const QStringList &list : {QStringList(), QStringList{u""_s, u"."_s, u"*"_s}}) {
                const auto exported = BlocklistExport::render(format, list);
                QVERIFY(exported.names.isEmpty());
                QCOMPARE(exported.leftOut.size(), list.size());
                for (const QByteArray &line : exported.bytes.split('\n'))
                    QVERIFY2(line.isEmpty() || line.startsWith('#') || line.startsWith('!') ||
                                 line.startsWith(';') || line.startsWith('$') ||
                                 line.startsWith("@ ") || line == "server:",
                             line.constData());
            }
        }
    }

    // The longest name a zone can hold a `*.` trigger for goes out; one letter more is left
    // out of the RPZ zone alone, since a resolver would refuse the whole zone over it.
    void rpzOwnerLength() {
        const QString stem =
            QString(63, u'a') + u'.' + QString(63, u'a') + u'.' + QString(63, u'a') + u'.';
        const QString longest = stem + QString(46, u'b'), tooLong = stem + QString(47, u'b');
        const QStringList both{longest, tooLong};
        const auto rpz = BlocklistExport::render(Format::rpz, both);
        QCOMPARE(rpz.names, QStringList{longest});
        QCOMPARE(rpz.leftOut, (QList<LeftOut>{{tooLong, u"too long for an RPZ zone"_s}}));
        QVERIFY(!rpz.bytes.contains(tooLong.toLatin1()));
        QCOMPARE(BlocklistExport::render(Format::dnsmasq, both).names.size(), 2);
    }
};

QTEST_GUILESS_MAIN(EnforcedListTest)
#include "tst_enforced_list.moc"
