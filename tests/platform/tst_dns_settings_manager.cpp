#include "common/DnsWriterSupport.h"
#include "common/EnforcementTestSupport.h"
#include "common/TestEnvironment.h"
#include "networkextension/DeviceDNSSettings.h"

#include <QDir>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTest>

#include <sys/stat.h>

using namespace Qt::StringLiterals;
using namespace TestSupport;
using Operation = NEDNSSettingsManager::Operation;
using ReadResult = DNSConfigurationStore::ReadResult;

namespace {

const QString appId = u"org.quellnet.app"_s;

NSError configurationError(qint64 code) {
    return {NEConfigurationErrorDomain, code, {}};
}

QString storedPath() {
    return DNSConfigurationStore().filePath(appId);
}

void switchStored(const QString &identifier, bool on) {
    QVERIFY(DNSConfigurationStore().setEnabled(identifier, on, nullptr));
}

QByteArray validFile(const char *from = nullptr, const char *to = nullptr) {
    QByteArray data = R"({"format": 1, "identifier": "org.a", "displayName": "A", "enabled": true,
              "settings": {"protocol": "HTTPS", "servers": ["0.0.0.0"]}, "onDemandRules": []})";
    return from ? data.replace(from, to) : data;
}

} // namespace

class DNSSettingsManagerTest : public QObject {
    Q_OBJECT

    TestEnvironment m_env;
    NEDNSSettingsManager &manager = NEDNSSettingsManager::sharedManager();
    const QByteArray m_writer = qgetenv("DEVICE_PLATFORM_ENFORCE_WRITER");

private Q_SLOTS:
    void init() {
        setBundle(appId);
        QDir(DNSConfigurationStore().directory()).removeRecursively();
        manager.setDnsSettings(nullptr);
        QFile::remove(m_env.enforcedListPath());
        qputenv("DEVICE_PLATFORM_ENFORCE_WRITER", m_writer);
        QVERIFY(putFile(m_env.nsswitchPath(), TestEnvironment::installedNsswitch()));
    }

