#include "common/TestEnvironment.h"
#include "networkextension/EnforcedList.h"

#include "common/EnforcementTestSupport.h"

#include <QDir>
#include <QFile>
#include <QTest>

#include <unistd.h>

using namespace Qt::StringLiterals;
using Outcome = EnforcedList::Outcome;

namespace {

DNSConfiguration configuration(const QString &identifier, const QStringList &servers,
                               const std::optional<QStringList> &domains, bool on = true) {
    auto settings = std::make_shared<NEDNSOverHTTPSSettings>(servers);
    settings->setMatchDomains(domains);
    return {identifier, identifier, on, settings, {}};
}

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
    // by bytes, no repeats; empty names and names no resolver can ask for are left out, each
    // with its reason.
    void conversion_data() {
        QTest::addColumn<QStringList>("domains");
        QTest::addColumn<QStringList>("names");
        QTest::addColumn<QStringList>("leftOut"); // "name: reason"
        QTest::newRow("plain and sorted")
            << QStringList{u"b.example"_s, u"A.example"_s, u"a.example."_s, u"a.example"_s}
            << QStringList{u"a.example"_s, u"b.example"_s} << QStringList();
        QTest::newRow("international")
            << QStringList{u"Bücher.Example"_s, u"例え.テスト"_s}
            << QStringList{u"xn--bcher-kva.example"_s, u"xn--r8jz45g.xn--zckzah"_s}
            << QStringList();
        QTest::newRow("left out") << QStringList{u""_s,
                                                 u"."_s,
                                                 u"a b.example"_s,
                                                 u"*.example"_s,
                                                 u"a..example"_s,
                                                 u"-a.example"_s,
                                                 QString(64, u'a') + u".example"_s,
                                                 u"ok.example"_s}
                                  << QStringList{u"ok.example"_s}
                                  << QStringList{u": empty"_s,
                                                 u".: not a DNS name"_s,
                                                 u"a b.example: not a DNS name"_s,
                                                 u"*.example: not a DNS name"_s,
                                                 u"a..example: not a DNS name"_s,
                                                 u"-a.example: not a DNS name"_s,
                                                 QString(64, u'a') + u".example: not a DNS name"_s};
    }
    void conversion() {
        QFETCH(QStringList, domains);
        QFETCH(QStringList, names);
        QFETCH(QStringList, leftOut);
        const auto converted = EnforcedList::convert(domains);
        QCOMPARE(converted.names, names);
        QStringList reported;
        for (const auto &name : converted.leftOut)
            reported.append(name.name + u": "_s + name.reason);
        QCOMPARE(reported, leftOut);
    }

    void deadEnd_data() {
        QTest::addColumn<QStringList>("servers");
        QTest::addColumn<bool>("deadEnd");
        QTest::newRow("0.0.0.0") << QStringList{u"0.0.0.0"_s} << true;
        QTest::newRow(":: and 0:0::0") << QStringList{u"::"_s, u"0:0::0"_s} << true;
        QTest::newRow("no server") << QStringList() << false;
        QTest::newRow("one real among them") << QStringList{u"0.0.0.0"_s, u"9.9.9.9"_s} << false;
        QTest::newRow("not an address") << QStringList{u"0"_s} << false;
        QTest::newRow("loopback") << QStringList{u"127.0.0.1"_s} << false;
    }
    void deadEnd() {
        QFETCH(QStringList, servers);
        QFETCH(bool, deadEnd);
        QCOMPARE(EnforcedList::isDeadEnd(NEDNSSettings(servers)), deadEnd);
    }

