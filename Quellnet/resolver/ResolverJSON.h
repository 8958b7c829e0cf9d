#pragma once

#include "resolver/Resolver.h"

#include <QJsonArray>
#include <QJsonObject>
#include <QJsonValue>

#include <optional>

// The JSON form of resolver records, so that a resolver list can be kept as text and read back.
//
// Writing: every member always, except "serverName", "serverURL" and "probeURL", which are left
// out when absent; UUIDs in upper case without braces; URLs fully percent-encoded.
//
// Reading is all or nothing: a required member that is missing or null, any member of the wrong
// JSON type (optional ones included), a UUID not in the 8-4-4-4-12 form (either case), a URL
// text that does not parse (relative references such as "/dns-query" do parse), an integer that
// is fractional or outside 64 bits, or a text holding an unpaired surrogate fails the whole
// value. Unknown members are ignored.

QJsonObject toJson(const DoTConfiguration &value);
QJsonObject toJson(const DoHConfiguration &value);
QJsonObject toJson(const Configuration &value);
QJsonObject toJson(const OnDemandRule &value);
QJsonObject toJson(const Resolver &value);
QJsonArray toJson(const QList<Resolver> &resolvers);

std::optional<DoTConfiguration> dotConfigurationFromJson(const QJsonValue &json);
std::optional<DoHConfiguration> dohConfigurationFromJson(const QJsonValue &json);
/** Reads the payload named by "base" and ignores the other payload member entirely. */
std::optional<Configuration> configurationFromJson(const QJsonValue &json);
std::optional<OnDemandRule> onDemandRuleFromJson(const QJsonValue &json);
/** A missing or null "onDemandRules" gives an empty rule list. */
std::optional<Resolver> resolverFromJson(const QJsonValue &json);
std::optional<QList<Resolver>> resolverListFromJson(const QJsonValue &json);

/**
 * The text form of a resolver list: a compact JSON array. A list whose text would not read back
 * as the same list (a text with an unpaired surrogate, an invalid URL) gives "[]", never a text
 * that silently reads back as something else.
 */
QString rawValue(const QList<Resolver> &resolvers);

/**
 * Reads the text form back. Any failure gives nothing rather than an empty list: text that is
 * not valid UTF-16, malformed JSON, garbage after the array, a top level other than an array,
 * an object naming a member it reads twice (readers disagree on which one counts; a repeated
 * member that is ignored anyway does no harm), or any record that does not read. "[]" gives an
 * empty list.
 */
std::optional<QList<Resolver>> resolverListFromRawValue(const QString &text);
