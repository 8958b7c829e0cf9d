#include "CommandText.h"
#include "DeviceSettings.h"

#include "foundation/SafeFile.h"
#include "networkextension/BlocklistExport.h"
#include "networkextension/DNSConfigurationStore.h"
#include "networkextension/DeviceDNSSettings.h"

using namespace Qt::StringLiterals;
using namespace CommandText;

int DeviceSettings::exportList(const QStringList &arguments) {
    if (arguments.size() < 2 || arguments.size() > 3 || arguments.first().isEmpty())
        return usageError(tr("dns export needs APP, FORMAT and optionally FILE"));
    const auto format = BlocklistExport::formatNamed(arguments.at(1));
    if (!format)
        return usageError(
            tr("unknown export format \"%1\"; use one of %2")
                .arg(printable(arguments.at(1)), BlocklistExport::formatNames().join(u", "_s)));
    const QString file = arguments.value(2);
    if (arguments.size() == 3 && file.isEmpty())
        return usageError(tr("dns export needs a FILE name, or none for standard output"));

    const DNSConfigurationStore store;
    if (!store.isAvailable())
        return fail(store.unavailableReason());
    QString problem;
    const auto configuration = DeviceDNSSettings(store).find(arguments.first(), &problem);
    if (!configuration)
        return fail(problem);
    const NEDNSSettings &settings = *configuration->settings;
    // Only a dead end blocks its match domains; any other configuration sends them somewhere.
    if (!EnforcedList::isDeadEnd(settings))
        return fail(tr("the DNS configuration of %1 is not a dead end (every server 0.0.0.0 or "
                       "::), so its match domains are not blocked names")
                        .arg(label(*configuration)));
    if (!settings.matchDomains())
        return fail(tr("the DNS configuration of %1 has no match domains, so it would block "
                       "every name; nothing to export")
                        .arg(label(*configuration)));

    const auto exported = BlocklistExport::render(*format, *settings.matchDomains());
    if (!exported.leftOut.isEmpty())
        warn(tr("left out of the export: ") + leftOutText(exported.leftOut));
    if (file.isEmpty()) {
        // ASCII only, so the stream writes exactly these bytes.
        m_out << QString::fromLatin1(exported.bytes);
        m_out.flush();
        if (m_out.status() != QTextStream::Ok)
            return fail(tr("cannot write the export to standard output"));
        return success;
    }
    QString error;
    if (!SafeFile::write(file, exported.bytes, &error))
        return fail(tr("cannot write the export: %1").arg(error));
    m_out << tr("Wrote %1 of %2 to %3 (%4).\n")
                 .arg(namesText(exported.names.size()), label(*configuration), printable(file),
                      arguments.at(1));
    return success;
}
