#include "common/EnforcementTestSupport.h"
#include "common/TestEnvironment.h"
#include "networkextension/DNSConfigurationStore.h"
#include "storekit/StoreReachability.h"

#include <QDir>
#include <QTest>

#include <unistd.h>

using namespace Qt::StringLiterals;

namespace {

/** Exit code (-1 if it crashed) and merged output. */
std::pair<int, QString> deviceSettings(const QStringList &arguments) {
    QProcess process;
    process.setProcessChannelMode(QProcess::MergedChannels);
    process.start(QStringLiteral(DEVICE_SETTINGS_PATH), arguments);
    const bool exited =
        process.waitForFinished(60'000) && process.exitStatus() == QProcess::NormalExit;
    return {exited ? process.exitCode() : -1, QString::fromUtf8(process.readAll())};
}

int exitCode(const QStringList &arguments) {
    return deviceSettings(arguments).first;
}

DNSConfiguration configuration(const QString &identifier, const QString &name, bool on,
                               const QString &server = u"0.0.0.0"_s) {
    auto settings = std::make_shared<NEDNSOverHTTPSSettings>(QStringList{server});
    settings->setMatchDomains(QStringList{u"tracker.example.net"_s, u"ads.example"_s});
    return {identifier, name, on, settings, {}};
}

bool isOn(const QString &identifier) {
    const auto stored = DNSConfigurationStore().read(identifier);
    return stored.configuration && stored.configuration->enabled;
}

const QStringList enableQuellnet{u"dns"_s, u"enable"_s, u"Quellnet"_s};

} // namespace

class DeviceSettingsTest : public QObject {
    Q_OBJECT

    TestEnvironment m_env;
    const QByteArray m_writer = qgetenv("DEVICE_PLATFORM_ENFORCE_WRITER");

private Q_SLOTS:
    void init() {
        QDir(m_env.stateHome()).removeRecursively();
        const DNSConfigurationStore store;
        QVERIFY(store.write(configuration(u"org.quellnet.app"_s, u"Quellnet"_s, false), nullptr));
        QVERIFY(store.write(configuration(u"com.other.dns"_s, u"Other DNS"_s, true, u"9.9.9.9"_s),
                            nullptr));
        qputenv("DEVICE_PLATFORM_ENFORCE_WRITER", m_writer);
        QFile::remove(m_env.enforcedListPath());
        QVERIFY(putFile(m_env.nsswitchPath(), TestEnvironment::installedNsswitch()));
    }

    // Enabling one app (by any-case name) switches the others off; the list follows it.
    void commands() {
        const auto state = [&] {
            return std::tuple(isOn(u"org.quellnet.app"_s), isOn(u"com.other.dns"_s),
                              fileBytes(m_env.enforcedListPath()));
        };
        QCOMPARE(exitCode({u"dns"_s, u"enable"_s, u"quellnet"_s}), 0);
        QCOMPARE(state(), std::tuple(true, false,
                                     enforcedListHeader("org.quellnet.app") +
                                         "ads.example\ntracker.example.net\n"));
        QCOMPARE(exitCode({u"dns"_s, u"enable"_s, u"Other DNS"_s}), 0);
        QCOMPARE(state(), std::tuple(false, true, QByteArray()));
        QCOMPARE(exitCode(enableQuellnet), 0);
        QCOMPARE(exitCode({u"dns"_s, u"disable"_s, u"Quellnet"_s}), 0);
        QCOMPARE(state(), std::tuple(false, false, QByteArray()));
    }

    // When the writer refuses, enable fails and changes nothing.
    void enableStaysOffWhenNotEnforceable() {
        QVERIFY(useFakeWriter(m_env.root() + u"/fake-writer"_s, 3, "no"));
        const auto before = folderSnapshot(DNSConfigurationStore().directory());
        QCOMPARE(exitCode(enableQuellnet), 1);
        QCOMPARE(folderSnapshot(DNSConfigurationStore().directory()), before);
        QVERIFY(!QFile::exists(m_env.enforcedListPath()));
    }

    // A list no switched-on configuration asks for is reported with the command that clears
    // it; a list a switched-on configuration asks for is not cleared under it.
    void orphanedListIsReportedAndCleared() {
        QVERIFY(writeListAs(::getuid(), m_env.systemRoot(), u"org.gone"_s, "gone.example\n"));
        const auto [code, output] = deviceSettings({u"dns"_s});
        QVERIFY2(code == 0 && output.contains(u"device-settings dns clear"_s), qPrintable(output));
        QCOMPARE(exitCode({u"dns"_s, u"clear"_s}), 0);
        QVERIFY(!QFile::exists(m_env.enforcedListPath()));
        QCOMPARE(exitCode(enableQuellnet), 0);
        QCOMPARE(exitCode({u"dns"_s, u"clear"_s}), 1);
        QVERIFY(QFile::exists(m_env.enforcedListPath()));
    }

