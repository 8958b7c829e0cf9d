#include "blocklist/BlocklistStore.h"
#include "blocklist/DomainListModel.h"
#include "blocklist/EntryRules.h"
#include "common/TestEnvironment.h"

#include <QAbstractItemModelTester>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QSignalSpy>
#include <QTest>

#include <sqlite3.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <linux/capability.h>
#include <memory>
#include <optional>
#include <sched.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

using namespace Qt::StringLiterals;

namespace {

// Texts cross the process boundary as hex of their UTF-16 units, so any text survives.
QByteArray encode(const QString &text) {
    return QByteArray(reinterpret_cast<const char *>(text.utf16()), text.size() * 2).toHex();
}

std::unique_ptr<BlocklistStore> openStore(const QString &path) {
    auto store = std::make_unique<BlocklistStore>(path);
    new QAbstractItemModelTester(
        store->domains(), QAbstractItemModelTester::FailureReportingMode::QtTest, store->domains());
    return store;
}

DomainRef record(const QString &text) {
    return std::make_shared<Domain>(text, QUuid::createUuid());
}

/** One "id hex-text" line per record, in list order. */
QByteArray recordLines(BlocklistStore &store) {
    QByteArray lines;
    for (const DomainRef &r : store.domains()->records())
        lines +=
            r->id().toString(QUuid::WithoutBraces).toLatin1() + ' ' + encode(r->domain()) + '\n';
    return lines;
}

QByteArray readAll(const QString &path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("(unreadable)");
}

/** Runs SQL on the file as another program would, outside the store. */
bool exec(const QString &path, const QByteArray &sql) {
    sqlite3 *db = nullptr;
    const bool ok = sqlite3_open(QFile::encodeName(path).constData(), &db) == SQLITE_OK &&
                    sqlite3_exec(db, sql.constData(), nullptr, nullptr, nullptr) == SQLITE_OK;
    sqlite3_close(db);
    return ok;
}

/** The `domain` texts on disk in row order, read as another program would; "integrity: ..."
    first when the file fails its check. */
QStringList namesOnDisk(const QString &path) {
    sqlite3 *db = nullptr;
    QStringList names;
    if (sqlite3_open_v2(QFile::encodeName(path).constData(), &db, SQLITE_OPEN_READONLY, nullptr) ==
        SQLITE_OK) {
        sqlite3_stmt *check = nullptr;
        sqlite3_prepare_v2(db, "PRAGMA integrity_check", -1, &check, nullptr);
        if (sqlite3_step(check) != SQLITE_ROW ||
            qstrcmp(reinterpret_cast<const char *>(sqlite3_column_text(check, 0)), "ok") != 0)
            names << u"integrity: failed"_s;
        sqlite3_finalize(check);
        sqlite3_stmt *query = nullptr;
        sqlite3_prepare_v2(db, "SELECT domain FROM domains ORDER BY seq", -1, &query, nullptr);
        while (sqlite3_step(query) == SQLITE_ROW)
            names << QString::fromUtf8(
                reinterpret_cast<const char *>(sqlite3_column_text(query, 0)));
        sqlite3_finalize(query);
    }
    sqlite3_close(db);
    return names;
}

/**
 * While alive, this thread has none of root's overrides of file permissions, so chmod and
 * chown bind it as they bind any user. The store does all its file work on this thread.
 */
class WithoutFileOverrides {
public:
    WithoutFileOverrides() { setOverrides(false); }
    ~WithoutFileOverrides() { setOverrides(true); }
    WithoutFileOverrides(const WithoutFileOverrides &) = delete;
    WithoutFileOverrides &operator=(const WithoutFileOverrides &) = delete;

private:
    static void setOverrides(bool on) {
        __user_cap_header_struct header{_LINUX_CAPABILITY_VERSION_3, 0};
        __user_cap_data_struct data[2]{};
        if (::syscall(SYS_capget, &header, data) != 0)
            return;
        constexpr quint32 overrides =
            (1u << CAP_DAC_OVERRIDE) | (1u << CAP_DAC_READ_SEARCH) | (1u << CAP_FOWNER);
        data[0].effective = on ? data[0].effective | (overrides & data[0].permitted)
                               : data[0].effective & ~overrides;
        ::syscall(SYS_capset, &header, data);
    }
};

/** Mounts a small tmpfs on `folder` in a mount namespace of this process's own; before any
    thread starts, so the whole process sees it. */
QString privateSmallDisk(const char *folder) {
    if (::unshare(CLONE_NEWNS | CLONE_NEWNET) != 0)
        return u"unshare: "_s + QString::fromLocal8Bit(strerror(errno));
    if (::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0 ||
        ::mount("quellnet-test", folder, "tmpfs", 0, "size=256k,mode=0700") != 0)
        return u"mount: "_s + QString::fromLocal8Bit(strerror(errno));
    return {};
}

/** Fills the disk of `folder` up to the last byte; false if it could not. */
bool fillDisk(const QString &folder) {
    const int fd = ::open(QFile::encodeName(folder + u"/filler"_s).constData(),
                          O_WRONLY | O_CREAT | O_CLOEXEC, 0600);
    const QByteArray block(4096, 'x');
    bool full = false;
    for (qsizetype size = block.size(); fd >= 0 && size > 0; size /= 2) {
        while (::write(fd, block.constData(), size_t(size)) == size) {
        }
        full = errno == ENOSPC;
    }
    ::close(fd);
    return full;
}

/** Child side: `list <path>` prints recordLines; `full-disk <folder>` runs the full disk case
    on the tmpfs main() mounted there and prints what it saw. */
int runChild(const QStringList &args) {
    if (args.value(0) == u"list"_s) {
        BlocklistStore store(args.value(1));
        QTextStream(stdout) << recordLines(store);
        return 0;
    }
    const QString folder = args.value(1);
    const QString path = folder + u"/blocklist.sqlite"_s;
    {
        BlocklistStore store(path);
        for (int i = 0; i < 25; ++i)
            store.insert(record(u"site%1.test"_s.arg(i)));
        if (store.save())
            return 2;
    }
    if (!fillDisk(folder))
        return 3;
    QTextStream out(stdout);
    const auto problem = [](const BlocklistStore &store) {
        return store.writeProblem().isEmpty() ? u"none"_s : store.writeProblem();
    };
    BlocklistStore store(path);
    out << "opened " << store.domains()->count() << " records, "
        << (store.movedAsidePath().isEmpty() ? "not moved aside" : "moved aside")
        << ", problem: " << problem(store) << Qt::endl;
    QString text = u"after-full.example"_s;
    submitDomain(text, store);
    out << (store.hasChanges() ? "save failed" : "saved") << ", problem: " << problem(store)
        << Qt::endl;
    QSignalSpy saved(&store, &BlocklistStore::saved);
    QFile::remove(folder + u"/filler"_s);
    if (!saved.wait(20000))
        return 4;
    out << "saved after space returned, problem: " << problem(store) << Qt::endl;
    out << "on disk: " << namesOnDisk(path).size() << " records" << Qt::endl;
    return 0;
}

} // namespace

