#pragma once

#include "networkextension/NEDNSSettings.h"
#include "networkextension/NEOnDemandRule.h"

#include <QByteArray>
#include <QList>
#include <QString>

#include <memory>
#include <optional>

class QLockFile;

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
 * Disk operations expect the caller to hold lock() for the whole read-modify-write.
 */
class DNSConfigurationStore {
public:
    /** The store under platformStateDirectory() as the environment says now. */
    DNSConfigurationStore();
    explicit DNSConfigurationStore(const QString &platformRoot);

    /** Folder of the `<identifier>.json` files. */
    QString directory() const { return m_directory; }
    /** The identifier percent-encoded, so no identifier can leave the folder. */
    QString filePath(const QString &identifier) const;
    QString lockFilePath() const;

    /** Takes the cross-process lock; null with `error` set when it cannot be had in time. */
    std::unique_ptr<QLockFile> lock(QString *error) const;

    /** File format: pure, never touches the disk. */
    static QByteArray serialize(const DNSConfiguration &configuration);
    /** Accepts any bytes; nullopt (with a reason in `error`) for anything but a valid file. */
    static std::optional<DNSConfiguration> parse(const QByteArray &data, QString *error = nullptr);
    /** Settings and on-demand rules equal; identifier, name and the switch take no part. */
    static bool sameContent(const DNSConfiguration &a, const DNSConfiguration &b);

    struct ReadResult {
        enum Status {
            absent,  ///< nothing stored
            ok,      ///< `configuration` holds it
            damaged, ///< unreadable or corrupt: moved aside to `movedTo`, now nothing is stored
            failed,  ///< I/O failure; the store was left as it is
        };
        Status status = absent;
        std::optional<DNSConfiguration> configuration;
        QString path;
        QString movedTo;
        QString message;
    };

    ReadResult read(const QString &identifier) const;
    /** Every stored file, in file name order; damaged ones are moved aside. */
    std::optional<QList<ReadResult>> readAll(QString *error) const;
    /** Atomically replaces the app's file. */
    bool write(const DNSConfiguration &configuration, QString *error) const;
    /** Deletes the app's file; a missing file is no error. */
    bool remove(const QString &identifier, QString *error) const;

private:
    ReadResult readFile(const QString &path, const std::optional<QString> &identifier) const;
    static bool moveAside(const QString &path, QString *movedTo);

    QString m_directory;
};

/** Human-readable protocol name, shared by messages and the tool. */
QString dnsProtocolName(NEDNSProtocol protocol);
