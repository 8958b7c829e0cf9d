// Feeds arbitrary input to the resolver list reader, once as UTF-8 and once as raw UTF-16 code
// units (which may hold unpaired surrogates), and checks that whatever reads is written back
// to a text that reads as the same list and is written the same way again.
#include "resolver/ResolverJSON.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>

namespace {

void check(const QString &text) {
    const auto list = resolverListFromRawValue(text);
    if (!list)
        return;
    const QString written = rawValue(*list);
    const auto readBack = resolverListFromRawValue(written);
    if (!readBack || *readBack != *list)
        std::abort();
    if (rawValue(*readBack) != written)
        std::abort();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
    check(QString::fromUtf8(reinterpret_cast<const char *>(data), qsizetype(size)));

    QString units(qsizetype(size / 2), Qt::Uninitialized);
    std::memcpy(units.data(), data, (size / 2) * sizeof(char16_t));
    check(units);
    return 0;
}
