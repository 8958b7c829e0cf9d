#include "common/TestEnvironment.h"
#include "foundation/PlatformPaths.h"
#include "networkextension/DNSConfigurationStore.h"

#include "common/TestFiles.h"

#include <QDir>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QRegularExpression>
#include <QTest>

#include <csignal>
#include <sys/stat.h>
#include <unistd.h>

using namespace Qt::StringLiterals;
using ReadResult = DNSConfigurationStore::ReadResult;

namespace {

/** Every entry of a folder tree with what it holds: bytes, link target or kind. */
QMap<QString, QByteArray> snapshot(const QString &root) {
    QMap<QString, QByteArray> entries;
    const QDir dir(root);
    for (const QFileInfo &info :
         dir.entryInfoList(QDir::AllEntries | QDir::System | QDir::Hidden | QDir::NoDotAndDotDot)) {
        const QString name = info.fileName();
        if (info.isSymLink())
            entries.insert(name, "-> " + info.symLinkTarget().toUtf8());
        else if (info.isDir())
            entries.insert(name, "folder");
        else if (info.isFile())
            entries.insert(name, fileBytes(info.filePath()));
        else
            entries.insert(name, "special");
    }
    return entries;
}

/** What the next test plants in an app's slot. */
enum class Plant { damaged, anotherApp, tooLarge, newerFormat, linkToValidFile, fifo, folder };

/** A valid file, with `from` replaced by `to`. */
QByteArray validFile(const char *from = nullptr, const char *to = nullptr) {
    QByteArray data = R"({"format": 1, "identifier": "org.a", "displayName": "A", "enabled": true,
              "settings": {"protocol": "HTTPS", "servers": ["0.0.0.0"]}, "onDemandRules": []})";
    return from ? data.replace(from, to) : data;
}

DNSConfiguration validConfiguration() {
    return {u"org.a"_s, u"A"_s, false, std::make_shared<NEDNSSettings>(QStringList()), {}};
}

} // namespace

class DNSConfigurationStoreTest : public QObject {
    Q_OBJECT

    TestEnvironment m_env;

private Q_SLOTS:
    void init() { QVERIFY(QDir(DNSConfigurationStore().directory()).removeRecursively()); }

    // Every field survives serialize and parse exactly: protocol, every rule action, absent
    // against empty lists, order and repeats, 64-bit interface types, odd identifiers and names.
    void roundTrip_data() {
        QTest::addColumn<DNSConfiguration>("original");
        auto https = std::make_shared<NEDNSOverHTTPSSettings>(QStringList{u"0.0.0.0"_s});
        https->setMatchDomains(QStringList{u"b.example"_s, u"a.example"_s, u"b.example"_s});
        https->setServerURL(QUrl(u"https://dns.example/dns-query?x=%2F"_s));
        auto rule = std::make_shared<NEOnDemandRuleDisconnect>();
        rule->setInterfaceTypeMatch(std::numeric_limits<qint64>::max());
        rule->setSSIDMatch(QStringList{});
        rule->setDNSServerAddressMatch(QStringList{u"::1"_s});
        rule->setProbeURL(QUrl(u"https://probe.example/ok"_s));
        QTest::newRow("https, repeated domains, rules")
            << DNSConfiguration{u"org.a/../b%"_s,
                                u"\u00c4 \"name\""_s,
                                true,
                                https,
                                {rule, std::make_shared<NEOnDemandRuleConnect>(),
                                 std::make_shared<NEOnDemandRuleEvaluateConnection>(),
                                 std::make_shared<NEOnDemandRuleIgnore>()}};
        auto empty = std::make_shared<NEDNSOverHTTPSSettings>(QStringList{});
        empty->setMatchDomains(QStringList{});
        QTest::newRow("https, empty lists, no URL")
            << DNSConfiguration{u"a"_s, {}, false, empty, {}};
        auto tls = std::make_shared<NEDNSOverTLSSettings>(QStringList{u"9.9.9.9"_s, u"::1"_s});
        tls->setServerName(u"dns.quad9.net"_s);
        QTest::newRow("tls with server name") << DNSConfiguration{u"a"_s, u"A"_s, false, tls, {}};
        QTest::newRow("cleartext, domains absent") << DNSConfiguration{
            u"a"_s, u"A"_s, false, std::make_shared<NEDNSSettings>(QStringList()), {}};
    }
    void roundTrip() {
        QFETCH(DNSConfiguration, original);
        QString error;
        const QByteArray written = DNSConfigurationStore::serialize(original);
        const auto parsed = DNSConfigurationStore::parse(written, &error);
        QVERIFY2(parsed, qPrintable(error));
        QVERIFY(DNSConfigurationStore::sameContent(*parsed, original));
        QCOMPARE(std::tuple(parsed->identifier, parsed->displayName, parsed->enabled),
                 std::tuple(original.identifier, original.displayName, original.enabled));
        QCOMPARE(DNSConfigurationStore::serialize(*parsed), written);
    }

