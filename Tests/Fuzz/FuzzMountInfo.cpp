// The mount points of a mount table (/proc/self/mountinfo). Any bytes give at most one point a
// line. A table written as the kernel writes it, with space, tab, newline and backslash in the
// points escaped as three octal digits, reads back as exactly its points, byte for byte.
#include "FuzzSupport.h"
#include "MorvoCore/Platform/MountTable.h"

#include <cstdint>
#include <set>
#include <string>
#include <string_view>

using namespace morvo;

namespace {

std::string kernelEscaped(std::string_view point) {
    std::string out;
    for (char c : point) {
        if (c == ' ' || c == '\t' || c == '\n' || c == '\\') {
            const auto v = static_cast<unsigned char>(c);
            out += '\\';
            out += static_cast<char>('0' + (v >> 6));
            out += static_cast<char>('0' + ((v >> 3) & 7));
            out += static_cast<char>('0' + (v & 7));
        } else {
            out += c;
        }
    }
    return out;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view input(reinterpret_cast<const char*>(data), size);
    std::size_t lines = 0;
    for (char c : input) lines += c == '\n';
    CHECK(parseMountPoints(input).size() <= lines + 1);

    // Points cut from the input at each NUL byte, each written as one line of a table.
    std::set<std::string> points;
    std::string table;
    int id = 20;
    for (std::size_t position = 0; position < input.size();) {
        std::size_t end = input.find('\0', position);
        if (end == std::string_view::npos) end = input.size();
        const std::string point(input.substr(position, end - position));
        position = end + 1;
        if (point.empty()) continue;  // the kernel never shows an empty point
        points.insert(point);
        table += std::to_string(id) + " 1 0:" + std::to_string(id) + " / " + kernelEscaped(point) +
                 " rw,relatime shared:1 - ext4 /dev/vda rw\n";
        ++id;
    }
    CHECK(parseMountPoints(table) == points);
    return 0;
}
