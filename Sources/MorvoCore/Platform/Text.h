#pragma once
// Unicode text operations (ICU). Inputs are UTF-8 where valid; invalid bytes are treated as
// U+FFFD for comparison only, never written back into a path.

#include <cstdint>
#include <string>
#include <string_view>

namespace morvo::text {

// Trims Unicode whitespace and newlines from both ends.
std::string trim(std::string_view s);
// Lower-cases A-Z only; every other byte stays.
std::string asciiLowercase(std::string_view s);
// Full Unicode lower-casing.
std::string lowercase(std::string_view s);
// NFD, combining marks dropped, case folded: the key for case- and diacritic-insensitive
// containment. Thread-safe.
std::string foldForSearch(std::string_view s);
// Case-insensitive containment (no diacritic folding), as a localised contains would do.
bool containsCaseInsensitive(std::string_view haystack, std::string_view needle);
// -1, 0, 1: the localised "standard" order (case-insensitive, digit runs by value).
int localizedStandardCompare(std::string_view a, std::string_view b);
// -1, 0, 1: case-insensitive compare (plain case fold).
int caseInsensitiveCompare(std::string_view a, std::string_view b);
// 250000 -> "250,000" in the user's locale.
std::string formatInteger(std::int64_t value);

} // namespace morvo::text

namespace morvo {
// Sums of bytes and counts saturate at the largest signed 64-bit value.
inline std::int64_t saturatingAdd(std::int64_t a, std::int64_t b) {
    std::int64_t r;
    if (__builtin_add_overflow(a, b, &r)) return b > 0 ? INT64_MAX : INT64_MIN;
    return r;
}
} // namespace morvo
