// A writer of DNS configurations killed with SIGKILL at random points, many times: after each
// kill every acknowledged save and switch must be what is stored (or the one in flight after
// it), no file may be torn, and the next writer must find the lock free.
#include "common/DnsWriterSupport.h"
#include "common/TestEnvironment.h"

#include <QDir>
#include <QRandomGenerator>
#include <QTest>

#include <csignal>

using namespace Qt::StringLiterals;
using namespace TestSupport;

namespace {

const QStringList apps{u"org.crash.a"_s, u"org.crash.b"_s};

/** Forever saves or switches a random app, saying "try" before each change, "ack" after it. */
int churn(quint32 seed, qint64 firstGeneration) {
    const auto say = [](const char *what, const QString &app, qint64 value) {
        QTextStream(stdout) << what << ' ' << app << ' ' << value << Qt::endl;
    };
    QRandomGenerator random(seed);
    const DNSConfigurationStore store;
    for (qint64 generation = firstGeneration;; ++generation) {
        const QString app = apps.at(random.bounded(int(apps.size())));
        const auto stored = store.read(app);
        if (!stored.isUsable())
            return 2; // a torn or damaged file left by an earlier kill
        if (stored.configuration && random.bounded(3) == 0) {
            const bool on = !stored.configuration->enabled;
            say("try switch", app, on);
            const auto lock = store.lock(nullptr);
            if (!lock || !store.setEnabled(app, on, nullptr))
                return 3;
            say("ack switch", app, on);
            continue;
        }
        setBundle(app);
        // A real server: nothing is enforced, so kills land in the store's own writes.
        NEDNSSettingsManager::sharedManager().setDnsSettings(
            generationSettings(generation, 50, u"9.9.9.9"_s));
        say("try save", app, generation);
        if (run(NEDNSSettingsManager::Operation::save))
            return 4;
        say("ack save", app, generation);
    }
}

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
        QMap<QString, Expected> expected; // by "save APP" and "switch APP"
        int acknowledged = 0, lost = 0, torn = 0;
        for (int round = 0; round < kills; ++round) {
            QProcess writer;
            writer.start(QCoreApplication::applicationFilePath(),
                         {u"churn"_s, QString::number(random.generate()),
                          QString::number(qint64(round) * 1'000'000)});
            const auto take = [&](const QByteArray &line) {
                const QStringList words = QString::fromLatin1(line.trimmed()).split(u' ');
                QVERIFY2(words.size() == 4, line.constData());
                Expected &e = expected[words[1] + u' ' + words[2]];
                const bool ack = words[0] == u"ack";
                e = {ack ? words[3].toLongLong() : e.acked,
                     ack ? std::nullopt : std::optional(words[3].toLongLong())};
                acknowledged += ack;
            };
            for (int lines = 1 + random.bounded(16); lines > 0; --lines) {
                while (!writer.canReadLine())
                    QVERIFY2(writer.waitForReadyRead(60'000),
                             "the writer stopped (2: a torn file)");
                take(writer.readLine());
            }
            ::kill(pid_t(writer.processId()), SIGKILL);
            QVERIFY(writer.waitForFinished(60'000));
            while (writer.canReadLine()) // written before the kill: they count too
                take(writer.readLine());

            for (const QString &app : apps) {
                const auto read = DNSConfigurationStore().read(app);
                Expected &save = expected[u"save "_s + app], &onOff = expected[u"switch "_s + app];
                if (!read.configuration) {
                    torn += read.status != DNSConfigurationStore::ReadResult::absent;
                    lost += save.acked.has_value();
                    continue;
                }
                const qint64 generation = generationOf(*read.configuration);
                const qint64 on = read.configuration->enabled;
                torn += generation < 0;
                lost += !save.allows(generation) + !onOff.allows(on);
                // What is stored now is what the next writer builds on.
                save = {generation, std::nullopt};
                onOff = {on, std::nullopt};
            }
        }
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
