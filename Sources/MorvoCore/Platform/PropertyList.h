#pragma once
// Bounded reading of property lists (Info.plist, XML or binary).
//
// The bytes come from any bundle on disk, so they are parsed here rather than by a general
// library: the whole document is checked (well-formed XML or a consistent binary object table,
// nesting at most 512 levels, no cycles), work and memory stay linear in the input, and nothing
// but the top-level string values is kept. Any byte sequence ends in a value or a
// PropertyListError.
//
// Linear work holds for crafted input too: a binary object is checked once however many entries
// and object indices refer to it, and the strings read and copied into the result may total four
// times the input plus 1 MiB (a real list reads each string once); a list that needs more, by
// sharing long strings among many entries, is refused as not in the correct format. An XML
// document holds each string it yields, so its result is never larger than the input.

#include <cstdint>
#include <map>
#include <optional>
#include <stop_token>
#include <string>
#include <string_view>

namespace morvo {

// The top-level string values of a property-list dictionary (other value types are left out).
// Empty for a well-formed property list whose top level is not a dictionary with string keys:
// to callers that is a list without the value they ask for, not a format error.
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
// unreadable file (ELOOP for a link, EFBIG when too large, EINVAL when not a regular file),
// PropertyListError when the bytes are not a property list, and CancellationError when `stop` is
// requested (looked at before the parse and every few thousand objects or elements).
PropertyListStrings readPropertyListStrings(const std::string& path, std::int64_t maxBytes,
                                            std::stop_token stop = {});

// The same for bytes already in memory ("bplist00" first: binary, else XML in UTF-8). `path` only
// travels in the error.
PropertyListStrings parsePropertyListStrings(std::string_view bytes, const std::string& path = {},
                                             std::stop_token stop = {});

} // namespace morvo
