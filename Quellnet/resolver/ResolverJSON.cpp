#include "resolver/ResolverJSON.h"

#include <QJsonDocument>

#include <algorithm>
#include <array>
#include <string_view>

using namespace Qt::StringLiterals;

namespace {

const auto kId = "id"_L1;
const auto kName = "name"_L1;
const auto kConfiguration = "configuration"_L1;
const auto kOnDemandRules = "onDemandRules"_L1;
const auto kBase = "base"_L1;
const auto kDot = "dotConfiguration"_L1;
const auto kDoh = "dohConfiguration"_L1;
const auto kServers = "servers"_L1;
const auto kServerName = "serverName"_L1;
const auto kDomains = "domains"_L1;
const auto kServerURL = "serverURL"_L1;
const auto kAction = "action"_L1;
const auto kInterfaceType = "interfaceType"_L1;
const auto kSsidMatch = "ssidMatch"_L1;
const auto kSearchDomainMatch = "dnsSearchDomainMatch"_L1;
const auto kServerAddressMatch = "dnsServerAddressMatch"_L1;
const auto kProbeURL = "probeURL"_L1;

QString uuidText(const QUuid &id) {
    return id.toString(QUuid::WithoutBraces).toUpper();
}

QJsonArray stringArray(const QStringList &list) {
    return QJsonArray::fromStringList(list);
}

// Value readers: each gives nothing when the JSON value is not of the expected kind.

std::optional<QString> readString(const QJsonValue &json) {
    if (!json.isString())
        return std::nullopt;
    QString text = json.toString();
    if (!text.isValidUtf16())
        return std::nullopt;
    return text;
}

std::optional<QStringList> readStringList(const QJsonValue &json) {
    if (!json.isArray())
        return std::nullopt;
    const QJsonArray array = json.toArray();
    QStringList list;
    list.reserve(array.size());
    for (const QJsonValue &element : array) {
        auto text = readString(element);
        if (!text)
            return std::nullopt;
        list.append(std::move(*text));
    }
    return list;
}

std::optional<QUuid> readUuid(const QJsonValue &json) {
    const auto text = readString(json);
    if (!text || text->size() != 36)
        return std::nullopt;
    for (qsizetype i = 0; i < text->size(); ++i) {
        const char16_t c = text->at(i).unicode();
        const bool hyphenPlace = i == 8 || i == 13 || i == 18 || i == 23;
        const bool hex =
            (c >= u'0' && c <= u'9') || (c >= u'a' && c <= u'f') || (c >= u'A' && c <= u'F');
        if (hyphenPlace ? c != u'-' : !hex)
            return std::nullopt;
    }
    return QUuid::fromString(*text);
}

std::optional<QUrl> readUrl(const QJsonValue &json) {
    const auto text = readString(json);
    if (!text || text->isEmpty())
        return std::nullopt;
    // A relative reference ("dns-query", "/dns-query") parses too and is kept as written.
    QUrl url(*text, QUrl::StrictMode);
    if (!url.isValid())
        return std::nullopt;
    return url;
}

std::optional<qint64> readInteger(const QJsonValue &json) {
    if (!json.isDouble())
        return std::nullopt;
    // toInteger() falls back to its argument for fractions and out-of-range values; two
    // different fallbacks tell a real value from the fallback.
    const qint64 value = json.toInteger(0);
    if (value != json.toInteger(1))
        return std::nullopt;
    return value;
}

std::optional<QJsonObject> readObject(const QJsonValue &json) {
    if (!json.isObject())
        return std::nullopt;
    return json.toObject();
}

bool missingOrNull(const QJsonValue &json) {
    return json.isUndefined() || json.isNull();
}

/** A required member: missing or null fails like a wrong type. */
template<typename Read>
auto requiredMember(const QJsonObject &object, QLatin1StringView key, Read read)
    -> decltype(read({})) {
    const QJsonValue json = object.value(key);
    if (missingOrNull(json))
        return std::nullopt;
    return read(json);
}

/** An optional member: missing or null is an absent value, a wrong type fails (outer nothing). */
template<typename Read>
auto optionalMember(const QJsonObject &object, QLatin1StringView key, Read read)
    -> std::optional<decltype(read({}))> {
    const QJsonValue json = object.value(key);
    if (missingOrNull(json))
        return decltype(read({})){};
    auto value = read(json);
    if (!value)
        return std::nullopt;
    return value;
}

/**
 * Finds a member that the reader reads named twice in one object. QJsonDocument keeps one copy
 * and readers disagree on which, so such a text must not read. A repeated member the reader
 * ignores (an unknown one, the payload "base" does not name, anything inside those) changes
 * nothing and is let through. Runs only on text QJsonDocument has accepted; it still never
 * reads past the end.
 */
class RepeatedMemberScan {
public:
    explicit RepeatedMemberScan(QByteArrayView utf8)
        : m_text(utf8) {}

