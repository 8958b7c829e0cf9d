#include "CommandText.h"
#include "DeviceSettings.h"

#include "foundation/SafeFile.h"
#include "networkextension/DNSConfigurationStore.h"
#include "nss/quellnet_enforced_list.h"

#include <QJsonDocument>
#include <QUrl>

using namespace Qt::StringLiterals;
using namespace CommandText;

namespace {

using ReadResult = DNSConfigurationStore::ReadResult;

QString listText(const std::optional<QStringList> &list, const QString &absent) {
    if (!list)
        return absent;
    if (list->isEmpty())
        return DeviceSettings::tr("none");
    QStringList shown;
    for (const QString &item : *list)
        shown.append(DeviceSettings::printable(item));
    return shown.join(u", "_s);
}

// What the listing calls each action and interface type; the stored keys are the platform's.
constexpr std::pair<NEOnDemandRuleAction, const char *> actionNames[] = {
    {NEOnDemandRuleAction::connect, QT_TRANSLATE_NOOP("DeviceSettings", "Connect")},
    {NEOnDemandRuleAction::disconnect, QT_TRANSLATE_NOOP("DeviceSettings", "Disconnect")},
    {NEOnDemandRuleAction::evaluateConnection,
     QT_TRANSLATE_NOOP("DeviceSettings", "Evaluate connection")},
    {NEOnDemandRuleAction::ignore, QT_TRANSLATE_NOOP("DeviceSettings", "Ignore")},
};
constexpr std::pair<NEOnDemandRuleInterfaceType, const char *> interfaceNames[] = {
    {0, QT_TRANSLATE_NOOP("DeviceSettings", "Any")},
    {1, QT_TRANSLATE_NOOP("DeviceSettings", "Ethernet")},
    {2, QT_TRANSLATE_NOOP("DeviceSettings", "Wi-Fi")},
    {3, QT_TRANSLATE_NOOP("DeviceSettings", "Cellular")},
};

QString actionName(NEOnDemandRuleAction action) {
    for (const auto &[known, name] : actionNames)
        if (known == action)
            return DeviceSettings::tr(name);
    return onDemandActionKey(action);
}

QString interfaceName(NEOnDemandRuleInterfaceType type) {
    for (const auto &[known, name] : interfaceNames)
        if (known == type)
            return DeviceSettings::tr(name);
    // Any integer is carried, so a type a newer platform adds is still shown.
    return DeviceSettings::tr("type %1").arg(type);
}

} // namespace

