// device-settings as a program: switching, the system part, the listing, `dns export` and the
// language it speaks.
#include "common/EnforcementTestSupport.h"
#include "common/TestEnvironment.h"
#include "networkextension/BlocklistExport.h"
#include "networkextension/DNSConfigurationStore.h"
#include "storekit/StoreReachability.h"

#include <QDir>
#include <QTest>

#include <unistd.h>

using namespace Qt::StringLiterals;

namespace {

struct Run {
    int code = -1; ///< -1 if it crashed or hung
    QByteArray out;
    QString err;
    QString said() const { return QString::fromUtf8(out) + err; }
};

Run deviceSettings(
    const QStringList &arguments, const QString &outputFile = {},
    const QProcessEnvironment &environment = QProcessEnvironment::systemEnvironment()) {
    QProcess process;
    process.setProcessEnvironment(environment);
    if (!outputFile.isEmpty())
        process.setStandardOutputFile(outputFile);
    process.start(QStringLiteral(DEVICE_SETTINGS_PATH), arguments);
    const bool exited =
        process.waitForFinished(60'000) && process.exitStatus() == QProcess::NormalExit;
    return {exited ? process.exitCode() : -1, process.readAllStandardOutput(),
            QString::fromUtf8(process.readAllStandardError())};
}

int exitCode(const QStringList &arguments) {
    return deviceSettings(arguments).code;
}

Run exportCommand(const QStringList &arguments, const QString &outputFile = {}) {
    return deviceSettings(QStringList{u"dns"_s, u"export"_s} + arguments, outputFile);
}

const QStringList twoNames{u"tracker.example.net"_s, u"ads.example"_s};
const QStringList saved{u"Kept.Example"_s, u""_s, u"bücher.example"_s, u"kept.example"_s,
                        u"*.wild.example"_s};

DNSConfiguration configuration(const QString &identifier, const QString &name, bool on,
                               const QString &server = u"0.0.0.0"_s,
                               const std::optional<QStringList> &domains = twoNames) {
    auto settings = std::make_shared<NEDNSOverHTTPSSettings>(QStringList{server});
    settings->setMatchDomains(domains);
    return {identifier, name, on, settings, {}};
}

bool store(const DNSConfiguration &configuration) {
    return DNSConfigurationStore().write(configuration, nullptr);
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

    QString scratch(const QString &name) const { return m_env.root() + u'/' + name; }

private Q_SLOTS:
    void init() {
        QDir(m_env.stateHome()).removeRecursively();
        QVERIFY(store(configuration(u"org.quellnet.app"_s, u"Quellnet"_s, false)));
        QVERIFY(store(configuration(u"com.other.dns"_s, u"Other DNS"_s, true, u"9.9.9.9"_s)));
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
        const Run listing = deviceSettings({u"dns"_s});
        QVERIFY2(listing.code == 0 && listing.said().contains(u"device-settings dns clear"_s),
                 qPrintable(listing.said()));
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
        QVERIFY(store(configuration(u"org.evil"_s, u"Evil\x1b]0;owned\x07\nName\u202e"_s, false)));
        const Run listing = deviceSettings({u"dns"_s});
        const QString output = listing.said();
        QVERIFY2(listing.code == 0 &&
                     output.contains(u"Evil\\x1b]0;owned\\x07\\x0aName\\u{202e}"_s) &&
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

    // LANGUAGE picks the language unless the messages locale asks for the untranslated texts.
    void deviceSettingsSpeaksTheLocale_data() {
        QTest::addColumn<QString>("language");
        QTest::addColumn<QString>("messagesLocale");
        QTest::addColumn<QString>("error");
        const QString german = u"unbekannter Befehl „bogus“"_s;
        const QString english = u"unknown command \"bogus\""_s;
        QTest::newRow("German") << u"de"_s << u"de_DE.UTF-8"_s << german;
        QTest::newRow("French") << u"fr"_s << u"fr_FR@euro"_s
                                << u"commande inconnue «\u00a0bogus\u00a0»"_s;
        QTest::newRow("Catalan is no C") << u"de"_s << u"ca_ES.UTF-8"_s << german;
        QTest::newRow("C") << u"de"_s << u"C.UTF-8"_s << english;
    }
    void deviceSettingsSpeaksTheLocale() {
        QFETCH(QString, language);
        QFETCH(QString, messagesLocale);
        QFETCH(QString, error);
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(u"LANGUAGE"_s, language);
        environment.insert(u"LC_ALL"_s, messagesLocale);
        const Run run = deviceSettings({u"bogus"_s}, {}, environment);
        QCOMPARE(run.code, 2);
        QVERIFY2(run.err.contains(error), qPrintable(run.err));
    }

    // Standard output and FILE get the same bytes, the formatter's; the left-out names are
    // told on stderr only; a file already there is replaced whole.
    void sameBytesEitherWay() {
        QVERIFY(
            store(configuration(u"org.quellnet.app"_s, u"Quellnet"_s, false, u"0.0.0.0"_s, saved)));
        for (const QString &format : BlocklistExport::formatNames()) {
            const QByteArray expected =
                BlocklistExport::render(*BlocklistExport::formatNamed(format), saved).bytes;
            const Run toStdout = exportCommand({u"quellnet"_s, format});
            QCOMPARE(toStdout.code, 0);
            QCOMPARE(toStdout.out, expected);
            QVERIFY2(toStdout.err.contains(u"\"*.wild.example\" (not a DNS name)"_s) &&
                         toStdout.err.contains(u"\"\" (empty)"_s),
                     qPrintable(toStdout.err));

            const QString file = scratch(u"list."_s + format);
            QVERIFY(putFile(file, QByteArray(100'000, 'x')));
            const Run toFile = exportCommand({u"org.quellnet.app"_s, format, file});
            QCOMPARE(toFile.code, 0);
            QCOMPARE(fileBytes(file), expected);
        }
    }

    // A link at FILE, or a folder that is a link, is never written through; nothing is made.
    void neverThroughALink() {
        const QString target = scratch(u"target"_s);
        QVERIFY(putFile(target, "keep me\n"));
        QVERIFY(QFile::link(target, scratch(u"link"_s)));
        QVERIFY(QDir().mkpath(scratch(u"real"_s)));
        QVERIFY(QFile::link(scratch(u"real"_s), scratch(u"folder-link"_s)));
        for (const QString &file : {scratch(u"link"_s), scratch(u"folder-link/list.rpz"_s)}) {
            const Run run = exportCommand({u"Quellnet"_s, u"rpz"_s, file});
            QCOMPARE(run.code, 1);
            QVERIFY(run.out.isEmpty());
        }
        QCOMPARE(fileBytes(target), QByteArray("keep me\n"));
        QVERIFY(QDir(scratch(u"real"_s)).isEmpty());
    }

    // What cannot be exported fails with a message and writes nothing; bad usage is 2.
    void refusals_data() {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<int>("code");
        QTest::newRow("unknown format") << QStringList{u"Quellnet"_s, u"bind"_s} << 2;
        QTest::newRow("empty file name") << QStringList{u"Quellnet"_s, u"rpz"_s, u""_s} << 2;
        QTest::newRow("unknown app") << QStringList{u"Nobody"_s, u"rpz"_s} << 1;
        QTest::newRow("real server") << QStringList{u"com.other.dns"_s, u"rpz"_s} << 1;
        QTest::newRow("every name") << QStringList{u"org.all"_s, u"dnsmasq"_s} << 1;
        QTest::newRow("damaged") << QStringList{u"org.broken"_s, u"hosts"_s} << 1;
    }
    void refusals() {
        QFETCH(QStringList, arguments);
        QFETCH(int, code);
        QVERIFY(store(configuration(u"org.all"_s, u"All"_s, false, u"0.0.0.0"_s, std::nullopt)));
        QVERIFY(putFile(DNSConfigurationStore().filePath(u"org.broken"_s), "{"));
        const QString file = scratch(u"refused.out"_s);
        const Run run =
            exportCommand(arguments.size() == 2 ? arguments + QStringList{file} : arguments);
        QCOMPARE(run.code, code);
        QVERIFY(!QFile::exists(file));
        QVERIFY(run.out.isEmpty());
        QVERIFY(!run.err.isEmpty());
    }

    // The browser signal is held while a list is in force, and `dns check` says why; it never
    // goes into the blocklist or an export.
    void browserSignal() {
        const QStringList check{u"dns"_s, u"check"_s, u"x.Use-Application-DNS.net"_s};
        QCOMPARE(exitCode(enableQuellnet), 0);
        QVERIFY2(
            deviceSettings(check).out.contains("is held on this computer while protection is on"),
            deviceSettings(check).out.constData());
        QVERIFY(!fileBytes(m_env.enforcedListPath()).contains("use-application-dns"));
        QVERIFY(!exportCommand({u"Quellnet"_s, u"hosts"_s}).out.contains("use-application-dns"));
        QCOMPARE(exitCode({u"dns"_s, u"disable"_s, u"Quellnet"_s}), 0);
        QVERIFY2(deviceSettings(check).out.contains("is not blocked on this computer"),
                 deviceSettings(check).out.constData());
    }

    // A full disk is a failure, not a short file reported as written.
    void standardOutputFull() {
        if (!QFile::exists(u"/dev/full"_s))
            QSKIP("no /dev/full here");
        QCOMPARE(exportCommand({u"Quellnet"_s, u"adblock"_s}, u"/dev/full"_s).code, 1);
    }
};

QTEST_GUILESS_MAIN(DeviceSettingsTest)
#include "tst_device_settings.moc"
