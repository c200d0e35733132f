// The .trashinfo record for any original path: three lines, and a Path= value that decodes back
// to the path byte for byte.
#include "FuzzSupport.h"
#include "MorvoCore/Platform/TrashNaming.h"

#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

using namespace morvo;

namespace {

int hexValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return -1;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view original(reinterpret_cast<const char*>(data), size);
    if (original.find('\0') != std::string_view::npos) return 0;  // no path holds a NUL
    const std::string_view date = "2024-01-02T03:04:05";

    const std::string content = trashInfoContent(original, date);
    CHECK(!content.empty() && content.back() == '\n');
    std::string_view lines[3];
    std::size_t at = 0;
    for (auto& line : lines) {
        const auto end = content.find('\n', at);
        CHECK(end != std::string::npos);
        line = std::string_view(content).substr(at, end - at);
        at = end + 1;
    }
    CHECK(at == content.size());  // exactly three lines
    CHECK(lines[0] == "[Trash Info]");
    CHECK(lines[2] == std::string("DeletionDate=") + std::string(date));
    CHECK(lines[1].starts_with("Path="));

    std::string decoded;
    const std::string_view value = lines[1].substr(5);
    for (std::size_t i = 0; i < value.size(); ++i) {
        const char c = value[i];
        CHECK(c != '\r' && c != '\n' && c != '\0');
        if (c != '%') {
            decoded.push_back(c);
            continue;
        }
        CHECK(i + 2 < value.size());
        const int hi = hexValue(value[i + 1]), lo = hexValue(value[i + 2]);
        CHECK(hi >= 0 && lo >= 0);
        decoded.push_back(static_cast<char>(hi * 16 + lo));
        i += 2;
    }
    CHECK(decoded == original);
    return 0;
}
