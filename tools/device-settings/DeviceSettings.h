#pragma once

#include "networkextension/EnforcedList.h"

#include <QCoreApplication>
#include <QLoggingCategory>
#include <QStringList>
#include <QTextStream>

Q_DECLARE_LOGGING_CATEGORY(lcDeviceSettings)

/**
 * The command line of the Settings window: lists the stored DNS configurations, switches one on
 * (and every other off) or off, and toggles whether the app store is reachable. Listing and
 * switching are faces over DeviceDNSSettings, which the window uses too; `system` installs the
 * part of the computer that enforces a configuration. Kept apart from main() so the whole
 * command is one call with its own streams.
 *
 * Every text that comes from a file (names, identifiers, domains, paths) goes through
 * printable() first, so a stored name can never drive the terminal.
 */
class DeviceSettings {
    Q_DECLARE_TR_FUNCTIONS(DeviceSettings)
public:
    enum ExitCode { success = 0, failure = 1, badUsage = 2 };

    DeviceSettings(QTextStream &out, QTextStream &err)
        : m_out(out)
        , m_err(err) {}

    /** `arguments` without the program name. */
    int run(const QStringList &arguments);

    static QString usageLine();
    /** `text` with control and formatting characters escaped as \xNN or \u{NNNN}. */
    static QString printable(const QString &text);

    /** The "Enforced on this computer" value of a switched-on configuration. */
    static QString enforcementText(const DNSConfiguration &configuration,
                                   const EnforcedList::InForce &list,
                                   const EnforcedList::Installation &installation);

private:
    int listDns();
    /** Switches `app` on or off; an empty `app` switches every configuration of `store` off. */
    int switchDns(const DNSConfigurationStore &store, const QString &app, bool on);
    int clearList();
    int checkName(const QString &name);
    int exportList(const QStringList &arguments);
    int system(const QString &command);
    int systemStatus();
    bool requireRoot(const QString &command);
    int switchInvokingAccountOff();
    /** As the account itself: its stored configurations go Off; the list is left to root. */
    int switchStoredOff();
    int store(const QString &command);
    int usageError(const QString &message);
    int fail(const QString &message);
    void warn(const QString &message);

    QTextStream &m_out;
    QTextStream &m_err;
};