int DeviceSettings::listDns() {
    const DNSConfigurationStore store;
    QString error;
    // No lock: every file is replaced whole by a rename, and a listing must create nothing.
    const auto entries = store.readAll(&error);
    if (!entries)
        return fail(error);
    const EnforcedList::InForce list = EnforcedList::inForce();
    std::optional<EnforcedList::Installation> installation;
    bool listMatched = false;
    int shown = 0;
    int unreadable = 0;
    for (const auto &entry : *entries) {
        if (shown++ > 0)
            m_out << u'\n';
        if (!entry.configuration) {
            ++unreadable;
            qCWarning(lcDeviceSettings).noquote() << "refused:" << entry.message();
            m_out << tr("Unreadable file %1: it %2.\n")
                         .arg(printable(entry.path), printable(entry.reason));
            continue;
        }
        const DNSConfiguration &configuration = *entry.configuration;
        const NEDNSSettings &settings = *configuration.settings;
        m_out << label(configuration) << u": "_s << onOff(configuration.enabled) << u'\n';
        m_out << tr("  Protocol: ") << dnsProtocolName(settings.dnsProtocol()) << u'\n';
        m_out << tr("  Servers: ") << listText(settings.servers(), QString()) << u'\n';
        if (const auto *https = dynamic_cast<const NEDNSOverHTTPSSettings *>(&settings))
            m_out << tr("  Server URL: ")
                  << (https->serverURL() ? printable(https->serverURL()->toString())
                                         : tr("not set"))
                  << u'\n';
        if (const auto *tls = dynamic_cast<const NEDNSOverTLSSettings *>(&settings))
            m_out << tr("  Server name: ")
                  << (tls->serverName() ? printable(*tls->serverName()) : tr("not set")) << u'\n';
        m_out << tr("  Match domains: ") << listText(settings.matchDomains(), tr("all")) << u'\n';
        int number = 0;
        for (const auto &rule : configuration.onDemandRules) {
            m_out << tr("  On-demand rule %1: %2, interface %3")
                         .arg(++number)
                         .arg(actionName(rule->action()),
                              interfaceName(rule->interfaceTypeMatch()));
            if (rule->SSIDMatch())
                m_out << tr(", SSIDs: ") << listText(rule->SSIDMatch(), QString());
            if (rule->DNSSearchDomainMatch())
                m_out << tr(", search domains: ")
                      << listText(rule->DNSSearchDomainMatch(), QString());
            if (rule->DNSServerAddressMatch())
                m_out << tr(", DNS servers: ")
                      << listText(rule->DNSServerAddressMatch(), QString());
            if (rule->probeURL())
                m_out << tr(", probe URL: ") << printable(rule->probeURL()->toString());
            m_out << u'\n';
        }
        if (!configuration.enabled)
            continue;
        if (!installation)
            installation = EnforcedList::installation();
        m_out << tr("  Enforced on this computer: ")
              << enforcementText(configuration, list, *installation) << u'\n';
        const auto names = EnforcedList::convert(settings.matchDomains().value_or(QStringList()));
        if (EnforcedList::isDeadEnd(settings) && !names.leftOut.isEmpty())
            m_out << tr("  Left out of the enforced list: ") << leftOutText(names.leftOut) << u'\n';
        listMatched = listMatched || (EnforcedList::isDeadEnd(settings) &&
                                      EnforcedList::matches(list, configuration));
    }
    if (shown == 0)
        m_out << tr("No DNS configurations are stored.\n");
    // A list no switched-on configuration asks for still blocks: a deleted home folder, or a
    // change that failed half way. Say so, and how to take it away.
    if (list.status != EnforcedList::InForce::none && !listMatched) {
        const QString path = EnforcedList::listPath();
        m_out << u'\n';
        if (list.status == EnforcedList::InForce::unreadable)
            m_out << tr("Enforced list that cannot be read: %1 %2.\n")
                         .arg(path, printable(list.problem));
        else if (list.isMine())
            m_out << tr("Enforced list matching no switched-on configuration: %1 (%2).\n")
                         .arg(listOwner(list), path);
        else
            m_out << tr("Enforced list of another account: %1 (%2).\n").arg(listOwner(list), path);
        m_out << (list.isMine() ? tr("  Clear it with: device-settings dns clear\n")
                                : tr("  Clear it with: sudo device-settings dns clear\n"));
    }
    if (unreadable > 0)
        return fail(unreadable == 1
                        ? tr("1 stored DNS configuration cannot be read")
                        : tr("%1 stored DNS configurations cannot be read").arg(unreadable));
    return success;
}

