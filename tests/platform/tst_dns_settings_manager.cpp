#include "common/DnsWriterSupport.h"
#include "common/EnforcementTestSupport.h"
#include "common/TestEnvironment.h"
#include "networkextension/DeviceDNSSettings.h"

#include <QDir>
#include <QTest>

using namespace Qt::StringLiterals;
using namespace TestSupport;
using Operation = NEDNSSettingsManager::Operation;

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
