#pragma once

#include <QString>
#include <QStringList>
#include <QStringView>
#include <QUrl>
#include <QtGlobal>

#include <array>
#include <memory>
#include <optional>
#include <string_view>
#include <utility>

/** The platform's on-demand actions; each has its own rule class. */
enum class NEOnDemandRuleAction : qint64 {
    connect = 1,
    disconnect = 2,
    evaluateConnection = 3,
    ignore = 4,
};

/** Interface type values: 0 any, 1 Ethernet, 2 Wi-Fi, 3 cellular; any integer is carried. */
using NEOnDemandRuleInterfaceType = qint64;

/**
 * When the system applies a DNS configuration. Match lists left absent do not take part in
 * matching; an empty list is stored as empty.
 */
class NEOnDemandRule {
public:
    virtual ~NEOnDemandRule() = default;
    virtual NEOnDemandRuleAction action() const = 0;

    NEOnDemandRuleInterfaceType interfaceTypeMatch() const { return m_interfaceTypeMatch; }
    void setInterfaceTypeMatch(NEOnDemandRuleInterfaceType type) { m_interfaceTypeMatch = type; }

    const std::optional<QStringList> &SSIDMatch() const { return m_ssidMatch; }
    void setSSIDMatch(std::optional<QStringList> ssids) { m_ssidMatch = std::move(ssids); }

    const std::optional<QStringList> &DNSSearchDomainMatch() const { return m_searchDomains; }
    void setDNSSearchDomainMatch(std::optional<QStringList> d) { m_searchDomains = std::move(d); }

    const std::optional<QStringList> &DNSServerAddressMatch() const { return m_serverAddresses; }
    void setDNSServerAddressMatch(std::optional<QStringList> a) {
        m_serverAddresses = std::move(a);
    }

    const std::optional<QUrl> &probeURL() const { return m_probeURL; }
    void setProbeURL(std::optional<QUrl> url) { m_probeURL = std::move(url); }

    /** A new rule of the same class and values. */
    virtual std::shared_ptr<NEOnDemandRule> copy() const = 0;

private:
    NEOnDemandRuleInterfaceType m_interfaceTypeMatch = 0;
    std::optional<QStringList> m_ssidMatch;
    std::optional<QStringList> m_searchDomains;
    std::optional<QStringList> m_serverAddresses;
    std::optional<QUrl> m_probeURL;
};

template<NEOnDemandRuleAction A> class NEOnDemandRuleOf final : public NEOnDemandRule {
public:
    NEOnDemandRuleAction action() const override { return A; }
    std::shared_ptr<NEOnDemandRule> copy() const override {
        return std::make_shared<NEOnDemandRuleOf>(*this);
    }
};

using NEOnDemandRuleConnect = NEOnDemandRuleOf<NEOnDemandRuleAction::connect>;
using NEOnDemandRuleDisconnect = NEOnDemandRuleOf<NEOnDemandRuleAction::disconnect>;
using NEOnDemandRuleEvaluateConnection = NEOnDemandRuleOf<NEOnDemandRuleAction::evaluateConnection>;
using NEOnDemandRuleIgnore = NEOnDemandRuleOf<NEOnDemandRuleAction::ignore>;

using NEOnDemandRuleList = QList<std::shared_ptr<NEOnDemandRule>>;

/**
 * Every action with the key a stored configuration names it by. Both directions read this one
 * table, so a key written by one version is always the key the next one reads.
 */
inline constexpr std::array<std::pair<NEOnDemandRuleAction, std::u16string_view>, 4>
    onDemandActionKeys{{
        {NEOnDemandRuleAction::connect, u"connect"},
        {NEOnDemandRuleAction::disconnect, u"disconnect"},
        {NEOnDemandRuleAction::evaluateConnection, u"evaluateConnection"},
        {NEOnDemandRuleAction::ignore, u"ignore"},
    }};

/** The stored key of `action`. */
inline QString onDemandActionKey(NEOnDemandRuleAction action) {
    for (const auto &[known, key] : onDemandActionKeys)
        if (known == action)
            return QString::fromUtf16(key.data(), qsizetype(key.size()));
    return {};
}

/** The action a stored key names; nullopt for a key no version wrote. */
inline std::optional<NEOnDemandRuleAction> onDemandActionForKey(QStringView key) {
    for (const auto &[action, known] : onDemandActionKeys)
        if (key == QStringView(known.data(), qsizetype(known.size())))
            return action;
    return std::nullopt;
}

/** A new rule of the class that has `action`. */
inline std::shared_ptr<NEOnDemandRule> makeOnDemandRule(NEOnDemandRuleAction action) {
    switch (action) {
    case NEOnDemandRuleAction::connect:
        return std::make_shared<NEOnDemandRuleConnect>();
    case NEOnDemandRuleAction::disconnect:
        return std::make_shared<NEOnDemandRuleDisconnect>();
    case NEOnDemandRuleAction::evaluateConnection:
        return std::make_shared<NEOnDemandRuleEvaluateConnection>();
    case NEOnDemandRuleAction::ignore:
        return std::make_shared<NEOnDemandRuleIgnore>();
    }
    return nullptr;
}
