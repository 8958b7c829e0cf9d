#pragma once

#include "blocklist/Domain.h"

#include <QList>
#include <QLoggingCategory>
#include <QObject>
#include <QString>
#include <QTimer>

#include <optional>

struct sqlite3;
struct sqlite3_stmt;
class DomainListModel;

Q_DECLARE_LOGGING_CATEGORY(lcBlocklist)

/** How a store is opened; the app uses the defaults (on disk, autosave on, undo off). */
struct BlocklistStoreOptions {
    bool isStoredInMemoryOnly = false;
    bool isAutosaveEnabled = true;
};

/**
 * The one on-device store of blocklist records: an SQLite file written at each save, with the
 * sorted live list every screen reads. Opening never fails and a failed save loses nothing
 * while the app runs: only a file the database itself calls damaged is moved aside (intact);
 * a file that cannot be written is read where possible, the list works from memory, and the
 * pending inserts and deletes are written record by record once the file can be written.
 */
class BlocklistStore : public QObject {
    Q_OBJECT
public:
    // Declared outside so that `Options options = {}` below sees a complete type.
    using Options = BlocklistStoreOptions;

    /** Opens (creating if needed) the store at `path`; an empty path means the default file
        in QStandardPaths::AppDataLocation. Never fails: see writeProblem(). */
    explicit BlocklistStore(const QString &path = {}, Options options = {},
                            QObject *parent = nullptr);
    ~BlocklistStore() override; // writes anything still pending

    void insert(DomainRef domain); // joins the list at once
    // Leaves the list at once (the platform's "delete"). Taken by value: a caller may hand in
    // the list's own element, which the removal destroys.
    void remove(DomainRef domain);
    /** Writes pending changes. Returns an error text on failure; the changes stay pending and
        autosave retries them. */
    std::optional<QString> save();
    bool hasChanges() const;
    DomainListModel *domains(); // the live query, sorted by domain ascending, owned by the store
    QString path() const;
    QString movedAsidePath() const; // where a corrupt file was moved this time, or empty
    /** True when nothing reaches the disk: asked for, or the file cannot be written now. */
    bool isStoredInMemoryOnly() const;
    /** Why changes cannot reach the file now, in words for the user ("the file is read-only"),
        or empty while they can. */
    QString writeProblem() const;

    static QString defaultPath();
    static constexpr int schemaVersion = 1;

Q_SIGNALS:
    /** A save wrote every pending change (explicitly or by autosave). */
    void saved();
    void writeProblemChanged();

private:
    enum class Access { Writable, NotWritable, Corrupt };
    enum class Fallback { ReadOnly, None }; // whether an unwritable file is read read-only
    Access openOrSetAside(QList<DomainRef> *loaded, Fallback fallback);
    Access openFile(QList<DomainRef> *loaded, Fallback fallback);
    Access openForWriting(QList<DomainRef> *loaded, QString &problem);
    Access readOnly(QList<DomainRef> *loaded);
    int readWithoutWriting(QList<DomainRef> &loaded, bool immutable);
    int quickCheck();
    int migrate(int fromVersion);
    bool prepareStatements();
    int loadRecords(QList<DomainRef> &loaded);
    void closeDatabase();
    struct WriteFailure {
        int code;
        QString message;
    };
    /** Writes the pending changes in one transaction; every statement is reset on return. */
    std::optional<WriteFailure> writePending();
    QString describeFailure(int code) const;
    void setWriteProblem(const QString &problem);
    bool reopenForWriting();
    void openInMemory();
    void changed();
    void scheduleRetry();
    void autosave();

    Options m_options;
    QString m_path;
    QString m_movedAsidePath;
    QString m_writeProblem;
    bool m_inMemory = false;
    bool m_recordsLoaded = false; // the file's records are in the list (else merged on reopen)
    sqlite3 *m_db = nullptr;      // open only while it can be written
    sqlite3_stmt *m_begin = nullptr;
    sqlite3_stmt *m_commit = nullptr;
    sqlite3_stmt *m_rollback = nullptr;
    sqlite3_stmt *m_insert = nullptr;
    sqlite3_stmt *m_insertOnce = nullptr;
    sqlite3_stmt *m_deleteSeen = nullptr;
    sqlite3_stmt *m_delete = nullptr;
    DomainListModel *m_model = nullptr;
    QList<DomainRef> m_pendingInserts; // in insertion order, which becomes row order on disk
    QList<DomainRef> m_pendingDeletes;
    std::uint64_t m_nextOrder = 1;
    int m_failedSaves = 0;
    QTimer m_autosaveTimer;
};
