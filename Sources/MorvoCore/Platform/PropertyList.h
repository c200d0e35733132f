#pragma once
// Bounded reading of property lists (Info.plist, XML or binary) through libplist.

#include <cstdint>
#include <map>
#include <optional>
#include <string>

namespace morvo {

// The top-level string values of a property-list dictionary (other value types are left out).
struct PropertyListStrings {
    std::map<std::string, std::string> values;
    std::optional<std::string> string(const std::string& key) const {
        auto it = values.find(key);
        if (it == values.end()) return std::nullopt;
        return it->second;
    }
};

// Reads the dictionary at `path`: opened with O_NOFOLLOW|O_NONBLOCK, fstat must show a regular file
// of at most `maxBytes` bytes, at most maxBytes+1 bytes are read. Throws PosixError for an
// unreadable file (ELOOP for a link, EFBIG when too large, EINVAL when not a regular file) and
// PropertyListError when the bytes are not a property list with a dictionary at the top.
PropertyListStrings readPropertyListStrings(const std::string& path, std::int64_t maxBytes);

} // namespace morvo