    // Uninstall switches everything off, clears the list and gives back the original bytes.
    void systemUninstallSwitchesEverythingOff() {
        const QByteArray original = "passwd: files\nhosts:    files [NOTFOUND=return] dns\n";
        QVERIFY(putFile(m_env.nsswitchPath(), original));
        QCOMPARE(exitCode({u"system"_s, u"install"_s}), 0);
        QCOMPARE(exitCode(enableQuellnet), 0);
        QCOMPARE(exitCode({u"system"_s, u"uninstall"_s}), 0);
        QCOMPARE(fileBytes(m_env.nsswitchPath()), original);
        QVERIFY(!QFile::exists(m_env.enforcedListPath()) && !isOn(u"org.quellnet.app"_s) &&
                !isOn(u"com.other.dns"_s));
    }

    // With files this version cannot read the listing fails and nothing is moved or rewritten;
    // a newer-format file that may be on blocks enabling another app; a damaged one does not.
    void unreadableFilesAreShownAndLeftAlone() {
        const DNSConfigurationStore store;
        const QByteArray damaged = R"({"format": 1, "identifier": )";
        QVERIFY(putFile(store.filePath(u"com.next"_s),
                        R"({"format": 2, "identifier": "com.next", "enabled": true})"));
        QVERIFY(putFile(store.filePath(u"org.broken"_s), damaged));
        const auto before = folderSnapshot(DNSConfigurationStore().directory());
        for (const QStringList &command :
             {QStringList{u"dns"_s}, enableQuellnet, {u"dns"_s, u"disable"_s, u"com.next"_s}})
            QCOMPARE(exitCode(command), 1);
        QCOMPARE(folderSnapshot(DNSConfigurationStore().directory()), before);

        QVERIFY(QFile::remove(store.filePath(u"com.next"_s)));
        QCOMPARE(exitCode(enableQuellnet), 0);
        QCOMPARE(fileBytes(store.filePath(u"org.broken"_s)), damaged);
        QVERIFY(isOn(u"org.quellnet.app"_s));
    }

    // Names from files reach the terminal with control characters escaped.
    void controlCharactersAreEscaped() {
        QVERIFY(DNSConfigurationStore().write(
            configuration(u"org.evil"_s, u"Evil\x1b]0;owned\x07\nName\u202e"_s, false), nullptr));
        const auto [code, output] = deviceSettings({u"dns"_s});
        QVERIFY2(code == 0 && output.contains(u"Evil\\x1b]0;owned\\x07\\x0aName\\u{202e}"_s) &&
                     !output.contains(QChar(0x1b)) && !output.contains(QChar(0x202e)),
                 qPrintable(output));
    }

    // Without HOME (and XDG_STATE_HOME) every command fails and nothing is made at the root.
    void noHomeNoFolder() {
        const bool rootHadIt = QFileInfo::exists(u"/.local/state/device-platform"_s);
        const QByteArray home = qgetenv("HOME"), state = qgetenv("XDG_STATE_HOME");
        qunsetenv("HOME"), qunsetenv("XDG_STATE_HOME");
        const int dns = exitCode({u"dns"_s}), enable = exitCode(enableQuellnet),
                  offline = exitCode({u"store"_s, u"offline"_s});
        qputenv("HOME", home), qputenv("XDG_STATE_HOME", state);
        QCOMPARE(std::tuple(dns, enable, offline), std::tuple(1, 1, 1));
        QCOMPARE(QFileInfo::exists(u"/.local/state/device-platform"_s), rootHadIt);
    }

    // The app store switch never writes through a link planted at the flag's path.
    void storeReachability() {
        const QString victim = m_env.root() + u"/shellrc"_s,
                      flag = StoreReachability::offlineFlagPath();
        QVERIFY(putFile(victim, "export SAFE=1\n") && QDir().mkpath(QFileInfo(flag).path()) &&
                QFile::link(victim, flag));
        QCOMPARE(exitCode({u"store"_s, u"offline"_s}), 1);
        QCOMPARE(fileBytes(victim), QByteArray("export SAFE=1\n"));
    }
};

QTEST_GUILESS_MAIN(DeviceSettingsTest)
#include "tst_device_settings.moc"