    /** The top level is an array of resolvers. */
    bool found() const {
        qsizetype pos = m_text.startsWith("\xEF\xBB\xBF") ? 3 : 0;
        return arrayRepeats(skipSpace(pos), Shape::resolver);
    }

private:
    enum class Shape { none, resolver, configuration, doh, dot, rule, rules };
    struct Member {
        QLatin1StringView key;
        Shape shape; // what the member's value is read as
    };
    struct Seen {
        int count = 0;
        qsizetype value = -1;
    };
    static constexpr qsizetype kMaxMembers = 8;

    static QList<Member> members(Shape shape) {
        switch (shape) {
        case Shape::resolver:
            return {{kId, Shape::none},
                    {kName, Shape::none},
                    {kConfiguration, Shape::configuration},
                    {kOnDemandRules, Shape::rules}};
        case Shape::configuration:
            return {{kBase, Shape::none}, {kDoh, Shape::doh}, {kDot, Shape::dot}};
        case Shape::doh:
            return {{kDomains, Shape::none}, {kServers, Shape::none}, {kServerURL, Shape::none}};
        case Shape::dot:
            return {{kServers, Shape::none}, {kServerName, Shape::none}};
        case Shape::rule:
            return {{kId, Shape::none},
                    {kName, Shape::none},
                    {kAction, Shape::none},
                    {kInterfaceType, Shape::none},
                    {kSsidMatch, Shape::none},
                    {kSearchDomainMatch, Shape::none},
                    {kServerAddressMatch, Shape::none},
                    {kProbeURL, Shape::none}};
        case Shape::none:
        case Shape::rules:
            break;
        }
        return {};
    }

    char at(qsizetype pos) const { return pos < m_text.size() ? m_text.at(pos) : '\0'; }

    qsizetype skipSpace(qsizetype pos) const {
        while (at(pos) == ' ' || at(pos) == '\t' || at(pos) == '\n' || at(pos) == '\r')
            ++pos;
        return pos;
    }

    /** `pos` at the opening quote; returns the place after the closing one. */
    qsizetype skipString(qsizetype pos) const {
        for (++pos; pos < m_text.size() && m_text.at(pos) != '"'; ++pos)
            if (m_text.at(pos) == '\\')
                ++pos;
        return pos + 1;
    }

    /** The text of the string at `pos`, escapes resolved, so "n\u0061me" is "name". */
    QString decodeString(qsizetype pos) const {
        const qsizetype end = std::min(skipString(pos) - 1, m_text.size());
        QString text;
        qsizetype chunk = ++pos;
        while (pos < end) {
            if (m_text.at(pos) != '\\') {
                ++pos;
                continue;
            }
            text += QString::fromUtf8(m_text.sliced(chunk, pos - chunk));
            const char escape = at(pos + 1);
            if (escape == 'u') {
                bool ok = false;
                const QByteArrayView hex = m_text.sliced(
                    std::min(pos + 2, end), std::clamp(end - pos - 2, qsizetype(0), qsizetype(4)));
                text += QChar(char16_t(hex.toUShort(&ok, 16)));
                pos += 6;
            } else {
                constexpr std::string_view from = "bfnrt";
                constexpr std::string_view to = "\b\f\n\r\t";
                const auto named = from.find(escape);
                text += QLatin1Char(named == std::string_view::npos ? escape : to[named]);
                pos += 2;
            }
            chunk = std::min(pos, end);
        }
        return text + QString::fromUtf8(m_text.sliced(chunk, end - chunk));
    }

    /** Returns the place after the value at `pos`. */
    qsizetype skipValue(qsizetype pos) const {
        qsizetype depth = 0;
        while (pos < m_text.size()) {
            const char c = m_text.at(pos);
            if (c == '"') {
                pos = skipString(pos);
            } else if (c == '{' || c == '[') {
                ++depth;
                ++pos;
            } else if (c == '}' || c == ']') {
                --depth;
                ++pos;
            } else if (depth == 0) {
                while (pos < m_text.size() && !QByteArrayView(",}] \t\n\r").contains(at(pos)))
                    ++pos;
                return pos;
            } else {
                ++pos;
            }
            if (depth <= 0)
                return pos;
        }
        return pos;
    }

    bool valueRepeats(qsizetype pos, Shape shape) const {
        if (pos < 0)
            return false;
        if (shape == Shape::rules)
            return arrayRepeats(pos, Shape::rule);
        if (shape != Shape::none && at(pos) == '{')
            return objectRepeats(pos, shape);
        return false; // a value of the wrong kind fails the decode anyway
    }

