#include "common/TestEnvironment.h"
#include "foundation/NSBundle.h"
#include "networkextension/DNSConfigurationStore.h"
#include "networkextension/NEDNSSettingsManager.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QRandomGenerator>
#include <QTest>

#include <csignal>

using namespace Qt::StringLiterals;

namespace {

const QString appId = u"org.quellnet.app"_s;

using Change = std::function<void(NEDNSOverHTTPSSettings &, NEOnDemandRuleList &)>;

void setBundle(const QString &identifier, const QString &name = u"Quellnet"_s) {
    NSBundle::mainBundle().setInfoDictionary(
        QVariantMap{{u"CFBundleIdentifier"_s, identifier}, {u"CFBundleDisplayName"_s, name}});
}

/** A blocking-style configuration whose match domains all carry `generation`. */
std::shared_ptr<NEDNSSettings> generationSettings(int generation, int count = 1) {
    auto settings = std::make_shared<NEDNSOverHTTPSSettings>(QStringList{u"0.0.0.0"_s});
    QStringList domains;
    for (int i = 0; i < count; ++i)
        domains.append(u"g%1-%2.example"_s.arg(generation).arg(i));
    settings->setMatchDomains(domains);
    settings->setServerURL(QUrl(u"https://dns.example/dns-query"_s));
    return settings;
}

/** Generation of a configuration made by generationSettings, or -1 if it is torn or foreign. */
int generationOf(const DNSConfiguration &configuration, int count) {
    const auto &domains = configuration.settings->matchDomains();
    if (!domains || domains->size() != count)
        return -1;
    const int generation = domains->first().mid(1).section(u'-', 0, 0).toInt();
    return DNSConfigurationStore::sameContent(
               configuration,
               DNSConfiguration{{}, {}, false, generationSettings(generation, count), {}})
               ? generation
               : -1;
}

/** Runs one manager operation to its completion inside a local event loop. */
OptionalError await(void (NEDNSSettingsManager::*operation)(NEDNSSettingsManager::Completion)) {
    OptionalError result;
    bool done = false;
    QEventLoop loop;
    (NEDNSSettingsManager::sharedManager().*operation)([&](OptionalError error) {
        result = std::move(error);
        done = true;
        loop.quit();
    });
    if (!done)
        loop.exec();
    return result;
}

OptionalError loadNow() {
    return await(&NEDNSSettingsManager::loadFromPreferencesWithCompletionHandler);
}
OptionalError saveNow() {
    return await(&NEDNSSettingsManager::saveToPreferencesWithCompletionHandler);
}
OptionalError removeNow() {
    return await(&NEDNSSettingsManager::removeFromPreferencesWithCompletionHandler);
}

QByteArray fileBytes(const QString &path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// Child process modes: the test binary re-invoked stands in for a second process.

int childLoad() {
    setBundle(appId);
    if (const auto error = loadNow()) {
        QTextStream(stdout) << "error " << error->code << Qt::endl;
        return 1;
    }
    auto &manager = NEDNSSettingsManager::sharedManager();
    if (!manager.dnsSettings()) {
        QTextStream(stdout) << "nothing" << Qt::endl;
        return 0;
    }
    QTextStream(stdout) << DNSConfigurationStore::serialize(
        {appId, u"Quellnet"_s, manager.isEnabled(), manager.dnsSettings(),
         manager.onDemandRules()});
    return 0;
}

/** Saves generations first..first+count-1; prints "started" after the first, a line after each. */
int childSaveLoop(const QString &identifier, int first, int count, int size) {
    setBundle(identifier);
    auto &manager = NEDNSSettingsManager::sharedManager();
    QTextStream out(stdout);
    for (int generation = first; generation < first + count; ++generation) {
        manager.setDnsSettings(generationSettings(generation, size));
        if (const auto error = saveNow()) {
            out << "save failed " << error->code << ' ' << error->localizedDescription << Qt::endl;
            return 1;
        }
        out << (generation == first ? "started" : "saved") << Qt::endl;
    }
    return 0;
}

/** Alternates saves of its own app and of an app shared with the other child. */
int childConcurrent(const QString &own, const QString &shared, int offset, int count) {
    auto &manager = NEDNSSettingsManager::sharedManager();
    for (int i = 0; i < count; ++i) {
        for (const auto &[identifier, generation] :
             {std::pair{own, i}, std::pair{shared, offset + i}}) {
            setBundle(identifier, identifier);
            manager.setDnsSettings(generationSettings(generation));
            if (const auto error = saveNow()) {
                QTextStream(stdout) << "save failed " << error->code << Qt::endl;
                return 1;
            }
        }
    }
    return 0;
}

QProcess *startChild(QObject *parent, const QStringList &arguments) {
    auto *process = new QProcess(parent);
    process->setProcessChannelMode(QProcess::ForwardedErrorChannel);
    process->start(QCoreApplication::applicationFilePath(), arguments);
    return process;
}

} // namespace

namespace QTest {
template<> char *toString(const OptionalError &error) {
    return qstrdup(error
                       ? qPrintable(u"%1 %2: %3"_s.arg(error->domain, QString::number(error->code),
                                                       error->localizedDescription))
                       : "no error");
}
} // namespace QTest

class DNSSettingsManagerTest : public QObject {
    Q_OBJECT

private:
    TestEnvironment m_env;
    NEDNSSettingsManager &manager = NEDNSSettingsManager::sharedManager();