    void rejectsAnythingButAValidFile_data() {
        QTest::addColumn<QByteArray>("data");
        QTest::newRow("valid control") << validFile();
        QTest::newRow("empty") << QByteArray();
        QTest::newRow("deep nesting") << QByteArray(100000, '[');
        QTest::newRow("format 2") << validFile("\"format\": 1", "\"format\": 2");
        QTest::newRow("empty identifier") << validFile("\"org.a\"", "\"\"");
        QTest::newRow("settings null")
            << validFile(R"({"protocol": "HTTPS", "servers": ["0.0.0.0"]})", "null");
        QTest::newRow("unknown protocol") << validFile("HTTPS", "QUIC");
        QTest::newRow("unknown action")
            << validFile("[]}", R"([{"action": "x", "interfaceTypeMatch": 0}]})");
        QTest::newRow("interface out of range")
            << validFile("[]}", R"([{"action": "ignore", "interfaceTypeMatch": 1e19}]})");
    }

    void rejectsAnythingButAValidFile() {
        QFETCH(QByteArray, data);
        QString error;
        const auto parsed = DNSConfigurationStore::parse(data, &error);
        QCOMPARE(bool(parsed), QByteArray(QTest::currentDataTag()) == "valid control");
        QCOMPARE(error.isEmpty(), bool(parsed));
    }

    void identifiersNeverLeaveTheFolder_data() {
        QTest::addColumn<QString>("identifier");
        QTest::newRow("slashes") << u"../../etc/passwd"_s;
        QTest::newRow("percent") << u"a%2Fb"_s;
        QTest::newRow("non-latin") << u"приложение"_s;
    }

    void identifiersNeverLeaveTheFolder() {
        QFETCH(QString, identifier);
        const DNSConfigurationStore store;
        const QString path = store.filePath(identifier);
        QCOMPARE(QFileInfo(path).absolutePath(), store.directory());

        auto settings = std::make_shared<NEDNSSettings>(QStringList{u"1.1.1.1"_s});
        QVERIFY(store.write({identifier, u"X"_s, false, settings, {}}, nullptr));
        const auto read = store.read(identifier);
        QCOMPARE(read.status, DNSConfigurationStore::ReadResult::ok);
        QCOMPARE(read.configuration->identifier, identifier);
        QVERIFY(store.remove(identifier, nullptr));
        QCOMPARE(store.read(identifier).status, DNSConfigurationStore::ReadResult::absent);
    }

