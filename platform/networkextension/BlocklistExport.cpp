#include "networkextension/BlocklistExport.h"

using namespace Qt::StringLiterals;

namespace BlocklistExport {

namespace {

constexpr std::pair<Format, const char *> formats[] = {
    {Format::rpz, "rpz"},         {Format::unbound, "unbound"}, {Format::dnsmasq, "dnsmasq"},
    {Format::adblock, "adblock"}, {Format::hosts, "hosts"},
};

// The owner `*.NAME.quellnet.rpz.` must fit in 255 octets on the wire: NAME's text, "*.",
// ".quellnet.rpz", the first label's length octet and the root. Longer names are valid DNS
// names, but no zone can hold their trigger and a resolver would refuse the whole file.
constexpr qsizetype rpzNameMax = 255 - 2 - 13 - 2;

QByteArray header(Format format, qsizetype count) {
    const char *comment = format == Format::adblock ? "!" : format == Format::rpz ? ";" : "#";
    QByteArray text = comment;
    text += " Quellnet blocklist: " + QByteArray::number(count) + (count == 1 ? " name" : " names");
    if (format == Format::hosts)
        text += ".\n# Exact names only: a hosts file cannot block the names under these.\n";
    else
        text += ", each blocking itself and every name under it.\n";
    return text;
}

QByteArray rpzZoneText(const QStringList &names) {
    QByteArray text = header(Format::rpz, names.size());
    text += "$TTL 300\n"
            "$ORIGIN " +
            rpzZone.toLatin1() +
            ".\n"
            "@ SOA localhost. root.localhost. 1 3600 600 86400 300\n"
            "@ NS localhost.\n";
    // Owners stay relative, so a name equal to (or under) the origin still becomes its own
    // trigger under the origin instead of the apex.
    for (const QString &name : names) {
        const QByteArray ascii = name.toLatin1();
        text += ascii + " CNAME .\n*." + ascii + " CNAME .\n";
    }
    return text;
}

} // namespace

QStringList formatNames() {
    QStringList names;
    for (const auto &[format, name] : formats)
        names.append(QString::fromLatin1(name));
    return names;
}

std::optional<Format> formatNamed(const QString &name) {
    for (const auto &[format, known] : formats)
        if (name == QLatin1StringView(known))
            return format;
    return std::nullopt;
}

Export render(Format format, const QStringList &matchDomains) {
    Export result;
    const EnforcedList::Names converted = EnforcedList::convert(matchDomains);
    result.leftOut = converted.leftOut;
    for (const QString &name : converted.names) {
        if (format == Format::rpz && name.size() > rpzNameMax)
            result.leftOut.append({name, u"too long for an RPZ zone"_s});
        else
            result.names.append(name);
    }
    if (format == Format::rpz) {
        result.bytes = rpzZoneText(result.names);
        return result;
    }
    result.bytes = header(format, result.names.size());
    if (format == Format::unbound)
        result.bytes += "server:\n";
    for (const QString &name : std::as_const(result.names)) {
        const QByteArray ascii = name.toLatin1();
        switch (format) {
        case Format::unbound:
            result.bytes += "    local-zone: \"" + ascii + ".\" always_nxdomain\n";
            break;
        case Format::dnsmasq:
            result.bytes += "address=/" + ascii + "/\n";
            break;
        case Format::adblock:
            result.bytes += "||" + ascii + "^\n";
            break;
        case Format::hosts:
            result.bytes += "0.0.0.0 " + ascii + '\n';
            break;
        case Format::rpz:
            break;
        }
    }
    return result;
}

} // namespace BlocklistExport