    static QString platformRoot() {
        return qEnvironmentVariable("XDG_STATE_HOME") + u"/device-platform"_s;
    }

    QString storedPath() const { return DNSConfigurationStore().filePath(appId); }

    void switchStored(bool on) {
        const DNSConfigurationStore store;
        auto stored = store.read(appId);
        QVERIFY(stored.configuration);
        stored.configuration->enabled = on;
        QVERIFY(store.write(*stored.configuration, nullptr));
    }

private Q_SLOTS:
    void init() {
        QVERIFY(m_env.isValid());
        setBundle(appId);
        QDir(platformRoot()).removeRecursively();
        manager.setDnsSettings(nullptr);
        manager.setOnDemandRules({});
    }

    void loadWithNothingStoredClearsSnapshot() {
        manager.setDnsSettings(generationSettings(1));
        manager.setOnDemandRules({std::make_shared<NEOnDemandRuleConnect>()});
        QCOMPARE(loadNow(), std::nullopt);
        QVERIFY(!manager.dnsSettings());
        QVERIFY(manager.onDemandRules().isEmpty());
        QVERIFY(!manager.isEnabled());
    }

    void completionsAreNeverSynchronous() {
        manager.setDnsSettings(generationSettings(1));
        NEDNSSettingsManager::failNextOperationForTesting(NEDNSSettingsManager::Operation::remove,
                                                          {u"X"_s, 1, {}});
        int completed = 0;
        const auto count = [&](OptionalError) { ++completed; };
        manager.saveToPreferencesWithCompletionHandler(count);
        QCOMPARE(completed, 0);
        manager.loadFromPreferencesWithCompletionHandler(count);
        QCOMPARE(completed, 0);
        manager.removeFromPreferencesWithCompletionHandler(count);
        QCOMPARE(completed, 0);
        QTRY_COMPARE(completed, 3);
    }

    void roundTripThroughAnotherProcess_data() {
        QTest::addColumn<std::shared_ptr<NEDNSSettings>>("settings");
        QTest::addColumn<bool>("withRules");

        auto https = generationSettings(3, 4);
        https->setMatchDomains(QStringList{u"b.example"_s, u"a.example"_s, u"b.example"_s});
        QTest::newRow("https, repeated domains, rules")
            << std::shared_ptr<NEDNSSettings>(https) << true;
        auto emptyDomains = std::make_shared<NEDNSOverHTTPSSettings>(QStringList{});
        emptyDomains->setMatchDomains(QStringList{});
        QTest::newRow("https, empty lists, no URL")
            << std::shared_ptr<NEDNSSettings>(emptyDomains) << false;
        auto tls = std::make_shared<NEDNSOverTLSSettings>(QStringList{u"9.9.9.9"_s, u"::1"_s});
        tls->setServerName(u"dns.quad9.net"_s);
        QTest::newRow("tls with server name") << std::shared_ptr<NEDNSSettings>(tls) << false;
        QTest::newRow("cleartext, domains absent")
            << std::make_shared<NEDNSSettings>(QStringList{u"1.1.1.1"_s}) << true;
    }