class TestBlocklistStore : public QObject {
    Q_OBJECT

    TestEnvironment m_env;
    int m_case = 0;
    QString freshPath() { return m_env.root() + u"/store%1/blocklist.sqlite"_s.arg(++m_case); }

    static QByteArray inChild(const QStringList &args) {
        QProcess child;
        child.start(QCoreApplication::applicationFilePath(), QStringList{u"--child"_s} + args);
        if (!child.waitForFinished(60000) || child.exitCode() != 0)
            return "child failed: " + child.readAllStandardError();
        return child.readAllStandardOutput();
    }

private Q_SLOTS:
    void initTestCase() {
        QVERIFY(m_env.isValid());
        const QString path = openStore(QString())->path();
        QVERIFY(path.startsWith(m_env.dataHome() + u'/') && QFileInfo::exists(path));
    }

    // Code point order (upper case first, above-BMP after U+FFFD), not UTF-16 order, both live
    // and after a reopen; inserts land in place (the model tester checks the neighbours).
    void ordering_data() {
        QTest::addColumn<QStringList>("inserted");
        QTest::addColumn<QStringList>("listed");
        QTest::newRow("upper case first")
            << QStringList{u"b"_s, u"A"_s, u"a"_s} << QStringList{u"A"_s, u"a"_s, u"b"_s};
        QTest::newRow("above the BMP by code point")
            << QStringList{u"\U0001D49C"_s, u"\uFFFD"_s, u"\uFF21"_s, u"\uD7FF"_s}
            << QStringList{u"\uD7FF"_s, u"\uFF21"_s, u"\uFFFD"_s, u"\U0001D49C"_s};
    }
    void ordering() {
        QFETCH(QStringList, inserted);
        QFETCH(QStringList, listed);
        const QString path = freshPath();
        auto store = openStore(path);
        for (const QString &text : inserted)
            store->insert(record(text));
        QVERIFY(!store->save());
        QCOMPARE(store->domains()->domainNames(), listed);
        store.reset();
        QCOMPARE(openStore(path)->domains()->domainNames(), listed);
    }