    bool arrayRepeats(qsizetype pos, Shape element) const {
        if (at(pos) != '[')
            return false;
        pos = skipSpace(pos + 1);
        while (pos < m_text.size() && at(pos) != ']') {
            if (valueRepeats(pos, element))
                return true;
            pos = skipSpace(skipValue(pos));
            if (at(pos) == ',')
                pos = skipSpace(pos + 1);
            else
                break;
        }
        return false;
    }

    bool objectRepeats(qsizetype pos, Shape shape) const {
        const QList<Member> read = members(shape);
        std::array<Seen, kMaxMembers> seen{};
        pos = skipSpace(pos + 1);
        while (at(pos) == '"') {
            const QString key = decodeString(pos);
            pos = skipSpace(skipSpace(skipString(pos)) + 1); // past the colon
            for (qsizetype i = 0; i < read.size(); ++i) {
                if (key == read.at(i).key) {
                    ++seen[i].count;
                    seen[i].value = pos;
                }
            }
            pos = skipSpace(skipValue(pos));
            if (at(pos) != ',')
                break;
            pos = skipSpace(pos + 1);
        }

        // Of the two payloads only the one "base" names is read.
        std::array<bool, kMaxMembers> counts{};
        for (qsizetype i = 0; i < read.size(); ++i)
            counts[i] = true;
        if (shape == Shape::configuration) {
            const qsizetype base = seen[0].value;
            const QString baseText = base >= 0 && at(base) == '"' ? decodeString(base) : QString();
            counts[1] = Configuration::baseFromText(baseText) == Configuration::Base::dnsOverHTTPS;
            counts[2] = Configuration::baseFromText(baseText) == Configuration::Base::dnsOverTLS;
        }
        for (qsizetype i = 0; i < read.size(); ++i)
            if (counts[i] && seen[i].count > 1)
                return true;
        for (qsizetype i = 0; i < read.size(); ++i)
            if (counts[i] && valueRepeats(seen[i].value, read.at(i).shape))
                return true;
        return false;
    }

    QByteArrayView m_text;
};

template<typename T, typename Read>
std::optional<QList<T>> readList(const QJsonValue &json, Read read) {
    if (!json.isArray())
        return std::nullopt;
    const QJsonArray array = json.toArray();
    QList<T> list;
    list.reserve(array.size());
    for (const QJsonValue &element : array) {
        auto value = read(element);
        if (!value)
            return std::nullopt;
        list.append(std::move(*value));
    }
    return list;
}

} // namespace

QJsonObject toJson(const DoTConfiguration &value) {
    QJsonObject json{{kServers, stringArray(value.servers)}};
    if (value.serverName)
        json.insert(kServerName, *value.serverName);
    return json;
}

QJsonObject toJson(const DoHConfiguration &value) {
    QJsonObject json{{kDomains, stringArray(value.domains)},
                     {kServers, stringArray(value.servers)}};
    if (value.serverURL)
        json.insert(kServerURL, value.serverURL->toString(QUrl::FullyEncoded));
    return json;
}

QJsonObject toJson(const Configuration &value) {
    QJsonObject json{{kBase, Configuration::baseText(value.base())}};
    if (const auto *dot = value.dotConfiguration())
        json.insert(kDot, toJson(*dot));
    else if (const auto *doh = value.dohConfiguration())
        json.insert(kDoh, toJson(*doh));
    return json;
}

QJsonObject toJson(const OnDemandRule &value) {
    QJsonObject json{
        {kId, uuidText(value.id)},
        {kName, value.name},
        {kAction, value.action},
        {kInterfaceType, value.interfaceType},
        {kSsidMatch, stringArray(value.ssidMatch)},
        {kSearchDomainMatch, stringArray(value.dnsSearchDomainMatch)},
        {kServerAddressMatch, stringArray(value.dnsServerAddressMatch)},
    };
    if (value.probeURL)
        json.insert(kProbeURL, value.probeURL->toString(QUrl::FullyEncoded));
    return json;
}

QJsonObject toJson(const Resolver &value) {
    QJsonArray rules;
    for (const OnDemandRule &rule : value.onDemandRules)
        rules.append(toJson(rule));
    return QJsonObject{
        {kId, uuidText(value.id)},
        {kName, value.name},
        {kConfiguration, toJson(value.configuration)},
        {kOnDemandRules, rules},
    };
}

QJsonArray toJson(const QList<Resolver> &resolvers) {
    QJsonArray array;
    for (const Resolver &resolver : resolvers)
        array.append(toJson(resolver));
    return array;
}

std::optional<DoTConfiguration> dotConfigurationFromJson(const QJsonValue &json) {
    const auto object = readObject(json);
    if (!object)
        return std::nullopt;
    auto servers = requiredMember(*object, kServers, readStringList);
    if (!servers)
        return std::nullopt;
    auto serverName = optionalMember(*object, kServerName, readString);
    if (!serverName)
        return std::nullopt;
    return DoTConfiguration{std::move(*servers), std::move(*serverName)};
}

