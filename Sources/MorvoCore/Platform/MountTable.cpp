#include "MorvoCore/Platform/MountTable.h"

#include <fstream>
#include <sstream>

namespace morvo {

namespace {

std::string unescapeOctal(std::string_view field) {
    std::string out;
    out.reserve(field.size());
    for (std::size_t i = 0; i < field.size(); ++i) {
        if (field[i] == '\\' && i + 3 < field.size()) {
            int value = 0;
            bool octal = true;
            for (std::size_t k = 1; k <= 3; ++k) {
                const char c = field[i + k];
                if (c < '0' || c > '7') octal = false;
                value = value * 8 + (c - '0');
            }
            if (octal && value < 256) {
                out.push_back(static_cast<char>(value));
                i += 3;
                continue;
            }
        }
        out.push_back(field[i]);
    }
    return out;
}

} // namespace

std::set<std::string> parseMountPoints(std::string_view mountinfo) {
    std::set<std::string> out;
    std::size_t position = 0;
    while (position < mountinfo.size()) {
        std::size_t end = mountinfo.find('\n', position);
        if (end == std::string_view::npos) end = mountinfo.size();
        std::string_view line = mountinfo.substr(position, end - position);
        position = end + 1;
        // id parent major:minor root mountpoint ...: the fifth field.
        std::size_t start = 0;
        for (int field = 0; field < 4 && start != std::string_view::npos; ++field) {
            start = line.find(' ', start);
            if (start != std::string_view::npos) ++start;
        }
        if (start == std::string_view::npos || start >= line.size()) continue;
        std::size_t stop = line.find(' ', start);
        out.insert(unescapeOctal(line.substr(start, stop == std::string_view::npos ? std::string_view::npos : stop - start)));
    }
    return out;
}

bool isMountRoot(const FileMetadata& m, const std::string& path, std::optional<std::set<std::string>>* cache) {
    if (m.mountRootKnown) return m.mountRoot;
    std::optional<std::set<std::string>> local;
    if (!cache) cache = &local;
    if (!*cache) {
        std::ifstream in("/proc/self/mountinfo");
        std::stringstream text;
        text << in.rdbuf();
        *cache = parseMountPoints(text.str());
    }
    return (*cache)->contains(path);
}

} // namespace morvo