    // Equal texts coexist in insertion order; records, ids and order reach another process; a
    // deleted record stays gone once saved.
    void recordsPersistAcrossProcesses() {
        const QString path = freshPath();
        const QList<DomainRef> made{record(u"b"_s), record(u"a"_s), record(u"a"_s),
                                    record(u" spaced "_s), record(u"lone"_s + QChar(0xD800))};
        auto store = openStore(path);
        for (const DomainRef &r : made)
            store->insert(r);
        QCOMPARE(store->domains()->records(),
                 (QList<DomainRef>{made[3], made[1], made[2], made[0], made[4]}));
        QVERIFY(!store->save());
        QCOMPARE(inChild({u"list"_s, path}), recordLines(*store));

        store->remove(made[1]);
        QVERIFY(!store->save());
        QCOMPARE(inChild({u"list"_s, path}), recordLines(*store));
    }

    // A file that cannot be written is never set aside: its records are shown where it can be
    // read, the reason is named, edits work from memory, and once it can be written again the
    // pending insert and delete are written by id, over what another program wrote meanwhile.
    void unwritableFileKeptThenReplayed_data() {
        QTest::addColumn<QString>("restriction");
        QTest::addColumn<QString>("problem");
        QTest::addColumn<bool>("readable");
        QTest::newRow("read-only file") << u"file 444"_s << u"the file is read-only"_s << true;
        QTest::newRow("owned by another user")
            << u"owner"_s << u"the file belongs to another user"_s << true;
        QTest::newRow("folder not writable")
            << u"folder 555"_s << u"its folder is not writable"_s << true;
        QTest::newRow("unreadable file") << u"file 000"_s << u"the file can't be read"_s << false;
    }
    void unwritableFileKeptThenReplayed() {
        QFETCH(QString, restriction);
        QFETCH(QString, problem);
        QFETCH(bool, readable);
        const bool root = ::geteuid() == 0;
        if (restriction == u"owner"_s && !root)
            QSKIP("giving the file to another user needs root");
        const QString path = freshPath();
        const QString folder = QFileInfo(path).absolutePath();
        QStringList names;
        {
            auto store = openStore(path);
            for (int i = 0; i < 25; ++i) {
                names << u"site%1.test"_s.arg(i, 2, 10, QChar(u'0'));
                store->insert(record(names.last()));
            }
            QVERIFY(!store->save());
        }
        const QByteArray before = readAll(path);
        const auto restrict = [&](bool on) {
            using P = QFileDevice;
            const auto rw = P::ReadOwner | P::WriteOwner | P::ReadGroup | P::ReadOther;
            if (restriction == u"owner"_s)
                return ::chown(QFile::encodeName(path).constData(), on ? 65534 : 0, -1) == 0;
            if (restriction == u"folder 555"_s)
                return QFile::setPermissions(folder,
                                             on ? P::ReadOwner | P::ExeOwner
                                                : P::ReadOwner | P::WriteOwner | P::ExeOwner);
            if (restriction == u"file 444"_s)
                return QFile::setPermissions(path,
                                             on ? P::ReadOwner | P::ReadGroup | P::ReadOther : rw);
            return QFile::setPermissions(path, on ? P::Permissions() : rw);
        };
        QVERIFY(restrict(true));
        std::optional<WithoutFileOverrides> asUser;
        if (root)
            asUser.emplace();

        QTest::ignoreMessage(QtWarningMsg,
                             QRegularExpression(u"^The blocklist .* can't be saved: "_s +
                                                QRegularExpression::escape(problem) + u"$"_s));
        if (!readable)
            QTest::ignoreMessage(QtWarningMsg, QRegularExpression(u"could not be read either"_s));
        auto store = openStore(path);
        QCOMPARE(store->writeProblem(), problem);
        QVERIFY(store->isStoredInMemoryOnly());
        QVERIFY(store->movedAsidePath().isEmpty());
        QCOMPARE(store->domains()->domainNames(), readable ? names : QStringList());
        QString added = u"added-meanwhile.example"_s;
        QVERIFY(submitDomain(added, *store));
        if (readable)
            store->remove(store->domains()->at(store->domains()->domainNames().indexOf(names[0])));
        QVERIFY(store->save().has_value());
        QCOMPARE(store->writeProblem(), problem);
        asUser.reset();
        QCOMPARE(readAll(path), before);

        QSignalSpy problemChanged(store.get(), &BlocklistStore::writeProblemChanged);
        QSignalSpy saved(store.get(), &BlocklistStore::saved);
        QVERIFY(restrict(false));
        QVERIFY(exec(path, "INSERT INTO domains(domain, id) VALUES('other.example', "
                           "randomblob(16)); DELETE FROM domains WHERE domain = 'site01.test'"));
        if (root)
            asUser.emplace();
        QVERIFY(saved.wait(20000));
        asUser.reset();
        QVERIFY(store->writeProblem().isEmpty());
        QCOMPARE(problemChanged.size(), 1);

        QStringList onDisk = names.mid(2); // site00 deleted here, site01 by the other program
        if (!readable)
            onDisk.prepend(names.at(0));
        onDisk << u"other.example"_s << u"added-meanwhile.example"_s;
        QCOMPARE(namesOnDisk(path), onDisk);
        if (!readable) { // what could not be read at start joined the list
            onDisk.sort();
            QCOMPARE(store->domains()->domainNames(), onDisk);
        }
    }