    // Every way the writer (or pkexec in front of it) ends maps to one outcome; none of the
    // failures reads as done.
    void writerOutcomes_data() {
        QTest::addColumn<int>("exitCode");
        QTest::addColumn<bool>("crashed");
        QTest::addColumn<bool>("pkexec");
        QTest::addColumn<int>("status");
        QTest::addColumn<QString>("message");
        QTest::newRow("done") << 0 << false << true << int(Outcome::done) << QString();
        QTest::newRow("I/O failure") << 1 << false << false << int(Outcome::failed)
                                     << u"not permitted: the list in force is uid 7, x"_s;
        QTest::newRow("invalid") << 2 << false << false << int(Outcome::invalid)
                                 << u"not permitted: the list in force is uid 7, x"_s;
        QTest::newRow("owner rule") << 3 << false << false << int(Outcome::notPermitted)
                                    << u"not permitted: the list in force is uid 7, x"_s;
        QTest::newRow("pkexec cancelled") << 126 << false << true << int(Outcome::notPermitted)
                                          << u"not permitted: authentication was cancelled"_s;
        QTest::newRow("pkexec not authorized") << 127 << false << true << int(Outcome::notPermitted)
                                               << u"or no authentication agent is running"_s;
        QTest::newRow("127 without pkexec")
            << 127 << false << false << int(Outcome::failed) << u"not permitted: the list"_s;
        QTest::newRow("crashed") << 0 << true << false << int(Outcome::failed)
                                 << u"stopped unexpectedly"_s;
    }
    void writerOutcomes() {
        QFETCH(int, exitCode);
        QFETCH(bool, crashed);
        QFETCH(bool, pkexec);
        QFETCH(int, status);
        QFETCH(QString, message);
        const QString said = u"quellnet-enforce: not permitted: the list in force is uid 7, x\n"_s;
        const Outcome outcome = EnforcedList::outcomeOfWriter(exitCode, crashed, pkexec, said);
        QCOMPARE(int(outcome.status), status);
        QVERIFY2(outcome.message.contains(message), qPrintable(outcome.message));
    }

    // Installed: the hosts line starts with the module and the writer exists; each missing
    // piece, and half a test setup, is named.
    void installation_data() {
        QTest::addColumn<QByteArray>("nsswitch");
        QTest::addColumn<QString>("writer");
        QTest::addColumn<QString>("reason");
        const QByteArray installed = TestEnvironment::installedNsswitch();
        QTest::newRow("installed") << installed << QString() << QString();
        QTest::newRow("module not first")
            << QByteArray("hosts: files quellnet [NOTFOUND=return] dns\n") << QString()
            << u"does not start with \"quellnet [NOTFOUND=return]\""_s;
        QTest::newRow("no nsswitch.conf") << QByteArray() << QString() << u"does not exist"_s;
        QTest::newRow("no writer") << installed << u"/nonexistent/quellnet-enforce"_s
                                   << u"the writer /nonexistent/quellnet-enforce is missing"_s;
        QTest::newRow("half a test setup")
            << installed << u"-"_s
            << u"DEVICE_PLATFORM_SYSTEM_ROOT is set without DEVICE_PLATFORM_ENFORCE_WRITER"_s;
    }
    void installation() {
        QFETCH(QByteArray, nsswitch);
        QFETCH(QString, writer);
        QFETCH(QString, reason);
        if (nsswitch.isEmpty())
            QVERIFY(QFile::remove(m_env.nsswitchPath()));
        else
            QVERIFY(putFile(m_env.nsswitchPath(), nsswitch));
        if (writer == u"-")
            qunsetenv("DEVICE_PLATFORM_ENFORCE_WRITER");
        else if (!writer.isEmpty())
            qputenv("DEVICE_PLATFORM_ENFORCE_WRITER", writer.toUtf8());
        const auto installation = EnforcedList::installation();
        QCOMPARE(installation.installed, reason.isEmpty());
        QVERIFY2(installation.reason.contains(reason), qPrintable(installation.reason));
        if (writer == u"-") // and nothing is ever written to the real /etc
            QVERIFY(!EnforcedList::write(u"org.a"_s, {u"a.example"_s}).ok());
    }

