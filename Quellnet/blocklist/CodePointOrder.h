#pragma once

#include <QStringView>

#include <algorithm>

namespace blocklist {

/** Ranks a UTF-16 unit so that unit order equals code-point order: surrogates (U+10000 and
    above) move past U+E000..U+FFFF instead of sorting among U+D800..U+DFFF. */
constexpr char32_t codePointRank(char16_t unit) {
    if (unit < 0xD800)
        return unit;
    return unit >= 0xE000 ? char32_t(unit) - 0x800 : char32_t(unit) + 0x2000;
}

/** Compares by Unicode code points (not UTF-16 units): <0, 0 or >0. */
inline int compareCodePoints(QStringView a, QStringView b) {
    const qsizetype n = std::min(a.size(), b.size());
    const char16_t *pa = a.utf16();
    const char16_t *pb = b.utf16();
    for (qsizetype i = 0; i < n; ++i) {
        if (pa[i] != pb[i])
            return codePointRank(pa[i]) < codePointRank(pb[i]) ? -1 : 1;
    }
    return a.size() == b.size() ? 0 : (a.size() < b.size() ? -1 : 1);
}

} // namespace blocklist
