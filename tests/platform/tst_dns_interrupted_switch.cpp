// A switch or save killed between this computer's list changing and the stored file changing
// leaves the two disagreeing; a load must say so without touching either, and the next
// operation of any kind must bring them back into step.
#include "common/DnsWriterSupport.h"
#include "common/EnforcementTestSupport.h"
#include "common/TestEnvironment.h"
#include "networkextension/DeviceDNSSettings.h"

#include <QTest>

using namespace Qt::StringLiterals;
using namespace TestSupport;
using Operation = NEDNSSettingsManager::Operation;

namespace {

const QString app = u"org.quellnet.app"_s;

enum class Step { saveSame, saveNew, remove, enable, disable };

bool perform(Step step, qint64 generation) {
    setBundle(app);
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
        return DeviceDNSSettings().setEnabled(app, step == Step::enable).status ==
               DeviceDNSSettings::Outcome::done;
    }
    return false;
}

/** 1 when the stored switch and the list in force disagree, else 0. */
int disagreement() {
    const auto stored = DNSConfigurationStore().read(app);
    const auto list = EnforcedList::inForce();
    if (stored.configuration && stored.configuration->enabled)
        return EnforcedList::matches(list, *stored.configuration) ? 0 : 1;
    return list.isMine() && list.app == app ? 1 : 0;
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

class InterruptedSwitchTest : public QObject {
    Q_OBJECT

    TestEnvironment m_env;
    const QByteArray m_writer = qgetenv("DEVICE_PLATFORM_ENFORCE_WRITER");

    std::pair<QByteArray, QByteArray> files() const {
        return {fileBytes(DNSConfigurationStore().filePath(app)),
                fileBytes(m_env.enforcedListPath())};
    }

private Q_SLOTS:
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
            const auto stored = DNSConfigurationStore().read(app).configuration;
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
    QCoreApplication application(argc, argv);
    const QStringList arguments = QCoreApplication::arguments();
    if (arguments.value(1) == u"child")
        return perform(Step(arguments.value(2).toInt()), arguments.value(3).toLongLong()) ? 0 : 1;
    InterruptedSwitchTest test;
    QTEST_SET_MAIN_SOURCE_PATH
    return QTest::qExec(&test, argc, argv);
}

#include "tst_dns_interrupted_switch.moc"
