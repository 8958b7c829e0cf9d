// Crash consistency: a writer process adds and deletes records and is killed at random points;
// after each kill every write it acknowledged must be on disk and the file must pass
// PRAGMA integrity_check.
#include "blocklist/BlocklistStore.h"
#include "blocklist/DomainListModel.h"
#include "common/BlocklistFiles.h"
#include "common/TestEnvironment.h"

#include <QRandomGenerator>
#include <QSet>

using namespace Qt::StringLiterals;
using namespace BlocklistFiles;

namespace {

constexpr int kills = 40;
constexpr int maxListed = 150; // the writer deletes more often as the list fills

void say(const QByteArray &line) {
    // One write per line: a line below PIPE_BUF reaches the pipe whole or not at all.
    const QByteArray whole = line + '\n';
    if (::write(STDOUT_FILENO, whole.constData(), size_t(whole.size())) != whole.size())
        ::_exit(3);
}

QByteArray idText(const QUuid &id) {
    return id.toByteArray(QUuid::WithoutBraces);
}

/** Writer side: adds and deletes at random forever, announcing each write ("?+id", "?-id")
    before it and acknowledging it ("+id", "-id") once save() has returned. */
int runWriter(const QStringList &args) {
    const quint32 seed = args.value(1).toUInt();
    BlocklistStore store(args.value(0));
    QRandomGenerator random(seed);
    for (quint64 n = 0;; ++n) {
        const QList<DomainRef> &records = store.domains()->records();
        if (!records.isEmpty() &&
            (records.size() >= maxListed || random.bounded(int(maxListed)) < records.size())) {
            const DomainRef victim = records.at(random.bounded(int(records.size())));
            say("?-" + idText(victim->id()));
            store.remove(victim);
            if (store.save())
                return 2;
            say('-' + idText(victim->id()));
        } else {
            QString text = u"w%1-%2.example"_s.arg(seed).arg(n);
            if (n % 7 == 0)
                text += QChar(0xD800); // stored as UTF-16: the other column form
            const auto made = std::make_shared<Domain>(text, QUuid::createUuid());
            say("?+" + idText(made->id()));
            store.insert(made);
            if (store.save())
                return 2;
            say('+' + idText(made->id()));
        }
    }
}

} // namespace

class TestBlocklistCrash : public QObject {
    Q_OBJECT

    TestEnvironment m_env;

private Q_SLOTS:
    void killedWriterLosesNothingAcknowledged() {
        QVERIFY(m_env.isValid());
        const QString path = m_env.dataHome() + u"/crash/blocklist.sqlite"_s;
        QRandomGenerator random(QRandomGenerator::global()->generate());
        QSet<QUuid> expected;
        int adds = 0, deletes = 0, lost = 0, resurrected = 0;
        for (int round = 0; round < kills; ++round) {
            QProcess writer;
            startChild(writer, {path, QString::number(random.generate())});
            // Killed after a random number of acknowledged writes, wherever the writer is then.
            const int killAfter = 1 + random.bounded(120);
            QByteArray output;
            const auto acknowledged = [&output] {
                const QByteArray lines = '\n' + output;
                return lines.count("\n+") + lines.count("\n-");
            };
            while (acknowledged() < killAfter) {
                QVERIFY2(writer.state() != QProcess::NotRunning || writer.bytesAvailable(),
                         writer.readAllStandardError().constData());
                if (writer.bytesAvailable() == 0)
                    QVERIFY(writer.waitForReadyRead(30000));
                output += writer.readAllStandardOutput();
            }
            writer.kill();
            QVERIFY(writer.waitForFinished(30000));
            output += writer.readAllStandardOutput();

            QByteArray inFlight; // the one write announced and not acknowledged, if any
            for (const QByteArray &line : output.split('\n')) {
                if (line.startsWith('?')) {
                    inFlight = line.mid(1);
                } else if (!line.isEmpty()) {
                    const QUuid id(QString::fromLatin1(line.mid(1)));
                    if (line.startsWith('+')) {
                        expected.insert(id);
                        ++adds;
                    } else {
                        expected.remove(id);
                        ++deletes;
                    }
                    inFlight.clear();
                }
            }
            const OnDisk disk = onDisk(path);
            QCOMPARE(disk.verdict, "ok");
            const QSet<QUuid> found(disk.ids.cbegin(), disk.ids.cend());
            const QUuid pending(QString::fromLatin1(inFlight.mid(1)));
            for (const QUuid &id : std::as_const(expected))
                if (!found.contains(id) && !(inFlight.startsWith('-') && id == pending))
                    ++lost;
            for (const QUuid &id : found)
                if (!expected.contains(id) && !(inFlight.startsWith('+') && id == pending))
                    ++resurrected;
            expected = found; // the write in flight counts as it landed
        }
        qInfo("crash consistency: %d kills, %d acknowledged adds, %d acknowledged deletes, "
              "%d lost, %d deleted records back",
              kills, adds, deletes, lost, resurrected);
        QCOMPARE(lost, 0);
        QCOMPARE(resurrected, 0);
    }
};

int main(int argc, char **argv) {
    return mainWithChild<TestBlocklistCrash>(argc, argv, runWriter);
}

#include "tst_blocklist_crash.moc"
