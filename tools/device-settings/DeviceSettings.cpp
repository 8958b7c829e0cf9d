#include "DeviceSettings.h"

#include "networkextension/DNSConfigurationStore.h"
#include "storekit/StoreReachability.h"

#include <QJsonDocument>
#include <QUrl>

using namespace Qt::StringLiterals;

Q_LOGGING_CATEGORY(lcDeviceSettings, "quellnet.device-settings", QtWarningMsg)

namespace {

using ReadResult = DNSConfigurationStore::ReadResult;

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
    return u"%1 (%2)"_s.arg(DeviceSettings::printable(configuration.displayName),
                            DeviceSettings::printable(configuration.identifier));
}

QString onOff(bool on) {
    return on ? u"On"_s : u"Off"_s;
}

QString listText(const std::optional<QStringList> &list, const QString &absent) {
    if (!list)
        return absent;
    if (list->isEmpty())
        return u"none"_s;
    QStringList shown;
    for (const QString &item : *list)
        shown.append(DeviceSettings::printable(item));
    return shown.join(u", "_s);
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

QString DeviceSettings::printable(const QString &text) {
    QString shown;
    shown.reserve(text.size());
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text.at(i);
        if (c.isHighSurrogate() && i + 1 < text.size() && text.at(i + 1).isLowSurrogate()) {
            shown += c;
            shown += text.at(++i);
            continue;
        }
        const char16_t u = c.unicode();
        if (u == u'\\')
            shown += u"\\\\"_s;
        else if (u < 0x20 || (u >= 0x7f && u < 0xa0))
            shown += u"\\x%1"_s.arg(uint(u), 2, 16, QChar(u'0'));
        // Bidirectional overrides, zero-width characters, line separators and lone surrogates
        // can make one text look like another.
        else if (c.isSurrogate() || c.category() == QChar::Other_Format ||
                 c.category() == QChar::Separator_Line ||
                 c.category() == QChar::Separator_Paragraph)
            shown += u"\\u{%1}"_s.arg(uint(u), 4, 16, QChar(u'0'));
        else
            shown += c;
    }
    return shown;
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
            return usageError(u"unknown dns command \"%1\""_s.arg(printable(verb)));
        if (arguments.size() != 3 || arguments.at(2).isEmpty())
            return usageError(u"dns %1 needs exactly one APP"_s.arg(verb));
        return switchDns(arguments.at(2), verb == u"enable");
    }
    if (command == u"store") {
        if (arguments.size() != 2)
            return usageError(u"store needs one of offline, online, status"_s);
        return store(arguments.at(1));
    }
    return usageError(u"unknown command \"%1\""_s.arg(printable(command)));
}

int DeviceSettings::usageError(const QString &message) {
    m_err << program << u": "_s << message << u'\n' << usageLine() << u'\n';
    return badUsage;
}

int DeviceSettings::fail(const QString &message) {
    qCWarning(lcDeviceSettings).noquote() << message;
    m_err << program << u": "_s << printable(message) << u'\n';
    return failure;
}

void DeviceSettings::warn(const QString &message) {
    qCWarning(lcDeviceSettings).noquote() << message;
    m_err << program << u": warning: "_s << printable(message) << u'\n';
}

