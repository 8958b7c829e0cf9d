// A writer killed at random points loses no acknowledged write and leaves an intact file.
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

/** Announces each write ("?+id", "?-id"), then acknowledges it ("+id", "-id") once saved. */
int runWriter(const QStringList &args) {
    const quint32 seed = args.value(1).toUInt();
    BlocklistStore store(args.value(0));
    QRandomGenerator random(seed);
    for (quint64 n = 0;; ++n) {
        const QList<DomainRef> &records = store.domains()->records();
        const bool remove = !records.isEmpty() && (records.size() >= maxListed ||
                                                   random.bounded(maxListed) < records.size());
        QString text = u"w%1-%2.example"_s.arg(seed).arg(n);
        if (n % 7 == 0)
            text += QChar(0xD800); // stored as UTF-16: the other column form
        const DomainRef r = remove ? records.at(random.bounded(int(records.size())))
                                   : std::make_shared<Domain>(text, QUuid::createUuid());
        const QByteArray write = (remove ? "-" : "+") + r->id().toByteArray(QUuid::WithoutBraces);
        for (const QByteArray &line : {'?' + write, write}) {
            // One write per line: a line below PIPE_BUF reaches the pipe whole or not at all.
            if (::write(STDOUT_FILENO, (line + '\n').constData(), size_t(line.size() + 1)) !=
                line.size() + 1)
                return 3;
            if (line.startsWith('?') && (remove ? store.remove(r) : store.insert(r), store.save()))
                return 2;
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
        for (int round = 0; round < kills; ++round) {
            QProcess writer;
            startChild(writer, {path, QString::number(random.generate())});
            const int killAfter = 1 + random.bounded(120);
            QByteArray output;
            while (('\n' + output).count("\n+") + ('\n' + output).count("\n-") < killAfter) {
                QVERIFY2(writer.state() != QProcess::NotRunning || writer.bytesAvailable(),
                         writer.readAllStandardError().constData());
                if (writer.bytesAvailable() == 0)
                    QVERIFY(writer.waitForReadyRead(30000));
                output += writer.readAllStandardOutput();
            }
            writer.kill();
            QVERIFY(writer.waitForFinished(30000));
            output += writer.readAllStandardOutput();

            QUuid inFlight; // the one write announced and not acknowledged, if any
            for (const QByteArray &line : output.trimmed().split('\n')) {
                const QUuid id(QString::fromLatin1(line.mid(line.startsWith('?') ? 2 : 1)));
                inFlight = line.startsWith('?') ? id : QUuid();
                if (line.startsWith('+'))
                    expected.insert(id);
                else if (line.startsWith('-'))
                    expected.remove(id);
            }
            const OnDisk disk = onDisk(path);
            QCOMPARE(disk.verdict, "ok");
            const QSet<QUuid> found(disk.ids.cbegin(), disk.ids.cend());
            // Only the write in flight may have landed or not; from here on it counts as it did.
            QSet<QUuid> differing = (expected - found) + (found - expected);
            differing.remove(inFlight);
            QVERIFY2(differing.isEmpty(),
                     qPrintable(u"%1 acknowledged writes lost or undone"_s.arg(differing.size())));
            expected = found;
        }
    }
};

int main(int argc, char **argv) {
    return mainWithChild<TestBlocklistCrash>(argc, argv, runWriter);
}

#include "tst_blocklist_crash.moc"
