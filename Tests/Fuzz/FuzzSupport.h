#pragma once
// What the fuzz targets share: a check that aborts (so that libFuzzer records the input) and a
// strict UTF-8 test written apart from the code under test.

#include <cstdint>
#include <cstdlib>
#include <string_view>

#define CHECK(condition)                \
    do {                                \
        if (!(condition)) std::abort(); \
    } while (0)

// Shortest-form UTF-8 without surrogates or code points above U+10FFFF.
inline bool validUtf8(std::string_view s) {
    std::size_t i = 0;
    while (i < s.size()) {
        const auto c = static_cast<unsigned char>(s[i]);
        std::size_t extra = c < 0x80 ? 0 : c >= 0xC2 && c <= 0xDF ? 1 : c >= 0xE0 && c <= 0xEF ? 2 : c >= 0xF0 && c <= 0xF4 ? 3 : 9;
        if (extra == 9 || s.size() - i - 1 < extra) return false;
        std::uint32_t cp = extra == 0 ? c : c & (0x3F >> extra);
        for (std::size_t k = 1; k <= extra; ++k) {
            const auto d = static_cast<unsigned char>(s[i + k]);
            if ((d & 0xC0) != 0x80) return false;
            cp = cp << 6 | (d & 0x3F);
        }
        const std::uint32_t min[] = {0, 0x80, 0x800, 0x10000};
        if (cp < min[extra] || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return false;
        i += extra + 1;
    }
    return true;
}