    void roundTripThroughAnotherProcess() {
        QFETCH(std::shared_ptr<NEDNSSettings>, settings);
        QFETCH(bool, withRules);
        NEOnDemandRuleList rules;
        if (withRules) {
            auto wifi = std::make_shared<NEOnDemandRuleEvaluateConnection>();
            wifi->setInterfaceTypeMatch(2);
            wifi->setSSIDMatch(QStringList{u"Home"_s, u"Home"_s});
            wifi->setDNSSearchDomainMatch(QStringList{});
            wifi->setProbeURL(QUrl(u"https://probe.example/ok"_s));
            rules = {wifi, std::make_shared<NEOnDemandRuleIgnore>()};
        }
        manager.setDnsSettings(settings);
        manager.setOnDemandRules(rules);
        QCOMPARE(saveNow(), std::nullopt);

        QProcess child;
        child.start(QCoreApplication::applicationFilePath(), {u"child-load"_s});
        QVERIFY(child.waitForFinished(60'000));
        QCOMPARE(child.exitCode(), 0);
        const auto loaded = DNSConfigurationStore::parse(child.readAllStandardOutput());
        QVERIFY(loaded);
        QVERIFY(!loaded->enabled);
        QVERIFY(DNSConfigurationStore::sameContent(*loaded, {appId, {}, false, settings, rules}));
        QCOMPARE(loaded->settings->dnsProtocol(), settings->dnsProtocol());
        QCOMPARE(loaded->onDemandRules.size(), rules.size());
        for (qsizetype i = 0; i < rules.size(); ++i)
            QCOMPARE(loaded->onDemandRules[i]->action(), rules[i]->action());
    }

    void unchangedIsTheOnlyVerdictOnEqualContent_data() {
        QTest::addColumn<bool>("switchedOn");
        QTest::addColumn<Change>("change");
        QTest::addColumn<qint64>("expectedCode"); // 0: saved
        const Change none = [](auto &, auto &) {};
        QTest::newRow("equal") << false << none << qint64(9);
        QTest::newRow("equal, switch ignored") << true << none << qint64(9);
        QTest::newRow("domains reordered") << true << Change([](auto &s, auto &) {
            s.setMatchDomains(QStringList{u"g0-1.example"_s, u"g0-0.example"_s});
        }) << qint64(0);
        QTest::newRow("domain repeated") << false << Change([](auto &s, auto &) {
            s.setMatchDomains(*s.matchDomains() + QStringList{u"g0-1.example"_s});
        }) << qint64(0);
        QTest::newRow("domains absent")
            << false << Change([](auto &s, auto &) { s.setMatchDomains(std::nullopt); })
            << qint64(0);
        QTest::newRow("server URL") << true << Change([](auto &s, auto &) {
            s.setServerURL(QUrl(u"https://other.example/dns-query"_s));
        }) << qint64(0);
        QTest::newRow("rule added") << true << Change([](auto &, auto &rules) {
            rules.append(std::make_shared<NEOnDemandRuleDisconnect>());
        }) << qint64(0);
    }

    void unchangedIsTheOnlyVerdictOnEqualContent() {
        QFETCH(bool, switchedOn);
        QFETCH(Change, change);
        QFETCH(qint64, expectedCode);

        manager.setDnsSettings(generationSettings(0, 2));
        QCOMPARE(saveNow(), std::nullopt);
        switchStored(switchedOn);

        auto next = std::static_pointer_cast<NEDNSOverHTTPSSettings>(generationSettings(0, 2));
        NEOnDemandRuleList rules;
        change(*next, rules);
        manager.setDnsSettings(next);
        manager.setOnDemandRules(rules);
        const OptionalError error = saveNow();
        if (expectedCode == 0) {
            QCOMPARE(error, std::nullopt);
        } else {
            QVERIFY(error);
            QCOMPARE(error->domain, u"NEConfigurationErrorDomain"_s);
            QCOMPARE(error->code, expectedCode);
        }
        QCOMPARE(loadNow(), std::nullopt);
        QCOMPARE(manager.isEnabled(), switchedOn); // saving never flips the switch
        QCOMPARE(manager.dnsSettings()->matchDomains(), next->matchDomains());
    }

    void saveCopiesWhatItIsGiven() {
        auto settings = generationSettings(1);
        manager.setDnsSettings(settings);
        bool done = false;
        manager.saveToPreferencesWithCompletionHandler([&](OptionalError e) { done = !e; });
        settings->setMatchDomains(QStringList{u"changed.example"_s});
        QTRY_VERIFY(done);
        QCOMPARE(loadNow(), std::nullopt);
        QCOMPARE(manager.dnsSettings()->matchDomains(), generationSettings(1)->matchDomains());
    }

    void saveWithoutSettingsIsInvalid() {
        const OptionalError error = saveNow();
        QVERIFY(error);
        QCOMPARE(error->domain, u"NEConfigurationErrorDomain"_s);
        QCOMPARE(error->code, 1);
        QVERIFY(!QFile::exists(storedPath()));
    }

    void missingIdentifierFailsEveryOperation() {
        NSBundle::mainBundle().setInfoDictionary(std::nullopt);
        manager.setDnsSettings(generationSettings(1));
        for (const OptionalError &error : {loadNow(), saveNow(), removeNow()}) {
            QVERIFY(error);
            QCOMPARE(error->domain, u"NEConfigurationErrorDomain"_s);
            QCOMPARE(error->code, 1);
        }
        QVERIFY(manager.dnsSettings());
    }

    void removeDeletesButKeepsSnapshot() {
        manager.setDnsSettings(generationSettings(1));
        QCOMPARE(saveNow(), std::nullopt);
        switchStored(true);
        QCOMPARE(loadNow(), std::nullopt);
        QVERIFY(manager.isEnabled());

        QCOMPARE(removeNow(), std::nullopt);
        QVERIFY(!QFile::exists(storedPath()));
        QVERIFY(manager.dnsSettings());
        QVERIFY(manager.isEnabled());
        QCOMPARE(removeNow(), std::nullopt); // nothing stored is no error

        QCOMPARE(loadNow(), std::nullopt);
        QVERIFY(!manager.isEnabled());
        QVERIFY(!manager.dnsSettings());
    }

    void testSeamTouchesNothing_data() {
        QTest::addColumn<NEDNSSettingsManager::Operation>("operation");
        QTest::newRow("load") << NEDNSSettingsManager::Operation::load;
        QTest::newRow("save") << NEDNSSettingsManager::Operation::save;
        QTest::newRow("remove") << NEDNSSettingsManager::Operation::remove;
    }

    void testSeamTouchesNothing() {
        QFETCH(NEDNSSettingsManager::Operation, operation);
        manager.setDnsSettings(generationSettings(1));
        QCOMPARE(saveNow(), std::nullopt);
        const QByteArray before = fileBytes(storedPath());
        manager.setDnsSettings(generationSettings(2));

        const NSError injected{u"TestDomain"_s, 42, u"injected"_s};
        NEDNSSettingsManager::failNextOperationForTesting(operation, injected);
        const auto run = operation == NEDNSSettingsManager::Operation::load   ? loadNow
                         : operation == NEDNSSettingsManager::Operation::save ? saveNow
                                                                              : removeNow;
        QCOMPARE(run(), injected);
        QCOMPARE(fileBytes(storedPath()), before);
        QCOMPARE(manager.dnsSettings()->matchDomains(), generationSettings(2)->matchDomains());
        QCOMPARE(run(), std::nullopt); // only the next one fails
    }

    void corruptFileIsMovedAsideIntact_data() {
        QTest::addColumn<QByteArray>("content");
        QTest::newRow("empty") << QByteArray();
        QTest::newRow("truncated")
            << DNSConfigurationStore::serialize({appId, u"Q"_s, true, generationSettings(1), {}})
                   .left(40);
        QTest::newRow("binary") << QByteArray("\x00\xff\xfe{\"", 5);
        QTest::newRow("another app's") << DNSConfigurationStore::serialize(
            {u"org.other"_s, u"O"_s, true, generationSettings(1), {}});
    }

    void corruptFileIsMovedAsideIntact() {
        QFETCH(QByteArray, content);
        const DNSConfigurationStore store;
        QVERIFY(QDir().mkpath(store.directory()));
        QFile file(storedPath());
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(content);
        file.close();
        manager.setDnsSettings(generationSettings(7));

        const OptionalError error = loadNow();
        QVERIFY(error);
        QCOMPARE(error->domain, u"NEConfigurationErrorDomain"_s);
        QCOMPARE(error->code, 6);
        QVERIFY(manager.dnsSettings()); // a failed load leaves the snapshot
        const QStringList aside = QDir(store.directory()).entryList({u"*.corrupt-*"_s});
        QCOMPARE(aside.size(), 1);
        QCOMPARE(fileBytes(store.directory() + u'/' + aside.first()), content);

        QCOMPARE(loadNow(), std::nullopt);
        QVERIFY(!manager.dnsSettings());
    }

    void saveAndRemoveSetADamagedFileAside() {
        const DNSConfigurationStore store;
        QVERIFY(QDir().mkpath(store.directory()));
        const auto damage = [&] {
            QFile file(storedPath());
            return file.open(QIODevice::WriteOnly) && file.write("{\"format\"") > 0;
        };
        QVERIFY(damage());
        manager.setDnsSettings(generationSettings(1));
        QCOMPARE(saveNow(), std::nullopt);
        QVERIFY(DNSConfigurationStore::parse(fileBytes(storedPath())));
        QVERIFY(damage());
        QCOMPARE(removeNow(), std::nullopt);
        QVERIFY(!QFile::exists(storedPath()));
        const QStringList aside = QDir(store.directory()).entryList({u"*.corrupt-*"_s});
        QCOMPARE(aside.size(), 2);
        for (const QString &name : aside)
            QCOMPARE(fileBytes(store.directory() + u'/' + name), QByteArray("{\"format\""));
    }

    void killedWriterLeavesOldOrNew() {
        constexpr int size = 400;
        for (int round = 0; round < 12; ++round) {
            QProcess child;
            child.start(QCoreApplication::applicationFilePath(),
                        {u"child-save-loop"_s, appId, QString::number(round * 1000), u"1000"_s,
                         QString::number(size)});
            QVERIFY(child.waitForStarted());
            const int linesBeforeKill = 1 + QRandomGenerator::global()->bounded(8);
            for (int lines = 0; lines < linesBeforeKill;) {
                if (!child.canReadLine()) {
                    QVERIFY2(child.waitForReadyRead(60'000),
                             qPrintable(u"child ended (%1): %2"_s.arg(child.exitCode())
                                            .arg(QString::fromUtf8(child.readAllStandardError()))));
                    continue;
                }
                const QByteArray line = child.readLine().trimmed();
                QVERIFY2(line == "started" || line == "saved", line.constData());
                ++lines;
            }
            ::kill(pid_t(child.processId()), SIGKILL);
            QVERIFY(child.waitForFinished(60'000));

            const auto stored = DNSConfigurationStore::parse(fileBytes(storedPath()));
            QVERIFY2(stored, "the killed writer left a torn file");
            QVERIFY(generationOf(*stored, size) >= 0);
            // The dead writer's lock must not block the next operation.
            QCOMPARE(loadNow(), std::nullopt);
            QCOMPARE(manager.dnsSettings()->matchDomains()->size(), size);
        }
    }

    void concurrentWritersLeaveAConsistentFolder() {
        constexpr int count = 60;
        const QString shared = u"org.shared"_s;
        setBundle(shared);
        manager.setDnsSettings(generationSettings(-1));
        QCOMPARE(saveNow(), std::nullopt);
        {
            const DNSConfigurationStore store;
            auto stored = store.read(shared);
            stored.configuration->enabled = true;
            QVERIFY(store.write(*stored.configuration, nullptr));
        }

        QObject owner;
        QProcess *a = startChild(
            &owner, {u"child-concurrent"_s, u"org.a"_s, shared, u"0"_s, QString::number(count)});
        QProcess *b = startChild(
            &owner, {u"child-concurrent"_s, u"org.b"_s, shared, u"1000"_s, QString::number(count)});
        for (QProcess *child : {a, b}) {
            QVERIFY(child->waitForFinished(240'000));
            QCOMPARE(child->exitStatus(), QProcess::NormalExit);
            QVERIFY2(child->exitCode() == 0, child->readAllStandardOutput().constData());
        }

        const DNSConfigurationStore store;
        QCOMPARE(QDir(store.directory()).entryList(QDir::Files | QDir::Hidden),
                 (QStringList{u"org.a.json"_s, u"org.b.json"_s, u"org.shared.json"_s}));
        for (const QString &id : {u"org.a"_s, u"org.b"_s})
            QCOMPARE(generationOf(*store.read(id).configuration, 1), count - 1);
        const auto sharedStored = store.read(shared).configuration;
        QVERIFY(sharedStored);
        const int last = generationOf(*sharedStored, 1);
        QVERIFY2(last == count - 1 || last == 1000 + count - 1, qPrintable(QString::number(last)));
        QVERIFY(sharedStored->enabled); // no save lost the user's switch
    }
};

int main(int argc, char **argv) {
    QCoreApplication app(argc, argv);
    const QStringList arguments = QCoreApplication::arguments();
    const QString mode = arguments.value(1);
    if (mode == u"child-load")
        return childLoad();
    if (mode == u"child-save-loop")
        return childSaveLoop(arguments.value(2), arguments.value(3).toInt(),
                             arguments.value(4).toInt(), arguments.value(5).toInt());
    if (mode == u"child-concurrent")
        return childConcurrent(arguments.value(2), arguments.value(3), arguments.value(4).toInt(),
                               arguments.value(5).toInt());
    DNSSettingsManagerTest test;
    QTEST_SET_MAIN_SOURCE_PATH
    return QTest::qExec(&test, argc, argv);
}

#include "tst_dns_settings_manager.moc"
