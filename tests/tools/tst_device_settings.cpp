#include "common/TestEnvironment.h"
#include "networkextension/DNSConfigurationStore.h"
#include "storekit/StoreReachability.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTest>

using namespace Qt::StringLiterals;

namespace {

struct Run {
    int exitCode = -1;
    QString out;
    QString err;
};

Run deviceSettings(const QStringList &arguments) {
    QProcess process;
    process.start(QStringLiteral(DEVICE_SETTINGS_PATH), arguments);
    if (!process.waitForFinished(60'000) || process.exitStatus() != QProcess::NormalExit)
        return {};
    return {process.exitCode(), QString::fromUtf8(process.readAllStandardOutput()),
            QString::fromUtf8(process.readAllStandardError())};
}

DNSConfiguration configuration(const QString &identifier, const QString &name, bool on) {
    auto settings = std::make_shared<NEDNSOverHTTPSSettings>(QStringList{u"0.0.0.0"_s});
    settings->setMatchDomains(QStringList{u"ads.example"_s, u"track.example"_s});
    settings->setServerURL(QUrl(u"https://dns.example/dns-query"_s));
    auto rule = std::make_shared<NEOnDemandRuleConnect>();
    rule->setInterfaceTypeMatch(2);
    rule->setSSIDMatch(QStringList{u"Home"_s});
    return {identifier, name, on, settings, {rule}};
}

bool isOn(const QString &identifier) {
    const auto stored = DNSConfigurationStore().read(identifier);
    return stored.configuration && stored.configuration->enabled;
}

} // namespace

class DeviceSettingsTest : public QObject {
    Q_OBJECT

    TestEnvironment m_env;

private Q_SLOTS:
    void init() {
        QDir(m_env.stateHome()).removeRecursively();
        const DNSConfigurationStore store;
        QVERIFY(store.write(configuration(u"org.quellnet.app"_s, u"Quellnet"_s, false), nullptr));
        QVERIFY(store.write(configuration(u"com.other.dns"_s, u"Other DNS"_s, true), nullptr));
    }

    // Output, exit code and both apps' switches after each command; enabling one app switches
    // every other off.
    void commands_data() {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<int>("exitCode");
        QTest::addColumn<QString>("expected"); // in stdout on success, else in stderr
        QTest::addColumn<bool>("quellnetOn");
        QTest::addColumn<bool>("otherOn");
        const auto row = [](const char *name, const QStringList &arguments, int exitCode,
                            const QString &expected, bool quellnetOn = false, bool otherOn = true) {
            QTest::newRow(name) << arguments << exitCode << expected << quellnetOn << otherOn;
        };
        row("list", {u"dns"_s}, 0,
            u"Quellnet (org.quellnet.app): Off\n  Protocol: DNS over HTTPS\n"
            "  Servers: 0.0.0.0\n  Server URL: https://dns.example/dns-query\n"
            "  Match domains: ads.example, track.example\n"
            "  On-demand rule 1: Connect, interface Wi-Fi, SSIDs: Home\n"_s);
        row("enable by name, others off", {u"dns"_s, u"enable"_s, u"quellnet"_s}, 0,
            u"DNS configuration of Other DNS (com.other.dns) is now Off.\n"
            "DNS configuration of Quellnet (org.quellnet.app) is now On.\n"_s,
            true, false);
        row("disable by identifier", {u"dns"_s, u"disable"_s, u"com.other.dns"_s}, 0,
            u"DNS configuration of Other DNS (com.other.dns) is now Off.\n"_s, false, false);
        row("already off", {u"dns"_s, u"disable"_s, u"Quellnet"_s}, 0, u"is already Off"_s);
        row("unknown app", {u"dns"_s, u"enable"_s, u"Nope"_s}, 1,
            u"no DNS configuration is stored for app \"Nope\"\nUsage:"_s);
        row("no app", {u"dns"_s, u"enable"_s}, 2, u"Usage:"_s);
        row("extra argument", {u"dns"_s, u"disable"_s, u"a"_s, u"b"_s}, 2, u"Usage:"_s);
        row("bad verb", {u"dns"_s, u"toggle"_s, u"Quellnet"_s}, 2, u"unknown dns command"_s);
        row("no command", {}, 2, u"Usage:"_s);
        row("unknown command", {u"wifi"_s}, 2, u"Usage:"_s);
        row("help", {u"--help"_s}, 0, u"dns enable APP"_s);
    }

    void commands() {
        QFETCH(QStringList, arguments);
        QFETCH(int, exitCode);
        QFETCH(QString, expected);
        QFETCH(bool, quellnetOn);
        QFETCH(bool, otherOn);

        const Run run = deviceSettings(arguments);
        QCOMPARE(run.exitCode, exitCode);
        QVERIFY2((exitCode == 0 ? run.out : run.err).contains(expected),
                 qPrintable(run.out + run.err));
        QCOMPARE(isOn(u"org.quellnet.app"_s), quellnetOn);
        QCOMPARE(isOn(u"com.other.dns"_s), otherOn);
    }

    // A damaged file of another app is reported and moved aside intact; the command still works.
    void damagedFileIsReportedNotOverwritten() {
        const DNSConfigurationStore store;
        const QByteArray garbage = "{\"format\": 1, \"identifier\": ";
        QFile file(store.filePath(u"org.broken"_s));
        QVERIFY(file.open(QIODevice::WriteOnly) && file.write(garbage) == garbage.size());
        file.close();
        const Run run = deviceSettings({u"dns"_s, u"enable"_s, u"org.quellnet.app"_s});
        QCOMPARE(run.exitCode, 0);
        QVERIFY2(run.err.contains(u"org.broken.json is damaged"_s), qPrintable(run.err));
        const QStringList aside = QDir(store.directory()).entryList({u"org.broken.json.*"_s});
        QCOMPARE(aside.size(), 1);
        QFile moved(store.directory() + u'/' + aside.first());
        QVERIFY(aside.first().startsWith(u"org.broken.json.corrupt-"_s) &&
                moved.open(QIODevice::ReadOnly));
        QCOMPARE(moved.readAll(), garbage);
        QVERIFY(isOn(u"org.quellnet.app"_s));
    }

    void storeReachabilitySwitch() {
        QCOMPARE(deviceSettings({u"store"_s, u"status"_s}).out, u"App Store: online\n"_s);
        QCOMPARE(deviceSettings({u"store"_s, u"offline"_s}).exitCode, 0);
        QVERIFY(!StoreReachability::isReachable());
        QCOMPARE(deviceSettings({u"store"_s, u"status"_s}).out, u"App Store: offline\n"_s);
        QCOMPARE(deviceSettings({u"store"_s, u"online"_s}).exitCode, 0);
        QVERIFY(StoreReachability::isReachable());
        QCOMPARE(deviceSettings({u"store"_s, u"sideways"_s}).exitCode, 2);
    }
};

QTEST_GUILESS_MAIN(DeviceSettingsTest)
#include "tst_device_settings.moc"