    // A dead-end configuration becomes the list in force, recorded as ours; asking again for
    // the same names runs no writer at all (here: none is left to run); a non-dead-end one
    // clears our list; release() clears only our list of that app.
    void enforceAndRelease() {
        const auto first = EnforcedList::enforce(configuration(
            u"org.a"_s, {u"0.0.0.0"_s}, QStringList{u"B.example"_s, u""_s, u"a.example"_s}));
        QVERIFY2(first.outcome.ok() && first.enforced, qPrintable(first.outcome.message));
        QCOMPARE(fileBytes(m_env.enforcedListPath()),
                 enforcedListHeader("org.a") + "a.example\nb.example\n");
        const auto list = EnforcedList::inForce();
        QCOMPARE(list.status, EnforcedList::InForce::ok);
        QVERIFY(list.isMine());
        QCOMPARE(list.names, (QStringList{u"a.example"_s, u"b.example"_s}));
        QCOMPARE(EnforcedList::blockingEntry(list.names, u"X.A.Example."_s), u"a.example"_s);
        QCOMPARE(EnforcedList::blockingEntry(list.names, u"nota.example"_s), std::nullopt);

        QVERIFY(
            useFakeWriter(m_env.root() + u"/fake-writer"_s, 1, "quellnet-enforce: must not run"));
        const auto again = EnforcedList::enforce(
            configuration(u"org.a"_s, {u"::"_s}, QStringList{u"a.example."_s, u"b.example"_s}));
        QVERIFY2(again.outcome.ok() && again.enforced, qPrintable(again.outcome.message));
        qputenv("DEVICE_PLATFORM_ENFORCE_WRITER", m_writer);

        QVERIFY(EnforcedList::release(u"org.other"_s).ok());
        QVERIFY(QFile::exists(m_env.enforcedListPath()));
        const auto real = EnforcedList::enforce(
            configuration(u"org.other"_s, {u"9.9.9.9"_s}, QStringList{u"a.example"_s}));
        QVERIFY(real.outcome.ok() && !real.enforced);
        QVERIFY2(real.notEnforced.contains(u"dead-end"_s), qPrintable(real.notEnforced));
        QVERIFY(!QFile::exists(m_env.enforcedListPath()));

        QVERIFY(EnforcedList::enforce(configuration(u"org.a"_s, {u"0.0.0.0"_s}, QStringList{}))
                    .outcome.ok());
        QCOMPARE(fileBytes(m_env.enforcedListPath()), enforcedListHeader("org.a"));
        QVERIFY(EnforcedList::release(u"org.a"_s).ok());
        QVERIFY(!QFile::exists(m_env.enforcedListPath()));
    }

    // What cannot be enforced fails before any writer runs and leaves the list as it is.
    void refusals_data() {
        QTest::addColumn<DNSConfiguration>("configuration");
        QTest::addColumn<QByteArray>("nsswitch");
        QTest::addColumn<int>("status");
        QTest::addColumn<QString>("message");
        const auto deadEnd = [](const QString &id, const std::optional<QStringList> &domains) {
            return configuration(id, {u"0.0.0.0"_s}, domains);
        };
        const QByteArray installed = TestEnvironment::installedNsswitch();
        QTest::newRow("another account's list")
            << deadEnd(u"org.a"_s, QStringList{u"a.example"_s}) << installed
            << int(Outcome::notPermitted)
            << u"another account's list is in force (uid 4242, app com.x)"_s;
        QTest::newRow("not installed")
            << deadEnd(u"org.a"_s, QStringList{u"a.example"_s}) << QByteArray("hosts: files dns\n")
            << int(Outcome::failed) << u"the system part is not installed"_s;
        QTest::newRow("no match domains: every name")
            << deadEnd(u"org.a"_s, std::nullopt) << installed << int(Outcome::invalid)
            << u"would block every name"_s;
        QStringList many;
        for (int i = 0; i <= 10000; ++i)
            many.append(u"n%1.example"_s.arg(i));
        QTest::newRow("over the cap") << deadEnd(u"org.a"_s, many) << installed
                                      << int(Outcome::invalid) << u"10001 names is more"_s;
        QTest::newRow("identifier the list cannot hold")
            << deadEnd(u"org a"_s, QStringList{u"a.example"_s}) << installed
            << int(Outcome::invalid) << u"cannot be recorded"_s;
    }
    void refusals() {
        QFETCH(DNSConfiguration, configuration);
        QFETCH(QByteArray, nsswitch);
        QFETCH(int, status);
        QFETCH(QString, message);
        QVERIFY(putFile(m_env.nsswitchPath(), nsswitch));
        // Another account's list, made by the writer as pkexec would run it for uid 4242.
        QVERIFY(writeListAs(4242, m_env.systemRoot(), u"com.x"_s, "x.example\n"));
        const QByteArray before = fileBytes(m_env.enforcedListPath());

        const auto result = EnforcedList::enforce(configuration);
        QCOMPARE(int(result.outcome.status), status);
        QVERIFY(!result.enforced);
        QVERIFY2(result.outcome.message.contains(message), qPrintable(result.outcome.message));
        QCOMPARE(fileBytes(m_env.enforcedListPath()), before);
    }

    // This computer's own name always resolves; names that merely contain "localhost" do not.
    void neverBlocked() {
        char host[256] = {};
        QVERIFY(::gethostname(host, sizeof host - 1) == 0);
        QVERIFY(EnforcedList::isNeverBlocked(QString::fromLatin1(host).toLower()));
        QVERIFY(!EnforcedList::isNeverBlocked(u"localhost.example"_s));
        QVERIFY(!EnforcedList::isNeverBlocked(u"notlocalhost"_s));
    }
};

QTEST_GUILESS_MAIN(EnforcedListTest)
#include "tst_enforced_list.moc"
