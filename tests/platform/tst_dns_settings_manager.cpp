#include "common/TestEnvironment.h"
#include "foundation/NSBundle.h"
#include "networkextension/DNSConfigurationStore.h"
#include "networkextension/NEDNSSettingsManager.h"

#include "common/EnforcementTestSupport.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTest>

#include <array>

using namespace Qt::StringLiterals;

using Operation = NEDNSSettingsManager::Operation;

namespace {

const QString appId = u"org.quellnet.app"_s;

void setBundle(const QString &identifier) {
    NSBundle::mainBundle().setInfoDictionary(QVariantMap{
        {u"CFBundleIdentifier"_s, identifier}, {u"CFBundleDisplayName"_s, u"Quellnet"_s}});
}

/** A blocking-style configuration whose match domains all carry `generation`. */
std::shared_ptr<NEDNSOverHTTPSSettings> generationSettings(int generation, int count = 1) {
    auto settings = std::make_shared<NEDNSOverHTTPSSettings>(QStringList{u"0.0.0.0"_s});
    QStringList domains;
    for (int i = 0; i < count; ++i)
        domains.append(u"g%1-%2.example"_s.arg(generation).arg(i));
    settings->setMatchDomains(domains);
    return settings;
}

/** Generation of a configuration made by generationSettings, or -1 if it is torn or foreign. */
int generationOf(const DNSConfiguration &configuration) {
    const QString first = configuration.settings->matchDomains().value_or(QStringList()).value(0);
    const int generation = first.mid(1).section(u'-', 0, 0).toInt();
    const DNSConfiguration expected{{}, {}, false, generationSettings(generation), {}};
    return DNSConfigurationStore::sameContent(configuration, expected) ? generation : -1;
}

NSError configurationError(qint64 code) {
    return {NEConfigurationErrorDomain, code, {}};
}

/** Runs one manager operation to its completion. */
OptionalError run(Operation operation) {
    static const std::array calls{
        &NEDNSSettingsManager::loadFromPreferencesWithCompletionHandler,
        &NEDNSSettingsManager::saveToPreferencesWithCompletionHandler,
        &NEDNSSettingsManager::removeFromPreferencesWithCompletionHandler};
    std::optional<OptionalError> result;
    (NEDNSSettingsManager::sharedManager().*
     calls[int(operation)])([&](OptionalError error) { result = std::move(error); });
    while (!result)
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    return *result;
}

// The test binary re-invoked stands in for a second process: it saves generations
// first..first+count-1 for each app in turn.
int childSave(int first, int count, const QStringList &identifiers) {
    for (int g = first; g < first + count; ++g) {
        for (const QString &identifier : identifiers) {
            setBundle(identifier);
            NEDNSSettingsManager::sharedManager().setDnsSettings(generationSettings(g));
            if (run(Operation::save))
                return 1;
        }
    }
    return 0;
}

} // namespace

class DNSSettingsManagerTest : public QObject {
    Q_OBJECT

    TestEnvironment m_env;
    NEDNSSettingsManager &manager = NEDNSSettingsManager::sharedManager();

    static QString storedPath() { return DNSConfigurationStore().filePath(appId); }
    void switchStored(const QString &identifier, bool on) {
        const DNSConfigurationStore store;
        auto stored = store.read(identifier);
        QVERIFY(stored.configuration);
        stored.configuration->enabled = on;
        QVERIFY(store.write(*stored.configuration, nullptr));
    }

private Q_SLOTS:
    void init() {
        QVERIFY(m_env.isValid());
        setBundle(appId);
        QDir(m_env.stateHome() + u"/device-platform"_s).removeRecursively();
        manager.setDnsSettings(nullptr);
        QFile::remove(m_env.enforcedListPath());
        QVERIFY(putFile(m_env.nsswitchPath(), TestEnvironment::installedNsswitch()));
    }

    // Completions run later, in call order; save stores a copy, so later edits do not leak in;
    // an injected failure reaches its completion and changes nothing.
    void completionsAreNeverSynchronous() {
        auto settings = generationSettings(1);
        manager.setDnsSettings(settings);
        NEDNSSettingsManager::failNextOperationForTesting(Operation::remove, {u"X"_s, 1, {}});
        QList<OptionalError> completed;
        const auto record = [&](OptionalError error) { completed.append(error); };
        manager.saveToPreferencesWithCompletionHandler(record);
        settings->setMatchDomains(QStringList{u"changed.example"_s});
        manager.loadFromPreferencesWithCompletionHandler(record);
        manager.removeFromPreferencesWithCompletionHandler(record);
        QVERIFY(completed.isEmpty());
        QTRY_COMPARE(completed, (QList<OptionalError>{{}, {}, NSError{u"X"_s, 1, {}}}));
        QCOMPARE(manager.dnsSettings()->matchDomains(), generationSettings(1)->matchDomains());
        QVERIFY(QFile::exists(storedPath())); // the injected failure removed nothing
    }

