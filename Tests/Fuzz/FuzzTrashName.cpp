// Trash names for any item name: the properties the mover relies on when it reserves a name.
#include "FuzzSupport.h"
#include "MorvoCore/Platform/TrashNaming.h"

#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

using namespace morvo;

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