    // Whatever sits in an app's slot, reading changes nothing; a write or removal into the slot
    // sets a damaged file of ours aside byte for byte and goes ahead, and fails on anything else
    // (a newer format, a link, a FIFO, a folder), leaving it and a link's target as they are.
    void slotContents_data() {
        QTest::addColumn<Plant>("plant");
        QTest::addColumn<ReadResult::Status>("status");
        QTest::addColumn<QString>("reason");
        QTest::newRow("truncated") << Plant::damaged << ReadResult::damaged << u"is damaged"_s;
        QTest::newRow("another app's")
            << Plant::anotherApp << ReadResult::damaged << u"names another app, org.other"_s;
        QTest::newRow("over the size limit")
            << Plant::tooLarge << ReadResult::damaged << u"over the limit of 16777216"_s;
        QTest::newRow("format 2") << Plant::newerFormat << ReadResult::newerFormat
                                  << u"newer format (2)"_s;
        QTest::newRow("link to a valid file elsewhere")
            << Plant::linkToValidFile << ReadResult::refused << u"symbolic link"_s;
        QTest::newRow("FIFO") << Plant::fifo << ReadResult::refused << u"is a FIFO"_s;
        QTest::newRow("folder") << Plant::folder << ReadResult::refused << u"is a folder"_s;
    }
    void slotContents() {
        QFETCH(Plant, plant);
        QFETCH(ReadResult::Status, status);
        QFETCH(QString, reason);
        const DNSConfigurationStore store;
        QDir(store.directory()).removeRecursively();
        QVERIFY(QDir().mkpath(store.directory()));
        const QString outside = m_env.root() + u"/outside.json"_s;
        const QByteArray other = validFile("org.a", "org.other");
        const QString slot = store.filePath(u"org.a"_s);
        QVERIFY(putFile(outside, validFile()));
        const auto doPlant = [&] {
            switch (plant) {
            case Plant::damaged:
                return putFile(slot, validFile().left(30));
            case Plant::anotherApp:
                return putFile(slot, other);
            case Plant::tooLarge:
                return putFile(slot, validFile() +
                                         QByteArray(DNSConfigurationStore::maximumFileSize, ' '));
            case Plant::newerFormat:
                return putFile(slot, validFile("\"format\": 1", "\"format\": 2"));
            case Plant::linkToValidFile:
                return QFile::link(outside, slot);
            case Plant::fifo:
                return ::mkfifo(QFile::encodeName(slot).constData(), 0600) == 0;
            case Plant::folder:
                return QDir().mkdir(slot);
            }
            return false;
        };
        QVERIFY(doPlant());
        const auto before = snapshot(store.directory());

        const ReadResult read = store.read(u"org.a"_s);
        QCOMPARE(read.status, status);
        QVERIFY2(read.reason.contains(reason), qPrintable(read.reason));
        QString error;
        const auto all = store.readAll(&error);
        QVERIFY2(all && all->size() == 1, qPrintable(error));
        QCOMPARE(all->first().status, status);
        QCOMPARE(snapshot(store.directory()), before);

        const bool setAside = status == ReadResult::damaged;
        const QByteArray planted = before.value(u"org.a.json"_s);
        // Both the removal and the write are logged, with the new path or the reason.
        for (int i = 0; i < 2; ++i)
            QTest::ignoreMessage(QtWarningMsg,
                                 QRegularExpression(setAside
                                                        ? u"^set aside: .*org\\.a\\.json is "
                                                          u"damaged.*; it is now .*\\.corrupt-"_s
                                                        : u"^refused: .*org\\.a\\.json .*"_s +
                                                              QRegularExpression::escape(reason)));
        for (const bool removing : {true, false}) {
            QString movedTo;
            const DNSConfiguration replacement{
                u"org.a"_s, u"A"_s, false, std::make_shared<NEDNSSettings>(QStringList()), {}};
            const bool done = removing ? store.remove(u"org.a"_s, &error, &movedTo)
                                       : store.write(replacement, &error, &movedTo);
            QCOMPARE(done, setAside);
            QCOMPARE(fileBytes(outside), validFile());
            if (!setAside) {
                QVERIFY2(error.contains(u"left as it is"_s), qPrintable(error));
                QCOMPARE(snapshot(store.directory()), before);
                continue;
            }
            QCOMPARE(fileBytes(movedTo), planted);
            QCOMPARE(store.read(u"org.a"_s).status, removing ? ReadResult::absent : ReadResult::ok);
            QVERIFY(QFile::remove(movedTo));
            QVERIFY(QFile::remove(slot) || removing);
            QVERIFY(doPlant());
        }
    }

    // Switching touches the switch only: members this version does not know, at the top and
    // inside settings, keep their values; a content write keeps the unknown top-level ones.
    void unknownMembersSurvive() {
        const DNSConfigurationStore store;
        QVERIFY(QDir().mkpath(store.directory()));
        const QByteArray original = validFile(R"("servers": ["0.0.0.0"]})",
                                              R"("servers": ["0.0.0.0"], "x-extra": [1, "two"]},
               "x-future": {"nested": true, "n": 12345678901234})");
        QVERIFY(putFile(store.filePath(u"org.a"_s), original));
        QString error;
        QVERIFY2(store.setEnabled(u"org.a"_s, false, &error), qPrintable(error));
        QJsonObject expected = QJsonDocument::fromJson(original).object();
        expected.insert(u"enabled"_s, false);
        QCOMPARE(QJsonDocument::fromJson(fileBytes(store.filePath(u"org.a"_s))).object(), expected);

        auto stored = *store.read(u"org.a"_s).configuration;
        stored.settings = std::make_shared<NEDNSSettings>(QStringList{u"1.1.1.1"_s});
        QVERIFY(store.write(stored, &error));
        const QJsonObject written =
            QJsonDocument::fromJson(fileBytes(store.filePath(u"org.a"_s))).object();
        QCOMPARE(written.value(u"x-future"_s), expected.value(u"x-future"_s));
        QVERIFY(!written.value(u"settings"_s).toObject().contains(u"x-extra"_s));
    }

