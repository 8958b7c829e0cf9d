#include "DeviceSettings.h"

#include "networkextension/DNSConfigurationStore.h"
#include "storekit/StoreReachability.h"

#include <QLockFile>
#include <QUrl>

using namespace Qt::StringLiterals;

namespace {

const QString program = u"device-settings"_s;

QString helpText() {
    return u"Usage: device-settings COMMAND\n"
           "Stands in for the phone's Settings app.\n"
           "\n"
           "  dns                  list every stored DNS configuration\n"
           "  dns enable APP       switch APP's DNS configuration on and every other one off\n"
           "  dns disable APP      switch APP's DNS configuration off\n"
           "  store offline        make the app store unreachable\n"
           "  store online         make the app store reachable again\n"
           "  store status         tell whether the app store is reachable\n"
           "  --help               show this text\n"
           "\n"
           "APP is an app's display name (any letter case) or its bundle identifier.\n"_s;
}

QString label(const DNSConfiguration &configuration) {
    return u"%1 (%2)"_s.arg(configuration.displayName, configuration.identifier);
}

QString onOff(bool on) {
    return on ? u"On"_s : u"Off"_s;
}

QString listText(const std::optional<QStringList> &list, const QString &absent) {
    if (!list)
        return absent;
    if (list->isEmpty())
        return u"none"_s;
    return list->join(u", "_s);
}

QString actionName(NEOnDemandRuleAction action) {
    switch (action) {
    case NEOnDemandRuleAction::connect:
        return u"Connect"_s;
    case NEOnDemandRuleAction::disconnect:
        return u"Disconnect"_s;
    case NEOnDemandRuleAction::evaluateConnection:
        return u"Evaluate connection"_s;
    case NEOnDemandRuleAction::ignore:
        return u"Ignore"_s;
    }
    return QString();
}

QString interfaceName(NEOnDemandRuleInterfaceType type) {
    switch (type) {
    case 0:
        return u"Any"_s;
    case 1:
        return u"Ethernet"_s;
    case 2:
        return u"Wi-Fi"_s;
    case 3:
        return u"Cellular"_s;
    default:
        return u"type %1"_s.arg(type);
    }
}

} // namespace

QString DeviceSettings::usageLine() {
    return u"Usage: device-settings dns [enable|disable APP] | store offline|online|status | --help"_s;
}

int DeviceSettings::run(const QStringList &arguments) {
    if (arguments.isEmpty())
        return usageError(u"no command given"_s);
    const QString &command = arguments.first();
    if (command == u"--help" || command == u"-h" || command == u"help") {
        m_out << helpText();
        return success;
    }
    if (command == u"dns") {
        if (arguments.size() == 1)
            return listDns();
        const QString &verb = arguments.at(1);
        if (verb != u"enable" && verb != u"disable")
            return usageError(u"unknown dns command \"%1\""_s.arg(verb));
        if (arguments.size() != 3 || arguments.at(2).isEmpty())
            return usageError(u"dns %1 needs exactly one APP"_s.arg(verb));
        return switchDns(arguments.at(2), verb == u"enable");
    }
    if (command == u"store") {
        if (arguments.size() != 2)
            return usageError(u"store needs one of offline, online, status"_s);
        return store(arguments.at(1));
    }
    return usageError(u"unknown command \"%1\""_s.arg(command));
}

int DeviceSettings::usageError(const QString &message) {
    m_err << program << u": "_s << message << u'\n' << usageLine() << u'\n';
    return badUsage;
}

int DeviceSettings::listDns() {
    const DNSConfigurationStore store;
    QString error;
    const auto lock = store.lock(&error);
    const auto entries = lock ? store.readAll(&error) : std::nullopt;
    if (!entries) {
        m_err << program << u": "_s << error << u'\n';
        return failure;
    }
    int shown = 0;
    for (const auto &entry : *entries) {
        if (!entry.configuration) {
            m_err << program << u": warning: "_s << entry.message << u'\n';
            continue;
        }
        const DNSConfiguration &configuration = *entry.configuration;
        const NEDNSSettings &settings = *configuration.settings;
        if (shown++ > 0)
            m_out << u'\n';
        m_out << label(configuration) << u": "_s << onOff(configuration.enabled) << u'\n';
        m_out << u"  Protocol: "_s << dnsProtocolName(settings.dnsProtocol()) << u'\n';
        m_out << u"  Servers: "_s << listText(settings.servers(), QString()) << u'\n';
        if (const auto *https = dynamic_cast<const NEDNSOverHTTPSSettings *>(&settings))
            m_out << u"  Server URL: "_s
                  << (https->serverURL() ? https->serverURL()->toString() : u"not set"_s) << u'\n';
        if (const auto *tls = dynamic_cast<const NEDNSOverTLSSettings *>(&settings))
            m_out << u"  Server name: "_s << tls->serverName().value_or(u"not set"_s) << u'\n';
        m_out << u"  Match domains: "_s << listText(settings.matchDomains(), u"all"_s) << u'\n';
        int number = 0;
        for (const auto &rule : configuration.onDemandRules) {
            m_out << u"  On-demand rule %1: %2, interface %3"_s.arg(++number).arg(
                actionName(rule->action()), interfaceName(rule->interfaceTypeMatch()));
            if (rule->SSIDMatch())
                m_out << u", SSIDs: "_s << listText(rule->SSIDMatch(), QString());
            if (rule->DNSSearchDomainMatch())
                m_out << u", search domains: "_s
                      << listText(rule->DNSSearchDomainMatch(), QString());
            if (rule->DNSServerAddressMatch())
                m_out << u", DNS servers: "_s << listText(rule->DNSServerAddressMatch(), QString());
            if (rule->probeURL())
                m_out << u", probe URL: "_s << rule->probeURL()->toString();
            m_out << u'\n';
        }
    }
    if (shown == 0)
        m_out << u"No DNS configurations are stored.\n"_s;
    return success;
}

