// Any bytes: a value or PropertyListError, nothing else; what comes back is valid UTF-8.
#include "MorvoCore/Platform/PropertyList.h"
#include "MorvoCore/Platform/PropertyListError.h"

#include <cstdint>
#include <cstdlib>
#include <string_view>

namespace {

bool validUtf8(std::string_view s) {
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

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    try {
        const morvo::PropertyListStrings read = morvo::parsePropertyListStrings(bytes);
        for (const auto& [key, value] : read.values)
            if (!validUtf8(key) || !validUtf8(value)) std::abort();
        // The same bytes give the same answer.
        if (morvo::parsePropertyListStrings(bytes).values != read.values) std::abort();
    } catch (const morvo::PropertyListError&) {
    }
    return 0;
}