std::optional<DoHConfiguration> dohConfigurationFromJson(const QJsonValue &json) {
    const auto object = readObject(json);
    if (!object)
        return std::nullopt;
    auto domains = requiredMember(*object, kDomains, readStringList);
    if (!domains)
        return std::nullopt;
    auto servers = requiredMember(*object, kServers, readStringList);
    if (!servers)
        return std::nullopt;
    auto serverURL = optionalMember(*object, kServerURL, readUrl);
    if (!serverURL)
        return std::nullopt;
    return DoHConfiguration{std::move(*domains), std::move(*servers), std::move(*serverURL)};
}

std::optional<Configuration> configurationFromJson(const QJsonValue &json) {
    const auto object = readObject(json);
    if (!object)
        return std::nullopt;
    const auto baseText = requiredMember(*object, kBase, readString);
    if (!baseText)
        return std::nullopt;
    const auto base = Configuration::baseFromText(*baseText);
    if (!base)
        return std::nullopt;
    if (*base == Configuration::Base::dnsOverHTTPS) {
        auto doh = requiredMember(*object, kDoh, dohConfigurationFromJson);
        if (!doh)
            return std::nullopt;
        return Configuration::dnsOverHTTPS(std::move(*doh));
    }
    auto dot = requiredMember(*object, kDot, dotConfigurationFromJson);
    if (!dot)
        return std::nullopt;
    return Configuration::dnsOverTLS(std::move(*dot));
}

std::optional<OnDemandRule> onDemandRuleFromJson(const QJsonValue &json) {
    const auto object = readObject(json);
    if (!object)
        return std::nullopt;
    const auto id = requiredMember(*object, kId, readUuid);
    auto name = requiredMember(*object, kName, readString);
    const auto action = requiredMember(*object, kAction, readInteger);
    const auto interfaceType = requiredMember(*object, kInterfaceType, readInteger);
    auto ssidMatch = requiredMember(*object, kSsidMatch, readStringList);
    auto searchDomains = requiredMember(*object, kSearchDomainMatch, readStringList);
    auto serverAddresses = requiredMember(*object, kServerAddressMatch, readStringList);
    auto probeURL = optionalMember(*object, kProbeURL, readUrl);
    if (!id || !name || !action || !interfaceType || !ssidMatch || !searchDomains ||
        !serverAddresses || !probeURL)
        return std::nullopt;
    return OnDemandRule{
        .id = *id,
        .name = std::move(*name),
        .action = *action,
        .interfaceType = *interfaceType,
        .ssidMatch = std::move(*ssidMatch),
        .dnsSearchDomainMatch = std::move(*searchDomains),
        .dnsServerAddressMatch = std::move(*serverAddresses),
        .probeURL = std::move(*probeURL),
    };
}

std::optional<Resolver> resolverFromJson(const QJsonValue &json) {
    const auto object = readObject(json);
    if (!object)
        return std::nullopt;
    const auto id = requiredMember(*object, kId, readUuid);
    auto name = requiredMember(*object, kName, readString);
    auto configuration = requiredMember(*object, kConfiguration, configurationFromJson);
    auto rules = optionalMember(*object, kOnDemandRules, [](const QJsonValue &value) {
        return readList<OnDemandRule>(value, onDemandRuleFromJson);
    });
    if (!id || !name || !configuration || !rules)
        return std::nullopt;
    return Resolver{
        .id = *id,
        .name = std::move(*name),
        .configuration = std::move(*configuration),
        .onDemandRules = rules->value_or(QList<OnDemandRule>{}),
    };
}

std::optional<QList<Resolver>> resolverListFromJson(const QJsonValue &json) {
    return readList<Resolver>(json, resolverFromJson);
}

QString rawValue(const QList<Resolver> &resolvers) {
    const QByteArray utf8 = QJsonDocument(toJson(resolvers)).toJson(QJsonDocument::Compact);
    QString text = QString::fromUtf8(utf8);
    const auto readBack = resolverListFromRawValue(text);
    if (!readBack || *readBack != resolvers)
        return u"[]"_s;
    return text;
}

std::optional<QList<Resolver>> resolverListFromRawValue(const QString &text) {
    if (!text.isValidUtf16())
        return std::nullopt;
    const QByteArray utf8 = text.toUtf8();
    QJsonParseError error{};
    const QJsonDocument document = QJsonDocument::fromJson(utf8, &error);
    if (error.error != QJsonParseError::NoError || !document.isArray())
        return std::nullopt;
    if (RepeatedMemberScan(utf8).found())
        return std::nullopt;
    return resolverListFromJson(QJsonValue(document.array()));
}
