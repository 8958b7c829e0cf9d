#include "blocklist/BlocklistStore.h"

#include "blocklist/DomainListModel.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>
#include <QVarLengthArray>

#include <sqlite3.h>

#include <algorithm>

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

bool isTransient(int code) {
    const int primary = code & 0xff;
    return primary == SQLITE_BUSY || primary == SQLITE_LOCKED || primary == SQLITE_NOMEM;
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
            if (hasChanges() && m_db) {
                sqlite3_busy_timeout(m_db, finalBusyTimeoutMs);
                save();
                sqlite3_busy_timeout(m_db, saveBusyTimeoutMs);
            }
        });

    QList<DomainRef> loaded;
    if (options.isStoredInMemoryOnly) {
        openInMemory();
    } else {
        m_path = path.isEmpty() ? defaultPath() : path;
        QDir().mkpath(QFileInfo(m_path).absolutePath());
        OpenResult result = openDatabase(m_path, loaded);
        if (result == OpenResult::Bad) {
            closeDatabase();
            loaded.clear();
            m_nextOrder = 1;
            m_movedAsidePath = moveAside(m_path);
            if (!m_movedAsidePath.isEmpty())
                result = openDatabase(m_path, loaded);
        }
        if (result != OpenResult::Ok) {
            // The file is left as it is; the app still works, from memory.
            closeDatabase();
            loaded.clear();
            m_nextOrder = 1;
            openInMemory();
        }
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

BlocklistStore::OpenResult BlocklistStore::openDatabase(const QString &file,
                                                        QList<DomainRef> &loaded) {
    const int flags = SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_NOMUTEX;
    const int rc = sqlite3_open_v2(QFile::encodeName(file).constData(), &m_db, flags, nullptr);
    if (!m_db)
        return OpenResult::Busy; // out of memory: nothing known about the file
    if (rc != SQLITE_OK)
        return isTransient(rc) ? OpenResult::Busy : OpenResult::Bad;
    const auto failure = [this] {
        return isTransient(sqlite3_extended_errcode(m_db)) ? OpenResult::Busy : OpenResult::Bad;
    };
    // Until the file has passed its checks, closing must not checkpoint anything into it.
    sqlite3_db_config(m_db, SQLITE_DBCONFIG_NO_CKPT_ON_CLOSE, 1, nullptr);
    sqlite3_busy_timeout(m_db, openBusyTimeoutMs);
    if (sqlite3_db_readonly(m_db, "main") == 1)
        return OpenResult::Bad;

    int version = 0;
    {
        OneShot query(m_db, "PRAGMA user_version");
        if (query.step() != SQLITE_ROW)
            return failure();
        version = sqlite3_column_int(query.statement, 0);
    }
    if (version < 0 || version > schemaVersion)
        return OpenResult::Bad; // written by a newer app: keep it for that app, start afresh
    {
        OneShot query(m_db, "PRAGMA quick_check");
        if (query.step() != SQLITE_ROW)
            return failure();
        const auto *verdict =
            reinterpret_cast<const char *>(sqlite3_column_text(query.statement, 0));
        if (!verdict || qstrcmp(verdict, "ok") != 0)
            return OpenResult::Bad;
    }
    {
        // A file system without shared memory keeps the rollback journal; that still works.
        OneShot query(m_db, "PRAGMA journal_mode = WAL");
        if (query.step() != SQLITE_ROW)
            return failure();
    }
    // NORMAL with WAL: a commit is in the OS before save() returns, so a killed process
    // loses nothing; only a power cut may lose the last commits.
    if (sqlite3_exec(m_db, "PRAGMA synchronous = NORMAL", nullptr, nullptr, nullptr) != SQLITE_OK)
        return failure();
    if (!migrate() || !prepareStatements() || !loadRecords(loaded))
        return failure();
    sqlite3_db_config(m_db, SQLITE_DBCONFIG_NO_CKPT_ON_CLOSE, 0, nullptr);
    sqlite3_busy_timeout(m_db, saveBusyTimeoutMs);
    return OpenResult::Ok;
}

bool BlocklistStore::migrate() {
    int version = 0;
    {
        OneShot query(m_db, "PRAGMA user_version");
        if (query.step() != SQLITE_ROW)
            return false;
        version = sqlite3_column_int(query.statement, 0);
    }
    if (version == schemaVersion)
        return true;
    if (sqlite3_exec(m_db, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr) != SQLITE_OK)
        return false;
    // seq is the rowid: insertion order, which breaks ties between equal texts.
    const char *steps = "CREATE TABLE IF NOT EXISTS domains("
                        "seq INTEGER PRIMARY KEY, domain TEXT NOT NULL, id BLOB NOT NULL);"
                        "PRAGMA user_version = 1;"
                        "COMMIT;";
    if (sqlite3_exec(m_db, steps, nullptr, nullptr, nullptr) != SQLITE_OK) {
        if (!sqlite3_get_autocommit(m_db))
            sqlite3_exec(m_db, "ROLLBACK", nullptr, nullptr, nullptr);
        return false;
    }
    return true;
}

bool BlocklistStore::prepareStatements() {
    const auto prepare = [this](const char *sql, sqlite3_stmt **statement) {
        return sqlite3_prepare_v3(m_db, sql, -1, SQLITE_PREPARE_PERSISTENT, statement, nullptr) ==
               SQLITE_OK;
    };
    return prepare("BEGIN IMMEDIATE", &m_begin) && prepare("COMMIT", &m_commit) &&
           prepare("ROLLBACK", &m_rollback) &&
           prepare("INSERT INTO domains(domain, id) VALUES(?1, ?2)", &m_insert) &&
           prepare("DELETE FROM domains WHERE seq = ?1", &m_delete);
}

bool BlocklistStore::loadRecords(QList<DomainRef> &loaded) {
    OneShot query(m_db, "SELECT seq, domain, id FROM domains ORDER BY seq");
    while (query.step() == SQLITE_ROW) {
        sqlite3_stmt *row = query.statement;
        const qint64 seq = sqlite3_column_int64(row, 0);
        QString text;
        if (sqlite3_column_type(row, 1) == SQLITE_BLOB) {
            const int bytes = sqlite3_column_bytes(row, 1);
            if (bytes % 2 != 0)
                return false;
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
        } else {
            const auto *chars = reinterpret_cast<const char *>(sqlite3_column_text(row, 2));
            id = QUuid::fromString(QLatin1StringView(chars, sqlite3_column_bytes(row, 2)));
            if (id.isNull())
                return false;
        }
        auto record = std::make_shared<Domain>(std::move(text), id);
        record->m_rowId = seq;
        record->m_order = std::uint64_t(seq);
        record->m_store = this;
        m_nextOrder = std::max(m_nextOrder, std::uint64_t(seq) + 1);
        loaded.append(std::move(record));
    }
    if (query.rc != SQLITE_DONE)
        return false;
    std::stable_sort(loaded.begin(), loaded.end(), DomainListModel::lessThan);
    return true;
}

void BlocklistStore::closeDatabase() {
    for (sqlite3_stmt **statement : {&m_begin, &m_commit, &m_rollback, &m_insert, &m_delete}) {
        sqlite3_finalize(*statement);
        *statement = nullptr;
    }
    sqlite3_close(m_db);
    m_db = nullptr;
}

QString BlocklistStore::moveAside(const QString &file) {
    if (!QFileInfo(file).exists())
        return {};
    const QString stamp = QDateTime::currentDateTimeUtc().toString(u"yyyyMMdd'T'HHmmss'Z'"_s);
    const QString base = file + u".corrupt-"_s + stamp;
    QString target = base;
    for (int n = 2; QFileInfo::exists(target) || QFileInfo::exists(target + u"-wal"_s); ++n)
        target = base + u'-' + QString::number(n);
    if (!QDir().rename(file, target))
        return {};
    // The companions go along under the same name, so the moved file opens with its journal;
    // a journal left behind would be replayed into the fresh file.
    for (const QString &suffix : {u"-wal"_s, u"-shm"_s, u"-journal"_s}) {
        if (QFileInfo::exists(file + suffix) && !QDir().rename(file + suffix, target + suffix))
            return {};
    }
    return target;
}

void BlocklistStore::openInMemory() {
    m_inMemory = true;
    m_path.clear();
    if (sqlite3_open_v2(":memory:", &m_db, SQLITE_OPEN_READWRITE | SQLITE_OPEN_NOMUTEX, nullptr) !=
            SQLITE_OK ||
        !migrate() || !prepareStatements())
        closeDatabase(); // saves then report an error; the list itself still works
}

void BlocklistStore::insert(DomainRef domain) {
    if (!domain || domain->m_store)
        return; // already in a list: a record is listed once
    domain->m_store = this;
    if (const qsizetype at = m_pendingDeletes.indexOf(domain); at >= 0) {
        m_pendingDeletes.removeAt(at); // back before its delete was written: nothing to write
    } else {
        domain->m_rowId = 0;
        domain->m_order = m_nextOrder++;
        m_pendingInserts.append(domain);
    }
    m_model->insertRecord(domain);
    changed();
}

void BlocklistStore::remove(const DomainRef &domain) {
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
    if (!m_db) {
        ++m_failedSaves;
        scheduleRetry();
        return u"The blocklist store is not open."_s;
    }
    const auto fail = [this] {
        const QString error =
            u"Could not save the blocklist: %1"_s.arg(QString::fromUtf8(sqlite3_errmsg(m_db)));
        if (!sqlite3_get_autocommit(m_db)) {
            sqlite3_step(m_rollback);
            sqlite3_reset(m_rollback);
        }
        ++m_failedSaves;
        scheduleRetry();
        return error;
    };

    {
        ResetGuard reset{m_begin};
        if (sqlite3_step(m_begin) != SQLITE_DONE)
            return fail();
    }
    for (const DomainRef &record : std::as_const(m_pendingDeletes)) {
        ResetGuard reset{m_delete};
        sqlite3_bind_int64(m_delete, 1, record->m_rowId);
        if (sqlite3_step(m_delete) != SQLITE_DONE)
            return fail();
    }
    QVarLengthArray<qint64, 4> newRows;
    for (const DomainRef &record : std::as_const(m_pendingInserts)) {
        ResetGuard reset{m_insert};
        bindDomainText(m_insert, 1, record->domain());
        const QByteArray id = record->id().toRfc4122();
        sqlite3_bind_blob(m_insert, 2, id.constData(), int(id.size()), SQLITE_TRANSIENT);
        if (sqlite3_step(m_insert) != SQLITE_DONE)
            return fail();
        newRows.append(sqlite3_last_insert_rowid(m_db));
    }
    {
        ResetGuard reset{m_commit};
        if (sqlite3_step(m_commit) != SQLITE_DONE)
            return fail();
    }

    for (const DomainRef &record : std::as_const(m_pendingDeletes))
        record->m_rowId = 0;
    for (qsizetype i = 0; i < m_pendingInserts.size(); ++i)
        m_pendingInserts.at(i)->m_rowId = newRows.at(i);
    m_pendingDeletes.clear();
    m_pendingInserts.clear();
    m_failedSaves = 0;
    m_autosaveTimer.stop();
    Q_EMIT saved();
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
    return m_inMemory;
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