namespace {

/** Where `app` names a stored configuration: its index, or why there is none to switch. */
struct Target {
    qsizetype index = -1;
    QString problem;
};

Target findTarget(const QList<ReadResult> &entries, const DNSConfigurationStore &store,
                  const QString &app) {
    Target target;
    for (qsizetype i = 0; i < entries.size() && target.index < 0; ++i) {
        if (entries[i].configuration && entries[i].configuration->identifier == app)
            target.index = i;
    }
    if (target.index >= 0)
        return target;
    QList<qsizetype> matches;
    for (qsizetype i = 0; i < entries.size(); ++i) {
        const auto &configuration = entries[i].configuration;
        if (configuration && (configuration->displayName.compare(app, Qt::CaseInsensitive) == 0 ||
                              configuration->identifier.compare(app, Qt::CaseInsensitive) == 0))
            matches.append(i);
    }
    if (matches.size() == 1) {
        target.index = matches.first();
        return target;
    }
    if (matches.size() > 1) {
        QStringList names;
        for (qsizetype i : matches)
            names.append(entries[i].configuration->identifier);
        target.problem = DeviceSettings::tr("\"%1\" names several apps (%2); give the identifier")
                             .arg(app, names.join(u", "_s));
        return target;
    }
    for (const auto &entry : entries) {
        if (!entry.configuration && entry.path == store.filePath(app)) {
            target.problem =
                DeviceSettings::tr(
                    "the DNS configuration of %1 cannot be switched: %2; it is left as "
                    "it is")
                    .arg(app, entry.message());
            return target;
        }
    }
    target.problem = DeviceSettings::tr("no DNS configuration is stored for app \"%1\"").arg(app);
    return target;
}

/**
 * A file this version cannot read that may be switched on: one we cannot open, or a newer
 * format that does not plainly say it is off. A damaged file or a non-file is off for every
 * reader, so it does not count.
 */
bool mayBeOn(const ReadResult &entry) {
    if (entry.status == ReadResult::failed)
        return true;
    if (entry.status != ReadResult::newerFormat)
        return false;
    const QJsonDocument document = QJsonDocument::fromJson(entry.bytes);
    return document.object().value(u"enabled"_s) != QJsonValue(false);
}

/** The same files with the same bytes: nothing changed between our decision and the lock. */
bool sameEntries(const QList<ReadResult> &a, const QList<ReadResult> &b) {
    if (a.size() != b.size())
        return false;
    for (qsizetype i = 0; i < a.size(); ++i) {
        if (a[i].path != b[i].path || a[i].status != b[i].status || a[i].bytes != b[i].bytes)
            return false;
    }
    return true;
}

// Another process changing a file between our decision and our lock makes us decide again.
constexpr int maximumAttempts = 5;

} // namespace

QString DeviceSettings::enforcementText(const DNSConfiguration &configuration,
                                        const EnforcedList::InForce &list,
                                        const EnforcedList::Installation &installation) {
    const NEDNSSettings &settings = *configuration.settings;
    const QString id = printable(configuration.identifier);
    if (!EnforcedList::isDeadEnd(settings))
        return tr("no, only a dead-end configuration (every server 0.0.0.0 or ::) is enforced "
                  "here");
    if (!settings.matchDomains())
        return tr("no, it has no match domains, so it would block every name");
    if (!installation.installed)
        return tr("no, the system part is not installed: %1").arg(printable(installation.reason));
    switch (list.status) {
    case EnforcedList::InForce::none:
        return tr("no, no enforced list is in force; run: device-settings dns enable %1").arg(id);
    case EnforcedList::InForce::unreadable:
        return tr("no, the list in force cannot be read: it %1").arg(printable(list.problem));
    case EnforcedList::InForce::ok:
        break;
    }
    if (!list.isMine())
        return tr("no, another account's list is in force (uid %1, app %2)")
            .arg(list.uid)
            .arg(printable(list.app));
    if (!EnforcedList::matches(list, configuration))
        return tr("no, the list in force (%1) does not match this configuration; run: "
                  "device-settings dns enable %2")
            .arg(listOwner(list), id);
    if (!list.problem.isEmpty())
        return tr("no, ") + list.problem;
    return tr("yes, %1 (list of uid %2, app %3)")
        .arg(namesText(list.names.size()))
        .arg(list.uid)
        .arg(printable(list.app));
}

