#include "MorvoCore/Platform/TrashNaming.h"

#include "MorvoCore/Platform/Path.h"

namespace morvo {

namespace {

bool isContinuation(unsigned char c) { return (c & 0xC0) == 0x80; }

// The length of the UTF-8 sequence that `lead` starts, 0 when it starts none.
std::size_t sequenceLength(unsigned char lead) {
    if (lead < 0x80) return 1;
    if (lead >= 0xC2 && lead <= 0xDF) return 2;
    if (lead >= 0xE0 && lead <= 0xEF) return 3;
    if (lead >= 0xF0 && lead <= 0xF4) return 4;
    return 0;
}

// At most `limit` bytes of `s`. A cut is moved back to the start of the UTF-8 sequence it would
// split; bytes that are not UTF-8 there are cut where the limit falls, so the result is empty only
// when `limit` is 0.
std::string_view cutBytes(std::string_view s, std::size_t limit) {
    if (s.size() <= limit) return s;
    std::size_t start = limit;
    while (start > 0 && limit - start < 3 && isContinuation(static_cast<unsigned char>(s[start]))) --start;
    if (start < limit && start > 0) {
        const std::size_t length = sequenceLength(static_cast<unsigned char>(s[start]));
        // A lead byte whose sequence would cross the limit: cut before it.
        if (length > 1 && start + length > limit) return s.substr(0, start);
    }
    return s.substr(0, limit);
}

} // namespace

std::string trashCandidateName(std::string_view name, int attempt) {
    if (attempt == 1 && name.size() <= kTrashNameLimit) return std::string(name);
    std::string_view extension = path::extension(name);
    std::string ext = extension.empty() ? std::string() : "." + std::string(extension);
    if (ext.size() > 32) ext.clear();
    std::string_view stem = name.substr(0, name.size() - ext.size());
    const std::string suffix = (attempt == 1 ? std::string() : "." + std::to_string(attempt)) + ext;
    std::string out(cutBytes(stem, kTrashNameLimit - suffix.size()));
    // The extension never covers a whole name, so the stem is only empty for an empty name.
    if (out.empty()) out = "_";
    return out + suffix;
}

std::string trashPercentEncode(std::string_view bytes) {
    static const char* hex = "0123456789ABCDEF";
    std::string out;
    out.reserve(bytes.size());
    for (unsigned char c : bytes) {
        const bool plain = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-' ||
                           c == '_' || c == '.' || c == '~' || c == '/';
        if (plain) {
            out.push_back(static_cast<char>(c));
        } else {
            out.push_back('%');
            out.push_back(hex[c >> 4]);
            out.push_back(hex[c & 15]);
        }
    }
    return out;
}

std::string trashInfoContent(std::string_view originalPath, std::string_view deletionDate) {
    return "[Trash Info]\nPath=" + trashPercentEncode(originalPath) + "\nDeletionDate=" + std::string(deletionDate) +
           "\n";
}

} // namespace morvo
