#include "CommandText.h"
#include "DeviceSettings.h"

#include "foundation/PlatformPaths.h"
#include "foundation/SafeFile.h"
#include "networkextension/DNSConfigurationStore.h"
#include "system/NsswitchConfig.h"

#include <QDirIterator>
#include <QFile>
#include <QFileInfo>

#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace Qt::StringLiterals;
using namespace CommandText;

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
