#pragma once

#include "networkextension/DeviceDNSSettings.h"

#include <QList>
#include <QStringList>

#include <memory>
#include <optional>

/**
 * What the DNS page asks of the computer: the stored configurations with the truth about each,
 * the switch, and the paths whose changes mean the answer may have changed. Every call may block
 * (files, locks, a password prompt), so the page runs them on the platform's worker only. The
 * window's own program hands in the platform's; tests hand in one they steer.
 */
class DnsSettingsBackend {
public:
    using Entry = DeviceDNSSettings::Entry;
    using Outcome = DeviceDNSSettings::Outcome;

    virtual ~DnsSettingsBackend() = default;
    /** nullopt, with the reason in `error`, when nothing can be listed. */
    virtual std::optional<QList<Entry>> entries(QString *error) = 0;
    virtual Outcome setEnabled(const QString &identifier, bool on) = 0;
    virtual QStringList watchedPaths() = 0;

    /** The platform's own: the same calls `device-settings dns` makes. */
    static std::shared_ptr<DnsSettingsBackend> platform();
};
