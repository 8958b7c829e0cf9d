#include "common/TestEnvironment.h"
#include "networkextension/DNSConfigurationStore.h"
#include "storekit/StoreReachability.h"

#include <QDir>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTest>

using namespace Qt::StringLiterals;

namespace {

/** Runs the tool; its exit code (-1 if it crashed) and its merged output. */
std::pair<int, QString> deviceSettings(const QStringList &arguments,
                                       const QStringList &unset = {}) {
    QProcess process;
    process.setProcessChannelMode(QProcess::MergedChannels);
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    for (const QString &name : unset)
        environment.remove(name);
    process.setProcessEnvironment(environment);
    process.start(QStringLiteral(DEVICE_SETTINGS_PATH), arguments);
    if (!process.waitForFinished(60'000) || process.exitStatus() != QProcess::NormalExit)
        return {-1, {}};
    return {process.exitCode(), QString::fromUtf8(process.readAll())};
}

QByteArray fileBytes(const QString &path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

bool putFile(const QString &path, const QByteArray &data) {
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(data) == data.size();
}

/** Names and bytes of every file in the store's folder. */
QMap<QString, QByteArray> folderContents() {
    QMap<QString, QByteArray> contents;
    const QDir dir(DNSConfigurationStore().directory());
    for (const QString &name : dir.entryList(QDir::Files | QDir::Hidden))
        contents.insert(name, fileBytes(dir.filePath(name)));
    return contents;
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

    // Files this version cannot read are listed as unreadable with the reason, the listing
    // exits non-zero, and nothing is moved or rewritten. A newer-format file that may be on
    // blocks enabling another app, and cannot be switched itself; a damaged one does not block.
    void unreadableFilesAreShownAndLeftAlone() {
        const DNSConfigurationStore store;
        const QByteArray newer = R"({"format": 2, "identifier": "com.next", "enabled": true})";
        const QByteArray damaged = R"({"format": 1, "identifier": )";
        QVERIFY(putFile(store.filePath(u"com.next"_s), newer));
        QVERIFY(putFile(store.filePath(u"org.broken"_s), damaged));
        const auto before = folderContents();

        auto [code, output] = deviceSettings({u"dns"_s});
        QCOMPARE(code, 1);
        for (const QString &expected :
             {u"Quellnet (org.quellnet.app): Off\n"_s,
              u"Unreadable file %1: it is written in a newer format (2) than this version reads "
              u"(1).\n"_s.arg(store.filePath(u"com.next"_s)),
              u"Unreadable file %1: it is damaged (not JSON: "_s.arg(
                  store.filePath(u"org.broken"_s)),
              u"device-settings: 2 stored DNS configurations cannot be read\n"_s})
            QVERIFY2(output.contains(expected), qPrintable(output));

        std::tie(code, output) = deviceSettings({u"dns"_s, u"enable"_s, u"Quellnet"_s});
        QCOMPARE(code, 1);
        QVERIFY2(output.contains(u"nothing changed: "_s + store.filePath(u"com.next"_s)),
                 qPrintable(output));
        std::tie(code, output) = deviceSettings({u"dns"_s, u"disable"_s, u"com.next"_s});
        QCOMPARE(code, 1);
        QVERIFY2(output.contains(u"the DNS configuration of com.next cannot be switched"_s),
                 qPrintable(output));
        QCOMPARE(folderContents(), before);

        QVERIFY(QFile::remove(store.filePath(u"com.next"_s)));
        std::tie(code, output) = deviceSettings({u"dns"_s, u"enable"_s, u"Quellnet"_s});
        QCOMPARE(code, 0);
        QVERIFY2(
            output.contains(u"warning: "_s + store.filePath(u"org.broken"_s) + u" is damaged"_s),
            qPrintable(output));
        QCOMPARE(fileBytes(store.filePath(u"org.broken"_s)), damaged);
        QVERIFY(isOn(u"org.quellnet.app"_s));
    }

    // Switching rewrites only the switch: another app's members this version does not know
    // survive it being switched off.
    void switchingKeepsUnknownMembers() {
        const DNSConfigurationStore store;
        const QString path = store.filePath(u"com.other.dns"_s);
        QJsonObject object = QJsonDocument::fromJson(fileBytes(path)).object();
        object.insert(u"x-vendor"_s, QJsonObject{{u"profile"_s, u"family"_s}});
        QVERIFY(putFile(path, QJsonDocument(object).toJson()));
        QCOMPARE(deviceSettings({u"dns"_s, u"enable"_s, u"Quellnet"_s}).first, 0);
        object.insert(u"enabled"_s, false);
        QCOMPARE(QJsonDocument::fromJson(fileBytes(path)).object(), object);
    }

    // Names from files reach the terminal with control characters escaped.
    void controlCharactersAreEscaped() {
        const DNSConfigurationStore store;
        QVERIFY(store.write(
            configuration(u"org.evil"_s, u"Evil\x1b]0;owned\x07\nName\u202e"_s, false), nullptr));
        const auto [code, output] = deviceSettings({u"dns"_s});
        QCOMPARE(code, 0);
        QVERIFY2(output.contains(u"Evil\\x1b]0;owned\\x07\\x0aName\\u{202e} (org.evil): Off"_s),
                 qPrintable(output));
        QVERIFY(!output.contains(QChar(0x1b)) && !output.contains(QChar(0x202e)));
    }

    // A listing creates no folder; without HOME (and XDG_STATE_HOME) every command says so
    // and nothing is made at the root.
    void folders() {
        QDir(m_env.stateHome()).removeRecursively();
        QVERIFY(QDir().mkpath(m_env.stateHome()));
        QCOMPARE(deviceSettings({u"dns"_s}),
                 std::pair(0, u"No DNS configurations are stored.\n"_s));
        QCOMPARE(QDir(m_env.stateHome()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot),
                 QStringList());

        const bool rootHadIt = QFileInfo::exists(u"/.local/state/device-platform"_s);
        for (const QStringList &command : {QStringList{u"dns"_s},
                                           {u"dns"_s, u"enable"_s, u"Quellnet"_s},
                                           {u"store"_s, u"offline"_s}}) {
            const auto [code, output] = deviceSettings(command, {u"HOME"_s, u"XDG_STATE_HOME"_s});
            QCOMPARE(code, 1);
            QVERIFY2(output.contains(u"HOME is not set"_s), qPrintable(output));
        }
        QCOMPARE(QFileInfo::exists(u"/.local/state/device-platform"_s), rootHadIt);
    }

    // `store offline` never writes through a link planted at the flag's path.
    void storeOfflineRefusesAPlantedLink() {
        const QString victim = m_env.root() + u"/shellrc"_s;
        QVERIFY(putFile(victim, "export SAFE=1\n"));
        QVERIFY(QDir().mkpath(m_env.stateHome() + u"/device-platform/StoreKit"_s));
        QVERIFY(QFile::link(victim, StoreReachability::offlineFlagPath()));
        const auto [code, output] = deviceSettings({u"store"_s, u"offline"_s});
        QCOMPARE(code, 1);
        QVERIFY2(output.contains(u"is a symbolic link; it is left as it is"_s), qPrintable(output));
        QCOMPARE(fileBytes(victim), QByteArray("export SAFE=1\n"));
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
