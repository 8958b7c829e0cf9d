#pragma once

#include <QList>
#include <QString>
#include <QStringList>
#include <QUrl>
#include <QUuid>

#include <array>
#include <cstddef>
#include <functional>
#include <optional>
#include <variant>

// Records that describe one encrypted-DNS configuration. They are plain values: nothing is
// validated here, equality and hashing go over every field in declaration order.

/** A DNS-over-TLS transport: the servers to use and the name their certificate must carry. */
struct DoTConfiguration {
    QStringList servers{};
    std::optional<QString> serverName{};

    friend bool operator==(const DoTConfiguration &, const DoTConfiguration &) = default;
};

/** A DNS-over-HTTPS transport, and the domains (match domains) whose look-ups it takes. */
struct DoHConfiguration {
    QStringList domains{};
    QStringList servers{};
    std::optional<QUrl> serverURL{};

    friend bool operator==(const DoHConfiguration &, const DoHConfiguration &) = default;
};

/**
 * The transport of a resolver: exactly one of DNS-over-TLS (case index 0) or DNS-over-HTTPS
 * (case index 1). A default-constructed value is DNS-over-TLS without servers, so that records
 * holding one stay default-constructible for containers.
 */
class Configuration {
public:
    /** Names the case without its payload; only the JSON form needs it. */
    enum class Base { dnsOverTLS, dnsOverHTTPS };

    Configuration() = default;
    static Configuration dnsOverTLS(DoTConfiguration payload);
    static Configuration dnsOverHTTPS(DoHConfiguration payload);

    Base base() const { return static_cast<Base>(m_payload.index()); }
    /** The case index used in hashing: 0 for DNS-over-TLS, 1 for DNS-over-HTTPS. */
    std::size_t caseIndex() const { return m_payload.index(); }

    /** The payload of the matching case, or null when the value is of the other case. */
    const DoTConfiguration *dotConfiguration() const;
    DoTConfiguration *dotConfiguration();
    const DoHConfiguration *dohConfiguration() const;
    DoHConfiguration *dohConfiguration();

    /** "DNS-over-TLS" or "DNS-over-HTTPS". */
    QString description() const;

    /** "dnsOverTLS" / "dnsOverHTTPS", and back; any other text (case counts) gives nothing. */
    static QString baseText(Base base);
    static std::optional<Base> baseFromText(const QString &text);

    friend bool operator==(const Configuration &, const Configuration &) = default;

private:
    explicit Configuration(std::variant<DoTConfiguration, DoHConfiguration> payload)
        : m_payload(std::move(payload)) {}

    std::variant<DoTConfiguration, DoHConfiguration> m_payload;
};

/**
 * When the system applies a configuration. `action` and `interfaceType` carry the platform's
 * integer values unchanged, including values the vocabulary below does not list.
 */
struct OnDemandRule {
    QUuid id = QUuid::createUuid();
    QString name{};
    qint64 action = 4;
    qint64 interfaceType = 0;
    QStringList ssidMatch{};
    QStringList dnsSearchDomainMatch{};
    QStringList dnsServerAddressMatch{};
    std::optional<QUrl> probeURL{};

    friend bool operator==(const OnDemandRule &, const OnDemandRule &) = default;
};

/** One encrypted-DNS configuration with the rules deciding when it applies. */
struct Resolver {
    QUuid id = QUuid::createUuid();
    QString name{};
    Configuration configuration{};
    QList<OnDemandRule> onDemandRules{};

    friend bool operator==(const Resolver &, const Resolver &) = default;
};

/** The on-demand action values and their display texts, in the order they are offered. */
namespace OnDemandAction {
inline constexpr qint64 connect = 1;
inline constexpr qint64 disconnect = 2;
inline constexpr qint64 evaluateConnection = 3;
inline constexpr qint64 ignore = 4;
inline constexpr std::array<qint64, 4> allCases{connect, disconnect, evaluateConnection, ignore};
/** "Apply settings", "Do not apply settings", "Apply with excluded domains", "As is" or
 * "Unknown" for any other value. */
QString description(qint64 action);
} // namespace OnDemandAction

/** The interface type values offered to the user; 1 (wired) is carried but never offered. */
namespace OnDemandInterfaceType {
inline constexpr qint64 any = 0;
inline constexpr qint64 wifi = 2;
inline constexpr qint64 cellular = 3;
inline constexpr std::array<qint64, 3> allCases{any, wifi, cellular};
/** "Any", "Wi-Fi", "Cellular" or "Unknown" for any other value. */
QString description(qint64 interfaceType);
} // namespace OnDemandInterfaceType

std::size_t qHash(const DoTConfiguration &value, std::size_t seed = 0);
std::size_t qHash(const DoHConfiguration &value, std::size_t seed = 0);
std::size_t qHash(const Configuration &value, std::size_t seed = 0);
std::size_t qHash(const OnDemandRule &value, std::size_t seed = 0);
std::size_t qHash(const Resolver &value, std::size_t seed = 0);

template<> struct std::hash<DoTConfiguration> {
    std::size_t operator()(const DoTConfiguration &v) const { return qHash(v); }
};
template<> struct std::hash<DoHConfiguration> {
    std::size_t operator()(const DoHConfiguration &v) const { return qHash(v); }
};
template<> struct std::hash<Configuration> {
    std::size_t operator()(const Configuration &v) const { return qHash(v); }
};
template<> struct std::hash<OnDemandRule> {
    std::size_t operator()(const OnDemandRule &v) const { return qHash(v); }
};
template<> struct std::hash<Resolver> {
    std::size_t operator()(const Resolver &v) const { return qHash(v); }
};
