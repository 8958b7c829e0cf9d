#include "resolver/DNSSettingsBuilder.h"

using namespace Qt::StringLiterals;

QUrl blockingResolverServerURL() {
    return QUrl(u"https://blocked.example/dns-query"_s, QUrl::StrictMode);
}

std::shared_ptr<NEDNSOverHTTPSSettings> makeDNSSettings(const DoHConfiguration &configuration) {
    auto settings = std::make_shared<NEDNSOverHTTPSSettings>(configuration.servers);
    settings->setMatchDomains(configuration.domains);
    settings->setServerURL(configuration.serverURL);
    return settings;
}

std::shared_ptr<NEDNSSettings> makeDNSSettings(const Configuration &configuration) {
    if (const auto *doh = configuration.dohConfiguration())
        return makeDNSSettings(*doh);
    const DoTConfiguration &dot = *configuration.dotConfiguration();
    auto settings = std::make_shared<NEDNSOverTLSSettings>(dot.servers);
    settings->setServerName(dot.serverName);
    return settings;
}

std::shared_ptr<NEOnDemandRule> makeOnDemandRule(const OnDemandRule &rule) {
    std::shared_ptr<NEOnDemandRule> made;
    switch (rule.action) {
    case OnDemandAction::connect:
        made = std::make_shared<NEOnDemandRuleConnect>();
        break;
    case OnDemandAction::disconnect:
        made = std::make_shared<NEOnDemandRuleDisconnect>();
        break;
    case OnDemandAction::evaluateConnection:
        made = std::make_shared<NEOnDemandRuleEvaluateConnection>();
        break;
    case OnDemandAction::ignore:
        made = std::make_shared<NEOnDemandRuleIgnore>();
        break;
    default:
        return nullptr;
    }
    made->setInterfaceTypeMatch(rule.interfaceType);
    if (rule.interfaceType == OnDemandInterfaceType::any ||
        rule.interfaceType == OnDemandInterfaceType::wifi)
        made->setSSIDMatch(rule.ssidMatch);
    made->setDNSSearchDomainMatch(rule.dnsSearchDomainMatch);
    made->setDNSServerAddressMatch(rule.dnsServerAddressMatch);
    made->setProbeURL(rule.probeURL);
    return made;
}

NEOnDemandRuleList makeOnDemandRules(const QList<OnDemandRule> &rules) {
    NEOnDemandRuleList made;
    made.reserve(rules.size());
    for (const OnDemandRule &rule : rules) {
        if (auto platformRule = makeOnDemandRule(rule))
            made.append(std::move(platformRule));
    }
    return made;
}

Resolver makeBlockingResolver(const QStringList &domains) {
    Resolver resolver;
    resolver.id = QUuid::createUuid();
    resolver.configuration = Configuration::dnsOverHTTPS(DoHConfiguration{
        .domains = domains,
        .servers = {u"0.0.0.0"_s},
        .serverURL = blockingResolverServerURL(),
    });
    return resolver;
}