    // Saving without settings or app identifier is invalid (code 1) and stores nothing; content
    // equal to the stored one fails with code 9 whatever the switch says, while order counts;
    // more than the reader accepts fails with code 6 and stores nothing; no save flips the switch.
    // Remove deletes the file but leaves the snapshot.
    void saveAndRemove() {
        QCOMPARE(run(Operation::save), configurationError(1));
        manager.setDnsSettings(generationSettings(0, 2));
        QCOMPARE(run(Operation::save), std::nullopt);
        switchStored(appId, true);
        manager.setDnsSettings(generationSettings(0, 2));
        QCOMPARE(run(Operation::save), configurationError(9));
        const QByteArray before = fileBytes(storedPath());
        manager.dnsSettings()->setMatchDomains(QStringList(199, QString(85'000, u'x')));
        QCOMPARE(run(Operation::save), configurationError(6)); // over the reader's limit
        QCOMPARE(fileBytes(storedPath()), before);
        const QStringList reordered{u"g0-1.example"_s, u"g0-0.example"_s};
        manager.dnsSettings()->setMatchDomains(reordered);
        QCOMPARE(run(Operation::save), std::nullopt);
        QCOMPARE(run(Operation::load), std::nullopt);
        QVERIFY(manager.isEnabled());
        QCOMPARE(manager.dnsSettings()->matchDomains(), reordered);

        QCOMPARE(run(Operation::remove), std::nullopt);
        QVERIFY(!QFile::exists(storedPath()));
        QVERIFY(manager.dnsSettings() && manager.isEnabled());
        QCOMPARE(run(Operation::remove), std::nullopt); // nothing to remove: no error
        QCOMPARE(run(Operation::load), std::nullopt);
        QVERIFY(!manager.isEnabled() && !manager.dnsSettings());

        NSBundle::mainBundle().setInfoDictionary(std::nullopt);
        manager.setDnsSettings(generationSettings(1));
        for (Operation operation : {Operation::load, Operation::save, Operation::remove})
            QCOMPARE(run(operation), configurationError(1));
    }

    // A load never changes a file: an unreadable one fails the load with code 6, keeping the
    // snapshot, and stays where it is. A save or removal into the slot sets a damaged file of
    // ours aside byte for byte and goes ahead; a newer format fails them (never code 9) and
    // stays untouched.
    void unreadableFiles_data() {
        QTest::addColumn<Operation>("operation");
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<bool>("setAside");
        const auto file = [](const QString &id) {
            return DNSConfigurationStore::serialize({id, u"Q"_s, true, generationSettings(1), {}});
        };
        const QByteArray truncated = file(appId).left(40);
        const QByteArray newer = file(appId).replace("\"format\": 1", "\"format\": 2");
        QTest::newRow("load, truncated") << Operation::load << truncated << false;
        QTest::newRow("load, another app's") << Operation::load << file(u"org.other"_s) << false;
        QTest::newRow("save, truncated") << Operation::save << truncated << true;
        QTest::newRow("save, format 2") << Operation::save << newer << false;
        QTest::newRow("remove, truncated") << Operation::remove << truncated << true;
    }
    void unreadableFiles() {
        QFETCH(Operation, operation);
        QFETCH(QByteArray, content);
        QFETCH(bool, setAside);
        const DNSConfigurationStore store;
        QVERIFY(QDir().mkpath(store.directory()));
        QVERIFY(putFile(storedPath(), content));
        manager.setDnsSettings(generationSettings(7));

        QCOMPARE(run(operation), setAside ? OptionalError() : configurationError(6));
        QCOMPARE(manager.dnsSettings()->matchDomains(), generationSettings(7)->matchDomains());
        const QStringList aside = QDir(store.directory()).entryList({u"*.corrupt-*"_s});
        QCOMPARE(aside.size(), setAside ? 1 : 0);
        QCOMPARE(fileBytes(setAside ? store.directory() + u'/' + aside.first() : storedPath()),
                 content);
    }

    // The GUI thread keeps running while a save waits for a lock another process holds: an
    // event posted after the save started is handled first, and only then is the lock let go,
    // after which the save completes.
    void guiThreadRunsWhileSaveWaitsForTheLock() {
        QProcess holder;
        holder.start(QCoreApplication::applicationFilePath(), {u"hold-lock"_s});
        QVERIFY(holder.waitForReadyRead(30'000));
        QCOMPARE(holder.readLine(), QByteArray("locked\n"));

        QStringList events;
        manager.setDnsSettings(generationSettings(3));
        manager.saveToPreferencesWithCompletionHandler([&](OptionalError error) {
            events << (error ? u"save failed: "_s + error->localizedDescription : u"saved"_s);
        });
        QMetaObject::invokeMethod(
            this,
            [&] {
                events << u"event"_s;
                holder.closeWriteChannel(); // the holder lets go once its stdin ends
            },
            Qt::QueuedConnection);
        QTRY_COMPARE_WITH_TIMEOUT(events.size(), 2, 60'000);
        QCOMPARE(events, (QStringList{u"event"_s, u"saved"_s}));
        QTRY_COMPARE_WITH_TIMEOUT(holder.state(), QProcess::NotRunning, 30'000);
        QCOMPARE(holder.exitCode(), 0);
    }

    // Saving or removing the switched-on configuration changes what this computer blocks, and
    // when that cannot happen the stored configuration stays as it was and the completion gets
    // an error that is not "unchanged".
    void switchedOnChangesAreEnforced() {
        const QString list = m_env.enforcedListPath();
        const QByteArray header = enforcedListHeader(appId.toUtf8());
        manager.setDnsSettings(generationSettings(1, 2));
        QCOMPARE(run(Operation::save), std::nullopt);
        QVERIFY(!QFile::exists(list)); // off: nothing blocked
        switchStored(appId, true);

        manager.setDnsSettings(generationSettings(2, 2));
        QCOMPARE(run(Operation::save), std::nullopt);
        QCOMPARE(fileBytes(list), header + "g2-0.example\ng2-1.example\n");

        const QByteArray stored = fileBytes(storedPath());
        QVERIFY(putFile(m_env.nsswitchPath(), "hosts: files dns\n"));
        manager.setDnsSettings(generationSettings(3, 2));
        QCOMPARE(run(Operation::save), configurationError(10));
        QCOMPARE(fileBytes(storedPath()), stored);
        QCOMPARE(fileBytes(list), header + "g2-0.example\ng2-1.example\n");

        // Removing needs no installed module, only the writer's consent.
        const QByteArray writer = qgetenv("DEVICE_PLATFORM_ENFORCE_WRITER");
        QVERIFY(useFakeWriter(m_env.root() + u"/refusing"_s, 3, "quellnet-enforce: no"));
        QCOMPARE(run(Operation::remove), configurationError(10));
        QCOMPARE(fileBytes(storedPath()), stored);
        qputenv("DEVICE_PLATFORM_ENFORCE_WRITER", writer);
        QCOMPARE(run(Operation::remove), std::nullopt);
        QVERIFY(!QFile::exists(storedPath()) && !QFile::exists(list));
    }

    // Two processes saving their own and a shared app's configuration: every file ends whole at
    // some writer's last generation, no stray files, and the user's switch survives.
    void concurrentWritersLeaveAConsistentFolder() {
        constexpr int count = 30; // the shared one is on: every save of it runs the writer
        setBundle(u"org.shared"_s);
        manager.setDnsSettings(generationSettings(-1));
        QCOMPARE(run(Operation::save), std::nullopt);
        switchStored(u"org.shared"_s, true);

        QProcess children[2];
        for (int i : {0, 1})
            children[i].start(QCoreApplication::applicationFilePath(),
                              {u"child-save"_s, QString::number(i * 1000), QString::number(count),
                               i ? u"org.b"_s : u"org.a"_s, u"org.shared"_s});
        for (QProcess &child : children)
            QVERIFY(child.waitForFinished(240'000) && child.exitCode() == 0);

        const DNSConfigurationStore store;
        QCOMPARE(QDir(store.directory()).entryList(QDir::Files | QDir::Hidden),
                 (QStringList{u"org.a.json"_s, u"org.b.json"_s, u"org.shared.json"_s}));
        QCOMPARE(generationOf(*store.read(u"org.a"_s).configuration), count - 1);
        QCOMPARE(generationOf(*store.read(u"org.b"_s).configuration), 1000 + count - 1);
        const auto shared = store.read(u"org.shared"_s).configuration;
        QVERIFY(shared && shared->enabled &&
                (QList{count - 1, 1000 + count - 1}.contains(generationOf(*shared))));
    }
};

int main(int argc, char **argv) {
    QCoreApplication app(argc, argv);
    const QStringList arguments = QCoreApplication::arguments();
    if (arguments.value(1) == u"hold-lock") {
        QString error;
        const auto lock = DNSConfigurationStore().lock(&error);
        if (!lock)
            return 1;
        QTextStream(stdout) << "locked" << Qt::endl;
        QFile in;
        if (!in.open(stdin, QIODevice::ReadOnly))
            return 1;
        in.readAll(); // until the test closes our stdin
        return 0;
    }
    if (arguments.value(1) == u"child-save")
        return childSave(arguments.value(2).toInt(), arguments.value(3).toInt(), arguments.mid(4));
    DNSSettingsManagerTest test;
    QTEST_SET_MAIN_SOURCE_PATH
    return QTest::qExec(&test, argc, argv);
}

#include "tst_dns_settings_manager.moc"
