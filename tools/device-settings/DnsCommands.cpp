#include "CommandText.h"
#include "DeviceSettings.h"

#include "foundation/SafeFile.h"
#include "networkextension/DNSConfigurationStore.h"
#include "networkextension/DeviceDNSSettings.h"
#include "nss/quellnet_enforced_list.h"

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
        if (const auto stillBlocking = DeviceDNSSettings::offText(configuration, list)) {
            m_out << u"  "_s << *stillBlocking << u'\n';
            listMatched = true; // the advice is given here
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

QString DeviceSettings::enforcementText(const DNSConfiguration &configuration,
                                        const EnforcedList::InForce &list,
                                        const EnforcedList::Installation &installation) {
    return DeviceDNSSettings::enforcementText(configuration, list, installation);
}

int DeviceSettings::switchDns(const DNSConfigurationStore &store, const QString &app, bool on) {
    const DeviceDNSSettings settings(store);
    const auto outcome = settings.setEnabled(app, on);
    for (const QString &warning : outcome.warnings)
        warn(warning);
    for (const QString &line : outcome.report)
        m_out << line;
    if (outcome.status == DeviceDNSSettings::Outcome::done)
        return success;
    if (outcome.unknownApp) {
        m_err << program << u": "_s << printable(outcome.message) << u'\n' << usageLine() << u'\n';
        return failure;
    }
    return fail(outcome.message);
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
    const QString signalWhy = DeviceDNSSettings::browserSignalText();
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
