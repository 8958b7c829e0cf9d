#include "networkextension/DNSConfigurationStore.h"

#include "foundation/PlatformPaths.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLockFile>
#include <QSaveFile>
#include <QUrl>

using namespace Qt::StringLiterals;

namespace {

constexpr int formatVersion = 1;
// A real configuration is a few kilobytes; anything far larger is not ours.
constexpr qsizetype maximumFileSize = 16 * 1024 * 1024;
// Critical sections are a read and a write of one small file, so a lock older than this
// belongs to a writer that died between creating the lock file and filling it in.
constexpr int staleLockMilliseconds = 10'000;
constexpr int lockWaitMilliseconds = 20'000;

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

QString actionKey(NEOnDemandRuleAction action) {
    switch (action) {
    case NEOnDemandRuleAction::connect:
        return u"connect"_s;
    case NEOnDemandRuleAction::disconnect:
        return u"disconnect"_s;
    case NEOnDemandRuleAction::evaluateConnection:
        return u"evaluateConnection"_s;
    case NEOnDemandRuleAction::ignore:
        return u"ignore"_s;
    }
    return u"connect"_s;
}

std::shared_ptr<NEOnDemandRule> makeRule(const QString &action) {
    if (action == u"connect")
        return std::make_shared<NEOnDemandRuleConnect>();
    if (action == u"disconnect")
        return std::make_shared<NEOnDemandRuleDisconnect>();
    if (action == u"evaluateConnection")
        return std::make_shared<NEOnDemandRuleEvaluateConnection>();
    if (action == u"ignore")
        return std::make_shared<NEOnDemandRuleIgnore>();
    return nullptr;
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
        object.insert(u"action"_s, actionKey(rule->action()));
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
        auto rule = makeRule(action);
        if (!rule)
            throw ParseError{u"unknown on-demand action \"%1\""_s.arg(action)};
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

DNSConfiguration readConfiguration(const QByteArray &data) {
    if (data.size() > maximumFileSize)
        throw ParseError{u"file too large"_s};
    QJsonParseError jsonError;
    const QJsonDocument document = QJsonDocument::fromJson(data, &jsonError);
    if (jsonError.error != QJsonParseError::NoError)
        throw ParseError{u"not JSON: %1"_s.arg(jsonError.errorString())};
    if (!document.isObject())
        throw ParseError{u"not a JSON object"_s};
    const QJsonObject object = document.object();
    if (integerValue(required(object, u"format"_s), u"format"_s) != formatVersion)
        throw ParseError{u"unknown format version"_s};

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

DNSConfigurationStore::DNSConfigurationStore()
    : DNSConfigurationStore(platformStateDirectory()) {}

DNSConfigurationStore::DNSConfigurationStore(const QString &platformRoot)
    : m_directory(platformRoot + u"/NetworkExtension/dns"_s) {}

QString DNSConfigurationStore::filePath(const QString &identifier) const {
    // Unreserved characters stay readable; '/', '%' and everything else are encoded.
    const QString name = QString::fromLatin1(identifier.toUtf8().toPercentEncoding());
    return m_directory + u'/' + name + jsonSuffix;
}

QString DNSConfigurationStore::lockFilePath() const {
    return m_directory + u".lock"_s;
}

std::unique_ptr<QLockFile> DNSConfigurationStore::lock(QString *error) const {
    if (!QDir().mkpath(m_directory)) {
        if (error)
            *error = u"cannot create %1"_s.arg(m_directory);
        return nullptr;
    }
    auto lockFile = std::make_unique<QLockFile>(lockFilePath());
    lockFile->setStaleLockTime(staleLockMilliseconds);
    if (!lockFile->tryLock(lockWaitMilliseconds)) {
        if (error)
            *error = lockFile->error() == QLockFile::LockFailedError
                         ? u"the DNS settings store is busy (%1)"_s.arg(lockFilePath())
                         : u"cannot create lock file %1"_s.arg(lockFilePath());
        return nullptr;
    }
    return lockFile;
}

QByteArray DNSConfigurationStore::serialize(const DNSConfiguration &configuration) {
    QJsonObject object = contentObject(configuration);
    object.insert(u"format"_s, formatVersion);
    object.insert(u"identifier"_s, configuration.identifier);
    object.insert(u"displayName"_s, configuration.displayName);
    object.insert(u"enabled"_s, configuration.enabled);
    return QJsonDocument(object).toJson(QJsonDocument::Indented);
}

std::optional<DNSConfiguration> DNSConfigurationStore::parse(const QByteArray &data,
                                                             QString *error) {
    try {
        return readConfiguration(data);
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
    return readFile(filePath(identifier), identifier);
}

DNSConfigurationStore::ReadResult
DNSConfigurationStore::readFile(const QString &path,
                                const std::optional<QString> &identifier) const {
    ReadResult result;
    result.path = path;
    QFile file(path);
    if (!file.exists())
        return result;

    QString problem;
    if (!file.open(QIODevice::ReadOnly)) {
        problem = u"cannot be read: %1"_s.arg(file.errorString());
    } else if (file.size() > maximumFileSize) {
        problem = u"is too large"_s;
    } else {
        const QByteArray data = file.readAll();
        const bool readFailed = file.error() != QFileDevice::NoError;
        file.close();
        QString parseError;
        auto configuration = readFailed ? std::nullopt : parse(data, &parseError);
        if (readFailed)
            problem = u"cannot be read: %1"_s.arg(file.errorString());
        else if (!configuration)
            problem = u"is damaged (%1)"_s.arg(parseError);
        else if (filePath(configuration->identifier) != path ||
                 (identifier && configuration->identifier != *identifier))
            problem = u"belongs to another app (%1)"_s.arg(configuration->identifier);
        else {
            result.status = ReadResult::ok;
            result.configuration = std::move(configuration);
            return result;
        }
    }

    if (moveAside(path, &result.movedTo)) {
        result.status = ReadResult::damaged;
        result.message = u"%1 %2; moved aside to %3"_s.arg(path, problem, result.movedTo);
    } else {
        result.status = ReadResult::failed;
        result.message = u"%1 %2 and could not be moved aside"_s.arg(path, problem);
    }
    return result;
}

std::optional<QList<DNSConfigurationStore::ReadResult>>
DNSConfigurationStore::readAll(QString *error) const {
    QList<ReadResult> results;
    const QFileInfo info(m_directory);
    if (!info.exists())
        return results;
    if (!info.isDir() || !info.isReadable()) {
        if (error)
            *error = u"cannot list %1"_s.arg(m_directory);
        return std::nullopt;
    }
    const QDir dir(m_directory);
    const QStringList names =
        dir.entryList({u"*"_s + jsonSuffix}, QDir::Files | QDir::Hidden, QDir::Name);
    for (const QString &name : names)
        results.append(readFile(dir.filePath(name), std::nullopt));
    return results;
}

bool DNSConfigurationStore::write(const DNSConfiguration &configuration, QString *error) const {
    if (configuration.identifier.isEmpty() || !configuration.settings) {
        if (error)
            *error = u"configuration has no identifier or no settings"_s;
        return false;
    }
    if (!QDir().mkpath(m_directory)) {
        if (error)
            *error = u"cannot create %1"_s.arg(m_directory);
        return false;
    }
    QSaveFile file(filePath(configuration.identifier));
    const QByteArray data = serialize(configuration);
    if (!file.open(QIODevice::WriteOnly) || file.write(data) != data.size() || !file.commit()) {
        if (error)
            *error = u"cannot write %1: %2"_s.arg(file.fileName(), file.errorString());
        return false;
    }
    return true;
}

bool DNSConfigurationStore::remove(const QString &identifier, QString *error) const {
    QFile file(filePath(identifier));
    if (!file.exists() || file.remove())
        return true;
    if (error)
        *error = u"cannot remove %1: %2"_s.arg(file.fileName(), file.errorString());
    return false;
}

bool DNSConfigurationStore::moveAside(const QString &path, QString *movedTo) {
    const QString stamp = QDateTime::currentDateTimeUtc().toString(u"yyyyMMdd'T'HHmmsszzz'Z'"_s);
    // Concatenated, not arg(): encoded file names hold '%' sequences of their own.
    const QString base = path + u".corrupt-"_s + stamp;
    QString target = base;
    for (int n = 1; QFileInfo::exists(target) && n < 1000; ++n)
        target = base + u'-' + QString::number(n);
    if (!QFile::rename(path, target))
        return false;
    *movedTo = target;
    return true;
}
