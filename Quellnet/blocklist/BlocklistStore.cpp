#include "blocklist/BlocklistStore.h"

#include "blocklist/DomainListModel.h"
#include "foundation/SafeFile.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QScopeGuard>
#include <QSet>
#include <QStandardPaths>
#include <QUrl>

#include <sqlite3.h>

#include <algorithm>
#include <array>
#include <cstring>
#include <fcntl.h>
#include <iterator>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

Q_LOGGING_CATEGORY(lcBlocklist, "quellnet.blocklist")

using namespace Qt::StringLiterals;

namespace {

// A save runs on the UI thread: it waits only briefly for another connection's lock and
// leaves the rest to the retry timer. Opening and the last save before exit wait longer.
constexpr int saveBusyTimeoutMs = 100;
constexpr int openBusyTimeoutMs = 2000;
constexpr int finalBusyTimeoutMs = 2000;
constexpr int autosaveDelayMs = 500;
constexpr int firstRetryMs = 200;
constexpr int maxRetryMs = 30000;

/** One schema version: the statements that bring a file from the version before to it. */
struct SchemaStep {
    int version;
    const char *sql;
};

// Each step runs in a transaction of its own together with its user_version, so a file is at
// one version or the next, never in between. Append steps; never edit a shipped one.
constexpr SchemaStep schemaSteps[] = {
    // seq is the rowid: insertion order, which breaks ties between equal texts. Records are
    // found by id, never by seq, which SQLite hands out again once the highest row is gone.
    {1, "CREATE TABLE IF NOT EXISTS domains("
        "seq INTEGER PRIMARY KEY, domain TEXT NOT NULL, id BLOB NOT NULL)"},
};
static_assert(std::size(schemaSteps) == BlocklistStore::schemaVersion &&
              std::end(schemaSteps)[-1].version == BlocklistStore::schemaVersion);

constexpr const char *insertSql = "INSERT INTO domains(domain, id) VALUES(?1, ?2)";
// After a failed save: whatever the failure, the record is never listed twice.
constexpr const char *insertOnceSql = "INSERT INTO domains(domain, id) SELECT ?1, ?2 "
                                      "WHERE NOT EXISTS (SELECT 1 FROM domains WHERE id = ?2)";
// Deletes go by id. The row a record was last seen in is tried first, and only while it still
// holds that id: SQLite hands a freed row number to the next insert, of any copy.
constexpr const char *deleteSeenSql = "DELETE FROM domains WHERE seq = ?1 AND id = ?2";
// Else the first row with the id; ids written by other programs may be text. Of two rows
// sharing an id (the store does not forbid it), the one with this record's text goes.
constexpr const char *deleteSql =
    "DELETE FROM domains WHERE seq = (SELECT seq FROM domains WHERE id = ?1 OR "
    "(typeof(id) = 'text' AND lower(trim(id, '{}')) = ?2) ORDER BY domain IS ?3 DESC, seq "
    "LIMIT 1)";

/** Resets a reused statement however the step ended, so it never holds a lock. */
struct ResetGuard {
    sqlite3_stmt *statement;
    ~ResetGuard() {
        sqlite3_reset(statement);
        sqlite3_clear_bindings(statement);
    }
};

/** A statement run once, finalized on scope exit. */
struct OneShot {
    sqlite3_stmt *statement = nullptr;
    int rc = SQLITE_OK;
    OneShot(sqlite3 *db, const char *sql) {
        rc = sqlite3_prepare_v2(db, sql, -1, &statement, nullptr);
    }
    ~OneShot() { sqlite3_finalize(statement); }
    int step() { return statement ? (rc = sqlite3_step(statement)) : rc; }
};

int primary(int code) {
    return code & 0xff;
}

bool isTransient(int code) {
    return primary(code) == SQLITE_BUSY || primary(code) == SQLITE_LOCKED ||
           primary(code) == SQLITE_NOMEM;
}

/** The database's own verdict that the file is damaged: the only reason to set it aside. */
bool isCorruption(int code) {
    return primary(code) == SQLITE_CORRUPT || primary(code) == SQLITE_NOTADB;
}

/** Why the file at `file`, or a journal beside it, must not be opened, or empty. SQLite
    follows links (a write would land in the link's target) and blocks reading a FIFO. */
QString refusal(const QString &file) {
    for (const QString &suffix : {QString(), u"-wal"_s, u"-shm"_s, u"-journal"_s}) {
        struct stat status {};
        if (::lstat(QFile::encodeName(file + suffix).constData(), &status) != 0)
            continue; // missing, or unreachable: the open says why
        if (S_ISLNK(status.st_mode))
            return BlocklistStore::tr("the file is a symbolic link");
        if (!S_ISREG(status.st_mode))
            return BlocklistStore::tr("it is not a regular file");
    }
    return {};
}

constexpr std::array journalSuffixes{"-wal", "-shm"};

/**
 * Gives this account's journal (or its index) beside a database back the owner's write
 * permission. SQLite makes them with the database's own mode, so a read while the file was
 * 0444 leaves them 0444; once the file is writable again SQLite opens them read-only and calls
 * the whole database read-only, and every save fails. Nothing but the mode changes.
 */
void letOwnerWrite(const QString &journal) {
    const int fd = ::open(QFile::encodeName(journal).constData(),
                          O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return;
    struct stat status {};
    if (::fstat(fd, &status) == 0 && S_ISREG(status.st_mode) && status.st_uid == ::geteuid() &&
        (status.st_mode & S_IWUSR) == 0) {
        if (::fchmod(fd, (status.st_mode & 07777) | S_IWUSR) == 0)
            qCInfo(lcBlocklist, "Made %s writable again", qUtf8Printable(journal));
        else
            qCWarning(lcBlocklist, "Could not make %s writable again: %s", qUtf8Printable(journal),
                      strerror(errno));
    }
    ::close(fd);
}

bool canAccess(const QByteArray &path, int mode) {
    // Effective ids and capabilities, as the open itself sees them.
    return ::faccessat(AT_FDCWD, path.constData(), mode, AT_EACCESS) == 0;
}

void bindDomainText(sqlite3_stmt *statement, int column, const QString &text) {
    // Text the user gave is kept exactly: UTF-8 when it converts losslessly, else the raw
    // UTF-16 units (a lone surrogate would not survive UTF-8).
    if (text.isValidUtf16()) {
        const QByteArray utf8 = text.toUtf8();
        sqlite3_bind_text(statement, column, utf8.constData(), int(utf8.size()), SQLITE_TRANSIENT);
    } else {
        sqlite3_bind_blob(statement, column, text.utf16(), int(text.size() * sizeof(char16_t)),
                          SQLITE_TRANSIENT);
    }
}

} // namespace

BlocklistStore::BlocklistStore(const QString &path, Options options, QObject *parent)
    : QObject(parent)
    , m_options(options)
    , m_model(new DomainListModel(this)) {
    m_autosaveTimer.setSingleShot(true);
    connect(&m_autosaveTimer, &QTimer::timeout, this, &BlocklistStore::autosave);
    if (auto *app = QCoreApplication::instance())
        connect(app, &QCoreApplication::aboutToQuit, this, [this] {
            // The last chance for changes made while the file could not be written.
            if (!hasChanges() || (!m_db && (m_inMemory || !reopenForWriting())))
                return;
            sqlite3_busy_timeout(m_db, finalBusyTimeoutMs);
            save();
            if (m_db)
                sqlite3_busy_timeout(m_db, saveBusyTimeoutMs);
        });

    QList<DomainRef> loaded;
    if (options.isStoredInMemoryOnly) {
        openInMemory();
    } else {
        m_path = path.isEmpty() ? defaultPath() : path;
        openOrSetAside(&loaded, Fallback::ReadOnly);
    }
    m_model->setInitialRecords(std::move(loaded));
}

BlocklistStore::~BlocklistStore() {
    m_options.isAutosaveEnabled = false; // no retry timer from here on
    if (hasChanges() && m_db) {
        sqlite3_busy_timeout(m_db, finalBusyTimeoutMs);
        save();
    }
    m_autosaveTimer.stop();
    // Screens may still hold references; they no longer belong to any list.
    for (const DomainRef &record : m_model->records())
        record->m_store = nullptr;
    closeDatabase();
}

QString BlocklistStore::defaultPath() {
    return QStandardPaths::writableLocation(QStandardPaths::AppDataLocation) +
           u"/blocklist.sqlite"_s;
}

BlocklistStore::Access BlocklistStore::openOrSetAside(QList<DomainRef> *loaded, Fallback fallback) {
    Access access = openFile(loaded, fallback);
    if (access != Access::Corrupt)
        return access;
    if (loaded)
        loaded->clear();
    // The journal and its index go along, so the moved file opens with them; a journal left
    // behind would be replayed into the fresh file.
    QString reason;
    const auto aside = SafeFile::setAside(m_path, &reason, {u"-wal"_s, u"-shm"_s, u"-journal"_s});
    if (!aside) {
        qCWarning(lcBlocklist, "The blocklist %s is damaged and could not be moved aside: %s",
                  qUtf8Printable(m_path), qUtf8Printable(reason));
        setWriteProblem(tr("the file is damaged and can't be moved aside"));
        return Access::NotWritable;
    }
    m_movedAsidePath = *aside;
    qCWarning(lcBlocklist, "Moved the damaged blocklist %s aside to %s", qUtf8Printable(m_path),
              qUtf8Printable(*aside));
    access = openFile(loaded, fallback);
    if (access == Access::Corrupt) { // another program put a damaged file there at once
        setWriteProblem(tr("the file is damaged"));
        return Access::NotWritable;
    }
    return access;
}

BlocklistStore::Access BlocklistStore::openFile(QList<DomainRef> *loaded, Fallback fallback) {
    closeDatabase();
    if (const QString refused = refusal(m_path); !refused.isEmpty()) {
        setWriteProblem(refused);
        return Access::NotWritable; // nothing is read through a link
    }
    if (!QDir().mkpath(QFileInfo(m_path).absolutePath())) {
        setWriteProblem(tr("its folder can't be created"));
        return Access::NotWritable;
    }
    QString problem;
    const Access access = openForWriting(loaded, problem);
    if (access == Access::Writable) {
        setWriteProblem({});
        return access;
    }
    closeDatabase();
    if (access == Access::Corrupt)
        return access;
    setWriteProblem(problem);
    if (loaded)
        loaded->clear();
    return loaded && fallback == Fallback::ReadOnly ? readOnly(loaded) : access;
}

BlocklistStore::Access BlocklistStore::openForWriting(QList<DomainRef> *loaded, QString &problem) {
    const auto failed = [this, &problem](int code) {
        problem = describeFailure(code);
        return isCorruption(code) ? Access::Corrupt : Access::NotWritable;
    };
    const QByteArray file = QFile::encodeName(m_path);
    // A journal left unwritable beside a file that is writable now (by a read while it was
    // read-only, in an older version) would make this open read-only: its records are kept.
    if (canAccess(file, W_OK))
        for (const char *suffix : journalSuffixes)
            letOwnerWrite(m_path + QLatin1StringView(suffix));
    const int flags = SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_NOMUTEX;
    const int rc = sqlite3_open_v2(file.constData(), &m_db, flags, nullptr);
    if (!m_db)
        return failed(SQLITE_NOMEM);
    if (rc != SQLITE_OK)
        return failed(sqlite3_extended_errcode(m_db));
    sqlite3_extended_result_codes(m_db, 1);
    // Until the file has passed its checks, closing must not checkpoint anything into it.
    sqlite3_db_config(m_db, SQLITE_DBCONFIG_NO_CKPT_ON_CLOSE, 1, nullptr);
    sqlite3_busy_timeout(m_db, openBusyTimeoutMs);
    if (sqlite3_db_readonly(m_db, "main") == 1)
        return failed(SQLITE_READONLY);

    int version = 0;
    {
        OneShot query(m_db, "PRAGMA user_version");
        if (query.step() != SQLITE_ROW)
            return failed(sqlite3_extended_errcode(m_db));
        version = sqlite3_column_int(query.statement, 0);
    }
    if (version < 0 || version > schemaVersion) {
        // Not damaged: kept for the version that wrote it, and read as far as we understand it.
        problem = tr("it was saved by a newer version of Quellnet");
        return Access::NotWritable;
    }
    if (const int code = quickCheck(); code != SQLITE_OK)
        return failed(code);
    {
        // A file system without shared memory keeps the rollback journal; that still works.
        OneShot query(m_db, "PRAGMA journal_mode = WAL");
        if (query.step() != SQLITE_ROW)
            return failed(sqlite3_extended_errcode(m_db));
    }
    // NORMAL with WAL: a commit is in the OS before save() returns, so a killed process
    // loses nothing; only a power cut may lose the last commits.
    if (sqlite3_exec(m_db, "PRAGMA synchronous = NORMAL", nullptr, nullptr, nullptr) != SQLITE_OK)
        return failed(sqlite3_extended_errcode(m_db));
    if (const int code = migrate(version); code != SQLITE_OK)
        return failed(code);
    if (!prepareStatements())
        return failed(sqlite3_extended_errcode(m_db));
    if (loaded) {
        if (const int code = loadRecords(*loaded); code != SQLITE_DONE)
            return failed(code);
        m_recordsLoaded = true;
    }
    sqlite3_db_config(m_db, SQLITE_DBCONFIG_NO_CKPT_ON_CLOSE, 0, nullptr);
    sqlite3_busy_timeout(m_db, saveBusyTimeoutMs);
    return Access::Writable;
}

BlocklistStore::Access BlocklistStore::readOnly(QList<DomainRef> *loaded) {
    // SQLite makes the journal and its index for a read, as unwritable as the file: those this
    // read made are left writable for the program that writes the file next.
    std::array<bool, journalSuffixes.size()> existed{};
    for (size_t i = 0; i < journalSuffixes.size(); ++i)
        existed[i] = QFileInfo::exists(m_path + QLatin1StringView(journalSuffixes[i]));
    const auto releaseJournal = qScopeGuard([&] {
        for (size_t i = 0; i < journalSuffixes.size(); ++i)
            if (!existed[i])
                letOwnerWrite(m_path + QLatin1StringView(journalSuffixes[i]));
    });
    int code = readWithoutWriting(*loaded, false);
    // A file in WAL format is read with the journal's index beside it, which an unwritable
    // folder or a full disk cannot hold; with no journal, the file alone holds every record.
    if (code != SQLITE_DONE && !isCorruption(code) && !isTransient(code) &&
        QFileInfo(m_path + u"-wal"_s).size() == 0) {
        loaded->clear();
        code = readWithoutWriting(*loaded, true);
    }
    if (isCorruption(code))
        return Access::Corrupt;
    if (code == SQLITE_DONE) {
        m_recordsLoaded = true;
    } else {
        loaded->clear();
        qCWarning(lcBlocklist, "The blocklist %s could not be read either: %s",
                  qUtf8Printable(m_path), sqlite3_errstr(code));
    }
    return Access::NotWritable;
}

int BlocklistStore::readWithoutWriting(QList<DomainRef> &loaded, bool immutable) {
    QByteArray name = QFile::encodeName(m_path);
    int flags = SQLITE_OPEN_READONLY | SQLITE_OPEN_NOMUTEX;
    if (immutable) {
        name = QUrl::fromLocalFile(m_path).toEncoded() + "?immutable=1";
        flags |= SQLITE_OPEN_URI;
    }
    int code = sqlite3_open_v2(name.constData(), &m_db, flags, nullptr);
    if (code == SQLITE_OK) {
        sqlite3_extended_result_codes(m_db, 1);
        sqlite3_busy_timeout(m_db, openBusyTimeoutMs);
        code = quickCheck();
        if (code == SQLITE_OK)
            code = loadRecords(loaded);
    } else if (m_db) {
        code = sqlite3_extended_errcode(m_db);
    }
    closeDatabase();
    return code;
}

int BlocklistStore::quickCheck() {
    OneShot query(m_db, "PRAGMA quick_check");
    if (query.step() != SQLITE_ROW)
        return sqlite3_extended_errcode(m_db);
    const auto *verdict = reinterpret_cast<const char *>(sqlite3_column_text(query.statement, 0));
    return verdict && qstrcmp(verdict, "ok") == 0 ? SQLITE_OK : SQLITE_CORRUPT;
}

int BlocklistStore::migrate(int fromVersion) {
    for (const SchemaStep &step : schemaSteps) {
        if (step.version <= fromVersion)
            continue;
        const QByteArray setVersion = "PRAGMA user_version = " + QByteArray::number(step.version);
        int rc = sqlite3_exec(m_db, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr);
        if (rc == SQLITE_OK)
            rc = sqlite3_exec(m_db, step.sql, nullptr, nullptr, nullptr);
        if (rc == SQLITE_OK)
            rc = sqlite3_exec(m_db, setVersion.constData(), nullptr, nullptr, nullptr);
        if (rc == SQLITE_OK)
            rc = sqlite3_exec(m_db, "COMMIT", nullptr, nullptr, nullptr);
        if (rc != SQLITE_OK) {
            rc = sqlite3_extended_errcode(m_db);
            if (!sqlite3_get_autocommit(m_db))
                sqlite3_exec(m_db, "ROLLBACK", nullptr, nullptr, nullptr);
            return rc;
        }
    }
    return SQLITE_OK;
}

bool BlocklistStore::prepareStatements() {
    const auto prepare = [this](const char *sql, sqlite3_stmt **statement) {
        return sqlite3_prepare_v3(m_db, sql, -1, SQLITE_PREPARE_PERSISTENT, statement, nullptr) ==
               SQLITE_OK;
    };
    return prepare("BEGIN IMMEDIATE", &m_begin) && prepare("COMMIT", &m_commit) &&
           prepare("ROLLBACK", &m_rollback) && prepare(insertSql, &m_insert) &&
           prepare(insertOnceSql, &m_insertOnce) && prepare(deleteSeenSql, &m_deleteSeen) &&
           prepare(deleteSql, &m_delete);
}

int BlocklistStore::loadRecords(QList<DomainRef> &loaded) {
    OneShot query(m_db, "SELECT seq, domain, id FROM domains ORDER BY seq");
    while (query.step() == SQLITE_ROW) {
        sqlite3_stmt *row = query.statement;
        const qint64 seq = sqlite3_column_int64(row, 0);
        // A row another program wrote badly costs only itself.
        const auto skip = [this, seq](const char *why) {
            qCWarning(lcBlocklist, "Skipped the damaged record in row %lld of %s: %s", seq,
                      qUtf8Printable(m_path), why);
        };
        QString text;
        const int textType = sqlite3_column_type(row, 1);
        if (textType == SQLITE_NULL) {
            skip("no name");
            continue;
        }
        if (textType == SQLITE_BLOB) {
            const int bytes = sqlite3_column_bytes(row, 1);
            if (bytes % 2 != 0) {
                skip("the name is neither text nor UTF-16");
                continue;
            }
            text.resize(bytes / 2);
            if (bytes > 0)
                memcpy(text.data(), sqlite3_column_blob(row, 1), size_t(bytes));
        } else {
            const auto *utf8 = reinterpret_cast<const char *>(sqlite3_column_text(row, 1));
            text = QString::fromUtf8(utf8, sqlite3_column_bytes(row, 1));
        }
        QUuid id;
        const int idBytes = sqlite3_column_bytes(row, 2);
        if (sqlite3_column_type(row, 2) == SQLITE_BLOB && idBytes == 16) {
            id = QUuid::fromRfc4122(
                QByteArrayView(static_cast<const char *>(sqlite3_column_blob(row, 2)), idBytes));
        } else if (sqlite3_column_type(row, 2) == SQLITE_TEXT) {
            const auto *chars = reinterpret_cast<const char *>(sqlite3_column_text(row, 2));
            id = QUuid::fromString(QLatin1StringView(chars, idBytes));
            if (id.isNull()) {
                skip("the id is not a UUID");
                continue;
            }
        } else {
            skip("the id is not a UUID");
            continue;
        }
        auto record = std::make_shared<Domain>(std::move(text), id);
        record->m_order = std::uint64_t(seq);
        record->m_seenAt = seq;
        record->m_store = this;
        m_nextOrder = std::max(m_nextOrder, std::uint64_t(seq) + 1);
        loaded.append(std::move(record));
    }
    if (query.rc != SQLITE_DONE)
        return sqlite3_extended_errcode(m_db) != SQLITE_OK ? sqlite3_extended_errcode(m_db)
                                                           : query.rc;
    std::stable_sort(loaded.begin(), loaded.end(), DomainListModel::lessThan);
    return SQLITE_DONE;
}

void BlocklistStore::closeDatabase() {
    for (sqlite3_stmt **statement :
         {&m_begin, &m_commit, &m_rollback, &m_insert, &m_insertOnce, &m_deleteSeen, &m_delete}) {
        sqlite3_finalize(*statement);
        *statement = nullptr;
    }
    sqlite3_close(m_db);
    m_db = nullptr;
}

QString BlocklistStore::describeFailure(int code) const {
    const QString folder = QFileInfo(m_path).absolutePath();
    // Without space the journal's index cannot grow, which SQLite reports as an I/O error.
    if (struct statvfs disk{};
        primary(code) == SQLITE_FULL ||
        (primary(code) == SQLITE_IOERR &&
         ::statvfs(QFile::encodeName(folder).constData(), &disk) == 0 && disk.f_bavail == 0))
        return tr("the disk is full");
    if (primary(code) == SQLITE_BUSY || primary(code) == SQLITE_LOCKED)
        return tr("another program is using it");
    const QByteArray file = QFile::encodeName(m_path);
    if (struct stat status{}; ::stat(file.constData(), &status) == 0) {
        if (!canAccess(file, R_OK))
            return tr("the file can't be read");
        if (!canAccess(file, W_OK))
            return status.st_uid == ::geteuid() ? tr("the file is read-only")
                                                : tr("the file belongs to another user");
    }
    // The journal is made beside the file, so a writable file in a locked folder stays unsaved.
    if (!canAccess(QFile::encodeName(folder), W_OK | X_OK))
        return tr("its folder is not writable");
    return QString::fromUtf8(sqlite3_errstr(code));
}

void BlocklistStore::setWriteProblem(const QString &problem) {
    if (problem == m_writeProblem)
        return;
    m_writeProblem = problem;
    if (problem.isEmpty())
        qCInfo(lcBlocklist, "The blocklist %s can be saved again", qUtf8Printable(m_path));
    else
        qCWarning(lcBlocklist, "The blocklist %s can't be saved: %s", qUtf8Printable(m_path),
                  qUtf8Printable(problem));
    Q_EMIT writeProblemChanged();
}

bool BlocklistStore::reopenForWriting() {
    // Records the file held but could not be read at start join the list now; the pending
    // changes are then written one by one, over whatever others wrote meanwhile.
    const bool merge = !m_recordsLoaded;
    QList<DomainRef> fresh;
    if (openOrSetAside(merge ? &fresh : nullptr, Fallback::None) != Access::Writable)
        return false;
    if (merge) {
        QSet<QUuid> known;
        for (const DomainRef &record : m_model->records())
            known.insert(record->id());
        for (const DomainRef &record : std::as_const(m_pendingDeletes))
            known.insert(record->id());
        for (const DomainRef &record : std::as_const(fresh)) {
            if (known.contains(record->id()))
                record->m_store = nullptr;
            else
                m_model->insertRecord(record);
        }
    }
    return true;
}

void BlocklistStore::openInMemory() {
    m_inMemory = true;
    m_recordsLoaded = true;
    m_path.clear();
    if (sqlite3_open_v2(":memory:", &m_db, SQLITE_OPEN_READWRITE | SQLITE_OPEN_NOMUTEX, nullptr) !=
            SQLITE_OK ||
        migrate(0) != SQLITE_OK || !prepareStatements())
        closeDatabase(); // saves then report an error; the list itself still works
}

void BlocklistStore::insert(DomainRef domain) {
    if (!domain || domain->m_store)
        return; // already in a list: a record is listed once
    domain->m_store = this;
    if (const qsizetype at = m_pendingDeletes.indexOf(domain); at >= 0) {
        m_pendingDeletes.removeAt(at); // back before its delete was written: nothing to write
    } else {
        domain->m_order = m_nextOrder++;
        m_pendingInserts.append(domain);
    }
    m_model->insertRecord(domain);
    changed();
}

void BlocklistStore::remove(DomainRef domain) {
    if (!domain || domain->m_store != this)
        return;
    domain->m_store = nullptr;
    m_model->removeRecord(domain);
    if (const qsizetype at = m_pendingInserts.indexOf(domain); at >= 0)
        m_pendingInserts.removeAt(at); // never written: nothing to write
    else
        m_pendingDeletes.append(domain);
    changed();
}

std::optional<QString> BlocklistStore::save() {
    if (!hasChanges()) {
        m_autosaveTimer.stop();
        m_failedSaves = 0;
        return std::nullopt;
    }
    if (!m_db && (m_inMemory || !reopenForWriting())) {
        ++m_failedSaves;
        scheduleRetry();
        return m_inMemory ? u"The blocklist store is not open."_s
                          : u"Could not save the blocklist: %1"_s.arg(m_writeProblem);
    }
    // The statements' guards have run by the time writePending() returns: closing the database
    // while one was still alive would reset a finalized statement.
    if (const std::optional<WriteFailure> failure = writePending()) {
        if (!sqlite3_get_autocommit(m_db)) {
            sqlite3_step(m_rollback);
            sqlite3_reset(m_rollback);
        }
        if (!isTransient(failure->code) && !m_inMemory) {
            // The next try opens the file afresh, as at start.
            setWriteProblem(describeFailure(failure->code));
            closeDatabase();
        }
        ++m_failedSaves;
        scheduleRetry();
        return u"Could not save the blocklist: %1"_s.arg(failure->message);
    }

    m_pendingDeletes.clear();
    m_pendingInserts.clear();
    m_failedSaves = 0;
    m_autosaveTimer.stop();
    setWriteProblem({});
    Q_EMIT saved();
    return std::nullopt;
}

std::optional<BlocklistStore::WriteFailure> BlocklistStore::writePending() {
    const auto fail = [this] {
        return WriteFailure{sqlite3_extended_errcode(m_db),
                            QString::fromUtf8(sqlite3_errmsg(m_db))};
    };
    {
        ResetGuard reset{m_begin};
        if (sqlite3_step(m_begin) != SQLITE_DONE)
            return fail();
    }
    for (const DomainRef &record : std::as_const(m_pendingDeletes)) {
        const QByteArray id = record->id().toRfc4122();
        if (record->m_seenAt > 0) {
            ResetGuard reset{m_deleteSeen};
            sqlite3_bind_int64(m_deleteSeen, 1, record->m_seenAt);
            sqlite3_bind_blob(m_deleteSeen, 2, id.constData(), int(id.size()), SQLITE_TRANSIENT);
            if (sqlite3_step(m_deleteSeen) != SQLITE_DONE)
                return fail();
            if (sqlite3_changes(m_db) == 1)
                continue;
        }
        ResetGuard reset{m_delete};
        const QByteArray idText = record->id().toByteArray(QUuid::WithoutBraces);
        sqlite3_bind_blob(m_delete, 1, id.constData(), int(id.size()), SQLITE_TRANSIENT);
        sqlite3_bind_text(m_delete, 2, idText.constData(), int(idText.size()), SQLITE_TRANSIENT);
        bindDomainText(m_delete, 3, record->domain());
        if (sqlite3_step(m_delete) != SQLITE_DONE)
            return fail();
    }
    sqlite3_stmt *insert = m_failedSaves > 0 ? m_insertOnce : m_insert;
    for (const DomainRef &record : std::as_const(m_pendingInserts)) {
        ResetGuard reset{insert};
        bindDomainText(insert, 1, record->domain());
        const QByteArray id = record->id().toRfc4122();
        sqlite3_bind_blob(insert, 2, id.constData(), int(id.size()), SQLITE_TRANSIENT);
        if (sqlite3_step(insert) != SQLITE_DONE)
            return fail();
        // Only a hint, so it may be set before the commit: a delete checks it against the id.
        record->m_seenAt = sqlite3_changes(m_db) == 1 ? sqlite3_last_insert_rowid(m_db) : 0;
    }
    {
        ResetGuard reset{m_commit};
        if (sqlite3_step(m_commit) != SQLITE_DONE)
            return fail();
    }
    return std::nullopt;
}

bool BlocklistStore::hasChanges() const {
    return !m_pendingInserts.isEmpty() || !m_pendingDeletes.isEmpty();
}

DomainListModel *BlocklistStore::domains() {
    return m_model;
}

QString BlocklistStore::path() const {
    return m_path;
}

QString BlocklistStore::movedAsidePath() const {
    return m_movedAsidePath;
}

bool BlocklistStore::isStoredInMemoryOnly() const {
    return m_inMemory || !m_db;
}

QString BlocklistStore::writeProblem() const {
    return m_writeProblem;
}

void BlocklistStore::changed() {
    if (m_options.isAutosaveEnabled && !m_autosaveTimer.isActive())
        m_autosaveTimer.start(autosaveDelayMs);
}

void BlocklistStore::scheduleRetry() {
    if (!m_options.isAutosaveEnabled)
        return;
    const int exponent = std::min(m_failedSaves - 1, 10);
    m_autosaveTimer.start(std::min(firstRetryMs << std::max(exponent, 0), maxRetryMs));
}

void BlocklistStore::autosave() {
    save();
}
