#include "networkextension/DNSConfigurationStore.h"

#include "foundation/PlatformLog.h"
#include "foundation/PlatformPaths.h"
#include "foundation/SafeFile.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QUrl>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

using namespace Qt::StringLiterals;

namespace {

const QString jsonSuffix = u".json"_s;

struct ParseError {
    QString message;
};

QString protocolKey(NEDNSProtocol protocol) {
    switch (protocol) {
    case NEDNSProtocol::cleartext:
        return u"cleartext"_s;
    case NEDNSProtocol::TLS:
        return u"TLS"_s;
    case NEDNSProtocol::HTTPS:
        return u"HTTPS"_s;
    }
    return u"cleartext"_s;
}

QString urlText(const QUrl &url) {
    return url.toString(QUrl::FullyEncoded);
}

void putList(QJsonObject &object, const QString &key, const std::optional<QStringList> &list) {
    if (list)
        object.insert(key, QJsonArray::fromStringList(*list));
}

QJsonObject settingsObject(const NEDNSSettings &settings) {
    QJsonObject object;
    object.insert(u"protocol"_s, protocolKey(settings.dnsProtocol()));
    object.insert(u"servers"_s, QJsonArray::fromStringList(settings.servers()));
    putList(object, u"matchDomains"_s, settings.matchDomains());
    if (const auto *https = dynamic_cast<const NEDNSOverHTTPSSettings *>(&settings)) {
        if (https->serverURL())
            object.insert(u"serverURL"_s, urlText(*https->serverURL()));
    } else if (const auto *tls = dynamic_cast<const NEDNSOverTLSSettings *>(&settings)) {
        if (tls->serverName())
            object.insert(u"serverName"_s, *tls->serverName());
    }
    return object;
}

QJsonArray rulesArray(const NEOnDemandRuleList &rules) {
    QJsonArray array;
    for (const auto &rule : rules) {
        if (!rule)
            continue;
        QJsonObject object;
        object.insert(u"action"_s, onDemandActionKey(rule->action()));
        object.insert(u"interfaceTypeMatch"_s, rule->interfaceTypeMatch());
        putList(object, u"SSIDMatch"_s, rule->SSIDMatch());
        putList(object, u"DNSSearchDomainMatch"_s, rule->DNSSearchDomainMatch());
        putList(object, u"DNSServerAddressMatch"_s, rule->DNSServerAddressMatch());
        if (rule->probeURL())
            object.insert(u"probeURL"_s, urlText(*rule->probeURL()));
        array.append(object);
    }
    return array;
}

QJsonObject contentObject(const DNSConfiguration &configuration) {
    QJsonObject object;
    if (configuration.settings)
        object.insert(u"settings"_s, settingsObject(*configuration.settings));
    object.insert(u"onDemandRules"_s, rulesArray(configuration.onDemandRules));
    return object;
}

// Readers below throw ParseError; parse() turns it into nullopt.

QJsonValue required(const QJsonObject &object, const QString &key) {
    const auto it = object.constFind(key);
    if (it == object.constEnd())
        throw ParseError{u"missing \"%1\""_s.arg(key)};
    return *it;
}

QString stringValue(const QJsonValue &value, const QString &key) {
    if (!value.isString())
        throw ParseError{u"\"%1\" is not a string"_s.arg(key)};
    return value.toString();
}

QStringList stringList(const QJsonValue &value, const QString &key) {
    if (!value.isArray())
        throw ParseError{u"\"%1\" is not a list"_s.arg(key)};
    QStringList list;
    const QJsonArray array = value.toArray();
    list.reserve(array.size());
    for (const QJsonValue &item : array) {
        if (!item.isString())
            throw ParseError{u"\"%1\" holds a value that is not a string"_s.arg(key)};
        list.append(item.toString());
    }
    return list;
}

std::optional<QStringList> optionalList(const QJsonObject &object, const QString &key) {
    const auto it = object.constFind(key);
    if (it == object.constEnd())
        return std::nullopt;
    return stringList(*it, key);
}

std::optional<QString> optionalString(const QJsonObject &object, const QString &key) {
    const auto it = object.constFind(key);
    if (it == object.constEnd())
        return std::nullopt;
    return stringValue(*it, key);
}

QJsonObject objectValue(const QJsonValue &value, const QString &key) {
    if (!value.isObject())
        throw ParseError{u"\"%1\" is not an object"_s.arg(key)};
    return value.toObject();
}

qint64 integerValue(const QJsonValue &value, const QString &key) {
    // toInteger() falls back to its default for fractions and out-of-range numbers; two
    // different defaults tell those apart from a genuine value without any narrowing cast.
    if (!value.isDouble() || value.toInteger(0) != value.toInteger(1))
        throw ParseError{u"\"%1\" is not an integer"_s.arg(key)};
    return value.toInteger();
}

std::shared_ptr<NEDNSSettings> readSettings(const QJsonObject &object) {
    const QString protocol = stringValue(required(object, u"protocol"_s), u"protocol"_s);
    const QStringList servers = stringList(required(object, u"servers"_s), u"servers"_s);
    std::shared_ptr<NEDNSSettings> settings;
    if (protocol == u"HTTPS") {
        auto https = std::make_shared<NEDNSOverHTTPSSettings>(servers);
        if (const auto url = optionalString(object, u"serverURL"_s))
            https->setServerURL(QUrl(*url));
        settings = std::move(https);
    } else if (protocol == u"TLS") {
        auto tls = std::make_shared<NEDNSOverTLSSettings>(servers);
        tls->setServerName(optionalString(object, u"serverName"_s));
        settings = std::move(tls);
    } else if (protocol == u"cleartext") {
        settings = std::make_shared<NEDNSSettings>(servers);
    } else {
        throw ParseError{u"unknown protocol \"%1\""_s.arg(protocol)};
    }
    settings->setMatchDomains(optionalList(object, u"matchDomains"_s));
    return settings;
}

NEOnDemandRuleList readRules(const QJsonValue &value) {
    if (!value.isArray())
        throw ParseError{u"\"onDemandRules\" is not a list"_s};
    NEOnDemandRuleList rules;
    for (const QJsonValue &item : value.toArray()) {
        const QJsonObject object = objectValue(item, u"onDemandRules"_s);
        const QString action = stringValue(required(object, u"action"_s), u"action"_s);
        const auto known = onDemandActionForKey(action);
        if (!known)
            throw ParseError{u"unknown on-demand action \"%1\""_s.arg(action)};
        auto rule = makeOnDemandRule(*known);
        rule->setInterfaceTypeMatch(
            integerValue(required(object, u"interfaceTypeMatch"_s), u"interfaceTypeMatch"_s));
        rule->setSSIDMatch(optionalList(object, u"SSIDMatch"_s));
        rule->setDNSSearchDomainMatch(optionalList(object, u"DNSSearchDomainMatch"_s));
        rule->setDNSServerAddressMatch(optionalList(object, u"DNSServerAddressMatch"_s));
        if (const auto url = optionalString(object, u"probeURL"_s))
            rule->setProbeURL(QUrl(*url));
        rules.append(std::move(rule));
    }
    return rules;
}

/** The members of a configuration file that this version knows; every other one is kept. */
QJsonObject fileObject(const DNSConfiguration &configuration) {
    QJsonObject object = contentObject(configuration);
    object.insert(u"format"_s, DNSConfigurationStore::formatVersion);
    object.insert(u"identifier"_s, configuration.identifier);
    object.insert(u"displayName"_s, configuration.displayName);
    object.insert(u"enabled"_s, configuration.enabled);
    return object;
}

QByteArray documentBytes(const QJsonObject &object) {
    return QJsonDocument(object).toJson(QJsonDocument::Indented);
}

/** A file read as far as its format version tells who wrote it. */
struct Classified {
    DNSConfigurationStore::ReadResult::Status status = DNSConfigurationStore::ReadResult::damaged;
    QJsonObject object;
    QString reason;
};

Classified classify(const QByteArray &data) {
    using Status = DNSConfigurationStore::ReadResult::Status;
    Classified result;
    if (data.size() > DNSConfigurationStore::maximumFileSize) {
        result.reason = u"file too large"_s;
        return result;
    }
    QJsonParseError jsonError;
    const QJsonDocument document = QJsonDocument::fromJson(data, &jsonError);
    if (jsonError.error != QJsonParseError::NoError) {
        result.reason = u"not JSON: %1"_s.arg(jsonError.errorString());
        return result;
    }
    if (!document.isObject()) {
        result.reason = u"not a JSON object"_s;
        return result;
    }
    result.object = document.object();
    const QJsonValue format = result.object.value(u"format"_s);
    if (!format.isDouble() || format.toInteger(0) != format.toInteger(1)) {
        result.reason = u"no format version"_s;
        return result;
    }
    if (format.toInteger() > DNSConfigurationStore::formatVersion) {
        result.status = Status::newerFormat;
        result.reason =
            u"written in a newer format (%1) than this version reads (%2)"_s.arg(format.toInteger())
                .arg(DNSConfigurationStore::formatVersion);
        return result;
    }
    if (format.toInteger() != DNSConfigurationStore::formatVersion) {
        result.reason = u"unknown format version %1"_s.arg(format.toInteger());
        return result;
    }
    result.status = Status::ok;
    return result;
}

DNSConfiguration readConfiguration(const QJsonObject &object) {
    DNSConfiguration configuration;
    configuration.identifier = stringValue(required(object, u"identifier"_s), u"identifier"_s);
    if (configuration.identifier.isEmpty())
        throw ParseError{u"empty identifier"_s};
    configuration.displayName = stringValue(required(object, u"displayName"_s), u"displayName"_s);
    const QJsonValue enabled = required(object, u"enabled"_s);
    if (!enabled.isBool())
        throw ParseError{u"\"enabled\" is not true or false"_s};
    configuration.enabled = enabled.toBool();
    configuration.settings =
        readSettings(objectValue(required(object, u"settings"_s), u"settings"_s));
    configuration.onDemandRules = readRules(required(object, u"onDemandRules"_s));
    return configuration;
}

} // namespace