    // A save bigger than the reader accepts fails and leaves the stored file.
    void oversizedSaveKeepsTheStoredFile() {
        manager.setDnsSettings(generationSettings(0, 2));
        QCOMPARE(run(Operation::save), std::nullopt);
        const QByteArray before = fileBytes(storedPath());
        manager.dnsSettings()->setMatchDomains(QStringList(199, QString(85'000, u'x')));
        QCOMPARE(run(Operation::save), configurationError(6));
        QCOMPARE(fileBytes(storedPath()), before);
    }

    // While another process holds the lock, an event posted after the save started is handled
    // first; it lets the lock go, and only then does the save complete.
    void guiThreadRunsWhileSaveWaitsForTheLock() {
        LockHolder holder;
        QVERIFY(holder.start());
        QStringList events;
        manager.setDnsSettings(generationSettings(3));
        manager.saveToPreferencesWithCompletionHandler(
            [&](OptionalError error) { events << (error ? u"failed"_s : u"saved"_s); });
        const auto event = [&] { events << u"event"_s, holder.release(); };
        QMetaObject::invokeMethod(this, event, Qt::QueuedConnection);
        QTRY_COMPARE_WITH_TIMEOUT(events.size(), 2, 60'000);
        QCOMPARE(events, (QStringList{u"event"_s, u"saved"_s}));
        QTRY_COMPARE_WITH_TIMEOUT(holder.process.state(), QProcess::NotRunning, 30'000);
    }

    // When this computer cannot follow a change of the switched-on configuration (the module
    // is not installed, the writer refuses), the stored one and the list stay as they were and
    // the completion gets "not enforced", never success or "unchanged".
    void notEnforcedChangesStoreNothing() {
        manager.setDnsSettings(generationSettings(1, 2));
        QCOMPARE(run(Operation::save), std::nullopt);
        QVERIFY(!QFile::exists(m_env.enforcedListPath())); // off: nothing blocked
        switchStored(appId, true);
        manager.dnsSettings()->setMatchDomains(generationSettings(2, 2)->matchDomains());
        QCOMPARE(run(Operation::save), std::nullopt);
        const QByteArray stored = fileBytes(storedPath()),
                         list = fileBytes(m_env.enforcedListPath());
        manager.setDnsSettings(generationSettings(3, 2));
        QVERIFY(putFile(m_env.nsswitchPath(), "hosts: files dns\n"));
        QCOMPARE(run(Operation::save), configurationError(10));
        QVERIFY(putFile(m_env.nsswitchPath(), TestEnvironment::installedNsswitch()));
        QVERIFY(useFakeWriter(m_env.root() + u"/refusing"_s, 3, "quellnet-enforce: no"));
        QCOMPARE(run(Operation::remove), configurationError(10));
        QCOMPARE(fileBytes(storedPath()), stored);
        QCOMPARE(fileBytes(m_env.enforcedListPath()), list);
    }

    // Switched on but not blocking here: the load reads false and leaves every file as it is;
    // an update the computer cannot follow stores nothing; the same names again bring the list
    // back into step where they can.
    void loadTellsWhetherItBlocksHere_data() {
        QTest::addColumn<QString>("change");
        for (const char *change : {"hosts line removed", "list deleted", "another account's list",
                                   "update not enforced", "update to a real server"})
            QTest::newRow(change) << QString::fromLatin1(change);
    }
    void loadTellsWhetherItBlocksHere() {
        QFETCH(QString, change);
        manager.setDnsSettings(generationSettings(1, 2));
        QCOMPARE(run(Operation::save), std::nullopt);
        QCOMPARE(DeviceDNSSettings().setEnabled(appId, true).status,
                 DeviceDNSSettings::Outcome::done);
        QCOMPARE(run(Operation::load), std::nullopt);
        QVERIFY(manager.isEnabled());

        if (change == u"hosts line removed") {
            QVERIFY(putFile(m_env.nsswitchPath(), "hosts: files dns\n"));
        } else if (change == u"another account's list") {
            QVERIFY(QFile::remove(m_env.enforcedListPath()));
            QVERIFY(writeListAs(::getuid() + 1, m_env.systemRoot(), appId, "g1-0.example\n"));
        } else {
            QVERIFY(QFile::remove(m_env.enforcedListPath()));
        }
        if (change == u"update not enforced") {
            QVERIFY(useFakeWriter(m_env.root() + u"/refusing"_s, 3, "quellnet-enforce: no"));
            manager.setDnsSettings(generationSettings(2, 2));
            QCOMPARE(run(Operation::save), configurationError(10));
        } else if (change == u"update to a real server") {
            manager.setDnsSettings(generationSettings(2, 2, u"9.9.9.9"_s));
            QCOMPARE(run(Operation::save), std::nullopt);
        }
        const auto folder = folderSnapshot(DNSConfigurationStore().directory());
        const QByteArray list = fileBytes(m_env.enforcedListPath());
        QCOMPARE(run(Operation::load), std::nullopt);
        QVERIFY(!manager.isEnabled());
        QVERIFY(DNSConfigurationStore().read(appId).configuration->enabled);
        QCOMPARE(folderSnapshot(DNSConfigurationStore().directory()), folder);
        QCOMPARE(fileBytes(m_env.enforcedListPath()), list);

        if (change == u"list deleted" || change == u"update not enforced") {
            qputenv("DEVICE_PLATFORM_ENFORCE_WRITER", m_writer);
            manager.setDnsSettings(generationSettings(1, 2));
            QCOMPARE(run(Operation::save), configurationError(9));
            QCOMPARE(run(Operation::load), std::nullopt);
            QVERIFY(manager.isEnabled());
        }
    }

    // The Settings page's state of each configuration follows what this computer does, and a
    // file it cannot read is shown, never changed.
    void pageTellsEachState() {
        using State = DeviceDNSSettings::State;
        const DeviceDNSSettings page;
        const auto states = [&] {
            QList<std::pair<QString, State>> seen;
            for (const auto &entry : page.entries().value_or(QList<DeviceDNSSettings::Entry>()))
                seen.append({entry.identifier, entry.state});
            return seen;
        };
        manager.setDnsSettings(generationSettings(1, 2));
        QCOMPARE(run(Operation::save), std::nullopt);
        const QByteArray newer = R"({"format": 9, "identifier": "org.upcoming", "enabled": false})";
        QVERIFY(putFile(DNSConfigurationStore().filePath(u"org.upcoming"_s), newer));
        QCOMPARE(states(), (QList<std::pair<QString, State>>{
                               {appId, State::off}, {u"org.upcoming"_s, State::unreadable}}));
        QCOMPARE(page.setEnabled(u"Quellnet"_s, true).status, DeviceDNSSettings::Outcome::done);
        QCOMPARE(states().first(), std::pair(appId, State::blocking));
        QCOMPARE(page.entries()->first().blockedCount, 2);
        // The browser signal is held with the list, and the page says so, as `dns check` does.
        QVERIFY(page.entries()->first().explanation.contains(u"use-application-dns.net"_s));

        QVERIFY(putFile(m_env.nsswitchPath(), "hosts: files dns\n"));
        QCOMPARE(states().first(), std::pair(appId, State::notInstalled));
        QVERIFY(putFile(m_env.nsswitchPath(), TestEnvironment::installedNsswitch()));
        QVERIFY(QFile::remove(m_env.enforcedListPath()));
        QCOMPARE(states().first(), std::pair(appId, State::notEnforced));
        QVERIFY(writeListAs(::getuid() + 1, m_env.systemRoot(), u"org.other"_s, "x.example\n"));
        QCOMPARE(states().first(), std::pair(appId, State::otherAccount));
        QCOMPARE(page.setEnabled(appId, false).status, DeviceDNSSettings::Outcome::done);
        QCOMPARE(states().first(), std::pair(appId, State::otherAccount)); // cannot go on
        QCOMPARE(fileBytes(DNSConfigurationStore().filePath(u"org.upcoming"_s)), newer);
    }

    // A manager gone before its load completes still gets its answer, and nothing crashes.
    void managerGoneBeforeItsLoadCompletes() {
        auto gone = std::make_unique<NEDNSSettingsManager>(m_env.root() + u"/own-platform"_s);
        bool answered = false;
        gone->loadFromPreferencesWithCompletionHandler([&](OptionalError) { answered = true; });
        gone.reset();
        QTRY_VERIFY(answered);
    }

    // Two processes saving their own and a shared, switched-on app's configuration: every file
    // ends whole at some writer's last generation, no stray files, and the user's switch stays.
    void concurrentWritersLeaveAConsistentFolder() {
        constexpr int count = 30;
        setBundle(u"org.shared"_s);
        manager.setDnsSettings(generationSettings(-1));
        QCOMPARE(run(Operation::save), std::nullopt);
        switchStored(u"org.shared"_s, true);

        QProcess children[2];
        for (int i : {0, 1})
            children[i].start(QCoreApplication::applicationFilePath(),
                              {u"save"_s, QString::number(i * 1000), QString::number(count),
                               i ? u"org.b"_s : u"org.a"_s, u"org.shared"_s});
        for (QProcess &child : children)
            QVERIFY(child.waitForFinished(240'000) && child.exitCode() == 0);

        const DNSConfigurationStore store;
        QCOMPARE(QDir(store.directory()).entryList(QDir::Files | QDir::Hidden),
                 (QStringList{u"org.a.json"_s, u"org.b.json"_s, u"org.shared.json"_s}));
        const auto generation = [&](const QString &id) {
            return generationOf(*store.read(id).configuration);
        };
        QCOMPARE(generation(u"org.a"_s), count - 1);
        QCOMPARE(generation(u"org.b"_s), 1000 + count - 1);
        QVERIFY(QList<qint64>({count - 1, 1000 + count - 1}).contains(generation(u"org.shared"_s)));
        QVERIFY(store.read(u"org.shared"_s).configuration->enabled);
    }

    // Every field survives serialize and parse exactly: every rule action, absent against empty
    // lists, order and repeats, 64-bit interface types, odd identifiers and names.
    void roundTrip() {
        auto https = std::make_shared<NEDNSOverHTTPSSettings>(QStringList{u"0.0.0.0"_s});
        https->setMatchDomains(QStringList{u"b.example"_s, u"a.example"_s, u"b.example"_s});
        https->setServerURL(QUrl(u"https://dns.example/dns-query?x=%2F"_s));
        auto rule = std::make_shared<NEOnDemandRuleDisconnect>();
        rule->setInterfaceTypeMatch(std::numeric_limits<qint64>::max());
        rule->setSSIDMatch(QStringList{});
        const QList<DNSConfiguration> originals{
            {u"org.a/../b%"_s,
             u"\u00c4 \"name\""_s,
             true,
             https,
             {rule, std::make_shared<NEOnDemandRuleConnect>(),
              std::make_shared<NEOnDemandRuleEvaluateConnection>(),
              std::make_shared<NEOnDemandRuleIgnore>()}},
            {u"a"_s, u"A"_s, false, std::make_shared<NEDNSSettings>(QStringList()), {}}};
        for (const DNSConfiguration &original : originals) {
            const QByteArray written = DNSConfigurationStore::serialize(original);
            const auto parsed = DNSConfigurationStore::parse(written);
            QVERIFY(parsed && DNSConfigurationStore::sameContent(*parsed, original));
            QCOMPARE(DNSConfigurationStore::serialize(*parsed), written);
        }
    }

    void identifiersNeverLeaveTheFolder() {
        const DNSConfigurationStore store;
        for (const QString &identifier : {u"../../etc/passwd"_s, u"a%2Fb"_s}) {
            QCOMPARE(QFileInfo(store.filePath(identifier)).absolutePath(), store.directory());
            QVERIFY(store.write({identifier, u"X"_s, false, generationSettings(1), {}}, nullptr));
            QCOMPARE(store.read(identifier).configuration->identifier, identifier);
        }
    }

    // Whatever sits in an app's slot, reading changes nothing; a write or removal sets a damaged
    // file of ours aside byte for byte and goes ahead, and fails on anything else (a newer
    // format, a link, a FIFO, a folder), leaving it and a link's target as they are.
    void slotContents_data() {
        QTest::addColumn<QByteArray>("content"); // or "@link" to a valid file, "@fifo", "@folder"
        QTest::addColumn<ReadResult::Status>("status");
        QTest::newRow("truncated") << validFile().left(30) << ReadResult::damaged;
        QTest::newRow("deep nesting") << QByteArray(100000, '[') << ReadResult::damaged;
        QTest::newRow("interface out of range")
            << validFile("[]}", R"([{"action": "ignore", "interfaceTypeMatch": 1e19}]})")
            << ReadResult::damaged;
        QTest::newRow("over the size limit")
            << validFile() + QByteArray(DNSConfigurationStore::maximumFileSize, ' ')
            << ReadResult::damaged;
        QTest::newRow("format 2") << validFile("\"format\": 1", "\"format\": 2")
                                  << ReadResult::newerFormat;
        QTest::newRow("link") << QByteArray("@link") << ReadResult::refused;
        QTest::newRow("FIFO") << QByteArray("@fifo") << ReadResult::refused;
        QTest::newRow("folder") << QByteArray("@folder") << ReadResult::refused;
    }
    void slotContents() {
        QFETCH(QByteArray, content);
        QFETCH(ReadResult::Status, status);
        const DNSConfigurationStore store;
        QVERIFY(QDir().mkpath(store.directory()));
        const QString outside = m_env.root() + u"/outside.json"_s;
        const QString slot = store.filePath(u"org.a"_s);
        QVERIFY(putFile(outside, validFile()));
        const auto plant = [&] {
            return content == "@link"     ? QFile::link(outside, slot)
                   : content == "@fifo"   ? ::mkfifo(QFile::encodeName(slot).constData(), 0600) == 0
                   : content == "@folder" ? QDir().mkdir(slot)
                                          : putFile(slot, content);
        };
        QVERIFY(plant());
        const auto before = folderSnapshot(store.directory());

        QCOMPARE(store.read(u"org.a"_s).status, status);
        const auto all = store.readAll(nullptr);
        QVERIFY(all && all->size() == 1);
        QCOMPARE(all->first().status, status);
        QCOMPARE(folderSnapshot(store.directory()), before);

        const bool setAside = status == ReadResult::damaged;
        for (const bool removing : {true, false}) {
            QString movedTo;
            const DNSConfiguration replacement{
                u"org.a"_s, u"A"_s, false, std::make_shared<NEDNSSettings>(QStringList()), {}};
            QCOMPARE(removing ? store.remove(u"org.a"_s, nullptr, &movedTo)
                              : store.write(replacement, nullptr, &movedTo),
                     setAside);
            QCOMPARE(fileBytes(outside), validFile());
            if (!setAside) {
                QCOMPARE(folderSnapshot(store.directory()), before);
                continue;
            }
            QCOMPARE(fileBytes(movedTo), before.value(u"org.a.json"_s));
            QCOMPARE(store.read(u"org.a"_s).status, removing ? ReadResult::absent : ReadResult::ok);
            QVERIFY(QFile::remove(movedTo) && (QFile::remove(slot) || removing) && plant());
        }
    }

    // Switching touches the switch only: members this version does not know, at the top and
    // inside settings, keep their values.
    void unknownMembersSurvive() {
        const DNSConfigurationStore store;
        const QString path = store.filePath(u"org.a"_s);
        const QByteArray original = validFile(R"("servers": ["0.0.0.0"]})",
                                              R"("servers": ["0.0.0.0"], "x-extra": [1, "two"]},
               "x-future": {"nested": true, "n": 12345678901234})");
        QVERIFY(QDir().mkpath(store.directory()) && putFile(path, original));
        QVERIFY(store.setEnabled(u"org.a"_s, false, nullptr));
        QJsonObject expected = QJsonDocument::fromJson(original).object();
        expected.insert(u"enabled"_s, false);
        QCOMPARE(QJsonDocument::fromJson(fileBytes(path)).object(), expected);
    }

    // A holder killed before it wrote anything leaves an empty lock file: that is no lock.
    void emptyLockFileIsNoLock() {
        const DNSConfigurationStore store;
        QVERIFY(QDir().mkpath(store.directory()) && putFile(store.lockFilePath(), {}));
        QVERIFY(store.lock(nullptr, std::chrono::milliseconds(0)));
    }
};

int main(int argc, char **argv) {
    QCoreApplication app(argc, argv);
    if (const auto child = runChild(QCoreApplication::arguments()))
        return *child;
    DNSSettingsManagerTest test;
    QTEST_SET_MAIN_SOURCE_PATH
    return QTest::qExec(&test, argc, argv);
}

#include "tst_dns_settings_manager.moc"
