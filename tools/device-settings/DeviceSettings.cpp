#include "DeviceSettings.h"

#include "foundation/PlatformPaths.h"
#include "foundation/SafeFile.h"
#include "networkextension/DNSConfigurationStore.h"
#include "storekit/StoreReachability.h"
#include "system/NsswitchConfig.h"

#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QUrl>

#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace Qt::StringLiterals;

Q_LOGGING_CATEGORY(lcDeviceSettings, "quellnet.device-settings", QtWarningMsg)

namespace {

using ReadResult = DNSConfigurationStore::ReadResult;

const QString program = u"device-settings"_s;

QString helpText() {
    return DeviceSettings::tr(
        "Usage: device-settings COMMAND\n"
        "Stands in for the phone's Settings app.\n"
        "\n"
        "  dns                  list every stored DNS configuration\n"
        "  dns enable APP       switch APP's DNS configuration on and every other one off\n"
        "  dns disable APP      switch APP's DNS configuration off\n"
        "  dns check NAME       tell whether NAME is blocked on this computer, and by what\n"
        "  dns clear            delete an enforced list no switched-on configuration matches\n"
        "  system install       put the Quellnet hosts module first in nsswitch.conf (root)\n"
        "  system uninstall     switch every configuration off and take the module out (root)\n"
        "  system status        tell whether this computer can enforce a configuration\n"
        "  store offline        make the app store unreachable\n"
        "  store online         make the app store reachable again\n"
        "  store status         tell whether the app store is reachable\n"
        "  --help               show this text\n"
        "\n"
        "APP is an app's display name (any letter case) or its bundle identifier.\n"
        "A switched-on dead-end configuration (every server 0.0.0.0 or ::) is enforced on this\n"
        "computer: look-ups of its match domains, and of names under them, fail.\n");
}

QString label(const DNSConfiguration &configuration) {
    return u"%1 (%2)"_s.arg(DeviceSettings::printable(configuration.displayName),
                            DeviceSettings::printable(configuration.identifier));
}

QString onOff(bool on) {
    return on ? DeviceSettings::tr("On") : DeviceSettings::tr("Off");
}

QString namesText(qsizetype count) {
    return count == 1 ? DeviceSettings::tr("1 name") : DeviceSettings::tr("%1 names").arg(count);
}

QString listOwner(const EnforcedList::InForce &list) {
    return DeviceSettings::tr("%1 of uid %2, app %3")
        .arg(namesText(list.names.size()))
        .arg(list.uid)
        .arg(DeviceSettings::printable(list.app));
}

QString leftOutText(const QList<EnforcedList::LeftOut> &leftOut) {
    QStringList items;
    for (const auto &name : leftOut)
        items.append(u"\"%1\" (%2)"_s.arg(DeviceSettings::printable(name.name), name.reason));
    return items.join(u", "_s);
}

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

QString DeviceSettings::usageLine() {
    return tr("Usage: device-settings dns [enable|disable APP | check NAME | clear] | "
              "system install|uninstall|status | store offline|online|status | --help");
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
        return usageError(tr("no command given"));
    const QString &command = arguments.first();
    if (command == u"--help" || command == u"-h" || command == u"help") {
        m_out << helpText();
        return success;
    }
    if (command == u"dns") {
        if (arguments.size() == 1)
            return listDns();
        const QString &verb = arguments.at(1);
        if (verb == u"clear") {
            if (arguments.size() != 2)
                return usageError(tr("dns clear takes nothing more"));
            return clearList();
        }
        if (verb == u"check") {
            if (arguments.size() != 3)
                return usageError(tr("dns check needs exactly one NAME"));
            return checkName(arguments.at(2));
        }
        if (verb != u"enable" && verb != u"disable")
            return usageError(tr("unknown dns command \"%1\"").arg(printable(verb)));
        if (arguments.size() != 3 || arguments.at(2).isEmpty())
            return usageError(tr("dns %1 needs exactly one APP").arg(verb));
        return switchDns(DNSConfigurationStore(), arguments.at(2), verb == u"enable");
    }
    if (command == u"system") {
        if (arguments.size() != 2)
            return usageError(tr("system needs one of install, uninstall, status"));
        return system(arguments.at(1));
    }
    if (command == u"store") {
        if (arguments.size() != 2)
            return usageError(tr("store needs one of offline, online, status"));
        return store(arguments.at(1));
    }
    return usageError(tr("unknown command \"%1\"").arg(printable(command)));
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
    m_err << program << tr(": warning: ") << printable(message) << u'\n';
}

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
    if (list.status == EnforcedList::InForce::none) {
        m_out
            << tr("%1 is not blocked on this computer: no enforced list is in force.\n").arg(shown);
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

int DeviceSettings::store(const QString &command) {
    if (command == u"status") {
        m_out << tr("App Store: ")
              << (StoreReachability::isReachable() ? tr("online") : tr("offline")) << u'\n';
        return success;
    }
    if (command != u"offline" && command != u"online")
        return usageError(tr("unknown store command \"%1\"").arg(printable(command)));
    const bool reachable = command == u"online";
    QString error;
    if (!StoreReachability::setReachable(reachable, &error))
        return fail(tr("cannot switch the app store %1: %2")
                        .arg(reachable ? tr("online") : tr("offline"), error));
    m_out << tr("App Store is now %1.\n").arg(reachable ? tr("online") : tr("offline"));
    return success;
}

bool DeviceSettings::requireRoot(const QString &command) {
    // A test setup edits its own folder; the real nsswitch.conf belongs to root.
    if (!EnforcedList::systemRoot().isEmpty() || ::geteuid() == 0)
        return true;
    fail(tr("system %1 changes %2 and must run as root: sudo device-settings system %1")
             .arg(command, EnforcedList::nsswitchPath()));
    return false;
}

int DeviceSettings::system(const QString &command) {
    if (command == u"status")
        return systemStatus();
    if (command != u"install" && command != u"uninstall")
        return usageError(tr("unknown system command \"%1\"").arg(printable(command)));
    if (!requireRoot(command))
        return failure;
    const QString path = EnforcedList::nsswitchPath();
    const QString entry = QString::fromLatin1(NsswitchConfig::moduleEntry);

    if (command == u"install") {
        if (const auto problem = EnforcedList::prepareModule())
            return fail(tr("the hosts module cannot be used: ") + *problem);
        const QString writer = EnforcedList::writerPath();
        if (!QFileInfo(writer).isExecutable())
            return fail(
                tr("the writer %1 is not installed; run: sudo cmake --install build").arg(writer));
    } else {
        // Nothing may stay switched on, or blocked, once the module is gone.
        const DNSConfigurationStore store;
        if (store.isAvailable() && switchDns(store, QString(), false) != success)
            return fail(tr("nothing was uninstalled"));
        if (const int code = switchInvokingAccountOff(); code != success)
            return code;
        const EnforcedList::InForce list = EnforcedList::inForce();
        if (list.status != EnforcedList::InForce::none) {
            const auto cleared = EnforcedList::clearAny();
            if (!cleared.ok())
                return fail(tr("cannot clear the enforced list: %1; nothing was uninstalled")
                                .arg(cleared.message));
            m_out << (list.status == EnforcedList::InForce::ok
                          ? tr("Cleared the enforced list (%1).\n").arg(listOwner(list))
                          : tr("Cleared the enforced list.\n"));
        }
    }

    const SafeFile::ReadResult file = SafeFile::read(path, 1024 * 1024);
    if (file.status != SafeFile::ReadResult::ok)
        return fail(file.status == SafeFile::ReadResult::absent
                        ? tr("%1 does not exist").arg(path)
                        : u"%1 %2"_s.arg(path, file.reason));
    QString error;
    QByteArray edited;
    if (command == u"install") {
        if (NsswitchConfig::hasModule(file.data)) {
            m_out << tr("The hosts line of %1 already starts with %2.\n").arg(path, entry);
            return success;
        }
        const auto withModule = NsswitchConfig::withModule(file.data, &error);
        if (!withModule)
            return fail(tr("cannot install into %1: %2").arg(path, error));
        edited = *withModule;
    } else {
        edited = NsswitchConfig::withoutModule(file.data);
        if (edited == file.data) {
            m_out << tr("The hosts line of %1 has no %2; nothing to take out.\n").arg(path, entry);
            return success;
        }
    }
    if (!NsswitchConfig::write(path, edited, &error))
        return fail(error);
    qCInfo(lcDeviceSettings).noquote() << "system" << command << "edited" << path;
    const QString line = QString::fromLocal8Bit(NsswitchConfig::hostsLine(edited).value_or(""));
    m_out << (command == u"install" ? tr("Put %1 first on the hosts line of %2:\n  %3\n")
                                    : tr("Took %1 off the hosts line of %2:\n  %3\n"))
                 .arg(entry, path, printable(line));
    return success;
}

int DeviceSettings::systemStatus() {
    const auto installation = EnforcedList::installation();
    m_out << (installation.installed
                  ? tr("System part: installed\n")
                  : tr("System part: not installed (%1)\n").arg(printable(installation.reason)));
    const SafeFile::ReadResult nsswitch = SafeFile::read(EnforcedList::nsswitchPath(), 1024 * 1024);
    const auto line = nsswitch.status == SafeFile::ReadResult::ok
                          ? NsswitchConfig::hostsLine(nsswitch.data)
                          : std::nullopt;
    m_out << tr("  Hosts line of %1: %2\n")
                 .arg(EnforcedList::nsswitchPath(),
                      line ? printable(QString::fromLocal8Bit(*line)) : tr("none"));
    m_out << tr("  Writer: %1\n").arg(EnforcedList::writerPath());
    const EnforcedList::InForce list = EnforcedList::inForce();
    switch (list.status) {
    case EnforcedList::InForce::none:
        m_out << tr("  Enforced list: none\n");
        break;
    case EnforcedList::InForce::unreadable:
        m_out << tr("  Enforced list: %1 cannot be read: it %2\n")
                     .arg(EnforcedList::listPath(), printable(list.problem));
        break;
    case EnforcedList::InForce::ok:
        m_out << tr("  Enforced list: %1 (%2)\n").arg(listOwner(list), EnforcedList::listPath());
        break;
    }
    return success;
}

int DeviceSettings::switchInvokingAccountOff() {
    // Run through sudo or pkexec, HOME is root's: the account that asked keeps its own
    // configurations, which must go off too. Not in a test setup, which has one account.
    if (::geteuid() != 0 || !EnforcedList::systemRoot().isEmpty())
        return success;
    bool numeric = false;
    QString variable = qEnvironmentVariable("SUDO_UID");
    if (variable.isEmpty())
        variable = qEnvironmentVariable("PKEXEC_UID");
    const uint uid = variable.toUInt(&numeric);
    if (!numeric || uid == 0)
        return success;
    const struct passwd *account = ::getpwuid(uid_t(uid));
    if (!account || !account->pw_dir || account->pw_dir[0] != '/')
        return fail(tr("cannot find the home folder of uid %1; nothing was uninstalled").arg(uid));
    const QString home = QFile::decodeName(account->pw_dir);
    const QString platform = home + u"/.local/state/"_s + platformFolderName;
    if (SafeFile::kindOf(platform) != SafeFile::Kind::directory)
        return success;
    const DNSConfigurationStore store(platform);
    const int code = switchDns(store, QString(), false);
    // What root wrote there goes back to the account, or it could no longer change it.
    QDirIterator it(platform, QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot,
                    QDirIterator::Subdirectories);
    QStringList paths{platform};
    while (it.hasNext())
        paths.append(it.next());
    for (const QString &path : std::as_const(paths)) {
        struct stat info {};
        if (::lstat(QFile::encodeName(path).constData(), &info) == 0 && info.st_uid == 0 &&
            ::lchown(QFile::encodeName(path).constData(), account->pw_uid, account->pw_gid) != 0)
            warn(tr("cannot give %1 back to uid %2").arg(path).arg(uid));
    }
    return code == success ? success : fail(tr("nothing was uninstalled"));
}