    // No HOME and no XDG_STATE_HOME: a clear error, never a folder at the root; and a listing
    // of a store that was never written creates no folder.
    void folderComesOnlyFromTheEnvironment() {
        const QByteArray home = qgetenv("HOME"), state = qgetenv("XDG_STATE_HOME");
        qunsetenv("HOME");
        qunsetenv("XDG_STATE_HOME");
        const bool rootHadIt = QFileInfo::exists(u"/.local/state/device-platform"_s);
        const DNSConfigurationStore homeless;
        QString error;
        QVERIFY(!homeless.isAvailable());
        QVERIFY(!homeless.readAll(&error));
        QVERIFY2(error.contains(u"HOME is not set"_s), qPrintable(error));
        QVERIFY(!homeless.lock(&error));
        QVERIFY(!homeless.write(validConfiguration(), &error));
        QCOMPARE(QFileInfo::exists(u"/.local/state/device-platform"_s), rootHadIt);
        qputenv("HOME", home);
        qputenv("XDG_STATE_HOME", state);

        QDir(m_env.stateHome()).removeRecursively();
        const auto entries = DNSConfigurationStore().readAll(&error);
        QVERIFY(entries && entries->isEmpty());
        QVERIFY(!QFileInfo::exists(m_env.stateHome()));
        QVERIFY(QDir().mkpath(m_env.stateHome()));
    }

    // The lock is a flock: held by another process it yields a "busy" error after the wait;
    // once that process is killed, the kernel has released it and it is taken at once.
    void lockIsReleasedWithItsHolder() {
        QProcess holder;
        holder.start(QCoreApplication::applicationFilePath(), {u"hold-lock"_s});
        QVERIFY(holder.waitForReadyRead(30'000));
        QCOMPARE(holder.readLine(), QByteArray("locked\n"));
        const DNSConfigurationStore store;
        QString error;
        QVERIFY(!store.lock(&error, std::chrono::milliseconds(50)));
        QVERIFY2(error.contains(u"busy"_s), qPrintable(error));
        ::kill(pid_t(holder.processId()), SIGKILL);
        QVERIFY(holder.waitForFinished(30'000));
        QVERIFY2(store.lock(&error, std::chrono::milliseconds(0)), qPrintable(error));

        // A holder killed before it could write anything into the lock file leaves it empty:
        // that is no lock at all.
        QVERIFY(QFile::remove(store.lockFilePath()));
        QVERIFY(putFile(store.lockFilePath(), QByteArray()));
        QVERIFY2(store.lock(&error, std::chrono::milliseconds(0)), qPrintable(error));
    }

    void platformFolderFollowsTheEnvironment() {
        const QByteArray saved = qgetenv("XDG_STATE_HOME");
        qputenv("XDG_STATE_HOME", "/somewhere/state");
        QCOMPARE(platformStateDirectory(), u"/somewhere/state/device-platform"_s);
        qputenv("XDG_STATE_HOME", "relative/state"); // invalid by XDG: ignored
        QCOMPARE(platformStateDirectory(), QDir::homePath() + u"/.local/state/device-platform"_s);
        qputenv("XDG_STATE_HOME", saved);
    }
};

int main(int argc, char **argv) {
    QCoreApplication app(argc, argv);
    // Re-invoked as another process that holds the store's lock until it is killed.
    if (QCoreApplication::arguments().value(1) == u"hold-lock") {
        QString error;
        const auto lock = DNSConfigurationStore().lock(&error);
        if (!lock)
            return 1;
        QTextStream(stdout) << "locked" << Qt::endl;
        for (;;)
            ::pause();
    }
    DNSConfigurationStoreTest test;
    QTEST_SET_MAIN_SOURCE_PATH
    return QTest::qExec(&test, argc, argv);
}
#include "tst_dns_configuration_store.moc"