    // Nothing is read or written through a link or from a FIFO, and both stay as they are.
    void refusedPaths_data() {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<QString>("problem");
        QTest::newRow("file is a link") << u"link"_s << u"the file is a symbolic link"_s;
        QTest::newRow("journal is a link") << u"journal link"_s << u"the file is a symbolic link"_s;
        QTest::newRow("FIFO") << u"fifo"_s << u"it is not a regular file"_s;
        QTest::newRow("folder cannot be made") << u"folder"_s << u"its folder can't be created"_s;
    }
    void refusedPaths() {
        QFETCH(QString, kind);
        QFETCH(QString, problem);
        QString path = freshPath();
        const QString target = path + u".elsewhere"_s;
        QDir().mkpath(QFileInfo(path).absolutePath());
        openStore(target)->insert(record(u"target.example"_s));
        const QByteArray targetBytes = readAll(target);
        if (kind == u"link"_s)
            QVERIFY(QFile::link(target, path));
        else if (kind == u"journal link"_s)
            QVERIFY(QFile::link(target, path + u"-wal"_s));
        else if (kind == u"fifo"_s)
            QCOMPARE(::mkfifo(QFile::encodeName(path).constData(), 0600), 0);
        else
            path = target + u"/blocklist.sqlite"_s; // a file where its folder should be

        QTest::ignoreMessage(QtWarningMsg, QRegularExpression(u"can't be saved: "_s + problem));
        auto store = openStore(path);
        QCOMPARE(store->writeProblem(), problem);
        QCOMPARE(store->domains()->count(), 0);
        QString text = u"kept-in-memory.example"_s;
        QVERIFY(submitDomain(text, *store));
        QVERIFY(store->save().has_value());
        QCOMPARE(store->domains()->domainNames(), QStringList{u"kept-in-memory.example"_s});
        store.reset();
        QCOMPARE(readAll(target), targetBytes);
        QCOMPARE(QFileInfo(path).isSymLink(), kind == u"link"_s);
    }