int DeviceSettings::switchDns(const DNSConfigurationStore &store, const QString &app, bool on) {
    if (!store.isAvailable())
        return fail(store.unavailableReason());
    QString error;
    const bool all = app.isEmpty();
    if (all && SafeFile::kindOf(store.directory()) == SafeFile::Kind::absent)
        return success; // nothing stored, nothing to switch off: create nothing either
    // Held while this computer follows and the files change; the store's own lock is taken
    // only for the files, after any password prompt.
    const auto enforcing = store.enforcementLock(&error);
    if (!enforcing)
        return fail(error);
    for (int attempt = 0; attempt < maximumAttempts; ++attempt) {
        const auto entries = store.readAll(&error);
        if (!entries)
            return fail(error);
        Target target;
        if (!all) {
            target = findTarget(*entries, store, app);
            if (target.index < 0) {
                m_err << program << u": "_s << printable(target.problem) << u'\n' << usageLine()
                      << u'\n';
                return failure;
            }
        }
        for (const auto &entry : *entries) {
            if (entry.configuration)
                continue;
            // Enabling another one could leave two switched on: change nothing.
            if (on && mayBeOn(entry))
                return fail(
                    tr("nothing changed: %1, and it may be switched on").arg(entry.message()));
            if (attempt == 0)
                warn(entry.message() + tr("; it is left as it is"));
        }
        // What goes off, and the one that goes on.
        QList<DNSConfiguration> turningOff;
        std::optional<DNSConfiguration> chosen;
        for (qsizetype i = 0; i < entries->size(); ++i) {
            const auto &configuration = entries->at(i).configuration;
            if (!configuration)
                continue;
            if (i == target.index)
                chosen = *configuration;
            else if (configuration->enabled && (on || all))
                turningOff.append(*configuration);
        }
        if (chosen && !on)
            turningOff.append(*chosen);

        // This computer follows first, without the store's lock: it may ask for a password.
        EnforcedList::Enforcement enforcement;
        if (on) {
            enforcement = EnforcedList::enforce(*chosen);
            if (!enforcement.outcome.ok())
                return fail(
                    tr("DNS configuration of %1 stays %2: %3")
                        .arg(label(*chosen), onOff(chosen->enabled), enforcement.outcome.message));
        } else {
            for (const DNSConfiguration &configuration : std::as_const(turningOff)) {
                const auto released = EnforcedList::release(configuration.identifier);
                if (!released.ok())
                    return fail(tr("DNS configuration of %1 stays %2: %3")
                                    .arg(label(configuration), onOff(configuration.enabled),
                                         released.message));
            }
        }
        // If the store cannot follow, the list goes back to what the store still says.
        const auto restore = [&] {
            const DNSConfiguration *wasOn = nullptr;
            for (const auto &entry : *entries) {
                if (entry.configuration && entry.configuration->enabled)
                    wasOn = &*entry.configuration;
            }
            const auto restored =
                wasOn ? EnforcedList::enforce(*wasOn).outcome
                      : EnforcedList::release(chosen ? chosen->identifier : QString());
            if (!restored.ok())
                warn(tr("the enforced list no longer matches the stored configurations: ") +
                     restored.message);
        };

        const auto lock = store.lock(&error);
        if (!lock)
            return fail(error);
        const auto again = store.readAll(&error);
        if (!again)
            return fail(error);
        if (!sameEntries(*entries, *again))
            continue;

        // Others go off before the target goes on, so no moment has two switched on.
        for (const DNSConfiguration &configuration : std::as_const(turningOff)) {
            if (!configuration.enabled) {
                m_out << tr("DNS configuration of %1 is already Off.\n").arg(label(configuration));
                continue;
            }
            if (!store.setEnabled(configuration.identifier, false, &error)) {
                restore();
                return fail(error);
            }
            qCInfo(lcDeviceSettings).noquote() << configuration.identifier << "switched Off";
            m_out << tr("DNS configuration of %1 is now Off.\n").arg(label(configuration));
        }
        if (!on)
            return success;
        if (chosen->enabled) {
            m_out << tr("DNS configuration of %1 is already On.\n").arg(label(*chosen));
        } else {
            if (!store.setEnabled(chosen->identifier, true, &error)) {
                restore();
                return fail(error);
            }
            qCInfo(lcDeviceSettings).noquote() << chosen->identifier << "switched On";
            m_out << tr("DNS configuration of %1 is now On.\n").arg(label(*chosen));
        }
        if (enforcement.enforced)
            m_out << tr("Enforced on this computer: %1 blocked.\n")
                         .arg(namesText(enforcement.names.names.size()));
        else
            m_out << tr("Not enforced on this computer: %1.\n").arg(enforcement.notEnforced);
        if (enforcement.enforced && !enforcement.names.leftOut.isEmpty())
            m_out << tr("Left out of the enforced list: %1\n")
                         .arg(leftOutText(enforcement.names.leftOut));
        return success;
    }
    return fail(tr("the DNS configurations kept changing; nothing was switched"));
}

