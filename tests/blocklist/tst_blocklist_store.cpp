#include "blocklist/BlocklistStore.h"
#include "blocklist/DomainListModel.h"
#include "blocklist/EntryRules.h"
#include "common/BlocklistFiles.h"
#include "common/TestEnvironment.h"
#include "common/TestFiles.h"

#include <QAbstractItemModelTester>
#include <QDir>
#include <QRandomGenerator>
#include <QSet>
#include <QSignalSpy>
#include <QTest>

#include <cstdio>
#include <memory>
#include <optional>
#include <sys/stat.h>

using namespace Qt::StringLiterals;
using namespace BlocklistFiles;
using namespace EntryRules;

namespace {

std::unique_ptr<BlocklistStore> openStore(const QString &path) {
    auto store = std::make_unique<BlocklistStore>(path);
    new QAbstractItemModelTester(
        store->domains(), QAbstractItemModelTester::FailureReportingMode::QtTest, store->domains());
    return store;
}

DomainRef record(const QString &text) {
    return std::make_shared<Domain>(text, QUuid::createUuid());
}

/** Announces each write ("?+id", "?-id"), then acknowledges it ("+id", "-id") once saved. */
int runWriter(const QString &path, quint32 seed) {
    constexpr int maxListed = 150; // deletes grow more frequent as the list fills
    BlocklistStore store(path);
    QRandomGenerator random(seed);
    for (quint64 n = 0;; ++n) {
        const QList<DomainRef> &records = store.domains()->records();
        const bool remove = !records.isEmpty() && (records.size() >= maxListed ||
                                                   random.bounded(maxListed) < records.size());
        QString text = u"w%1-%2.example"_s.arg(seed).arg(n);
        if (n % 7 == 0)
            text += QChar(0xD800); // stored as UTF-16: the other column form
        const DomainRef r = remove ? records.at(random.bounded(int(records.size()))) : record(text);
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

/**
 * "writer FILE SEED" runs runWriter; "full-disk FOLDER" fills the tmpfs under a saved file;
 * "read-only FILE" prints the problem.
 */
int child(const QStringList &args) {
    if (args.value(0) == u"writer"_s)
        return runWriter(args.value(1), args.value(2).toUInt());
    if (args.value(0) == u"read-only"_s) {
        WithoutFileOverrides asUser;
        QTextStream(stdout) << BlocklistStore(args.value(1)).writeProblem();
        return 0;
    }
    QTextStream out(stdout);
    const QString path = args.value(1) + u"/blocklist.sqlite"_s;
    const QString filler = args.value(1) + u"/filler"_s;
    {
        BlocklistStore store(path);
        for (int i = 0; i < 25; ++i)
            store.insert(record(u"site%1.test"_s.arg(i)));
        if (store.save())
            return 2;
    }
    if (!fillDisk(filler))
        return 3;
    BlocklistStore store(path);
    QString text = u"after-full.example"_s;
    submitDomain(text, store);
    out << store.domains()->count() << " records, moved aside: " << store.movedAsidePath()
        << ", pending: " << store.hasChanges() << ", problem: " << store.writeProblem() << Qt::endl;
    QSignalSpy saved(&store, &BlocklistStore::saved);
    QFile::remove(filler);
    if (!saved.wait(20000))
        return 4;
    out << "problem: " << store.writeProblem() << ", on disk: " << onDisk(path).names.size();
    // Full under the open store: the failed save once reset statements it had just finalized.
    if (!fillDisk(filler))
        return 3;
    text = u"while-full.example"_s;
    submitDomain(text, store);
    out << ", then pending: " << store.hasChanges();
    QFile::remove(filler);
    if (!saved.wait(20000))
        return 5;
    out << ", on disk: " << onDisk(path).names.size();
    return 0;
}

} // namespace

class TestBlocklistStore : public QObject {
    Q_OBJECT

    TestEnvironment m_env;
    int m_case = 0;
    QString freshPath() {
        const QString folder = m_env.root() + u"/store%1"_s.arg(++m_case);
        QDir().mkpath(folder);
        return folder + u"/blocklist.sqlite"_s;
    }

private Q_SLOTS:
    void initTestCase() { QVERIFY(m_env.isValid()); }

    // An unwritable file is kept and edited in memory, then written by id once it can be; a link,
    // FIFO or newer file is never written; a bad file is moved aside intact.
    void filesFoundAtStart_data() {
        QTest::addColumn<QString>("setup");
        QTest::addColumn<QString>("problem");
        const QString link = u"the file is a symbolic link"_s;
        QTest::newRow("read-only file") << u"0444"_s << u"the file is read-only"_s;
        QTest::newRow("folder not writable") << u"folder"_s << u"its folder is not writable"_s;
        QTest::newRow("file is a link") << u"link"_s << link;
        QTest::newRow("journal is a link") << u"journal link"_s << link;
        QTest::newRow("FIFO") << u"fifo"_s << u"it is not a regular file"_s;
        QTest::newRow("newer version")
            << u"newer"_s << u"it was saved by a newer version of Quellnet"_s;
        QTest::newRow("not a database") << u"damaged at 0"_s << QString();
        QTest::newRow("damaged page") << u"damaged at 4096"_s << QString();
        QTest::newRow("no tables of ours") << u"unrelated"_s << QString();
    }
    void filesFoundAtStart() {
        QFETCH(QString, setup);
        QFETCH(QString, problem);
        const QString path = freshPath();
        QString kept = path; // whose bytes nothing may change while a problem is reported
        QStringList names;
        if (setup.contains(u"link"_s)) {
            kept = path + u".elsewhere"_s;
            openStore(kept)->insert(record(u"elsewhere.example"_s));
            QVERIFY(QFile::link(kept, setup == u"link"_s ? path : path + u"-wal"_s));
        } else if (setup == u"fifo"_s) {
            QCOMPARE(::mkfifo(QFile::encodeName(path).constData(), 0600), 0);
            kept += u".none"_s; // reading a FIFO would wait for a writer
        } else if (setup == u"unrelated"_s) {
            QVERIFY(exec(path, "CREATE TABLE unrelated(x)"));
        } else {
            auto writer = openStore(path);
            for (int i = 0; i < 60; ++i)
                writer->insert(
                    record(names.emplace_back(u"site%1.test"_s.arg(i, 2, 10, QChar(u'0')))));
            QVERIFY(!writer->save());
        }
        if (setup == u"newer"_s)
            QVERIFY(exec(path, "PRAGMA user_version = " +
                                   QByteArray::number(BlocklistStore::schemaVersion + 1)));
        if (setup.startsWith(u"damaged"_s)) {
            QFile file(path);
            QVERIFY(file.open(QIODevice::ReadWrite) && file.seek(setup.mid(11).toInt()));
            file.write(QByteArray("no database here\n").repeated(300));
            names.clear();
        }
        const QByteArray before = fileBytes(kept);
        const bool unwritable = setup == u"0444"_s || setup == u"folder"_s;
        const QByteArray folder = QFile::encodeName(QFileInfo(path).absolutePath());
        const auto restrict = [&](bool on) {
            return ::chmod(QFile::encodeName(path).constData(),
                           on && setup == u"0444"_s ? 0444 : 0644) == 0 &&
                   ::chmod(folder.constData(), on && setup == u"folder"_s ? 0500 : 0700) == 0;
        };
        std::optional<WithoutFileOverrides> asUser;
        if (unwritable) {
            QVERIFY(restrict(true));
            asUser.emplace();
        }

        auto store = openStore(path);
        QCOMPARE(store->writeProblem(), problem);
        QCOMPARE(store->isStoredInMemoryOnly(), !problem.isEmpty());
        const QString aside = store->movedAsidePath();
        QCOMPARE(aside.isEmpty(), !setup.startsWith(u"damaged"_s));
        QVERIFY(aside.isEmpty() ||
                (aside.startsWith(path + u".corrupt-"_s) && fileBytes(aside) == before));
        QCOMPARE(store->domains()->domainNames(), names);
        QString added = u"added-meanwhile.example"_s;
        QVERIFY(submitDomain(added, *store));
        if (!names.isEmpty())
            store->remove(store->domains()->at(1)); // site00, after the one added
        QCOMPARE(store->save().has_value(), !problem.isEmpty());
        asUser.reset();
        QStringList expected = names.mid(1);
        expected.prepend(u"added-meanwhile.example"_s);
        if (problem.isEmpty()) {
            QCOMPARE(onDisk(path).names, expected);
            return;
        }
        QCOMPARE(fileBytes(kept), before);
        QCOMPARE(QFileInfo(path).isSymLink(), setup == u"link"_s);
        if (!unwritable)
            return;

        QSignalSpy saved(store.get(), &BlocklistStore::saved);
        QVERIFY(restrict(false));
        QVERIFY(exec(path, "INSERT INTO domains(domain, id) VALUES('other.example', "
                           "randomblob(16)); DELETE FROM domains WHERE domain = 'site01.test'"));
        asUser.emplace();
        QVERIFY(saved.wait(20000));
        asUser.reset();
        QVERIFY(store->writeProblem().isEmpty());
        expected = names.mid(2) << u"other.example"_s << u"added-meanwhile.example"_s;
        QCOMPARE(onDisk(path).names, expected);
    }

    // A file once read while read-only (an older version left its journal mode 0444) is saved
    // to once writable, in this run or a later one, losing nothing.
    void readOnlyOnceThenWritable_data() {
        QTest::addColumn<QString>("reader");
        QTest::newRow("this run") << u"store"_s;
        QTest::newRow("an earlier process") << u"process"_s;
        QTest::newRow("an older version") << u"plain read"_s;
    }
    void readOnlyOnceThenWritable() {
        QFETCH(QString, reader);
        const QString path = freshPath();
        const QByteArray file = QFile::encodeName(path);
        QStringList names{u"kept.example"_s};
        openStore(path)->insert(record(names.constFirst()));
        QVERIFY(::chmod(file.constData(), 0444) == 0);
        std::unique_ptr<BlocklistStore> store;
        {
            WithoutFileOverrides asUser;
            if (reader == u"store"_s) {
                store = openStore(path);
                QCOMPARE(store->writeProblem(), u"the file is read-only"_s);
                store->insert(record(names.emplace_back(u"pending.example"_s)));
            } else if (reader == u"process"_s) {
                QCOMPARE(runChild({u"read-only"_s, path}), QByteArray("the file is read-only"));
            } else {
                QCOMPARE(onDisk(path).names, names);
            }
        }
        QVERIFY(::chmod(file.constData(), 0644) == 0);
        WithoutFileOverrides asUser;
        if (reader != u"plain read"_s)
            QVERIFY(exec(path, "PRAGMA user_version = 1"));
        if (store) {
            QSignalSpy saved(store.get(), &BlocklistStore::saved);
            QVERIFY(saved.wait(20000));
        } else {
            store = openStore(path);
            QVERIFY(store->writeProblem().isEmpty());
        }
        store->insert(record(names.emplace_back(u"after.example"_s)));
        QCOMPARE(store->save(), std::nullopt);
        QVERIFY(store->writeProblem().isEmpty());
        store.reset();
        QCOMPARE(onDisk(path).names, names);
    }

    // Bad rows are skipped and kept; a record with a text id is deleted by that id alone.
    void damagedRowsSkipped() {
        const QString path = freshPath();
        QVERIFY(exec(path, "CREATE TABLE domains(seq INTEGER PRIMARY KEY, domain, id);"
                           "INSERT INTO domains VALUES(1, 'good.example', randomblob(16));"
                           "INSERT INTO domains VALUES(2, NULL, randomblob(16));"
                           "INSERT INTO domains VALUES(3, 'bad-id.example', 'not a uuid');"
                           "INSERT INTO domains VALUES(4, 'short-id.example', randomblob(15));"
                           "INSERT INTO domains VALUES(5, 'text-id.example',"
                           " '{6F1C0C3E-2F0A-4B53-9B0E-3C8D6A0E2F11}');"
                           "PRAGMA user_version = 1;"));
        auto store = openStore(path);
        QCOMPARE(store->domains()->domainNames(),
                 (QStringList{u"good.example"_s, u"text-id.example"_s}));
        QVERIFY(store->writeProblem().isEmpty() && store->movedAsidePath().isEmpty());
        store->remove(store->domains()->at(1));
        QVERIFY(!store->save());
        QCOMPARE(onDisk(path).names, (QStringList{u"good.example"_s, QString(), u"bad-id.example"_s,
                                                  u"short-id.example"_s}));
        store->insert(record(u"after.example"_s));
        store->insert(record(u"hello.example"_s));
        store->remove(store->domains()->records().at(1));
        QVERIFY(!store->save());
        QCOMPARE(onDisk(path).names,
                 (QStringList{QString(), u"bad-id.example"_s, u"short-id.example"_s,
                              u"after.example"_s, u"hello.example"_s}));
    }

    // A save failing on another's lock stays pending and quiet until autosave writes it; a
    // delete never removes what the other copy added in the reused row number.
    void twoCopiesOnOneFile() {
        const QString path = freshPath();
        auto first = openStore(path);
        sqlite3 *locker = nullptr;
        QCOMPARE(sqlite3_open(QFile::encodeName(path).constData(), &locker), SQLITE_OK);
        QCOMPARE(sqlite3_exec(locker, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr), SQLITE_OK);
        for (const QString &text : {u" keep\U0001D49C"_s, u"last"_s + QChar(0xD800)})
            first->insert(record(text));
        QVERIFY(first->save().has_value() && first->hasChanges());
        QVERIFY(first->writeProblem().isEmpty());
        QSignalSpy saved(first.get(), &BlocklistStore::saved);
        QCOMPARE(sqlite3_exec(locker, "COMMIT", nullptr, nullptr, nullptr), SQLITE_OK);
        sqlite3_close(locker);
        QVERIFY(saved.wait(10000));
        auto second = openStore(path);
        QCOMPARE(second->domains()->domainNames(), first->domains()->domainNames());
        first->remove(first->domains()->at(1));
        QVERIFY(!first->save());
        first->insert(record(u"added-by-first.example"_s));
        QVERIFY(!first->save());
        second->remove(second->domains()->at(1)); // its own view of the removed one
        QVERIFY(!second->save());
        QCOMPARE(onDisk(path).names,
                 (QStringList{u" keep\U0001D49C"_s, u"added-by-first.example"_s}));
    }

    // A full disk keeps the intact file; the edit is written once space returns.
    void fullDiskKeepsFileAndWritesLater() {
        if (::geteuid() != 0)
            QSKIP("a full disk is a small tmpfs in a private mount namespace, which needs root");
        const QString folder = m_env.root() + u"/full-disk"_s;
        QVERIFY(QDir().mkpath(folder));
        int code = 0;
        const QByteArray out = runChild({u"full-disk"_s, folder}, &code);
        if (code == 77)
            QSKIP(qPrintable(u"no private mount namespace: "_s + QString::fromUtf8(out)));
        QCOMPARE(code, 0);
        QCOMPARE(out,
                 QByteArray("26 records, moved aside: , pending: 1, problem: the disk is full\n"
                            "problem: , on disk: 26, then pending: 1, on disk: 27"));
    }

    // A writer killed at random points loses no acknowledged write and leaves an intact file.
    void killedWriterLosesNothingAcknowledged() {
        const QString path = m_env.dataHome() + u"/crash/blocklist.sqlite"_s;
        QRandomGenerator random(QRandomGenerator::global()->generate());
        QSet<QUuid> expected;
        for (int round = 0; round < 40; ++round) {
            QProcess writer;
            startChild(writer, {u"writer"_s, path, QString::number(random.generate())});
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

    // Text is kept as typed; only a canonically equal duplicate and the empty text are refused
    // (an empty match domain would send every look-up to the dead end). The field empties.
    void typedEntries_data() {
        QTest::addColumn<QStringList>("existing");
        QTest::addColumn<QString>("typed");
        QTest::addColumn<bool>("added");
        QTest::newRow("differs in case")
            << QStringList{u"example.com"_s} << u"Example.com"_s << true;
        QTest::newRow("empty refused") << QStringList{} << QString() << false;
        QTest::newRow("composed equals decomposed")
            << QStringList{u"caf\u00e9.fr"_s} << u"cafe\u0301.fr"_s << false;
    }
    void typedEntries() {
        QFETCH(QStringList, existing);
        QFETCH(QString, typed);
        QFETCH(bool, added);
        BlocklistStore store(QString(), {.isStoredInMemoryOnly = true});
        for (const QString &text : existing)
            store.insert(record(text));
        QString addText = typed;
        const DomainRef entry = EntryRules::submitDomain(addText, store);
        QVERIFY(addText.isEmpty());
        QCOMPARE(store.domains()->count(), existing.size() + (added ? 1 : 0));
        QVERIFY(added ? entry && entry->domain() == typed : !entry);
    }
};

int main(int argc, char **argv) {
    // The small disk is mounted before any thread starts, so the whole child sees it.
    if (argc == 4 && qstrcmp(argv[1], "--child") == 0 && qstrcmp(argv[2], "full-disk") == 0) {
        if (const QString failure = privateSmallDisk(argv[3]); !failure.isEmpty()) {
            std::printf("%s\n", qPrintable(failure));
            return 77;
        }
    }
    return mainWithChild<TestBlocklistStore>(argc, argv, child);
}

#include "tst_blocklist_store.moc"
