#include "DeviceSettings.h"

#include "CommandText.h"
#include "networkextension/DeviceDNSSettings.h"
#include "storekit/StoreReachability.h"

using namespace Qt::StringLiterals;

Q_LOGGING_CATEGORY(lcDeviceSettings, "quellnet.device-settings", QtWarningMsg)

using CommandText::program;

namespace {

QString helpText() {
    return DeviceSettings::tr(
        "Usage: device-settings COMMAND\n"
        "Switches the DNS configurations that apps store on this computer on and off; the names\n"
        "of the one switched on are blocked for every program here. The command line of the\n"
        "Settings window, for scripts.\n"
        "\n"
        "  dns                  list every stored DNS configuration\n"
        "  dns enable APP       switch APP's DNS configuration on and every other one off\n"
        "  dns disable APP      switch APP's DNS configuration off\n"
        "  dns check NAME       tell whether NAME is blocked on this computer, and by what\n"
        "  dns clear            delete an enforced list no switched-on configuration matches\n"
        "  dns export APP FORMAT [FILE]\n"
        "                       write APP's blocked names for a home network's resolver, to FILE\n"
        "                       or standard output; FORMAT: rpz, unbound, dnsmasq, adblock, hosts\n"
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

} // namespace

// The words are the platform's, so the command and the Settings window say the same.
namespace CommandText {

QString label(const DNSConfiguration &configuration) {
    return DeviceDNSSettings::label(configuration);
}

QString onOff(bool on) {
    return DeviceDNSSettings::onOff(on);
}

QString namesText(qsizetype count) {
    return DeviceDNSSettings::namesText(count);
}

QString listOwner(const EnforcedList::InForce &list) {
    return DeviceDNSSettings::listOwner(list);
}

QString leftOutText(const QList<EnforcedList::LeftOut> &leftOut) {
    return DeviceDNSSettings::leftOutText(leftOut);
}

} // namespace CommandText

QString DeviceSettings::usageLine() {
    return tr("Usage: device-settings dns [enable|disable APP | check NAME | clear | "
              "export APP FORMAT [FILE]] | "
              "system install|uninstall|status | store offline|online|status | --help");
}

QString DeviceSettings::printable(const QString &text) {
    return DeviceDNSSettings::printable(text);
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
        if (verb == u"export")
            return exportList(arguments.mid(2));
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
