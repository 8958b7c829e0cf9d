#pragma once

#include "networkextension/DNSConfigurationStore.h"
#include "networkextension/EnforcedList.h"

#include <QCoreApplication>
#include <QList>
#include <QString>
#include <QStringList>

#include <functional>
#include <optional>

/** What a decision about the stored configurations sees. Read without the store's lock. */
struct DNSSnapshot {
    /** Every stored file, usable or not, in file name order. */
    QList<DNSConfigurationStore::ReadResult> entries;
    EnforcedList::InForce list;
    /** The file in `identifier`'s slot, or an absent result when nothing is stored there. */
    DNSConfigurationStore::ReadResult slot(const DNSConfigurationStore &store,
                                           const QString &identifier) const;
    /** The list in force is this account's list of `identifier`. */
    bool listIsMineFor(const QString &identifier) const;
};

/** What a caller decided to do about the stored configurations and this computer's list. */
struct DNSChange {
    enum class Verdict {
        change,    ///< the list follows, then the files change
        unchanged, ///< no file changes; list actions are only bringing it back into step
        refused,   ///< nothing is done at all; `message` says why
    };
    Verdict verdict = Verdict::change;
    QString message;

    /** Its names become the list in force, before any file changes. */
    std::optional<DNSConfiguration> enforce;
    /** Apps whose list of this account stops being in force, before any file changes. */
    QStringList release;
    /**
     * False when the list actions only bring a disagreement left by an interrupted change back
     * into step: their failure is then a warning, and the files still change.
     */
    bool listMustFollow = true;

    /** One change of a file, made under the store's lock, in order. */
    struct File {
        enum class Kind { write, remove, setEnabled, note };
        Kind kind = Kind::note;
        /** The whole configuration for `write`; identifier and `enabled` for `setEnabled`. */
        DNSConfiguration configuration;
        /** A line for the person, reported once the change is made. */
        QString report;
    };
    QList<File> files;
    /** Lines for the person about files that are left as they are. */
    QStringList warnings;

    bool touchesList() const { return enforce.has_value() || !release.isEmpty(); }
};

struct DNSChangeResult {
    enum Status {
        done,
        unchanged,   ///< the decision's verdict; the files were not touched
        refused,     ///< the decision's verdict, or this computer refused to follow
        cancelled,   ///< the password prompt was dismissed; nothing changed
        notEnforced, ///< this computer could not follow; nothing stored changed
        failed,      ///< a file or lock could not be had or written; the list follows the store
    };
    Status status = done;
    QString message;
    /** The app whose list failed to follow, when that is what went wrong. */
    QString failedApp;
    QStringList report;
    QStringList warnings;
    /** How the configuration of DNSChange::enforce was made to take effect. */
    EnforcedList::Enforcement enforcement;
    bool ok() const { return status == done; }
};

using DNSDecision = std::function<DNSChange(const DNSSnapshot &)>;

/**
 * The one enforcement transaction every writer of the stored configurations runs (the app's
 * save and remove, `device-settings dns`, the Settings window): read, decide, make this
 * computer's list follow (outside the store's lock: it may wait for a password), take the
 * store's lock, read again, and write; if the files changed meanwhile the caller decides again,
 * a few times at most. Whoever changes the list holds the enforcement lock from its decision to
 * its write, so two such writers never interleave. If a file cannot be written, the list goes
 * back to what the store still says. Blocks: runs on the platform worker, never the GUI thread.
 */
DNSChangeResult changeDnsConfigurations(const DNSConfigurationStore &store,
                                        const DNSDecision &decide);

/**
 * The device's DNS settings page, as the command and the Settings window both show and switch
 * it. Every call blocks (files, the writer, a password prompt): run it with runSerially().
 * The words are the command's own, so the listing and the window say the same.
 */
class DeviceDNSSettings {
    Q_DECLARE_TR_FUNCTIONS(DeviceSettings)
public:
    DeviceDNSSettings() = default;
    /** Over another store, such as another account's folder. */
    explicit DeviceDNSSettings(DNSConfigurationStore store)
        : m_store(std::move(store)) {}

    const DNSConfigurationStore &store() const { return m_store; }

    enum class State {
        off,
        blocking,     ///< on, and its list is in force here
        notInstalled, ///< this computer has no system part to enforce it (on or off)
        otherAccount, ///< another account's list is in force (on or off)
        notEnforced,  ///< on, but its list is missing, not ours or stale, or it is no dead end
        unreadable,   ///< a file this version cannot use; never changed
    };
    struct Entry {
        QString identifier;
        QString displayName;
        QString path;
        bool switchedOn = false;
        State state = State::off;
        qsizetype blockedCount = 0;
        QList<EnforcedList::LeftOut> leftOut;
        /** One sentence: the truth in words, with what to do. */
        QString explanation;
    };
    /** Every stored configuration, usable or not; nullopt with `error` when none can be listed. */
    std::optional<QList<Entry>> entries(QString *error = nullptr) const;

    struct Outcome {
        enum Status { done, cancelled, refused, failed };
        Status status = done;
        QString message;
        /** Lines saying what changed, in order. */
        QStringList report;
        /** Files left as they are, and lists that could not be brought back into step. */
        QStringList warnings;
        /** `message` names no stored configuration: the caller may show how to name one. */
        bool unknownApp = false;
    };
    /**
     * Switches `app` (identifier, or display name in any letter case) on, and every other
     * configuration off, or switches it off. An empty `app` with `on` false switches every
     * configuration off.
     */
    Outcome setEnabled(const QString &app, bool on) const;
    /**
     * The stored configuration `app` names, found as setEnabled() finds it; nullopt with the
     * reason in `problem` (several apps named, none, or its file cannot be read).
     */
    std::optional<DNSConfiguration> find(const QString &app, QString *problem) const;

    /** Files and folders whose change may change entries(), for a file system watcher. */
    QStringList watchedPaths() const;

    /** How a configuration fares on this computer, given the list in force. */
    static State stateOf(const DNSConfiguration &configuration, const EnforcedList::InForce &list,
                         const EnforcedList::Installation &installation);

    /** The "Enforced on this computer" value of a switched-on configuration. */
    static QString enforcementText(const DNSConfiguration &configuration,
                                   const EnforcedList::InForce &list,
                                   const EnforcedList::Installation &installation);
    /** Why a configuration that is Off still blocks here, when it does. */
    static std::optional<QString> offText(const DNSConfiguration &configuration,
                                          const EnforcedList::InForce &list);
    /** `text` with control and formatting characters escaped as \xNN or \u{NNNN}. */
    static QString printable(const QString &text);
    static QString label(const DNSConfiguration &configuration);
    static QString onOff(bool on);
    static QString namesText(qsizetype count);
    static QString listOwner(const EnforcedList::InForce &list);
    static QString leftOutText(const QList<EnforcedList::LeftOut> &leftOut);
    /** Why use-application-dns.net fails while a list is in force, though nobody listed it. */
    static QString browserSignalText();

private:
    DNSConfigurationStore m_store;
};