QString dnsProtocolName(NEDNSProtocol protocol) {
    switch (protocol) {
    case NEDNSProtocol::cleartext:
        return u"Cleartext DNS"_s;
    case NEDNSProtocol::TLS:
        return u"DNS over TLS"_s;
    case NEDNSProtocol::HTTPS:
        return u"DNS over HTTPS"_s;
    }
    return u"Cleartext DNS"_s;
}

DNSConfigurationStore::DNSConfigurationStore() {
    m_base = platformStateHome(&m_unavailable);
    if (!m_base.isEmpty())
        m_directory = m_base + u'/' + platformFolderName + u"/NetworkExtension/dns"_s;
}

DNSConfigurationStore::DNSConfigurationStore(const QString &platformRoot)
    : m_base(QFileInfo(platformRoot).path())
    , m_directory(platformRoot + u"/NetworkExtension/dns"_s) {}

QString DNSConfigurationStore::filePath(const QString &identifier) const {
    // Unreserved characters stay readable; '/', '%' and everything else are encoded.
    const QString name = QString::fromLatin1(identifier.toUtf8().toPercentEncoding());
    return m_directory + u'/' + name + jsonSuffix;
}

QString DNSConfigurationStore::lockFilePath() const {
    return m_directory + u".lock"_s;
}

