#include "networkextension/EnforcedList.h"

#include "foundation/PlatformLog.h"
#include "foundation/SafeFile.h"
#include "nss/quellnet_enforced_list.h"
#include "system/NsswitchConfig.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>
#include <QUrl>

#include <algorithm>
#include <arpa/inet.h>
#include <climits>
#include <ctime>
#include <dlfcn.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace Qt::StringLiterals;

#ifndef QUELLNET_ENFORCE_WRITER_PATH
#error "QUELLNET_ENFORCE_WRITER_PATH must name the installed quellnet-enforce"
#endif

namespace {

const QString rootVariable = u"DEVICE_PLATFORM_SYSTEM_ROOT"_s;
const QString writerVariable = u"DEVICE_PLATFORM_ENFORCE_WRITER"_s;
// An authentication prompt waits for a person; a writer that takes longer than this is stuck.
// The writer is told the moment and changes nothing after it; the grace covers its last step
// (the rename it had already begun), so a caller that gave up never leaves a change behind.
constexpr int writerTimeoutMilliseconds = 5 * 60 * 1000;
constexpr int writerGraceMilliseconds = 10 * 1000;
constexpr char moduleSoname[] = "libnss_quellnet.so.2";

bool isTestSetup() {
    return qEnvironmentVariableIsSet("DEVICE_PLATFORM_SYSTEM_ROOT") ||
           qEnvironmentVariableIsSet("DEVICE_PLATFORM_ENFORCE_WRITER");
}

/** Both test seams or neither: half a test setup would touch the real /etc. */
std::optional<QString> seamProblem() {
    const bool root = qEnvironmentVariableIsSet("DEVICE_PLATFORM_SYSTEM_ROOT");
    const bool writer = qEnvironmentVariableIsSet("DEVICE_PLATFORM_ENFORCE_WRITER");
    if (root == writer)
        return std::nullopt;
    return u"%1 is set without %2"_s.arg(root ? rootVariable : writerVariable,
                                         root ? writerVariable : rootVariable);
}

bool isUnspecifiedAddress(const QString &server) {
    const QByteArray text = server.toLatin1();
    unsigned char address[16] = {};
    if (::inet_pton(AF_INET, text.constData(), address) == 1)
        return std::all_of(address, address + 4, [](unsigned char b) { return b == 0; });
    if (::inet_pton(AF_INET6, text.constData(), address) == 1)
        return std::all_of(address, address + 16, [](unsigned char b) { return b == 0; });
    return false;
}

EnforcedList::Outcome outcome(EnforcedList::Outcome::Status status, const QString &message) {
    return {status, message};
}

QString namesText(qsizetype count) {
    return count == 1 ? u"1 name"_s : u"%1 names"_s.arg(count);
}

/** Runs the writer with `arguments`, `input` on its standard input. */
EnforcedList::Outcome runWriter(const QStringList &arguments, const QByteArray &input = {}) {
    using Outcome = EnforcedList::Outcome;
    if (const auto problem = seamProblem())
        return outcome(Outcome::failed, *problem);
    const QString writer = EnforcedList::writerPath();
    if (!QFileInfo(writer).isExecutable())
        return outcome(
            Outcome::failed,
            u"the writer %1 is not installed; run: sudo device-settings system install"_s.arg(
                writer));
    QString program = writer;
    struct timespec now {};
    ::clock_gettime(CLOCK_MONOTONIC, &now);
    const qint64 deadline =
        qint64(now.tv_sec) * 1000 + now.tv_nsec / 1'000'000 + writerTimeoutMilliseconds;
    QStringList fullArguments = QStringList{u"--deadline"_s, QString::number(deadline)} + arguments;
    bool throughPkexec = false;
    if (isTestSetup()) {
        fullArguments = QStringList{u"--root"_s, EnforcedList::systemRoot()} + arguments;
    } else if (::geteuid() != 0) {
        program = QStandardPaths::findExecutable(u"pkexec"_s);
        if (program.isEmpty())
            return outcome(Outcome::notPermitted,
                           u"not permitted: pkexec is not installed, so this account cannot "
                           u"change the enforced list"_s);
        fullArguments.prepend(writer);
        throughPkexec = true;
    }

    QProcess process;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    // The writer takes the calling account from PKEXEC_UID; only pkexec may set it.
    environment.remove(u"PKEXEC_UID"_s);
    process.setProcessEnvironment(environment);
    process.setProcessChannelMode(QProcess::SeparateChannels);
    qCInfo(lcPlatformSystem).noquote() << "running" << program << fullArguments.join(u' ');
    process.start(program, fullArguments);
    if (!process.waitForStarted(30'000))
        return outcome(Outcome::failed,
                       u"cannot start %1: %2"_s.arg(program, process.errorString()));
    process.write(input);
    process.closeWriteChannel();
    if (!process.waitForFinished(writerTimeoutMilliseconds + writerGraceMilliseconds)) {
        process.kill();
        process.waitForFinished(30'000);
        return outcome(Outcome::failed, u"the writer did not finish in time"_s);
    }
    const Outcome result = EnforcedList::outcomeOfWriter(
        process.exitCode(), process.exitStatus() != QProcess::NormalExit, throughPkexec,
        QString::fromLocal8Bit(process.readAllStandardError()));
    if (!result.ok())
        qCWarning(lcPlatformSystem).noquote()
            << "enforced list not changed:" << fullArguments.join(u' ') << "-" << result.message;
    return result;
}

} // namespace

std::optional<QString> EnforcedList::convertName(const QString &name, QString *reason) {
    const auto refuse = [&](const QString &why) -> std::optional<QString> {
        if (reason)
            *reason = why;
        return std::nullopt;
    };
    if (name.isEmpty())
        return refuse(u"empty"_s);
    QString bare = name;
    if (bare.endsWith(u'.'))
        bare.chop(1);
    // "." would stand for every name, like an empty one; it is not a name of its own.
    if (bare.isEmpty())
        return refuse(u"not a DNS name"_s);
    const QByteArray ace = QUrl::toAce(bare).toLower();
    if (!quellnet_valid_name(ace.constData(), size_t(ace.size())))
        return refuse(u"not a DNS name"_s);
    return QString::fromLatin1(ace);
}

EnforcedList::Names EnforcedList::convert(const QStringList &matchDomains) {
    Names result;
    for (const QString &name : matchDomains) {
        QString reason;
        if (const auto ascii = convertName(name, &reason))
            result.names.append(*ascii);
        else
            result.leftOut.append({name, reason});
    }
    // ASCII only, so UTF-16 order is byte order.
    std::sort(result.names.begin(), result.names.end());
    result.names.erase(std::unique(result.names.begin(), result.names.end()), result.names.end());
    return result;
}

bool EnforcedList::isDeadEnd(const NEDNSSettings &settings) {
    const QStringList &servers = settings.servers();
    return !servers.isEmpty() && std::all_of(servers.begin(), servers.end(), isUnspecifiedAddress);
}

QString EnforcedList::systemRoot() {
    const QString root = qEnvironmentVariable("DEVICE_PLATFORM_SYSTEM_ROOT");
    return root.isEmpty() ? QString() : QDir::cleanPath(root);
}

QString EnforcedList::listPath() {
    return systemRoot() + QString::fromLatin1(QUELLNET_LIST_PATH);
}

QString EnforcedList::nsswitchPath() {
    return systemRoot() + u"/etc/nsswitch.conf"_s;
}

QString EnforcedList::writerPath() {
    const QString writer = qEnvironmentVariable("DEVICE_PLATFORM_ENFORCE_WRITER");
    return writer.isEmpty() ? QStringLiteral(QUELLNET_ENFORCE_WRITER_PATH) : writer;
}

EnforcedList::Installation EnforcedList::installation() {
    Installation result;
    if (const auto problem = seamProblem()) {
        result.reason = *problem;
        return result;
    }
    const QString nsswitch = nsswitchPath();
    const SafeFile::ReadResult file = SafeFile::read(nsswitch, QUELLNET_NSSWITCH_MAX_BYTES);
    if (file.status != SafeFile::ReadResult::ok) {
        result.reason = file.status == SafeFile::ReadResult::absent
                            ? u"%1 does not exist"_s.arg(nsswitch)
                            : u"%1 %2"_s.arg(nsswitch, file.reason);
        return result;
    }
    if (!NsswitchConfig::hasModule(file.data)) {
        result.reason = u"the hosts line of %1 does not start with \"%2\""_s.arg(
            nsswitch, QString::fromLatin1(NsswitchConfig::moduleEntry));
        return result;
    }
    const QString writer = writerPath();
    if (!QFileInfo(writer).isExecutable()) {
        result.reason = u"the writer %1 is missing"_s.arg(writer);
        return result;
    }
    if (!isTestSetup()) {
        void *module = ::dlopen(moduleSoname, RTLD_LAZY | RTLD_LOCAL);
        if (!module) {
            result.reason = u"%1 cannot be loaded: %2"_s.arg(QString::fromLatin1(moduleSoname),
                                                             QString::fromLocal8Bit(::dlerror()));
            return result;
        }
        ::dlclose(module);
    }
    result.installed = true;
    return result;
}

QString EnforcedList::moduleDirectory() {
    return QStringLiteral(QUELLNET_NSS_MODULE_DIR);
}

std::optional<QString> EnforcedList::prepareModule() {
    if (isTestSetup())
        return seamProblem();
    const auto loads = []() -> std::optional<QString> {
        void *module = ::dlopen(moduleSoname, RTLD_LAZY | RTLD_LOCAL);
        if (!module)
            return QString::fromLocal8Bit(::dlerror());
        ::dlclose(module);
        return std::nullopt;
    };
    const QString installed = moduleDirectory() + u'/' + QString::fromLatin1(moduleSoname);
    if (!QFileInfo::exists(installed)) {
        // Installed elsewhere (by a package, say) is just as good.
        if (!loads())
            return std::nullopt;
        return u"%1 is not installed (it belongs in %2; run: sudo cmake --install build)"_s.arg(
            QString::fromLatin1(moduleSoname), moduleDirectory());
    }
    // Our own dlopen proves nothing: this program's run path may name the module's folder,
    // while every other program finds NSS modules through the linker's cache only. So the
    // cache is brought up to date (ldconfig is idempotent and quick) and then asked.
    // Run as root: from the system's own folders only, never from wherever PATH points.
    const QString ldconfig =
        QStandardPaths::findExecutable(u"ldconfig"_s, {u"/usr/sbin"_s, u"/sbin"_s});
    if (ldconfig.isEmpty())
        return loads();
    qCInfo(lcPlatformSystem).noquote() << "running" << ldconfig;
    QProcess::execute(ldconfig, {});
    QProcess cache;
    cache.start(ldconfig, {u"-p"_s});
    cache.waitForFinished();
    if (cache.readAllStandardOutput().contains(QByteArray(moduleSoname) + " ("))
        return std::nullopt;
    return u"%1 is in %2, but the dynamic linker's cache does not list it; add the folder to "
           u"/etc/ld.so.conf.d and run ldconfig"_s.arg(QString::fromLatin1(moduleSoname),
                                                       moduleDirectory());
}

bool EnforcedList::InForce::isMine() const {
    return status == ok && uid == uint(::getuid());
}

EnforcedList::InForce EnforcedList::inForce() {
    InForce list;
    const QString path = listPath();
    const SafeFile::ReadResult file = SafeFile::read(path, QUELLNET_LIST_MAX_BYTES);
    switch (file.status) {
    case SafeFile::ReadResult::absent:
        return list;
    case SafeFile::ReadResult::ok:
        break;
    default:
        list.status = InForce::unreadable;
        list.problem = file.reason;
        return list;
    }
    const QList<QByteArray> lines = file.data.split('\n');
    // The module blocks the names whatever the owner part says.
    const QByteArray &headerLine = lines.first();
    quellnet_list_header header{};
    if (quellnet_parse_header(headerLine.constData(), size_t(headerLine.size()), &header) !=
        QUELLNET_HEADER_OWNED) {
        list.status = InForce::unreadable;
        list.problem = u"has a first line that does not say whose list it is"_s;
        return list;
    }
    list.status = InForce::ok;
    list.uid = header.uid;
    list.app = QString::fromLatin1(header.app, qsizetype(header.app_length));
    for (qsizetype i = 1; i < lines.size(); ++i) {
        const QByteArray &line = lines[i];
        if (quellnet_valid_name(line.constData(), size_t(line.size())))
            list.names.append(QString::fromLatin1(line));
    }
    if (systemRoot().isEmpty()) {
        // The module fails open on a list it does not trust: say so rather than count its names.
        struct stat info {};
        struct stat folder {};
        const bool examined =
            ::lstat(QFile::encodeName(path).constData(), &info) == 0 &&
            ::lstat(QFile::encodeName(QFileInfo(path).path()).constData(), &folder) == 0;
        if (!examined || info.st_uid != 0 || (info.st_mode & (S_IWGRP | S_IWOTH)) ||
            folder.st_uid != 0 || (folder.st_mode & (S_IWGRP | S_IWOTH)))
            list.problem = u"the module does not trust it (it or its folder is not root-owned, or "
                           u"others may write it), so it blocks nothing"_s;
    }
    return list;
}

std::optional<QString> EnforcedList::blockingEntry(const QStringList &list, const QString &name) {
    const auto ascii = convertName(name);
    if (!ascii)
        return std::nullopt;
    QStringView rest(*ascii);
    for (;;) {
        const auto it = std::lower_bound(list.begin(), list.end(), rest,
                                         [](const QString &a, QStringView b) { return a < b; });
        if (it != list.end() && *it == rest)
            return *it;
        const qsizetype dot = rest.indexOf(u'.');
        if (dot < 0)
            return std::nullopt;
        rest = rest.mid(dot + 1);
    }
}

bool EnforcedList::isNeverBlocked(const QString &asciiName) {
    if (asciiName == u"localhost" || asciiName.endsWith(u".localhost"))
        return true;
    char host[HOST_NAME_MAX + 1] = {};
    if (::gethostname(host, sizeof host - 1) != 0)
        return false;
    QString own = QString::fromLatin1(host).toLower();
    if (own.endsWith(u'.'))
        own.chop(1);
    return !own.isEmpty() && own == asciiName;
}

EnforcedList::Outcome EnforcedList::outcomeOfWriter(int exitCode, bool crashed, bool throughPkexec,
                                                    const QString &errorOutput) {
    QString said = errorOutput.section(u'\n', 0, 0).trimmed();
    if (said.startsWith(u"quellnet-enforce: "))
        said = said.mid(18);
    if (crashed)
        return outcome(Outcome::failed, u"the writer stopped unexpectedly"_s);
    if (throughPkexec && exitCode == 126)
        return outcome(Outcome::cancelled,
                       u"not permitted: authentication was cancelled or failed"_s);
    if (throughPkexec && exitCode == 127)
        return outcome(Outcome::notPermitted,
                       u"not permitted: this account may not change the enforced list, or no "
                       u"authentication agent is running"_s);
    switch (exitCode) {
    case 0:
        return outcome(Outcome::done, QString());
    case 2:
        return outcome(Outcome::invalid, said.isEmpty() ? u"the writer refused the list"_s : said);
    case 3:
        return outcome(Outcome::notPermitted, said.isEmpty() ? u"not permitted"_s
                                              : said.startsWith(u"not permitted")
                                                  ? said
                                                  : u"not permitted: "_s + said);
    default:
        return outcome(Outcome::failed,
                       said.isEmpty() ? u"the writer failed (exit code %1)"_s.arg(exitCode) : said);
    }
}

EnforcedList::Outcome EnforcedList::write(const QString &app, const QStringList &names) {
    QByteArray input;
    for (const QString &name : names)
        input += name.toLatin1() + '\n';
    return runWriter({u"write"_s, app}, input);
}

EnforcedList::Outcome EnforcedList::clear(const QString &app) {
    return runWriter({u"clear"_s, app});
}

EnforcedList::Outcome EnforcedList::clearAny() {
    return runWriter({u"clear"_s, u"--any"_s});
}

bool EnforcedList::matches(const InForce &list, const DNSConfiguration &configuration) {
    return list.isMine() && list.app == configuration.identifier && configuration.settings &&
           configuration.settings->matchDomains() &&
           list.names == convert(*configuration.settings->matchDomains()).names;
}

EnforcedList::Enforcement EnforcedList::enforce(const DNSConfiguration &configuration) {
    Enforcement result;
    if (!configuration.settings) {
        result.outcome = outcome(Outcome::invalid, u"the configuration has no settings"_s);
        return result;
    }
    const NEDNSSettings &settings = *configuration.settings;
    result.names = convert(settings.matchDomains().value_or(QStringList()));
    const InForce list = inForce();
    if (!isDeadEnd(settings)) {
        // Its look-ups go to a real server: nothing to block here, and ours must stop.
        result.notEnforced =
            u"only a dead-end configuration (every server 0.0.0.0 or ::) is enforced here"_s;
        if (list.isMine())
            result.outcome = clear(configuration.identifier);
        return result;
    }
    if (!settings.matchDomains()) {
        result.outcome = outcome(Outcome::invalid,
                                 u"it has no match domains, so it would block every name; this "
                                 u"computer does not enforce that"_s);
        return result;
    }
    const Installation installed = installation();
    if (!installed.installed) {
        result.outcome =
            outcome(Outcome::failed, u"the system part is not installed: %1; run: sudo "
                                     u"device-settings system install"_s.arg(installed.reason));
        return result;
    }
    const QByteArray app = configuration.identifier.toUtf8();
    if (!quellnet_valid_app(app.constData(), size_t(app.size()))) {
        result.outcome =
            outcome(Outcome::invalid,
                    u"the app identifier %1 cannot be recorded in the enforced list"_s.arg(
                        configuration.identifier));
        return result;
    }
    qsizetype bytes = 0;
    for (const QString &name : std::as_const(result.names.names))
        bytes += name.size() + 1;
    if (result.names.names.size() > QUELLNET_LIST_MAX_NAMES ||
        bytes + 300 > QUELLNET_LIST_MAX_BYTES) {
        result.outcome =
            outcome(Outcome::invalid, u"%1 is more than this computer enforces (%2 at most)"_s
                                          .arg(namesText(result.names.names.size()))
                                          .arg(QUELLNET_LIST_MAX_NAMES));
        return result;
    }
    if (list.status == InForce::ok && !list.isMine()) {
        result.outcome = outcome(Outcome::notPermitted,
                                 u"not permitted: another account's list is in force (uid %1, "
                                 u"app %2)"_s.arg(list.uid)
                                     .arg(list.app));
        return result;
    }
    if (matches(list, configuration)) {
        result.enforced = true;
        return result;
    }
    result.outcome = write(configuration.identifier, result.names.names);
    result.enforced = result.outcome.ok();
    if (result.enforced)
        qCInfo(lcPlatformSystem).noquote() << "enforcing" << namesText(result.names.names.size())
                                           << "for" << configuration.identifier;
    return result;
}

EnforcedList::Outcome EnforcedList::release(const QString &app) {
    const InForce list = inForce();
    if (!list.isMine() || list.app != app)
        return outcome(Outcome::done, QString());
    return clear(app);
}