    // A row another program wrote badly is skipped and logged; the others are kept, and a
    // record whose id was written as text is still deleted by that id, alone.
    void damagedRowsSkipped() {
        const QString path = freshPath();
        QDir().mkpath(QFileInfo(path).absolutePath());
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
        for (int row = 2; row <= 5; ++row)
            QTest::ignoreMessage(
                QtWarningMsg,
                QRegularExpression(u"^Skipped the damaged record in row %1 of "_s.arg(row)));
        auto store = openStore(path);
        QCOMPARE(store->domains()->domainNames(),
                 (QStringList{u"good-1.example"_s, u"good-2.example"_s, u"text-id.example"_s}));
        QVERIFY(store->writeProblem().isEmpty() && store->movedAsidePath().isEmpty());
        const DomainRef textId = store->domains()->at(2);
        QCOMPARE(textId->id(), QUuid(u"6f1c0c3e-2f0a-4b53-9b0e-3c8d6a0e2f11"_s));
        store->remove(textId);
        QVERIFY(!store->save());
        QCOMPARE(namesOnDisk(path),
                 (QStringList{u"good-1.example"_s, QString(), u"bad-id.example"_s, u"abc"_s,
                              u"short-id.example"_s, u"good-2.example"_s}));
    }

    // Schema steps bring older files up; a file from a newer version is read, never written,
    // moved or changed.
    void schemaVersions_data() {
        QTest::addColumn<int>("version");
        QTest::newRow("no schema yet") << 0;
        QTest::newRow("newer") << 2;
    }
    void schemaVersions() {
        QFETCH(int, version);
        const QString path = freshPath();
        QDir().mkpath(QFileInfo(path).absolutePath());
        QStringList names;
        if (version == 0) {
            QVERIFY(exec(path, "CREATE TABLE unrelated(x)"));
        } else {
            auto store = openStore(path);
            names = QStringList{u"a.example"_s, u"b.example"_s};
            for (const QString &name : std::as_const(names))
                store->insert(record(name));
            QVERIFY(!store->save());
            store.reset();
            QVERIFY(exec(path, "PRAGMA user_version = " + QByteArray::number(version)));
        }
        const QByteArray before = readAll(path);
        const bool newer = version > BlocklistStore::schemaVersion;
        if (newer)
            QTest::ignoreMessage(QtWarningMsg, QRegularExpression(u"newer version"_s));
        auto store = openStore(path);
        QCOMPARE(store->domains()->domainNames(), names);
        QCOMPARE(store->writeProblem(),
                 newer ? u"it was saved by a newer version of Quellnet"_s : QString());
        QString text = u"c.example"_s;
        QVERIFY(submitDomain(text, *store));
        text = u"c.example"_s; // the add field is emptied
        QCOMPARE(store->save().has_value(), newer);
        store.reset();
        if (newer) {
            QCOMPARE(readAll(path), before);
            return;
        }
        QCOMPARE(namesOnDisk(path), names << text);
        // The steps leave the file marked current, or the next start would run them again.
        const QByteArray current = QByteArray::number(BlocklistStore::schemaVersion);
        QVERIFY(exec(path, "CREATE TEMP TABLE v(x CHECK (x = " + current +
                               ")); INSERT INTO v SELECT user_version FROM pragma_user_version"));
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
        QCOMPARE(second->domains()->count(), 2);

        first->remove(first->domains()->at(1));
        QVERIFY(!first->save());
        first->insert(record(u"added-by-first.example"_s));
        QVERIFY(!first->save());
        second->remove(second->domains()->at(1)); // its own view of last.example
        QVERIFY(!second->save());
        QCOMPARE(namesOnDisk(path), (QStringList{u"keep.example"_s, u"added-by-first.example"_s}));
    }