bool DNSConfigurationStore::ensureDirectory(QString *error) const {
    if (!isAvailable()) {
        if (error)
            *error = m_unavailable;
        return false;
    }
    // Only the folders below the state home are ours to vouch for.
    const QString relative = m_directory.mid(m_base.size() + 1);
    return SafeFile::ensureDirectory(m_base, relative, error);
}

DNSConfigurationStore::Lock::~Lock() {
    // Closing the descriptor releases the flock.
    ::close(m_fd);
}

std::unique_ptr<DNSConfigurationStore::Lock>
DNSConfigurationStore::lock(QString *error, std::chrono::milliseconds wait) const {
    return takeLock(lockFilePath(), error, wait);
}

std::unique_ptr<DNSConfigurationStore::Lock>
DNSConfigurationStore::enforcementLock(QString *error, std::chrono::milliseconds wait) const {
    return takeLock(m_directory + u".enforce.lock"_s, error, wait);
}

std::unique_ptr<DNSConfigurationStore::Lock>
DNSConfigurationStore::takeLock(const QString &path, QString *error,
                                std::chrono::milliseconds wait) const {
    if (!ensureDirectory(error))
        return nullptr;
    const int fd = ::open(QFile::encodeName(path).constData(),
                          O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY, 0600);
    if (fd < 0) {
        if (error)
            *error = errno == ELOOP
                         ? u"lock file %1 is a symbolic link"_s.arg(path)
                         : u"cannot open lock file %1: %2"_s.arg(path, SafeFile::errnoText(errno));
        qCWarning(lcPlatformDns).noquote() << "refused:" << (error ? *error : path);
        return nullptr;
    }
    auto held = std::make_unique<Lock>(fd);
    struct stat info {};
    if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
        if (error)
            *error = u"lock file %1 is not a regular file"_s.arg(path);
        qCWarning(lcPlatformDns).noquote() << "refused:" << (error ? *error : path);
        return nullptr;
    }
    // flock has no timed wait: poll with a growing pause, short at first since the usual
    // holder is another process doing one small read and write.
    QDeadlineTimer deadline(wait);
    std::chrono::microseconds pause{500};
    for (;;) {
        if (::flock(fd, LOCK_EX | LOCK_NB) == 0)
            return held;
        if (errno == EINTR)
            continue;
        if (errno != EWOULDBLOCK) {
            if (error)
                *error = u"cannot lock %1: %2"_s.arg(path, SafeFile::errnoText(errno));
            return nullptr;
        }
        if (deadline.hasExpired())
            break;
        const auto left = std::chrono::duration_cast<std::chrono::microseconds>(
            deadline.remainingTimeAsDuration());
        std::this_thread::sleep_for(std::min(pause, left));
        pause = std::min<std::chrono::microseconds>(pause * 2, std::chrono::milliseconds(50));
    }
    if (error)
        *error =
            u"the DNS settings store is busy: another program held %1 for %2 seconds"_s.arg(path)
                .arg(double(wait.count()) / 1000.0);
    qCWarning(lcPlatformDns).noquote() << "busy:" << path;
    return nullptr;
}

