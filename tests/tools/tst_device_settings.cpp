#include "common/TestEnvironment.h"
#include "networkextension/DNSConfigurationStore.h"
#include "storekit/StoreReachability.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTest>

using namespace Qt::StringLiterals;

namespace {

/** Runs the tool; its exit code (-1 if it crashed) and its merged output. */
std::pair<int, QString> deviceSettings(const QStringList &arguments) {
    QProcess process;
    process.setProcessChannelMode(QProcess::MergedChannels);
    process.start(QStringLiteral(DEVICE_SETTINGS_PATH), arguments);
    if (!process.waitForFinished(60'000) || process.exitStatus() != QProcess::NormalExit)
        return {-1, {}};
    return {process.exitCode(), QString::fromUtf8(process.readAll())};
}

DNSConfiguration configuration(const QString &identifier, const QString &name, bool on) {
    return {identifier, name, on, std::make_shared<NEDNSSettings>(QStringList{u"0.0.0.0"_s}), {}};
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
        QTest::addColumn<QString>("expected"); // in the output
        QTest::addColumn<bool>("quellnetOn");
        QTest::addColumn<bool>("otherOn");
        const auto row = [](const char *name, const QStringList &arguments, int exitCode,
                            const QString &expected, bool quellnetOn = false, bool otherOn = true) {
            QTest::newRow(name) << arguments << exitCode << expected << quellnetOn << otherOn;
        };
        row("list", {u"dns"_s}, 0, u"Quellnet (org.quellnet.app): Off\n"_s);
        row("enable by name, others off", {u"dns"_s, u"enable"_s, u"quellnet"_s}, 0,
            u"Quellnet (org.quellnet.app) is now On."_s, true, false);
        row("disable by identifier", {u"dns"_s, u"disable"_s, u"com.other.dns"_s}, 0,
            u"Other DNS (com.other.dns) is now Off."_s, false, false);
        row("already off", {u"dns"_s, u"disable"_s, u"Quellnet"_s}, 0, u"is already Off"_s);
        row("unknown app", {u"dns"_s, u"enable"_s, u"Nope"_s}, 1,
            u"no DNS configuration is stored for app \"Nope\"\nUsage:"_s);
        row("no app", {u"dns"_s, u"enable"_s}, 2, u"Usage:"_s);
        row("bad verb", {u"dns"_s, u"toggle"_s, u"Quellnet"_s}, 2, u"unknown dns command"_s);
    }

    void commands() {
        QFETCH(QStringList, arguments);
        QFETCH(int, exitCode);
        QFETCH(QString, expected);
        QFETCH(bool, quellnetOn);
        QFETCH(bool, otherOn);

        const auto [code, output] = deviceSettings(arguments);
        QCOMPARE(code, exitCode);
        QVERIFY2(output.contains(expected), qPrintable(output));
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
        const auto [code, output] = deviceSettings({u"dns"_s, u"enable"_s, u"org.quellnet.app"_s});
        QCOMPARE(code, 0);
        QVERIFY2(output.contains(u"org.broken.json is damaged"_s), qPrintable(output));
        const QStringList aside = QDir(store.directory()).entryList({u"org.broken.json.*"_s});
        QCOMPARE(aside.size(), 1);
        QFile moved(store.directory() + u'/' + aside.first());
        QVERIFY(moved.open(QIODevice::ReadOnly) && moved.readAll() == garbage);
        QVERIFY(isOn(u"org.quellnet.app"_s));
    }

    void storeReachabilitySwitch() {
        QCOMPARE(deviceSettings({u"store"_s, u"status"_s}).second, u"App Store: online\n"_s);
        QCOMPARE(deviceSettings({u"store"_s, u"offline"_s}).first, 0);
        QVERIFY(!StoreReachability::isReachable());
        QCOMPARE(deviceSettings({u"store"_s, u"online"_s}).first, 0);
        QVERIFY(StoreReachability::isReachable());
        QCOMPARE(deviceSettings({u"store"_s, u"sideways"_s}).first, 2);
    }
};

QTEST_GUILESS_MAIN(DeviceSettingsTest)
#include "tst_device_settings.moc"
