#pragma once

#include "networkextension/NEDNSSettings.h"
#include "networkextension/NEOnDemandRule.h"
#include "resolver/Resolver.h"

#include <memory>

// Turns resolver records into the platform's DNS settings objects. Every call builds new
// objects that the caller owns; nothing is cached.

/** The blocking resolver's dead-end endpoint: https on a host reserved for documentation. */
QUrl blockingResolverServerURL();

/**
 * A DNS-over-TLS or DNS-over-HTTPS settings object for the configuration's case. Absent
 * optionals reach the platform as unset values; the match domains of DNS-over-HTTPS are always
 * set, also to an empty list, and those of DNS-over-TLS never.
 */
std::shared_ptr<NEDNSSettings> makeDNSSettings(const Configuration &configuration);
std::shared_ptr<NEDNSOverHTTPSSettings> makeDNSSettings(const DoHConfiguration &configuration);

/**
 * The platform rule whose class matches the rule's action (1 connect, 2 disconnect, 3 evaluate
 * connection, 4 ignore). The SSID match is set only for interface types 0 (any) and 2 (Wi-Fi).
 * An action outside 1 to 4 has no platform class: the result is then null, never a rule of
 * some other class.
 */
std::shared_ptr<NEOnDemandRule> makeOnDemandRule(const OnDemandRule &rule);

/**
 * One platform rule per rule, in order. Rules whose action is outside 1 to 4 are left out, so
 * the list never holds a null entry and never a rule that would apply settings by mistake.
 */
NEOnDemandRuleList makeOnDemandRules(const QList<OnDemandRule> &rules);

/**
 * The resolver that is saved: a fresh id, an empty name, DNS-over-HTTPS whose match domains are
 * `domains` exactly as given (order and repeats kept), the server "0.0.0.0", the dead-end
 * endpoint above and no on-demand rules.
 */
Resolver makeBlockingResolver(const QStringList &domains);
