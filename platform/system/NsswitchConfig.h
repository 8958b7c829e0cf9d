#pragma once

#include "nss/quellnet_enforced_list.h"

#include <QByteArray>

#include <optional>

/**
 * Reading the hosts line of /etc/nsswitch.conf, for status and checks. The edit that puts the
 * Quellnet hosts module first (and takes it out again) is the writer's, `quellnet-enforce
 * --nsswitch install|uninstall`, run by the package scripts and `device-settings system`.
 */
namespace NsswitchConfig {

/** The text put at the front of the hosts sources, followed by one space. */
inline constexpr char moduleEntry[] = QUELLNET_NSSWITCH_ENTRY;

/** True when there is a hosts line and every hosts line starts with the module. */
bool hasModule(const QByteArray &text);
/** The first hosts line as it stands (without its newline), or nullopt if there is none. */
std::optional<QByteArray> hostsLine(const QByteArray &text);

} // namespace NsswitchConfig
