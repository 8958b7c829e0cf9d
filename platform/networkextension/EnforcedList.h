#pragma once

#include "networkextension/DNSConfigurationStore.h"

#include <QList>
#include <QString>
#include <QStringList>

#include <optional>

/**
 * What makes a switched-on DNS configuration take effect on this computer: the machine-wide
 * list of blocked names that the hosts module libnss_quellnet.so.2 reads, kept at a fixed
 * root-owned path and changed only through the privileged writer `quellnet-enforce` (run
 * directly as root, otherwise through pkexec). On a phone the system honours a dead-end DNS
 * configuration by itself; here the platform rewrites or deletes this list whenever the
 * switched-on configuration changes.
 *
 * The list is one per machine while configurations are per account, so only the account that
 * owns the list in force (or root through the writer) replaces or deletes it.
 *
 * Everything here may block (file reads, the writer, an authentication prompt): callers run it
 * off the GUI thread and never while holding the DNS store's lock.
 *
 * Two environment variables move it for tests, read here and nowhere else:
 * DEVICE_PLATFORM_SYSTEM_ROOT=DIR (list at DIR/etc/quellnet/blocked, nsswitch at
 * DIR/etc/nsswitch.conf) and DEVICE_PLATFORM_ENFORCE_WRITER=PATH (a test writer, run directly
 * with `--root DIR`).
 */
class EnforcedList {
public:
    /** A match domain that cannot go into the list, and why: "empty" or "not a DNS name". */
    struct LeftOut {
        QString name;
        QString reason;
        friend bool operator==(const LeftOut &, const LeftOut &) = default;
    };
    /** Match domains as the resolver sees them, and those that were left out. */
    struct Names {
        QStringList names; ///< ASCII, lower case, no trailing dot, unique, in byte order
        QList<LeftOut> leftOut;
    };
    /** IDNA to punycode, lower case, one trailing dot dropped; nullopt with the reason. */
    static std::optional<QString> convertName(const QString &name, QString *reason = nullptr);
    static Names convert(const QStringList &matchDomains);

    /** Every server address unspecified (0.0.0.0 or ::) and at least one: look-ups go nowhere. */
    static bool isDeadEnd(const NEDNSSettings &settings);

    /** The test root, or empty for the real system. */
    static QString systemRoot();
    static QString listPath();
    static QString nsswitchPath();
    static QString writerPath();

    struct Installation {
        bool installed = false;
        QString reason; ///< why not, when not installed
    };
    /**
     * The nsswitch hosts line starts with the module, the writer exists and, on the real system,
     * the module loads.
     */
    static Installation installation();

    /**
     * Makes sure the dynamic linker finds the module by its name, running `ldconfig` when the
     * module is in its installed folder but not yet in the linker's cache. The reason when it
     * still cannot be loaded; nothing to do (nullopt) in a test setup.
     */
    static std::optional<QString> prepareModule();
    /** Where `cmake --install` puts the module. */
    static QString moduleDirectory();

    /** The list in force, for status and `check`. */
    struct InForce {
        enum Status { none, ok, unreadable };
        Status status = none;
        uint uid = 0;
        QString app;
        QStringList names;
        /** Why it cannot be read, or (status ok) why the module would not trust it. */
        QString problem;
        bool isMine() const;
    };
    static InForce inForce();
    /** The entry of `list` that blocks `name` (itself or a parent on a label boundary). */
    static std::optional<QString> blockingEntry(const QStringList &list, const QString &name);
    /** localhost, names under it and this machine's own host name are never blocked. */
    static bool isNeverBlocked(const QString &asciiName);

    /** The outcome of running the writer. */
    struct Outcome {
        /** `cancelled`: the password prompt was dismissed (pkexec's 126). */
        enum Status { done, notPermitted, invalid, failed, cancelled };
        Status status = done;
        QString message;
        bool ok() const { return status == done; }
    };
    /** How the writer's exit is reported; 126/127 come from pkexec when it ran the writer. */
    static Outcome outcomeOfWriter(int exitCode, bool crashed, bool throughPkexec,
                                   const QString &errorOutput);
    static Outcome write(const QString &app, const QStringList &names);
    static Outcome clear(const QString &app);
    static Outcome clearAny();

    /** Making the list follow a configuration that is being switched on (or updated while on). */
    struct Enforcement {
        Outcome outcome;
        bool enforced = false; ///< names of `configuration` are now the list in force
        QString notEnforced;   ///< why a configuration switched on is not enforced here
        Names names;
    };
    /**
     * A dead-end configuration: its names become the list in force (nothing runs when they
     * already are). Any other: the list of this account is cleared and `notEnforced` says why.
     * Fails without touching anything when this computer cannot enforce it.
     */
    static Enforcement enforce(const DNSConfiguration &configuration);
    /** Deletes the list in force if it is this account's list of `app`; otherwise nothing. */
    static Outcome release(const QString &app);
    /** Whether the list in force is exactly what `configuration` asks for. */
    static bool matches(const InForce &list, const DNSConfiguration &configuration);
};