int DeviceSettings::switchDns(const QString &app, bool on) {
    const DNSConfigurationStore store;
    QString error;
    const auto lock = store.lock(&error);
    const auto entries = lock ? store.readAll(&error) : std::nullopt;
    if (!entries) {
        m_err << program << u": "_s << error << u'\n';
        return failure;
    }

    QList<DNSConfiguration> configurations;
    bool unreadable = false;
    for (const auto &entry : *entries) {
        if (entry.configuration) {
            configurations.append(*entry.configuration);
            continue;
        }
        m_err << program << u": warning: "_s << entry.message << u'\n';
        unreadable = unreadable || entry.status == DNSConfigurationStore::ReadResult::failed;
    }
    // A file we could neither read nor move might be switched on: enabling another one
    // could leave two on, so change nothing.
    if (unreadable && on) {
        m_err << program << u": nothing changed while a DNS configuration cannot be read\n"_s;
        return failure;
    }

    qsizetype target = -1;
    for (qsizetype i = 0; i < configurations.size() && target < 0; ++i) {
        if (configurations[i].identifier == app)
            target = i;
    }
    if (target < 0) {
        QList<qsizetype> matches;
        for (qsizetype i = 0; i < configurations.size(); ++i) {
            if (configurations[i].displayName.compare(app, Qt::CaseInsensitive) == 0 ||
                configurations[i].identifier.compare(app, Qt::CaseInsensitive) == 0)
                matches.append(i);
        }
        if (matches.size() > 1) {
            QStringList names;
            for (qsizetype i : matches)
                names.append(configurations[i].identifier);
            m_err << program
                  << u": \"%1\" names several apps (%2); give the identifier\n"_s.arg(
                         app, names.join(u", "_s))
                  << usageLine() << u'\n';
            return failure;
        }
        if (matches.size() == 1)
            target = matches.first();
    }
    if (target < 0) {
        m_err << program << u": no DNS configuration is stored for app \"%1\"\n"_s.arg(app)
              << usageLine() << u'\n';
        return failure;
    }

    const auto save = [&](DNSConfiguration &configuration, bool enabled) {
        configuration.enabled = enabled;
        if (store.write(configuration, &error))
            return true;
        m_err << program << u": "_s << error << u'\n';
        return false;
    };
    // Others go off before the target goes on, so no moment has two switched on.
    if (on) {
        for (qsizetype i = 0; i < configurations.size(); ++i) {
            if (i == target || !configurations[i].enabled)
                continue;
            if (!save(configurations[i], false))
                return failure;
            m_out << u"DNS configuration of %1 is now Off.\n"_s.arg(label(configurations[i]));
        }
    }
    DNSConfiguration &chosen = configurations[target];
    if (chosen.enabled == on) {
        m_out << u"DNS configuration of %1 is already %2.\n"_s.arg(label(chosen), onOff(on));
        return success;
    }
    if (!save(chosen, on))
        return failure;
    m_out << u"DNS configuration of %1 is now %2.\n"_s.arg(label(chosen), onOff(on));
    return success;
}

int DeviceSettings::store(const QString &command) {
    if (command == u"status") {
        m_out << u"App Store: "_s << (StoreReachability::isReachable() ? u"online"_s : u"offline"_s)
              << u'\n';
        return success;
    }
    if (command != u"offline" && command != u"online")
        return usageError(u"unknown store command \"%1\""_s.arg(command));
    const bool reachable = command == u"online";
    if (!StoreReachability::setReachable(reachable)) {
        m_err << program << u": cannot change "_s << StoreReachability::offlineFlagPath() << u'\n';
        return failure;
    }
    m_out << u"App Store is now %1.\n"_s.arg(command);
    return success;
}
