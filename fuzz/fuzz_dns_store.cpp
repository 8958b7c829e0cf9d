// Feeds arbitrary bytes to the DNS configuration file reader. Whatever it accepts must write
// back to a file that reads as the same configuration, byte for byte on the second pass, and its
// match domains must convert to names the enforced list can hold: each a valid DNS name, in byte
// order, no repeats, every other one reported as left out.
#include "networkextension/DNSConfigurationStore.h"
#include "networkextension/EnforcedList.h"
#include "nss/quellnet_enforced_list.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    const QByteArray input =
        QByteArray::fromRawData(reinterpret_cast<const char *>(data), qsizetype(size));
    QString error;
    const auto parsed = DNSConfigurationStore::parse(input, &error);
    if (!parsed) {
        if (error.isEmpty())
            std::abort(); // a rejection always says why
        return 0;
    }
    if (!parsed->settings || parsed->identifier.isEmpty())
        std::abort();
    const QByteArray written = DNSConfigurationStore::serialize(*parsed);
    const auto reread = DNSConfigurationStore::parse(written);
    if (!reread || !DNSConfigurationStore::sameContent(*parsed, *reread) ||
        reread->identifier != parsed->identifier || reread->enabled != parsed->enabled ||
        DNSConfigurationStore::serialize(*reread) != written)
        std::abort();

    const QStringList domains = parsed->settings->matchDomains().value_or(QStringList());
    const auto converted = EnforcedList::convert(domains);
    if (converted.names.size() + converted.leftOut.size() > domains.size() ||
        converted.leftOut.size() > domains.size())
        std::abort();
    for (qsizetype i = 0; i < converted.names.size(); ++i) {
        const QByteArray name = converted.names[i].toLatin1();
        if (!quellnet_valid_name(name.constData(), size_t(name.size())) ||
            (i > 0 && !(converted.names[i - 1] < converted.names[i])))
            std::abort();
    }
    return 0;
}
