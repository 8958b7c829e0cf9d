#include "common/EnforcementTestSupport.h"
#include "common/TestEnvironment.h"
#include "networkextension/EnforcedList.h"

#include <QTest>

using namespace Qt::StringLiterals;
using Outcome = EnforcedList::Outcome;

namespace {

DNSConfiguration configuration(const QString &identifier, const QStringList &servers,
                               const std::optional<QStringList> &domains) {
    auto settings = std::make_shared<NEDNSOverHTTPSSettings>(servers);
    settings->setMatchDomains(domains);
    return {identifier, identifier, true, settings, {}};
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
};

QTEST_GUILESS_MAIN(EnforcedListTest)
#include "tst_enforced_list.moc"