QByteArray DNSConfigurationStore::serialize(const DNSConfiguration &configuration) {
    return documentBytes(fileObject(configuration));
}

std::optional<DNSConfiguration> DNSConfigurationStore::parse(const QByteArray &data,
                                                             QString *error) {
    const Classified file = classify(data);
    if (file.status != ReadResult::ok) {
        if (error)
            *error = file.reason;
        return std::nullopt;
    }
    try {
        return readConfiguration(file.object);
    } catch (const ParseError &failure) {
        if (error)
            *error = failure.message;
        return std::nullopt;
    }
}

bool DNSConfigurationStore::sameContent(const DNSConfiguration &a, const DNSConfiguration &b) {
    return contentObject(a) == contentObject(b);
}

DNSConfigurationStore::ReadResult DNSConfigurationStore::read(const QString &identifier) const {
    if (!isAvailable()) {
        ReadResult result;
        result.status = ReadResult::failed;
        result.reason = m_unavailable;
        return result;
    }
    return readFile(filePath(identifier), identifier);
}

DNSConfigurationStore::ReadResult
DNSConfigurationStore::readFile(const QString &path,
                                const std::optional<QString> &identifier) const {
    ReadResult result;
    result.path = path;
    SafeFile::ReadResult file = SafeFile::read(path, maximumFileSize);
    switch (file.status) {
    case SafeFile::ReadResult::absent:
        return result;
    case SafeFile::ReadResult::refused:
        result.status = ReadResult::refused;
        result.reason = file.reason;
        return result;
    case SafeFile::ReadResult::failed:
        result.status = ReadResult::failed;
        result.reason = file.reason;
        return result;
    case SafeFile::ReadResult::tooLarge:
        result.status = ReadResult::damaged;
        result.reason = u"is damaged (%1)"_s.arg(file.reason.mid(3)); // "is N bytes, ..."
        return result;
    case SafeFile::ReadResult::ok:
        break;
    }
    result.bytes = std::move(file.data);
    const Classified classified = classify(result.bytes);
    if (classified.status == ReadResult::newerFormat) {
        result.status = ReadResult::newerFormat;
        result.reason = u"is "_s + classified.reason;
        return result;
    }
    result.status = ReadResult::damaged;
    if (classified.status != ReadResult::ok) {
        result.reason = u"is damaged (%1)"_s.arg(classified.reason);
        return result;
    }
    try {
        DNSConfiguration configuration = readConfiguration(classified.object);
        if (filePath(configuration.identifier) != path ||
            (identifier && configuration.identifier != *identifier)) {
            result.reason =
                u"is damaged (it names another app, %1)"_s.arg(configuration.identifier);
            return result;
        }
        result.status = ReadResult::ok;
        result.configuration = std::move(configuration);
        result.document = classified.object;
    } catch (const ParseError &failure) {
        result.reason = u"is damaged (%1)"_s.arg(failure.message);
    }
    return result;
}

std::optional<QList<DNSConfigurationStore::ReadResult>>
DNSConfigurationStore::readAll(QString *error) const {
    if (!isAvailable()) {
        if (error)
            *error = m_unavailable;
        return std::nullopt;
    }
    QList<ReadResult> results;
    switch (SafeFile::kindOf(m_directory)) {
    case SafeFile::Kind::absent:
        return results;
    case SafeFile::Kind::directory:
        break;
    default:
        if (error)
            *error = u"%1 is %2, not a folder"_s.arg(m_directory, SafeFile::describe(m_directory));
        return std::nullopt;
    }
    const QDir dir(m_directory);
    if (!dir.isReadable()) {
        if (error)
            *error = u"cannot list %1"_s.arg(m_directory);
        return std::nullopt;
    }
    // Every kind of entry: a link or FIFO named like a configuration is reported, not skipped.
    QStringList names = dir.entryList(
        QDir::AllEntries | QDir::System | QDir::Hidden | QDir::NoDotAndDotDot, QDir::Name);
    for (const QString &name : names) {
        if (name.endsWith(jsonSuffix))
            results.append(readFile(dir.filePath(name), std::nullopt));
    }
    return results;
}

