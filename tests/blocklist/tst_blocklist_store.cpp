#include "blocklist/BlocklistStore.h"
#include "blocklist/DomainListModel.h"
#include "blocklist/EntryRules.h"
#include "common/BlocklistFiles.h"
#include "common/TestEnvironment.h"
#include "common/TestFiles.h"

#include <QAbstractItemModelTester>
#include <QDir>
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

/** One "id hex-of-UTF-16" line per record in list order: any text crosses a process intact. */
QByteArray recordLines(BlocklistStore &store) {
    QByteArray lines;
    for (const DomainRef &r : store.domains()->records())
        lines +=
            r->id().toByteArray(QUuid::WithoutBraces) + ' ' +
            QByteArray(reinterpret_cast<const char *>(r->domain().utf16()), r->domain().size() * 2)
                .toHex() +
            '\n';
    return lines;
}

/** `list PATH` prints recordLines; `full-disk FOLDER`, on the tmpfs main() mounted there, fills
    the disk under a saved file and prints what a store opened on it then saw and did. */
int childSide(const QStringList &args) {
    QTextStream out(stdout);
    if (args.value(0) == u"list"_s) {
        BlocklistStore store(args.value(1));
        out << recordLines(store);
        return 0;
    }
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
    // The disk filling up under the open store: the failed save once reset statements the
    // failure had just finalized.
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
    void initTestCase() {
        QVERIFY(m_env.isValid());
        const QString path = openStore(QString())->path();
        QVERIFY(path.startsWith(m_env.dataHome() + u'/') && QFileInfo::exists(path));
    }

    // Listed in code point order (not UTF-16's: above-BMP after U+FFFD), equal texts in
    // insertion order; any text, the ids and the order reach another process. A save that fails
    // while another writer holds the file keeps everything pending without troubling the user, and
    // autosave writes it once the lock is gone.
    void recordsReachAnotherProcess() {
        const QString path = freshPath();
        auto store = openStore(path);
        sqlite3 *locker = nullptr;
        QCOMPARE(sqlite3_open(QFile::encodeName(path).constData(), &locker), SQLITE_OK);
        QCOMPARE(sqlite3_exec(locker, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr), SQLITE_OK);
        const QList<DomainRef> made{record(u"b"_s),        record(u"a"_s),
                                    record(u"a"_s),        record(u"\U0001D49C"_s),
                                    record(u" spaced "_s), record(u"lone"_s + QChar(0xD800)),
                                    record(u"\uFFFD"_s),   record(u"B"_s)};
        for (const DomainRef &r : made)
            store->insert(r);
        QCOMPARE(store->domains()->records(),
                 (QList<DomainRef>{made[4], made[7], made[1], made[2], made[0], made[5], made[6],
                                   made[3]}));
        QVERIFY(store->save().has_value() && store->hasChanges());
        QVERIFY(store->writeProblem().isEmpty());

        QSignalSpy saved(store.get(), &BlocklistStore::saved);
        QCOMPARE(sqlite3_exec(locker, "COMMIT", nullptr, nullptr, nullptr), SQLITE_OK);
        sqlite3_close(locker);
        QVERIFY(saved.wait(10000));
        QCOMPARE(runChild({u"list"_s, path}), recordLines(*store));
        store->remove(made[1]);
        QVERIFY(!store->save());
        QCOMPARE(runChild({u"list"_s, path}), recordLines(*store));
    }

    // How a file found at start is taken. One that cannot be written is never set aside: its
    // records are shown where it can be read, edits work from memory, and once it can be written
    // again the pending insert and delete are written by id, over what another program wrote
    // meanwhile. A link (to the file or its journal), a FIFO or a file of a newer version is
    // never written and stays as it is; a bad file is moved aside intact and a new one started;
    // a file without our tables gets them, marked current.
    void filesFoundAtStart_data() {
        QTest::addColumn<QString>("setup");
        QTest::addColumn<QString>("problem");
        const QString link = u"the file is a symbolic link"_s;
        QTest::newRow("read-only file") << u"0444"_s << u"the file is read-only"_s;
        QTest::newRow("folder not writable") << u"folder"_s << u"its folder is not writable"_s;
        QTest::newRow("unreadable file") << u"0000"_s << u"the file can't be read"_s;
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
            addDomains(path, names);
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
        const bool unwritable = setup.startsWith(u'0') || setup == u"folder"_s;
        const auto restrict = [&](bool on) {
            const QByteArray file = QFile::encodeName(path);
            const QByteArray folder = QFile::encodeName(QFileInfo(path).absolutePath());
            return ::chmod(file.constData(),
                           on && setup != u"folder"_s ? setup.toUInt(nullptr, 8) : 0644) == 0 &&
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
        QStringList shown = setup == u"0000"_s ? QStringList() : names;
        QCOMPARE(store->domains()->domainNames(), shown);
        QString added = u"added-meanwhile.example"_s;
        QVERIFY(submitDomain(added, *store));
        if (!shown.isEmpty()) {
            store->remove(store->domains()->at(1)); // site00, after the one added
            shown.removeFirst();
        }
        shown.prepend(u"added-meanwhile.example"_s);
        QCOMPARE(store->domains()->domainNames(), shown);
        QCOMPARE(store->save().has_value(), !problem.isEmpty());
        asUser.reset();
        if (problem.isEmpty()) {
            QCOMPARE(onDisk(path).names, shown);
            // Marked current, or the next start would run the schema steps again.
            QVERIFY(
                exec(path, "CREATE TEMP TABLE v(x CHECK (x = " +
                               QByteArray::number(BlocklistStore::schemaVersion) +
                               ")); INSERT INTO v SELECT user_version FROM pragma_user_version"));
            return;
        }
        QCOMPARE(fileBytes(kept), before);
        QCOMPARE(QFileInfo(path).isSymLink(), setup == u"link"_s);
        if (!unwritable)
            return;

        QSignalSpy problemChanged(store.get(), &BlocklistStore::writeProblemChanged);
        QSignalSpy saved(store.get(), &BlocklistStore::saved);
        QVERIFY(restrict(false));
        QVERIFY(exec(path, "INSERT INTO domains(domain, id) VALUES('other.example', "
                           "randomblob(16)); DELETE FROM domains WHERE domain = 'site01.test'"));
        asUser.emplace();
        QVERIFY(saved.wait(20000));
        asUser.reset();
        QVERIFY(store->writeProblem().isEmpty());
        QCOMPARE(problemChanged.size(), 1);
        // site00 deleted here (where it could be read), site01 there.
        QStringList expected = names.mid(setup == u"0000"_s ? 0 : 2);
        if (setup == u"0000"_s)
            expected.removeAt(1);
        expected << u"other.example"_s << u"added-meanwhile.example"_s;
        QCOMPARE(onDisk(path).names, expected);
        if (setup == u"0000"_s) { // what could not be read at start joined the list
            expected.sort();
            QCOMPARE(store->domains()->domainNames(), expected);
        }
    }

    // A row another program wrote badly is skipped and logged; the others are kept, and a
    // record whose id was written as text is still deleted by that id, alone.
    void damagedRowsSkipped() {
        const QString path = freshPath();
        QVERIFY(exec(path, "CREATE TABLE domains(seq INTEGER PRIMARY KEY, domain, id);"
                           "INSERT INTO domains VALUES(1, 'good-1.example', randomblob(16));"
                           "INSERT INTO domains VALUES(2, NULL, randomblob(16));"
                           "INSERT INTO domains VALUES(3, 'bad-id.example', 'not a uuid');"
                           "INSERT INTO domains VALUES(4, x'616263', randomblob(16));"
                           "INSERT INTO domains VALUES(5, 'short-id.example', randomblob(15));"
                           "INSERT INTO domains VALUES(6, 'text-id.example',"
                           " '{6F1C0C3E-2F0A-4B53-9B0E-3C8D6A0E2F11}');"
                           "INSERT INTO domains VALUES(7, 'good-2.example', randomblob(16));"
                           "PRAGMA user_version = 1;"));
        auto store = openStore(path);
        QCOMPARE(store->domains()->domainNames(),
                 (QStringList{u"good-1.example"_s, u"good-2.example"_s, u"text-id.example"_s}));
        QVERIFY(store->writeProblem().isEmpty() && store->movedAsidePath().isEmpty());
        QCOMPARE(store->domains()->at(2)->id(), QUuid(u"6f1c0c3e-2f0a-4b53-9b0e-3c8d6a0e2f11"_s));
        store->remove(store->domains()->at(2));
        QVERIFY(!store->save());
        QCOMPARE(onDisk(path).names,
                 (QStringList{u"good-1.example"_s, QString(), u"bad-id.example"_s, u"abc"_s,
                              u"short-id.example"_s, u"good-2.example"_s}));
    }

    // Two copies on one file: a delete in one never removes what the other added, though
    // SQLite hands the freed row number to the next insert.
    void deleteMatchesIdentity() {
        const QString path = freshPath();
        auto first = openStore(path);
        first->insert(record(u"keep.example"_s));
        first->insert(record(u"last.example"_s));
        QVERIFY(!first->save());
        auto second = openStore(path);
        first->remove(first->domains()->at(1));
        QVERIFY(!first->save());
        first->insert(record(u"added-by-first.example"_s));
        QVERIFY(!first->save());
        second->remove(second->domains()->at(1)); // its own view of last.example
        QVERIFY(!second->save());
        QCOMPARE(onDisk(path).names, (QStringList{u"keep.example"_s, u"added-by-first.example"_s}));
    }

    // With the disk full at start, or filling up under an open store, the intact file is kept
    // and the edit made then is written once space returns. Runs in a child with a small tmpfs of
    // its own.
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

private:
    /** site00.test .. site59.test saved in a new file at `path`, and listed in `names`. */
    static void addDomains(const QString &path, QStringList &names) {
        auto store = openStore(path);
        for (int i = 0; i < 60; ++i) {
            names << u"site%1.test"_s.arg(i, 2, 10, QChar(u'0'));
            store->insert(record(names.last()));
        }
        QVERIFY(!store->save());
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
    return mainWithChild<TestBlocklistStore>(argc, argv, childSide);
}

#include "tst_blocklist_store.moc"
