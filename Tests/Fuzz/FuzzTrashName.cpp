// Trash names for any item name: the properties the mover relies on when it reserves a name.
#include "MorvoCore/Platform/TrashNaming.h"

#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

using namespace morvo;

#define CHECK(condition) \
    do {                  \
        if (!(condition)) std::abort(); \
    } while (0)

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
    if (size < 2) return 0;
    // Two bytes choose the attempt (1 to 65536); the rest is the item's name.
    const int attempt = 1 + (data[0] << 8 | data[1]);
    const std::string_view name(reinterpret_cast<const char*>(data + 2), size - 2);
    // The mover passes one path component: non-empty, neither "." nor "..", no "/" and no NUL.
    if (name.empty() || name == "." || name == ".." || name.find('/') != std::string_view::npos ||
        name.find('\0') != std::string_view::npos)
        return 0;

    const std::string candidate = trashCandidateName(name, attempt);
    CHECK(!candidate.empty());
    CHECK(candidate != "." && candidate != "..");
    CHECK(candidate.find('/') == std::string::npos);
    CHECK(candidate.find('\0') == std::string::npos);
    CHECK(candidate.size() <= kTrashNameLimit);
    if (validUtf8(name)) CHECK(validUtf8(candidate));
    if (attempt == 1 && name.size() <= kTrashNameLimit) CHECK(candidate == name);
    // Numbered tries never repeat a name. (The first, unnumbered try of a long name can equal the
    // second when the cut lands on ".2"; the reservation then fails once and the third try goes on.)
    if (attempt >= 2) CHECK(trashCandidateName(name, attempt + 1) != candidate);
    return 0;
}
