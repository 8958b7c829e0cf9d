#pragma once

#include "networkextension/NEDNSSettings.h"
#include "networkextension/NEOnDemandRule.h"

#include <QByteArray>
#include <QJsonObject>
#include <QList>
#include <QString>

#include <chrono>
#include <memory>
#include <optional>

/** One app's DNS configuration as the platform keeps it. */
struct DNSConfiguration {
    QString identifier;
    QString displayName;
    bool enabled = false;
    /** Never null in a configuration read from the store. */
    std::shared_ptr<NEDNSSettings> settings;
    NEOnDemandRuleList onDemandRules;
};

/**
 * The platform's DNS configuration folder: one JSON file per app identifier, written atomically
 * and guarded by a lock file against other processes (the app and `device-settings`). Shared by
 * NEDNSSettingsManager and the tool so both agree on format, paths and locking.
 *
 * Reading never changes anything on disk: a file that cannot be read is reported and left where
 * it is. Only a write into the same slot (write() or remove()) sets a damaged file of ours aside,
 * byte for byte; a file of a newer format, or anything that is not a regular file, is never
 * replaced, removed or set aside. Writers hold lock() for their whole read-modify-write; readers
 * need no lock, since every file is replaced by an atomic rename.
 *
 * Errors are returned as `false` with the reason in `error`, ready for a message.
 */
class DNSConfigurationStore {
public:
    /** The file format this version reads and writes. */
    static constexpr int formatVersion = 1;
    /** Writer and reader share it: nothing is stored that could not be read back. */
    static constexpr qint64 maximumFileSize = 16 * 1024 * 1024;
    static constexpr std::chrono::milliseconds defaultLockWait{20'000};

    /** The store under platformStateDirectory() as the environment says now. */
    DNSConfigurationStore();
    explicit DNSConfigurationStore(const QString &platformRoot);

    /** False when the environment gives no folder (HOME unset); every operation then fails. */
    bool isAvailable() const { return !m_directory.isEmpty(); }
    QString unavailableReason() const { return m_unavailable; }

    /** Folder of the `<identifier>.json` files. */
    QString directory() const { return m_directory; }
    /** The identifier percent-encoded, so no identifier can leave the folder. */
    QString filePath(const QString &identifier) const;
    QString lockFilePath() const;

    /**
     * An exclusive flock(2) on the lock file, released when this object goes, and by the kernel
     * when the holder dies however it dies: no stale lock is ever guessed at.
     */
    class Lock {
    public:
        explicit Lock(int fd)
            : m_fd(fd) {}
        ~Lock();
        Lock(const Lock &) = delete;
        Lock &operator=(const Lock &) = delete;

    private:
        int m_fd;
    };
    /** Takes the cross-process lock; null with a "busy" `error` when it cannot be had in time. */
    std::unique_ptr<Lock> lock(QString *error,
                               std::chrono::milliseconds wait = defaultLockWait) const;

    /** File format: pure, never touches the disk. */
    static QByteArray serialize(const DNSConfiguration &configuration);
    /** Accepts any bytes; nullopt (with a reason in `error`) for anything but a valid file. */
    static std::optional<DNSConfiguration> parse(const QByteArray &data, QString *error = nullptr);
    /** Settings and on-demand rules equal; identifier, name and the switch take no part. */
    static bool sameContent(const DNSConfiguration &a, const DNSConfiguration &b);

    struct ReadResult {
        enum Status {
            absent,      ///< nothing stored
            ok,          ///< `configuration` and `document` hold it
            damaged,     ///< a file of ours that cannot be parsed, or is too large; left in place
            newerFormat, ///< written by a newer version: never touched
            refused,     ///< a link, FIFO, folder or other non-file: never touched
            failed,      ///< an I/O error such as a permission; left in place
        };
        Status status = absent;
        std::optional<DNSConfiguration> configuration;
        /** The file's JSON object as read, unknown members included. */
        QJsonObject document;
        QString path;
        /** Why the file cannot be used, without the path: "is damaged (not JSON: ...)". */
        QString reason;
        /** `path` and `reason` together. */
        QString message() const { return path + u' ' + reason; }
        bool isUsable() const { return status == absent || status == ok; }
        /** Raw bytes as read; what a set-aside copy must equal. */
        QByteArray bytes;
    };

    ReadResult read(const QString &identifier) const;
    /** Every stored file, usable or not, in file name order. Creates nothing. */
    std::optional<QList<ReadResult>> readAll(QString *error) const;

    /**
     * Atomically replaces the app's file, keeping members of the stored file this version does
     * not know. A damaged file in that slot is first set aside (its new path in `setAsideTo`);
     * a newer-format, refused or unreadable one makes the write fail and stays as it is.
     */
    bool write(const DNSConfiguration &configuration, QString *error,
               QString *setAsideTo = nullptr) const;
    /** Changes only the switch of a stored configuration; every other member stays. */
    bool setEnabled(const QString &identifier, bool enabled, QString *error) const;
    /**
     * Deletes the app's file; a missing file is no error. A damaged file is set aside instead;
     * a newer-format, refused or unreadable one makes the removal fail.
     */
    bool remove(const QString &identifier, QString *error, QString *setAsideTo = nullptr) const;

private:
    ReadResult readFile(const QString &path, const std::optional<QString> &identifier) const;
    bool prepareSlot(const ReadResult &slot, QString *error, QString *setAsideTo) const;
    bool writeDocument(const QString &path, const QJsonObject &document, QString *error) const;
    bool ensureDirectory(QString *error) const;

    QString m_base;
    QString m_directory;
    QString m_unavailable;
};

/** Human-readable protocol name, shared by messages and the tool. */
QString dnsProtocolName(NEDNSProtocol protocol);
