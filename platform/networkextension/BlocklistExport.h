#pragma once

#include "networkextension/EnforcedList.h"

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>

#include <optional>

/**
 * The saved blocklist in the forms the resolvers a household already runs can load, each
 * faithful to our rule that a name blocks itself and every name under it (except `hosts`, which
 * cannot, and says so in the file). Pure: names in, bytes out, nothing read or written.
 *
 * Names go out as the hosts module compares them (EnforcedList::convertName: ASCII, lower case,
 * unique, in byte order). A name that cannot be a DNS name is left out and reported, never
 * written: an empty RPZ owner is the zone's apex and `address=//` matches every name, so one
 * bad entry would block everything.
 */
namespace BlocklistExport {

enum class Format { rpz, unbound, dnsmasq, adblock, hosts };

/** The formats by their command-line names, in the order help lists them. */
QStringList formatNames();
std::optional<Format> formatNamed(const QString &name);

/** The zone an `rpz` export is, so a resolver loads it under that name. */
inline const QString rpzZone = QStringLiteral("quellnet.rpz");

struct Export {
    QByteArray bytes;
    QStringList names; ///< what went into `bytes`, in the order written
    QList<EnforcedList::LeftOut> leftOut;
};

Export render(Format format, const QStringList &matchDomains);

} // namespace BlocklistExport
