// A writer of DNS configurations killed with SIGKILL at random points, many times: after each
// kill every acknowledged save and switch must be what is stored (or the one in flight after
// it), no file may be torn, and the next writer must find the lock free.
#include "common/TestEnvironment.h"
#include "foundation/NSBundle.h"
#include "networkextension/DNSConfigurationStore.h"
#include "networkextension/NEDNSSettingsManager.h"

#include <QDir>
#include <QProcess>
#include <QRandomGenerator>
#include <QTest>

#include <csignal>

using namespace Qt::StringLiterals;

namespace {

const QStringList apps{u"org.crash.a"_s, u"org.crash.b"_s};
constexpr int domainsPerSave = 50;

/** Settings whose every match domain carries `generation`; a real server, so nothing is enforced.
 */
std::shared_ptr<NEDNSSettings> generationSettings(qint64 generation) {
    auto settings = std::make_shared<NEDNSOverHTTPSSettings>(QStringList{u"9.9.9.9"_s});
    QStringList domains;
    for (int i = 0; i < domainsPerSave; ++i)
        domains.append(u"g%1-%2.example"_s.arg(generation).arg(i));
    settings->setMatchDomains(domains);
    return settings;
}

/** The generation a stored configuration was saved with; -1 if it is not one of ours, whole. */
qint64 generationOf(const DNSConfiguration &configuration) {
    const QString first = configuration.settings->matchDomains().value_or(QStringList()).value(0);
    const qint64 generation = first.mid(1).section(u'-', 0, 0).toLongLong();
    const DNSConfiguration expected{{}, {}, false, generationSettings(generation), {}};
    return DNSConfigurationStore::sameContent(configuration, expected) ? generation : -1;
}

void say(const QString &line) {
    QTextStream(stdout) << line << Qt::endl; // flushed: an acknowledgement is out or not at all
}

/**
 * The writer: forever, for a random app, either saves a new generation through the manager or
 * switches the stored configuration through the store, as device-settings does. "try" goes out
 * before each change, "ack" once it is stored.
 */
int churn(quint32 seed, qint64 firstGeneration) {
    QRandomGenerator random(seed);
    NEDNSSettingsManager &manager = NEDNSSettingsManager::sharedManager();
    const DNSConfigurationStore store;
    for (qint64 generation = firstGeneration;; ++generation) {
        const QString app = apps.at(random.bounded(int(apps.size())));
        const auto stored = store.read(app);
        if (stored.status != DNSConfigurationStore::ReadResult::absent &&
            stored.status != DNSConfigurationStore::ReadResult::ok)
            return 2; // a torn or damaged file left by an earlier kill
        if (stored.configuration && random.bounded(3) == 0) {
            const bool on = !stored.configuration->enabled;
            say(u"try switch %1 %2"_s.arg(app).arg(int(on)));
            QString error;
            const auto lock = store.lock(&error);
            if (!lock || !store.setEnabled(app, on, &error))
                return 3;
            say(u"ack switch %1 %2"_s.arg(app).arg(int(on)));
            continue;
        }
        NSBundle::mainBundle().setInfoDictionary(
            QVariantMap{{u"CFBundleIdentifier"_s, app}, {u"CFBundleDisplayName"_s, app}});
        manager.setDnsSettings(generationSettings(generation));
        say(u"try save %1 %2"_s.arg(app).arg(generation));
        std::optional<OptionalError> result;
        manager.saveToPreferencesWithCompletionHandler(
            [&](OptionalError error) { result = std::move(error); });
        while (!result)
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
        if (*result)
            return 4;
        say(u"ack save %1 %2"_s.arg(app).arg(generation));
    }
}

/** What the writer said about one app: last acknowledged value and the one in flight after it. */
struct Expected {
    std::optional<qint64> acked;
    std::optional<qint64> inFlight;
    bool allows(qint64 value) const {
        return value == acked || value == inFlight || (!acked && !inFlight);
    }
};

} // namespace

class DNSCrashConsistencyTest : public QObject {
    Q_OBJECT

    TestEnvironment m_env;

private Q_SLOTS:
    void killedWritersLoseNothing() {
        constexpr int kills = 40;
        QRandomGenerator random(20240611);
        QMap<QString, Expected> saves, switches;
        int acknowledged = 0, lost = 0, torn = 0;
        for (int round = 0; round < kills; ++round) {
            QProcess writer;
            writer.start(QCoreApplication::applicationFilePath(),
                         {u"churn"_s, QString::number(random.generate()),
                          QString::number(qint64(round) * 1'000'000)});
            // Killed after a random number of lines: mid-save, mid-switch, between them.
            int linesBeforeKill = 1 + random.bounded(16);
            const auto take = [&](const QByteArray &line) {
                const QList<QByteArray> words = line.trimmed().split(' ');
                QVERIFY2(words.size() == 4, line.constData());
                auto &expected =
                    (words[1] == "save" ? saves : switches)[QString::fromLatin1(words[2])];
                const qint64 value = words[3].toLongLong();
                if (words[0] == "ack") {
                    expected = {value, std::nullopt};
                    ++acknowledged;
                } else {
                    expected.inFlight = value;
                }
            };
            while (linesBeforeKill > 0) {
                if (!writer.canReadLine()) {
                    QVERIFY2(writer.waitForReadyRead(60'000),
                             qPrintable(u"the writer stopped with exit code %1 (2: it met a torn "
                                        u"file)"_s.arg(writer.exitCode())));
                    continue;
                }
                take(writer.readLine());
                --linesBeforeKill;
            }
            ::kill(pid_t(writer.processId()), SIGKILL);
            QVERIFY(writer.waitForFinished(60'000));
            // Lines written before the kill were acknowledged too, and complete ones count.
            while (writer.canReadLine())
                take(writer.readLine());

            const DNSConfigurationStore store;
            for (const QString &app : apps) {
                const auto read = store.read(app);
                if (read.status == DNSConfigurationStore::ReadResult::absent) {
                    lost += saves.value(app).acked.has_value();
                    continue;
                }
                if (read.status != DNSConfigurationStore::ReadResult::ok) {
                    ++torn;
                    continue;
                }
                const qint64 generation = generationOf(*read.configuration);
                torn += generation < 0;
                lost += !saves.value(app).allows(generation);
                lost += !switches.value(app).allows(read.configuration->enabled);
                // What is stored now is what the next writer builds on.
                saves[app] = {generation, std::nullopt};
                switches[app] = {read.configuration->enabled, std::nullopt};
            }
        }
        const int leftovers =
            QDir(DNSConfigurationStore().directory()).entryList(QDir::Files | QDir::Hidden).size() -
            int(apps.size());
        qInfo("%d kills, %d acknowledged writes, %d lost, %d torn files, %d temporary files left",
              kills, acknowledged, lost, torn, leftovers);
        QCOMPARE(lost, 0);
        QCOMPARE(torn, 0);
        QVERIFY(acknowledged > kills);
    }
};

int main(int argc, char **argv) {
    QCoreApplication app(argc, argv);
    const QStringList arguments = QCoreApplication::arguments();
    if (arguments.value(1) == u"churn")
        return churn(arguments.value(2).toUInt(), arguments.value(3).toLongLong());
    DNSCrashConsistencyTest test;
    QTEST_SET_MAIN_SOURCE_PATH
    return QTest::qExec(&test, argc, argv);
}

#include "tst_dns_crash_consistency.moc"