int DeviceSettings::listDns() {
    const DNSConfigurationStore store;
    QString error;
    // No lock: every file is replaced whole by a rename, and a listing must create nothing.
    const auto entries = store.readAll(&error);
    if (!entries)
        return fail(error);
    int shown = 0;
    int unreadable = 0;
    for (const auto &entry : *entries) {
        if (shown++ > 0)
            m_out << u'\n';
        if (!entry.configuration) {
            ++unreadable;
            qCWarning(lcDeviceSettings).noquote() << "refused:" << entry.message();
            m_out << u"Unreadable file %1: it %2.\n"_s.arg(printable(entry.path),
                                                           printable(entry.reason));
            continue;
        }
        const DNSConfiguration &configuration = *entry.configuration;
        const NEDNSSettings &settings = *configuration.settings;
        m_out << label(configuration) << u": "_s << onOff(configuration.enabled) << u'\n';
        m_out << u"  Protocol: "_s << dnsProtocolName(settings.dnsProtocol()) << u'\n';
        m_out << u"  Servers: "_s << listText(settings.servers(), QString()) << u'\n';
        if (const auto *https = dynamic_cast<const NEDNSOverHTTPSSettings *>(&settings))
            m_out << u"  Server URL: "_s
                  << (https->serverURL() ? printable(https->serverURL()->toString()) : u"not set"_s)
                  << u'\n';
        if (const auto *tls = dynamic_cast<const NEDNSOverTLSSettings *>(&settings))
            m_out << u"  Server name: "_s
                  << (tls->serverName() ? printable(*tls->serverName()) : u"not set"_s) << u'\n';
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
                m_out << u", probe URL: "_s << printable(rule->probeURL()->toString());
            m_out << u'\n';
        }
    }
    if (shown == 0)
        m_out << u"No DNS configurations are stored.\n"_s;
    if (unreadable > 0)
        return fail(unreadable == 1
                        ? u"1 stored DNS configuration cannot be read"_s
                        : u"%1 stored DNS configurations cannot be read"_s.arg(unreadable));
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
        target.problem =
            u"\"%1\" names several apps (%2); give the identifier"_s.arg(app, names.join(u", "_s));
        return target;
    }
    for (const auto &entry : entries) {
        if (!entry.configuration && entry.path == store.filePath(app)) {
            target.problem = u"the DNS configuration of %1 cannot be switched: %2; it is left as "
                             u"it is"_s.arg(app, entry.message());
            return target;
        }
    }
    target.problem = u"no DNS configuration is stored for app \"%1\""_s.arg(app);
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

} // namespace

int DeviceSettings::switchDns(const QString &app, bool on) {
    const DNSConfigurationStore store;
    QString error;
    const auto lock = store.isAvailable() ? store.lock(&error) : nullptr;
    if (!lock)
        return fail(store.isAvailable() ? error : store.unavailableReason());
    const auto entries = store.readAll(&error);
    if (!entries)
        return fail(error);

    const Target target = findTarget(*entries, store, app);
    if (target.index < 0) {
        m_err << program << u": "_s << printable(target.problem) << u'\n' << usageLine() << u'\n';
        return failure;
    }
    for (const auto &entry : *entries) {
        if (entry.configuration)
            continue;
        // Enabling another one could leave two switched on: change nothing.
        if (on && mayBeOn(entry))
            return fail(u"nothing changed: %1, and it may be switched on"_s.arg(entry.message()));
        warn(entry.message() + u"; it is left as it is"_s);
    }

    const auto setSwitch = [&](const DNSConfiguration &configuration, bool enabled) {
        if (store.setEnabled(configuration.identifier, enabled, &error)) {
            qCInfo(lcDeviceSettings).noquote()
                << configuration.identifier << "switched" << onOff(enabled);
            return true;
        }
        fail(error);
        return false;
    };
    // Others go off before the target goes on, so no moment has two switched on.
    if (on) {
        for (qsizetype i = 0; i < entries->size(); ++i) {
            const auto &other = entries->at(i).configuration;
            if (i == target.index || !other || !other->enabled)
                continue;
            if (!setSwitch(*other, false))
                return failure;
            m_out << u"DNS configuration of %1 is now Off.\n"_s.arg(label(*other));
        }
    }
    const DNSConfiguration &chosen = *entries->at(target.index).configuration;
    if (chosen.enabled == on) {
        m_out << u"DNS configuration of %1 is already %2.\n"_s.arg(label(chosen), onOff(on));
        return success;
    }
    if (!setSwitch(chosen, on))
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
        return usageError(u"unknown store command \"%1\""_s.arg(printable(command)));
    const bool reachable = command == u"online";
    QString error;
    if (!StoreReachability::setReachable(reachable, &error))
        return fail(u"cannot switch the app store %1: %2"_s.arg(command, error));
    m_out << u"App Store is now %1.\n"_s.arg(command);
    return success;
}