    // With the disk full at start the intact file is read, not set aside; the edit made then is
    // written once space returns. Runs in a child with a small tmpfs of its own.
    void fullDiskKeepsFileAndWritesLater() {
        if (::geteuid() != 0)
            QSKIP("a full disk is a small tmpfs in a private mount namespace, which needs root");
        const QString folder = m_env.root() + u"/full-disk"_s;
        QVERIFY(QDir().mkpath(folder));
        QProcess child;
        child.start(QCoreApplication::applicationFilePath(),
                    {u"--child"_s, u"full-disk"_s, folder});
        QVERIFY(child.waitForFinished(60000));
        const QByteArray out = child.readAllStandardOutput();
        if (child.exitCode() == 77)
            QSKIP(qPrintable(u"no private mount namespace: "_s + QString::fromUtf8(out)));
        QVERIFY2(child.exitCode() == 0, child.readAllStandardError().constData());
        QCOMPARE(out, QByteArray("opened 25 records, not moved aside, problem: the disk is full\n"
                                 "save failed, problem: the disk is full\n"
                                 "saved after space returned, problem: none\n"
                                 "on disk: 26 records\n"));
    }

    // A bad file is moved aside intact, the store still opens on disk, and what is added then
    // is kept at the usual path.
    void corruptFileMovedAside_data() {
        QTest::addColumn<qint64>("damageAt"); // -1: not a database at all
        QTest::newRow("not a database") << qint64(-1);
        QTest::newRow("damaged page") << qint64(4096);
    }
    void corruptFileMovedAside() {
        QFETCH(qint64, damageAt);
        const QString path = freshPath();
        QDir().mkpath(QFileInfo(path).absolutePath());
        if (damageAt >= 0) {
            auto store = openStore(path);
            for (int i = 0; i < 60; ++i)
                store->insert(record(u"site%1.test"_s.arg(i)));
        }
        QFile file(path);
        QVERIFY(file.open(QIODevice::ReadWrite) && file.seek(qMax(damageAt, 0)));
        file.write(QByteArray("no database here\n").repeated(300));
        QVERIFY(file.seek(0));
        const QByteArray before = file.readAll();
        file.close();
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression(u"^Moved the damaged blocklist "_s));
        auto store = openStore(path);
        const QString aside = store->movedAsidePath();
        QVERIFY2(aside.startsWith(path + u".corrupt-"_s), qPrintable(aside));
        QCOMPARE(store->domains()->count(), 0);
        QVERIFY(store->writeProblem().isEmpty());
        QFile moved(aside);
        QVERIFY(moved.open(QIODevice::ReadOnly) && moved.readAll() == before);
        QString text = u"kept.example"_s;
        QVERIFY(submitDomain(text, *store));
        store.reset();
        QCOMPARE(openStore(path)->domains()->domainNames(), QStringList{u"kept.example"_s});
    }

    // A save that fails (file locked by another writer) keeps the record listed and pending;
    // autosave writes it once the lock is gone.
    void failedSaveRetried() {
        const QString path = freshPath();
        auto store = openStore(path);
        sqlite3 *locker = nullptr;
        QCOMPARE(sqlite3_open(QFile::encodeName(path).constData(), &locker), SQLITE_OK);
        QCOMPARE(sqlite3_exec(locker, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr), SQLITE_OK);

        QString text = u"pending.example"_s;
        const DomainRef made = submitDomain(text, *store);
        QVERIFY(made && store->hasChanges());
        QVERIFY(store->save().has_value());
        QVERIFY(store->writeProblem().isEmpty()); // only waiting, nothing to tell the user

        QCOMPARE(sqlite3_exec(locker, "COMMIT", nullptr, nullptr, nullptr), SQLITE_OK);
        sqlite3_close(locker);
        QSignalSpy saved(store.get(), &BlocklistStore::saved);
        QVERIFY(saved.wait(10000));
        QCOMPARE(inChild({u"list"_s, path}), recordLines(*store));
    }
};

int main(int argc, char **argv) {
    if (argc == 4 && qstrcmp(argv[1], "--child") == 0 && qstrcmp(argv[2], "full-disk") == 0) {
        if (const QString failure = privateSmallDisk(argv[3]); !failure.isEmpty()) {
            std::printf("%s\n", qPrintable(failure));
            return 77;
        }
    }
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    if (args.value(1) == u"--child"_s)
        return runChild(args.mid(2));
    TestBlocklistStore test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_blocklist_store.moc"