int DeviceSettings::clearList() {
    const EnforcedList::InForce list = EnforcedList::inForce();
    if (list.status == EnforcedList::InForce::none) {
        m_out << tr("No enforced list is in force.\n");
        return success;
    }
    // A list that a switched-on configuration asks for is switched off, not cleared under it.
    const DNSConfigurationStore store;
    QString error;
    const auto entries = store.isAvailable() ? store.readAll(&error) : std::nullopt;
    for (const auto &entry : entries.value_or(QList<ReadResult>())) {
        const auto &configuration = entry.configuration;
        if (configuration && configuration->enabled && EnforcedList::matches(list, *configuration))
            return fail(tr("the enforced list belongs to the switched-on DNS configuration of %1; "
                           "switch it off with: device-settings dns disable %2")
                            .arg(label(*configuration), configuration->identifier));
    }
    const auto cleared = EnforcedList::clearAny();
    if (!cleared.ok())
        return fail(tr("cannot clear the enforced list: ") + cleared.message);
    if (list.status == EnforcedList::InForce::ok)
        m_out << tr("Cleared the enforced list (%1).\n").arg(listOwner(list));
    else
        m_out << tr("Cleared the enforced list.\n");
    return success;
}

int DeviceSettings::checkName(const QString &name) {
    QString reason;
    const auto ascii = EnforcedList::convertName(name, &reason);
    if (!ascii)
        return usageError(tr("\"%1\" is not a DNS name (%2)").arg(printable(name), reason));
    const QString shown = *ascii == name ? *ascii : u"%1 (%2)"_s.arg(printable(name), *ascii);
    if (EnforcedList::isNeverBlocked(*ascii)) {
        m_out << tr("%1 is never blocked: localhost, names under it and this computer's own name "
                    "always resolve.\n")
                     .arg(shown);
        return success;
    }
    const EnforcedList::InForce list = EnforcedList::inForce();
    // Browsers keep their own DNS-over-HTTPS, which would pass the list by, off while this
    // name does not exist; the hosts module makes it fail whenever a list is in force.
    const QByteArray asciiBytes = ascii->toLatin1();
    const bool signal =
        quellnet_is_browser_signal(asciiBytes.constData(), size_t(asciiBytes.size()));
    const QString signalWhy =
        tr("browsers keep their own DNS-over-HTTPS off while this name does not exist, so their "
           "look-ups stay with this computer's resolver and its blocklist");
    if (list.status == EnforcedList::InForce::none) {
        m_out
            << tr("%1 is not blocked on this computer: no enforced list is in force.\n").arg(shown);
        if (signal)
            m_out << tr("It is held while protection is on: %1.\n").arg(signalWhy);
        return success;
    }
    if (signal && list.status == EnforcedList::InForce::ok && list.problem.isEmpty() &&
        EnforcedList::installation().installed) {
        m_out << tr("%1 is held on this computer while protection is on (list of uid %2, app %3), "
                    "though it is not in the blocklist: %4.\n")
                     .arg(shown)
                     .arg(list.uid)
                     .arg(printable(list.app), signalWhy);
        return success;
    }
    if (list.status == EnforcedList::InForce::unreadable) {
        m_out
            << tr("%1 is not blocked on this computer: the list in force cannot be read (it %2).\n")
                   .arg(shown, printable(list.problem));
        return success;
    }
    const auto entry = EnforcedList::blockingEntry(list.names, *ascii);
    if (!entry) {
        m_out << tr("%1 is not blocked on this computer.\n").arg(shown);
        return success;
    }
    const auto installation = EnforcedList::installation();
    if (!installation.installed)
        m_out << tr("%1 is not blocked on this computer: the list in force has the entry \"%2\", "
                    "but the system part is not installed (%3).\n")
                     .arg(shown, *entry, printable(installation.reason));
    else if (!list.problem.isEmpty())
        m_out << tr("%1 is not blocked on this computer: the list in force has the entry \"%2\", "
                    "but %3.\n")
                     .arg(shown, *entry, list.problem);
    else
        m_out
            << tr("%1 is blocked on this computer by the entry \"%2\" (list of uid %3, app %4).\n")
                   .arg(shown, *entry)
                   .arg(list.uid)
                   .arg(printable(list.app));
    return success;
}
