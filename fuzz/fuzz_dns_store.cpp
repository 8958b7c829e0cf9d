// Feeds arbitrary bytes to the DNS configuration file reader. Whatever it accepts must write
// back to a file that reads as the same configuration, byte for byte on the second pass.
#include "networkextension/DNSConfigurationStore.h"

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
    return 0;
}
