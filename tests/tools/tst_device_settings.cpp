#include "common/TestEnvironment.h"
#include "networkextension/DNSConfigurationStore.h"
#include "storekit/StoreReachability.h"

#include "common/EnforcementTestSupport.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTest>

#include <unistd.h>

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

/** Names and bytes of every file in the store's folder. */
QMap<QString, QByteArray> folderContents() {
    QMap<QString, QByteArray> contents;
    const QDir dir(DNSConfigurationStore().directory());
    for (const QString &name : dir.entryList(QDir::Files | QDir::Hidden))
        contents.insert(name, fileBytes(dir.filePath(name)));
    return contents;
}

/** A configuration like the app's: a dead end with two match domains, one of them empty. */
DNSConfiguration configuration(const QString &identifier, const QString &name, bool on,
                               const QString &server = u"0.0.0.0"_s) {
    auto settings = std::make_shared<NEDNSOverHTTPSSettings>(QStringList{server});
    settings->setMatchDomains(QStringList{u"Tracker.example.net"_s, u""_s, u"ads.example"_s});
    return {identifier, name, on, settings, {}};
}

bool isOn(const QString &identifier) {
    const auto stored = DNSConfigurationStore().read(identifier);
    return stored.configuration && stored.configuration->enabled;
}

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

    // What this computer blocks follows the switch: a dead end becomes the list in force (its
    // empty match domain left out and reported), another app's non-dead-end configuration
    // clears it, switching off clears it; the listing says what is enforced.
    void enforcementFollowsTheSwitch() {
        const QString uid = QString::number(::getuid());
        auto [code, output] = deviceSettings({u"dns"_s, u"enable"_s, u"Quellnet"_s});
        QCOMPARE(code, 0);
        QCOMPARE(output, u"DNS configuration of Other DNS (com.other.dns) is now Off.\n"
                         u"DNS configuration of Quellnet (org.quellnet.app) is now On.\n"
                         u"Enforced on this computer: 2 names blocked.\n"
                         u"Left out of the enforced list: \"\" (empty)\n"_s);
        QCOMPARE(fileBytes(m_env.enforcedListPath()),
                 enforcedListHeader("org.quellnet.app") + "ads.example\ntracker.example.net\n");
        std::tie(code, output) = deviceSettings({u"dns"_s});
        QCOMPARE(code, 0);
        QVERIFY2(output.contains(u"  Enforced on this computer: yes, 2 names (list of uid %1, app "
                                 u"org.quellnet.app)\n  Left out of the enforced list: \"\" "
                                 u"(empty)\n"_s.arg(uid)),
                 qPrintable(output));
        QVERIFY2(!output.contains(u"Enforced list matching"_s), qPrintable(output));

        std::tie(code, output) = deviceSettings({u"dns"_s, u"enable"_s, u"Other DNS"_s});
        QCOMPARE(code, 0);
        QVERIFY2(output.endsWith(u"DNS configuration of Other DNS (com.other.dns) is now On.\n"
                                 u"Not enforced on this computer: only a dead-end configuration "
                                 u"(every server 0.0.0.0 or ::) is enforced here.\n"_s),
                 qPrintable(output));
        QVERIFY(!QFile::exists(m_env.enforcedListPath()));

        QCOMPARE(deviceSettings({u"dns"_s, u"enable"_s, u"Quellnet"_s}).first, 0);
        QVERIFY(QFile::exists(m_env.enforcedListPath()));
        QCOMPARE(deviceSettings({u"dns"_s, u"disable"_s, u"Quellnet"_s}).first, 0);
        QVERIFY(!QFile::exists(m_env.enforcedListPath()));
        QVERIFY(!isOn(u"org.quellnet.app"_s));
    }

    // When this computer cannot enforce it, enable leaves everything as it was and says why.
    void enableStaysOffWhenNotEnforceable_data() {
        QTest::addColumn<QByteArray>("nsswitch");
        QTest::addColumn<uint>("listOwner"); // 0: no list in force
        QTest::addColumn<int>("writerExit"); // 0: the real test writer
        QTest::addColumn<QString>("expected");
        const QByteArray installed = TestEnvironment::installedNsswitch();
        QTest::newRow("not installed")
            << QByteArray("hosts:          files dns\n") << 0u << 0
            << u"device-settings: DNS configuration of Quellnet (org.quellnet.app) stays Off: the "
               u"system part is not installed: the hosts line of %1 does not start with "
               u"\"quellnet [NOTFOUND=return]\"; run: sudo device-settings system install\n"_s;
        QTest::newRow("another account's list")
            << installed << 4242u << 0
            << u"device-settings: DNS configuration of Quellnet (org.quellnet.app) stays Off: not "
               u"permitted: another account's list is in force (uid 4242, app com.x)\n"_s;
        QTest::newRow("writer says no")
            << installed << 0u << 3
            << u"device-settings: DNS configuration of Quellnet (org.quellnet.app) stays Off: not "
               u"permitted: the list in force is uid 7, com.y\n"_s;
    }
    void enableStaysOffWhenNotEnforceable() {
        QFETCH(QByteArray, nsswitch);
        QFETCH(uint, listOwner);
        QFETCH(int, writerExit);
        QFETCH(QString, expected);
        QVERIFY(putFile(m_env.nsswitchPath(), nsswitch));
        if (listOwner)
            QVERIFY(writeListAs(listOwner, m_env.systemRoot(), u"com.x"_s, "x.example\n"));
        if (writerExit)
            QVERIFY(useFakeWriter(m_env.root() + u"/fake-writer"_s, writerExit,
                                  "quellnet-enforce: not permitted: the list in force is uid 7, "
                                  "com.y"));
        const QByteArray list = fileBytes(m_env.enforcedListPath());
        const auto before = folderContents();
        const auto [code, output] = deviceSettings({u"dns"_s, u"enable"_s, u"Quellnet"_s});
        QCOMPARE(code, 1);
        QCOMPARE(output, expected.replace(u"%1"_s, m_env.nsswitchPath()));
        QCOMPARE(folderContents(), before);
        QCOMPARE(fileBytes(m_env.enforcedListPath()), list);
    }

    // A list no switched-on configuration asks for is reported with the command that clears
    // it; a list a switched-on configuration asks for is not cleared under it.
    void orphanedListIsReportedAndCleared() {
        const QString uid = QString::number(::getuid());
        QVERIFY(writeListAs(::getuid(), m_env.systemRoot(), u"org.gone"_s, "gone.example\n"));
        auto [code, output] = deviceSettings({u"dns"_s});
        QCOMPARE(code, 0);
        QVERIFY2(output.endsWith(u"\nEnforced list matching no switched-on configuration: 1 name "
                                 u"of uid %1, app org.gone (%2).\n"
                                 u"  Clear it with: device-settings dns clear\n"_s.arg(
                                     uid, m_env.enforcedListPath())),
                 qPrintable(output));
        QCOMPARE(
            deviceSettings({u"dns"_s, u"clear"_s}),
            std::pair(0,
                      u"Cleared the enforced list (1 name of uid %1, app org.gone).\n"_s.arg(uid)));
        QVERIFY(!QFile::exists(m_env.enforcedListPath()));
        QCOMPARE(deviceSettings({u"dns"_s, u"clear"_s}),
                 std::pair(0, u"No enforced list is in force.\n"_s));

        QCOMPARE(deviceSettings({u"dns"_s, u"enable"_s, u"Quellnet"_s}).first, 0);
        std::tie(code, output) = deviceSettings({u"dns"_s, u"clear"_s});
        QCOMPARE(code, 1);
        QVERIFY2(output.contains(u"belongs to the switched-on DNS configuration of Quellnet "
                                 u"(org.quellnet.app); switch it off with: device-settings dns "
                                 u"disable org.quellnet.app"_s),
                 qPrintable(output));
        QVERIFY(QFile::exists(m_env.enforcedListPath()));
    }

    // `dns check` answers for a name and its subdomains, by which entry, and for names that
    // are never blocked or not names at all.
    void check_data() {
        QTest::addColumn<QString>("name");
        QTest::addColumn<int>("exitCode");
        QTest::addColumn<QString>("expected");
        const QString by = u"is blocked on this computer by the entry \"tracker.example.net\" "
                           u"(list of uid %1, app org.quellnet.app).\n"_s.arg(::getuid());
        QTest::newRow("listed") << u"tracker.example.net"_s << 0 << u"tracker.example.net "_s + by;
        QTest::newRow("under it, any case, trailing dot")
            << u"A.B.Tracker.Example.NET."_s << 0
            << u"A.B.Tracker.Example.NET. (a.b.tracker.example.net) "_s + by;
        QTest::newRow("lookalike")
            << u"nottracker.example.net"_s << 0 << u"nottracker.example.net is not blocked"_s;
        QTest::newRow("localhost")
            << u"localhost"_s << 0
            << u"localhost is never blocked: localhost, names under it and this computer's own "
               u"name always resolve.\n"_s;
        QTest::newRow("not a name") << u"a b"_s << 2 << u"\"a b\" is not a DNS name"_s;
    }
    void check() {
        QFETCH(QString, name);
        QFETCH(int, exitCode);
        QFETCH(QString, expected);
        QCOMPARE(deviceSettings({u"dns"_s, u"enable"_s, u"Quellnet"_s}).first, 0);
        const auto [code, output] = deviceSettings({u"dns"_s, u"check"_s, name});
        QCOMPARE(code, exitCode);
        QVERIFY2(output.startsWith(expected) || (exitCode && output.contains(expected)),
                 qPrintable(output));
    }

    // Install puts the module first on Ubuntu's hosts line; uninstall switches everything off,
    // clears the list and gives back the original bytes; both say so and repeat harmlessly.
    void systemInstallAndUninstall() {
        const QByteArray original =
            "# Ubuntu\npasswd:  files systemd\nhosts:          files mdns4_minimal "
            "[NOTFOUND=return] dns myhostname\n\nnetgroup: nis\n";
        const QString path = m_env.nsswitchPath();
        QVERIFY(putFile(path, original));
        auto [code, output] = deviceSettings({u"system"_s, u"install"_s});
        QCOMPARE(code, 0);
        QCOMPARE(output, u"Put quellnet [NOTFOUND=return] first on the hosts line of %1:\n"
                         u"  hosts:          quellnet [NOTFOUND=return] files mdns4_minimal "
                         u"[NOTFOUND=return] dns myhostname\n"_s.arg(path));
        QCOMPARE(deviceSettings({u"system"_s, u"install"_s}),
                 std::pair(0, u"The hosts line of %1 already starts with quellnet "
                              u"[NOTFOUND=return].\n"_s.arg(path)));
        QCOMPARE(deviceSettings({u"dns"_s, u"enable"_s, u"Quellnet"_s}).first, 0);

        std::tie(code, output) = deviceSettings({u"system"_s, u"uninstall"_s});
        QCOMPARE(code, 0);
        QCOMPARE(output, u"DNS configuration of Quellnet (org.quellnet.app) is now Off.\n"
                         u"Took quellnet [NOTFOUND=return] off the hosts line of %1:\n"
                         u"  hosts:          files mdns4_minimal [NOTFOUND=return] dns "
                         u"myhostname\n"_s.arg(path));
        QCOMPARE(fileBytes(path), original);
        QVERIFY(!QFile::exists(m_env.enforcedListPath()));
        QVERIFY(!isOn(u"org.quellnet.app"_s) && !isOn(u"com.other.dns"_s));
        QCOMPARE(deviceSettings({u"system"_s, u"uninstall"_s}),
                 std::pair(0, u"The hosts line of %1 has no quellnet [NOTFOUND=return]; nothing "
                              u"to take out.\n"_s.arg(path)));
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

    // The app store switch, which never writes through a link planted at the flag's path.
    void storeReachability() {
        QCOMPARE(deviceSettings({u"store"_s, u"offline"_s}).first, 0);
        QCOMPARE(deviceSettings({u"store"_s, u"status"_s}).second, u"App Store: offline\n"_s);
        QCOMPARE(deviceSettings({u"store"_s, u"online"_s}).first, 0);
        QVERIFY(StoreReachability::isReachable());
        QCOMPARE(deviceSettings({u"store"_s, u"sideways"_s}).first, 2);

        const QString victim = m_env.root() + u"/shellrc"_s;
        QVERIFY(putFile(victim, "export SAFE=1\n"));
        QVERIFY(QFile::link(victim, StoreReachability::offlineFlagPath()));
        const auto [code, output] = deviceSettings({u"store"_s, u"offline"_s});
        QCOMPARE(code, 1);
        QVERIFY2(output.contains(u"is a symbolic link; it is left as it is"_s), qPrintable(output));
        QCOMPARE(fileBytes(victim), QByteArray("export SAFE=1\n"));
    }
};

QTEST_GUILESS_MAIN(DeviceSettingsTest)
#include "tst_device_settings.moc"
