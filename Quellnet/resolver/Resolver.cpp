#include "resolver/Resolver.h"

#include <QHashFunctions>

using namespace Qt::StringLiterals;

namespace {

/** Folds fields into one hash in the order they are added; an optional adds its presence first
 * so that "absent" and "present but empty" hash apart. */
class HashFold {
public:
    explicit HashFold(std::size_t seed)
        : m_seed(seed) {}

    template<typename T> HashFold &add(const T &value) {
        m_seed = qHashMulti(m_seed, value);
        return *this;
    }
    template<typename T> HashFold &add(const std::optional<T> &value) {
        add(value.has_value());
        if (value)
            add(*value);
        return *this;
    }
    std::size_t result() const { return m_seed; }

private:
    std::size_t m_seed;
};

} // namespace

Configuration Configuration::dnsOverTLS(DoTConfiguration payload) {
    return Configuration(std::move(payload));
}

Configuration Configuration::dnsOverHTTPS(DoHConfiguration payload) {
    return Configuration(std::move(payload));
}

const DoTConfiguration *Configuration::dotConfiguration() const {
    return std::get_if<DoTConfiguration>(&m_payload);
}

DoTConfiguration *Configuration::dotConfiguration() {
    return std::get_if<DoTConfiguration>(&m_payload);
}

const DoHConfiguration *Configuration::dohConfiguration() const {
    return std::get_if<DoHConfiguration>(&m_payload);
}

DoHConfiguration *Configuration::dohConfiguration() {
    return std::get_if<DoHConfiguration>(&m_payload);
}

QString Configuration::description() const {
    return base() == Base::dnsOverTLS ? u"DNS-over-TLS"_s : u"DNS-over-HTTPS"_s;
}

QString Configuration::baseText(Base base) {
    return base == Base::dnsOverTLS ? u"dnsOverTLS"_s : u"dnsOverHTTPS"_s;
}

std::optional<Configuration::Base> Configuration::baseFromText(const QString &text) {
    if (text == "dnsOverTLS"_L1)
        return Base::dnsOverTLS;
    if (text == "dnsOverHTTPS"_L1)
        return Base::dnsOverHTTPS;
    return std::nullopt;
}

QString OnDemandAction::description(qint64 action) {
    switch (action) {
    case connect:
        return u"Apply settings"_s;
    case disconnect:
        return u"Do not apply settings"_s;
    case evaluateConnection:
        return u"Apply with excluded domains"_s;
    case ignore:
        return u"As is"_s;
    default:
        return u"Unknown"_s;
    }
}

QString OnDemandInterfaceType::description(qint64 interfaceType) {
    switch (interfaceType) {
    case any:
        return u"Any"_s;
    case wifi:
        return u"Wi-Fi"_s;
    case cellular:
        return u"Cellular"_s;
    default:
        return u"Unknown"_s;
    }
}

std::size_t qHash(const DoTConfiguration &value, std::size_t seed) {
    return HashFold(seed).add(value.servers).add(value.serverName).result();
}

std::size_t qHash(const DoHConfiguration &value, std::size_t seed) {
    return HashFold(seed).add(value.domains).add(value.servers).add(value.serverURL).result();
}

std::size_t qHash(const Configuration &value, std::size_t seed) {
    HashFold fold(seed);
    fold.add(value.caseIndex());
    if (const auto *dot = value.dotConfiguration())
        fold.add(*dot);
    else if (const auto *doh = value.dohConfiguration())
        fold.add(*doh);
    return fold.result();
}

std::size_t qHash(const OnDemandRule &value, std::size_t seed) {
    return HashFold(seed)
        .add(value.id)
        .add(value.name)
        .add(value.action)
        .add(value.interfaceType)
        .add(value.ssidMatch)
        .add(value.dnsSearchDomainMatch)
        .add(value.dnsServerAddressMatch)
        .add(value.probeURL)
        .result();
}

std::size_t qHash(const Resolver &value, std::size_t seed) {
    return HashFold(seed)
        .add(value.id)
        .add(value.name)
        .add(value.configuration)
        .add(value.onDemandRules)
        .result();
}
