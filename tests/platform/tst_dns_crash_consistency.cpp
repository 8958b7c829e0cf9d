// A writer of DNS configurations killed with SIGKILL at random points, many times: after each
// kill every acknowledged save and switch must be what is stored (or the one in flight after
// it), no file may be torn, and the next writer must find the lock free. A switch or save killed
// between this computer's list changing and the stored file changing leaves the two disagreeing;
// a load must say so without touching either, and the next operation of any kind must bring them
// back into step.
#include "common/DnsWriterSupport.h"
#include "common/EnforcementTestSupport.h"
#include "common/TestEnvironment.h"
#include "networkextension/DeviceDNSSettings.h"

#include <QDir>
#include <QRandomGenerator>
#include <QTest>

#include <csignal>

using namespace Qt::StringLiterals;
using namespace TestSupport;
using Operation = NEDNSSettingsManager::Operation;

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

const QString ourApp = u"org.quellnet.app"_s;

enum class Step { saveSame, saveNew, remove, enable, disable };

bool perform(Step step, qint64 generation) {
    setBundle(ourApp);
    auto &manager = NEDNSSettingsManager::sharedManager();
    switch (step) {
    case Step::saveSame:
    case Step::saveNew: {
        manager.setDnsSettings(generationSettings(generation, 2));
        const auto error = run(Operation::save);
        return !error || error->code == NEConfigurationErrorUnchanged;
    }
    case Step::remove:
        manager.setDnsSettings(generationSettings(generation, 2));
        return !run(Operation::remove);
    case Step::enable:
    case Step::disable:
        return DeviceDNSSettings().setEnabled(ourApp, step == Step::enable).status ==
               DeviceDNSSettings::Outcome::done;
    }
    return false;
}

/** 1 when the stored switch and the list in force disagree, else 0. */
int disagreement() {
    const auto stored = DNSConfigurationStore().read(ourApp);
    const auto list = EnforcedList::inForce();
    if (stored.configuration && stored.configuration->enabled)
        return EnforcedList::matches(list, *stored.configuration) ? 0 : 1;
    return list.isMine() && list.app == ourApp ? 1 : 0;
}

/** A writer that kills its caller just before or just after the real one runs. */
bool useKillingWriter(const QString &path, const QByteArray &real, const QByteArray &point) {
    qputenv("DEVICE_PLATFORM_ENFORCE_WRITER", path.toUtf8());
    QByteArray script = "#!/bin/sh\n";
    if (point == "before")
        script += "kill -KILL $PPID\nexit 1\n";
    else
        script += "'" + real + "' \"$@\"\nstatus=$?\nkill -KILL $PPID\nexit $status\n";
    return putFile(path, script, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
}

} // namespace

class DNSCrashConsistencyTest : public QObject {
    Q_OBJECT

    TestEnvironment m_env;
    const QByteArray m_writer = qgetenv("DEVICE_PLATFORM_ENFORCE_WRITER");

    std::pair<QByteArray, QByteArray> files() const {
        return {fileBytes(DNSConfigurationStore().filePath(ourApp)),
                fileBytes(m_env.enforcedListPath())};
    }

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

    void killedChangesAreBroughtBackIntoStep() {
        constexpr int rounds = 20;
        int leftOver = 0, caused = 0;
        for (int round = 0; round < rounds; ++round) {
            qputenv("DEVICE_PLATFORM_ENFORCE_WRITER", m_writer);
            const bool on = round % 4 < 2;
            const qint64 generation = qint64(round) * 10;
            QVERIFY(perform(Step::saveNew, generation));
            QVERIFY(perform(on ? Step::enable : Step::disable, generation));
            QCOMPARE(disagreement(), 0);

            // Killed where the list changes: enabling an Off one; disabling, updating or
            // removing an On one.
            const QByteArray point = round % 2 ? "after" : "before";
            QVERIFY(useKillingWriter(m_env.root() + u"/killing-writer"_s, m_writer, point));
            const Step killed = !on              ? Step::enable
                                : round % 3 == 0 ? Step::disable
                                : round % 3 == 1 ? Step::saveNew
                                                 : Step::remove;
            QProcess child;
            child.start(
                QCoreApplication::applicationFilePath(),
                {u"child"_s, QString::number(int(killed)), QString::number(generation + 1)});
            QVERIFY(child.waitForFinished(60'000));
            QCOMPARE(child.exitStatus(), QProcess::CrashExit);
            qputenv("DEVICE_PLATFORM_ENFORCE_WRITER", m_writer);
            caused += disagreement();

            // A load tells the truth and changes nothing.
            const auto before = files();
            QCOMPARE(run(Operation::load), std::nullopt);
            const auto stored = DNSConfigurationStore().read(ourApp).configuration;
            QCOMPARE(NEDNSSettingsManager::sharedManager().isEnabled(),
                     stored && stored->enabled && disagreement() == 0);
            QCOMPARE(files(), before);

            const Step next = Step((round / 2) % 5); // each after each kind of kill
            QVERIFY2(perform(next, next == Step::saveSame ? generation : generation + 2),
                     qPrintable(u"round %1"_s.arg(round)));
            leftOver += disagreement();
        }
        QVERIFY2(caused >= rounds / 4, "the kills never caught the list and the file apart");
        QCOMPARE(leftOver, 0);
    }
};

int main(int argc, char **argv) {
    QCoreApplication app(argc, argv);
    const QStringList arguments = QCoreApplication::arguments();
    if (arguments.value(1) == u"churn")
        return churn(arguments.value(2).toUInt(), arguments.value(3).toLongLong());
    if (arguments.value(1) == u"child")
        return perform(Step(arguments.value(2).toInt()), arguments.value(3).toLongLong()) ? 0 : 1;
    DNSCrashConsistencyTest test;
    QTEST_SET_MAIN_SOURCE_PATH
    return QTest::qExec(&test, argc, argv);
}

#include "tst_dns_crash_consistency.moc"
