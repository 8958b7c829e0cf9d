#include "CommandText.h"
#include "DeviceSettings.h"

#include "foundation/PlatformPaths.h"
#include "foundation/SafeFile.h"
#include "networkextension/DNSConfigurationStore.h"
#include "networkextension/DeviceDNSSettings.h"
#include "nss/quellnet_enforced_list.h"
#include "system/NsswitchConfig.h"

#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QRegularExpression>

#include <grp.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <vector>

using namespace Qt::StringLiterals;
using namespace CommandText;

namespace {

// The internal command the account-side child runs; never shown in the help.
const QString switchOffAsAccount = u"internal-switch-off"_s;
// How the child says that it could not become the account (before anything of it ran).
constexpr int dropFailed = 125;

/** The first folder on the way to `path` that an account other than root owns, if any. */
std::optional<uint> ownedByAnotherAccount(const QString &path) {
    QString at;
    for (const QString &part : path.split(u'/', Qt::SkipEmptyParts)) {
        at += u'/' + part;
        struct stat info {};
        if (::lstat(QFile::encodeName(at).constData(), &info) != 0)
            return std::nullopt;
        if (info.st_uid != 0)
            return uint(info.st_uid);
    }
    return std::nullopt;
}

/** The first of `paths` that exists, or empty. */
QString firstExisting(const QStringList &paths) {
    for (const QString &path : paths) {
        if (QFileInfo::exists(path))
            return path;
    }
    return {};
}

/**
 * When the writer is not where this program was built to find it: what was looked for and
 * where the system part is instead (an install with `cmake --install --prefix` elsewhere).
 */
std::optional<QString> prefixMismatch() {
    const QString writer = EnforcedList::writerPath();
    if (!EnforcedList::systemRoot().isEmpty() || QFileInfo(writer).isExecutable())
        return std::nullopt;
    const QString configured = QStringLiteral(QUELLNET_INSTALL_PREFIX);
    const QString architecture = QStringLiteral(QUELLNET_LIBRARY_ARCHITECTURE);
    QStringList prefixes{u"/usr"_s, u"/usr/local"_s, u"/opt/quellnet"_s};
    prefixes.removeAll(configured);
    QStringList writers, modules;
    for (const QString &prefix : std::as_const(prefixes)) {
        writers << prefix + u"/libexec/quellnet/quellnet-enforce"_s;
        if (!architecture.isEmpty())
            modules << prefix + u"/lib/"_s + architecture + u"/libnss_quellnet.so.2"_s;
        modules << prefix + u"/lib/libnss_quellnet.so.2"_s;
    }
    const QString foundWriter = firstExisting(writers);
    const QString module = EnforcedList::moduleDirectory() + u"/libnss_quellnet.so.2"_s;
    const QString foundModule = QFileInfo::exists(module) ? QString() : firstExisting(modules);
    QString policyPath;
    const SafeFile::ReadResult policy =
        SafeFile::read(u"/usr/share/polkit-1/actions/org.quellnet.enforce.policy"_s, 64 * 1024);
    if (policy.status == SafeFile::ReadResult::ok) {
        const auto match =
            QRegularExpression(u"exec\\.path\">([^<]*)<"_s).match(QString::fromUtf8(policy.data));
        policyPath = match.captured(1);
    }
    if (foundWriter.isEmpty() && foundModule.isEmpty() &&
        (policyPath.isEmpty() || policyPath == writer))
        return std::nullopt;
    QStringList found;
    if (!foundWriter.isEmpty())
        found << DeviceSettings::tr("the writer is at %1").arg(foundWriter);
    if (!foundModule.isEmpty())
        found << DeviceSettings::tr("the hosts module is at %1").arg(foundModule);
    if (!policyPath.isEmpty() && policyPath != writer)
        found << DeviceSettings::tr("the polkit action names %1").arg(policyPath);
    const QString other =
        !foundWriter.isEmpty() ? foundWriter.section(u"/libexec/"_s, 0, 0) : u"/usr"_s;
    return DeviceSettings::tr(
               "this device-settings was configured for the prefix %1: it looks for the writer at "
               "%2 and the hosts module in %3, but %4. The prefix is chosen when configuring, not "
               "when installing: cmake -B build -DCMAKE_INSTALL_PREFIX=%5, then build and install "
               "again")
        .arg(configured, writer, EnforcedList::moduleDirectory(), found.join(u", "_s), other);
}

} // namespace

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
    if (command == switchOffAsAccount)
        return switchStoredOff();
    if (command != u"install" && command != u"uninstall")
        return usageError(tr("unknown system command \"%1\"").arg(printable(command)));
    if (!requireRoot(command))
        return failure;
    const QString path = EnforcedList::nsswitchPath();
    const QString entry = QString::fromLatin1(NsswitchConfig::moduleEntry);

    if (command == u"install") {
        if (const auto mismatch = prefixMismatch())
            return fail(*mismatch);
        if (const auto problem = EnforcedList::prepareModule())
            return fail(tr("the hosts module cannot be used: ") + *problem);
        const QString writer = EnforcedList::writerPath();
        if (!QFileInfo(writer).isExecutable())
            return fail(
                tr("the writer %1 is not installed; run: sudo cmake --install build").arg(writer));
    } else {
        // Nothing may stay switched on, or blocked, once the module is gone. Root's own
        // configurations only: a state folder inside another account's (sudo -E keeps HOME)
        // is that account's, switched off below as that account.
        const DNSConfigurationStore store;
        const auto owner = ::geteuid() == 0 && store.isAvailable()
                               ? ownedByAnotherAccount(store.directory())
                               : std::nullopt;
        if (owner)
            warn(tr("%1 belongs to uid %2; root leaves it alone")
                     .arg(store.directory())
                     .arg(*owner));
        else if (store.isAvailable() && switchDns(store, QString(), false) != success)
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

    const auto readConf = [&path]() -> std::optional<QByteArray> {
        const SafeFile::ReadResult file = SafeFile::read(path, QUELLNET_NSSWITCH_MAX_BYTES);
        if (file.status != SafeFile::ReadResult::ok)
            return std::nullopt;
        return file.data;
    };
    const auto before = readConf();
    if (command == u"install" && before && NsswitchConfig::hasModule(*before)) {
        m_out << tr("The hosts line of %1 already starts with %2.\n").arg(path, entry);
        return success;
    }
    // The writer makes the edit, for the package's scripts as for this command.
    const QString writer = EnforcedList::writerPath();
    if (!QFileInfo(writer).isExecutable())
        return fail(tr("the writer %1, which edits %2, is not installed").arg(writer, path));
    QStringList arguments{u"--nsswitch"_s, command};
    if (!EnforcedList::systemRoot().isEmpty())
        arguments = QStringList{u"--root"_s, EnforcedList::systemRoot()} + arguments;
    QProcess edit;
    // Run by root through pkexec, PKEXEC_UID names the account that asked, and the writer would
    // take the edit for that account's: it is root's own.
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.remove(u"PKEXEC_UID"_s);
    edit.setProcessEnvironment(environment);
    edit.setProcessChannelMode(QProcess::SeparateChannels);
    edit.start(writer, arguments);
    const bool finished = edit.waitForFinished(60'000);
    if (!finished)
        edit.kill();
    if (!finished || edit.exitStatus() != QProcess::NormalExit || edit.exitCode() != 0) {
        QString said = QString::fromLocal8Bit(edit.readAllStandardError()).section(u'\n', 0, 0);
        said.remove(QRegularExpression(u"^quellnet-enforce[-a-z]*: "_s));
        if (said.isEmpty())
            said = finished ? tr("the writer failed") : tr("the writer did not finish in time");
        return fail(command == u"install"
                        ? tr("cannot install into %1: %2").arg(path, printable(said))
                        : tr("cannot take %1 out of %2: %3").arg(entry, path, printable(said)));
    }
    const auto after = readConf();
    if (command == u"uninstall" && before == after) {
        m_out << (before && NsswitchConfig::hostsLine(*before).value_or("").contains(
                                NsswitchConfig::moduleEntry)
                      ? tr("The hosts line of %1 keeps %2: it was there before Quellnet was "
                           "installed.\n")
                      : tr("The hosts line of %1 has no %2; nothing to take out.\n"))
                     .arg(path, entry);
        return success;
    }
    qCInfo(lcDeviceSettings).noquote() << "system" << command << "edited" << path;
    const QString line =
        QString::fromLocal8Bit(NsswitchConfig::hostsLine(after.value_or("")).value_or(""));
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
    const SafeFile::ReadResult nsswitch =
        SafeFile::read(EnforcedList::nsswitchPath(), QUELLNET_NSSWITCH_MAX_BYTES);
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

int DeviceSettings::switchStoredOff() {
    // Runs as the account itself (the child of switchInvokingAccountOff): its own files only,
    // and only the stored switch; the list in force is root's to clear.
    if (::geteuid() == 0)
        return fail(tr("system %1 is not for root").arg(switchOffAsAccount));
    const DNSConfigurationStore store;
    if (!store.isAvailable())
        return fail(store.unavailableReason());
    if (SafeFile::kindOf(store.directory()) == SafeFile::Kind::absent)
        return success;
    // The one transaction, deciding only the stored switches: no list action, so no prompt.
    const auto result = changeDnsConfigurations(store, [](const DNSSnapshot &snapshot) {
        DNSChange change;
        for (const auto &entry : snapshot.entries) {
            if (!entry.configuration) {
                change.warnings.append(entry.message() + tr("; it is left as it is"));
                continue;
            }
            if (!entry.configuration->enabled)
                continue;
            DNSChange::File file;
            file.kind = DNSChange::File::Kind::setEnabled;
            file.configuration = *entry.configuration;
            file.configuration.enabled = false;
            file.report =
                tr("DNS configuration of %1 is now Off.\n").arg(label(*entry.configuration));
            change.files.append(file);
        }
        return change;
    });
    for (const QString &warning : result.warnings)
        warn(warning);
    for (const QString &line : result.report)
        m_out << line;
    return result.ok() ? success : fail(result.message);
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
    if (!account || !account->pw_dir || account->pw_dir[0] != '/' || !account->pw_name)
        return fail(tr("cannot find the home folder of uid %1; nothing was uninstalled").arg(uid));
    const QString name = QFile::decodeName(account->pw_name);
    const uid_t accountUid = account->pw_uid;
    const gid_t accountGid = account->pw_gid;
    // The account's folders are its own to change: root touching them by path could be led
    // anywhere by a link swapped in between. So a child becomes the account first, in full
    // (groups too), and only then runs this program again to switch its configurations off.
    int groupCount = 64;
    std::vector<gid_t> groups(static_cast<size_t>(groupCount));
    if (::getgrouplist(account->pw_name, accountGid, groups.data(), &groupCount) < 0) {
        groups.resize(size_t(groupCount));
        if (::getgrouplist(account->pw_name, accountGid, groups.data(), &groupCount) < 0)
            return fail(tr("cannot read the groups of %1; nothing was uninstalled").arg(name));
    }
    groups.resize(size_t(groupCount));

    QProcessEnvironment environment;
    environment.insert(u"HOME"_s, QFile::decodeName(account->pw_dir));
    environment.insert(u"USER"_s, name);
    environment.insert(u"LOGNAME"_s, name);
    environment.insert(u"PATH"_s, u"/usr/local/bin:/usr/bin:/bin"_s);
    const QProcessEnvironment inherited = QProcessEnvironment::systemEnvironment();
    for (const QString &key : {u"LANG"_s, u"LANGUAGE"_s, u"LC_ALL"_s, u"LC_MESSAGES"_s}) {
        if (inherited.contains(key))
            environment.insert(key, inherited.value(key));
    }
    QProcess child;
    child.setProcessEnvironment(environment);
    child.setWorkingDirectory(u"/"_s);
    child.setChildProcessModifier([accountUid, accountGid, &groups] {
        // Only calls that are safe between fork and exec; any doubt ends the child.
        if (::setgroups(groups.size(), groups.data()) != 0 || ::setgid(accountGid) != 0 ||
            ::setuid(accountUid) != 0)
            ::_exit(dropFailed);
        if (::getuid() != accountUid || ::geteuid() != accountUid || ::getgid() != accountGid ||
            ::getegid() != accountGid || ::setuid(0) == 0 || ::setgid(0) == 0)
            ::_exit(dropFailed);
    });
    child.start(QCoreApplication::applicationFilePath(), {u"system"_s, switchOffAsAccount});
    const bool started = child.waitForStarted(30'000);
    const bool finished = started && child.waitForFinished(60'000);
    if (started && !finished) {
        child.kill();
        child.waitForFinished(5'000);
    }
    m_out << QString::fromLocal8Bit(child.readAllStandardOutput());
    const QString said = QString::fromLocal8Bit(child.readAllStandardError()).trimmed();
    if (!said.isEmpty())
        m_err << said << u'\n';
    if (!finished || child.exitStatus() != QProcess::NormalExit || child.exitCode() != success) {
        const QString why =
            !started    ? tr("it could not be started: %1").arg(child.errorString())
            : !finished ? tr("it did not finish in time")
            : child.exitStatus() != QProcess::NormalExit ? tr("it stopped unexpectedly")
            : child.exitCode() == dropFailed             ? tr("it could not run as that account")
                                                         : tr("it failed");
        return fail(tr("cannot switch off the configurations of %1: %2; nothing was uninstalled")
                        .arg(name, why));
    }
    return success;
}