bool DNSConfigurationStore::prepareSlot(const ReadResult &slot, QString *error,
                                        QString *setAsideTo) const {
    switch (slot.status) {
    case ReadResult::absent:
    case ReadResult::ok:
        return true;
    case ReadResult::damaged: {
        QString reason;
        const auto target = SafeFile::setAside(slot.path, &reason);
        if (!target) {
            if (error)
                *error = u"%1 and cannot be set aside: %2"_s.arg(slot.message(), reason);
            qCWarning(lcPlatformDns).noquote() << "write failed:" << (error ? *error : slot.path);
            return false;
        }
        qCWarning(lcPlatformDns).noquote()
            << u"set aside: %1; it is now %2"_s.arg(slot.message(), *target);
        if (setAsideTo)
            *setAsideTo = *target;
        return true;
    }
    case ReadResult::newerFormat:
    case ReadResult::refused:
    case ReadResult::failed:
        break;
    }
    if (error)
        *error = slot.message() + u"; it is left as it is"_s;
    qCWarning(lcPlatformDns).noquote() << "refused:" << slot.message();
    return false;
}

bool DNSConfigurationStore::writeDocument(const QString &path, const QJsonObject &document,
                                          QString *error) const {
    const QByteArray data = documentBytes(document);
    QString reason;
    if (data.size() > maximumFileSize)
        reason = u"the configuration is %1 bytes, over the limit of %2; nothing was written"_s
                     .arg(data.size())
                     .arg(maximumFileSize);
    else if (SafeFile::write(path, data, &reason))
        return true;
    qCWarning(lcPlatformDns).noquote() << "write failed:" << reason;
    if (error)
        *error = reason;
    return false;
}

bool DNSConfigurationStore::write(const DNSConfiguration &configuration, QString *error,
                                  QString *setAsideTo) const {
    if (configuration.identifier.isEmpty() || !configuration.settings) {
        if (error)
            *error = u"configuration has no identifier or no settings"_s;
        return false;
    }
    if (!ensureDirectory(error))
        return false;
    const ReadResult slot = read(configuration.identifier);
    QJsonObject document = slot.status == ReadResult::ok ? slot.document : QJsonObject();
    const QJsonObject known = fileObject(configuration);
    for (auto it = known.begin(); it != known.end(); ++it)
        document.insert(it.key(), it.value());
    // Checked before anything moves: an oversized save must leave the slot exactly as it was.
    const qsizetype size = documentBytes(document).size();
    if (size > maximumFileSize) {
        if (error)
            *error = u"the configuration is %1 bytes, over the limit of %2; nothing was written"_s
                         .arg(size)
                         .arg(maximumFileSize);
        qCWarning(lcPlatformDns).noquote() << "write refused:" << slot.path << "is too large";
        return false;
    }
    if (!prepareSlot(slot, error, setAsideTo))
        return false;
    return writeDocument(slot.path, document, error);
}

bool DNSConfigurationStore::setEnabled(const QString &identifier, bool enabled,
                                       QString *error) const {
    const ReadResult slot = read(identifier);
    if (slot.status != ReadResult::ok) {
        if (error)
            *error = slot.status == ReadResult::absent
                         ? u"no DNS configuration is stored for %1"_s.arg(identifier)
                         : slot.message() + u"; it is left as it is"_s;
        return false;
    }
    QJsonObject document = slot.document;
    document.insert(u"enabled"_s, enabled);
    return writeDocument(slot.path, document, error);
}

bool DNSConfigurationStore::remove(const QString &identifier, QString *error,
                                   QString *setAsideTo) const {
    const ReadResult slot = read(identifier);
    switch (slot.status) {
    case ReadResult::absent:
        return true;
    case ReadResult::ok:
        if (SafeFile::remove(slot.path, error))
            return true;
        qCWarning(lcPlatformDns).noquote() << "remove failed:" << (error ? *error : slot.path);
        return false;
    default:
        // Setting a damaged file aside is its removal; anything else stays.
        return prepareSlot(slot, error, setAsideTo);
    }
}
