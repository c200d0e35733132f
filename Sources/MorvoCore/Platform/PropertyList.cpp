#include "MorvoCore/Platform/PropertyList.h"

#include "MorvoCore/Platform/Errors.h"
#include "MorvoCore/Platform/PropertyListError.h"

#include <plist/plist.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <algorithm>
#include <limits>
#include <memory>
#include <vector>

namespace morvo {

namespace {

struct FdCloser {
    int fd;
    ~FdCloser() {
        if (fd >= 0) ::close(fd);
    }
};

struct PlistDeleter {
    void operator()(void* node) const { plist_free(static_cast<plist_t>(node)); }
};

// libplist's parsers recurse once per nesting level; a hostile file of a few megabytes could
// nest deep enough to exhaust the stack. Real Info.plists nest a handful of levels.
constexpr int kMaxNesting = 512;

// The nesting of XML elements under one way of reading the markup: whether quotes inside a tag
// protect a ">", and whether comments and CDATA sections are skipped. A closing tag lowers the
// depth only when it names the innermost open element.
int xmlDepth(std::string_view text, bool doubleQuotes, bool singleQuotes, bool skipComments) {
    std::vector<std::string_view> open;
    int deepest = 0;
    std::size_t i = 0;
    const std::size_t n = text.size();
    while (i < n) {
        if (text[i] != '<') {
            ++i;
            continue;
        }
        if (skipComments && text.substr(i, 4) == "<!--") {
            auto end = text.find("-->", i + 4);
            if (end == std::string_view::npos) break;
            i = end + 3;
            continue;
        }
        if (skipComments && text.substr(i, 9) == "<![CDATA[") {
            auto end = text.find("]]>", i + 9);
            if (end == std::string_view::npos) break;
            i = end + 3;
            continue;
        }
        // The end of the tag, stepping over quoted attribute values when they protect ">".
        std::size_t j = i + 1;
        char quote = 0;
        for (; j < n; ++j) {
            const char c = text[j];
            if (quote) {
                if (c == quote) quote = 0;
            } else if ((c == '"' && doubleQuotes) || (c == '\'' && singleQuotes)) {
                quote = c;
            } else if (c == '>') {
                break;
            }
        }
        if (j >= n) break;
        std::string_view tag = text.substr(i + 1, j - i - 1);  // between "<" and ">"
        i = j + 1;
        if (tag.empty() || tag.front() == '?' || tag.front() == '!') continue;
        auto nameOf = [](std::string_view t) {
            std::size_t k = 0;
            while (k < t.size() && t[k] != ' ' && t[k] != '\t' && t[k] != '\n' && t[k] != '\r' && t[k] != '/') ++k;
            return t.substr(0, k);
        };
        if (tag.front() == '/') {
            if (!open.empty() && nameOf(tag.substr(1)) == open.back()) open.pop_back();
            continue;
        }
        if (tag.back() == '/') continue;  // self-closing
        open.push_back(nameOf(tag));
        deepest = std::max(deepest, static_cast<int>(open.size()));
        if (deepest > kMaxNesting) return deepest;
    }
    return deepest;
}

// Rejects XML nested deeper than any real Info.plist could need, under every way the parser
// might read the markup, so that no trick of quoting or commenting hides the depth.
bool xmlNestingIsSane(const std::vector<char>& data, std::size_t length) {
    const std::string_view text(data.data(), length);
    for (bool doubleQuotes : {false, true})
        for (bool singleQuotes : {false, true})
            for (bool skipComments : {false, true})
                if (xmlDepth(text, doubleQuotes, singleQuotes, skipComments) > kMaxNesting) return false;
    return true;
}

// The binary format links objects by index, so nesting (and cycles) can be built cheaply; walk the
// container graph without recursion and refuse anything too deep, cyclic or out of bounds before
// the parser sees it.
bool binaryNestingIsSane(const std::vector<char>& data, std::size_t length) {
    const auto* bytes = reinterpret_cast<const unsigned char*>(data.data());
    auto readUInt = [&](std::size_t at, unsigned width, std::uint64_t& out) {
        if (width == 0 || width > 8 || at > length || width > length - at) return false;
        out = 0;
        for (unsigned i = 0; i < width; ++i) out = (out << 8) | bytes[at + i];
        return true;
    };
    constexpr std::size_t kTrailer = 32;
    if (length < 8 + kTrailer) return false;
    const std::size_t trailer = length - kTrailer;
    const unsigned offsetSize = bytes[trailer + 6];
    const unsigned refSize = bytes[trailer + 7];
    std::uint64_t objectCount = 0, topObject = 0, tableOffset = 0;
    if (!readUInt(trailer + 8, 8, objectCount) || !readUInt(trailer + 16, 8, topObject) ||
        !readUInt(trailer + 24, 8, tableOffset))
        return false;
    if (offsetSize == 0 || offsetSize > 8 || refSize == 0 || refSize > 8) return false;
    if (objectCount == 0 || topObject >= objectCount || tableOffset < 8 || tableOffset > trailer) return false;
    if (objectCount > (trailer - tableOffset) / offsetSize) return false;

    // For a container: where its references start and how many there are.
    auto children = [&](std::uint64_t object, std::size_t& refsAt, std::uint64_t& refCount) {
        refCount = 0;
        std::uint64_t offset = 0;
        if (!readUInt(static_cast<std::size_t>(tableOffset + object * offsetSize), offsetSize, offset)) return false;
        if (offset < 8 || offset >= tableOffset) return false;
        const unsigned marker = bytes[offset];
        const unsigned type = marker >> 4;
        if (type != 0xA && type != 0xC && type != 0xD) return true;  // not a container
        std::uint64_t count = marker & 0xF;
        std::size_t at = static_cast<std::size_t>(offset) + 1;
        if (count == 0xF) {
            if (at >= length || (bytes[at] >> 4) != 0x1) return false;
            const unsigned width = 1u << (bytes[at] & 0xF);
            if (!readUInt(at + 1, width, count)) return false;
            at += 1 + width;
        }
        if (type == 0xD) {
            if (count > std::numeric_limits<std::uint64_t>::max() / 2) return false;
            count *= 2;
        }
        if (count > (length - std::min<std::size_t>(at, length)) / refSize) return false;
        refsAt = at;
        refCount = count;
        return true;
    };

    const auto n = static_cast<std::size_t>(objectCount);
    std::vector<std::uint8_t> state(n, 0);   // 0 new, 1 on the current path, 2 done
    std::vector<std::uint16_t> depth(n, 0);  // height of a finished object's subtree
    struct Frame {
        std::uint64_t object;
        std::size_t refsAt;
        std::uint64_t refCount;
        std::uint64_t next;
        int height;
    };
    std::vector<Frame> stack;
    auto push = [&](std::uint64_t object) {
        Frame f{object, 0, 0, 0, 1};
        if (!children(object, f.refsAt, f.refCount)) return false;
        state[object] = 1;
        stack.push_back(f);
        return static_cast<int>(stack.size()) <= kMaxNesting;
    };
    if (!push(topObject)) return false;
    while (!stack.empty()) {
        Frame& top = stack.back();
        if (top.next == top.refCount) {
            const int height = top.height;
            state[top.object] = 2;
            depth[top.object] = static_cast<std::uint16_t>(height);
            stack.pop_back();
            if (!stack.empty()) stack.back().height = std::max(stack.back().height, height + 1);
            continue;
        }
        std::uint64_t child = 0;
        if (!readUInt(top.refsAt + static_cast<std::size_t>(top.next * refSize), refSize, child)) return false;
        ++top.next;
        if (child >= objectCount) return false;
        if (state[child] == 1) return false;  // a cycle
        if (state[child] == 2) {
            if (static_cast<int>(stack.size()) + depth[child] > kMaxNesting) return false;
            top.height = std::max(top.height, depth[child] + 1);
            continue;
        }
        if (!push(child)) return false;
    }
    return true;
}

std::vector<char> readBounded(const std::string& path, std::int64_t maxBytes, std::size_t& length) {
    if (maxBytes < 0) maxBytes = 0;
    // libplist takes a 32-bit length.
    const std::int64_t hardCap = std::numeric_limits<std::uint32_t>::max() - 1;
    if (maxBytes > hardCap) maxBytes = hardCap;

    int fd = ::open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
    if (fd < 0) throw PosixError(errno, path);
    FdCloser closer{fd};

    struct stat st {};
    if (::fstat(fd, &st) != 0) throw PosixError(errno, path);
    if (!S_ISREG(st.st_mode)) throw PosixError(EINVAL, path);
    if (st.st_size < 0 || st.st_size > maxBytes) throw PosixError(EFBIG, path);

    // Read one byte beyond the limit so that a file that grew after fstat is noticed; one more
    // byte keeps the buffer NUL-terminated for the parser.
    const std::size_t capacity = static_cast<std::size_t>(maxBytes) + 1;
    std::vector<char> buffer(capacity + 1, '\0');
    length = 0;
    while (length < capacity) {
        ssize_t n = ::read(fd, buffer.data() + length, capacity - length);
        if (n < 0) {
            if (errno == EINTR) continue;
            throw PosixError(errno, path);
        }
        if (n == 0) break;
        length += static_cast<std::size_t>(n);
    }
    if (length > static_cast<std::size_t>(maxBytes)) throw PosixError(EFBIG, path);
    buffer[length] = '\0';
    return buffer;
}

} // namespace

PropertyListStrings readPropertyListStrings(const std::string& path, std::int64_t maxBytes) {
    std::size_t length = 0;
    std::vector<char> data = readBounded(path, maxBytes, length);
    if (length == 0) throw PropertyListError(path);

    const auto length32 = static_cast<std::uint32_t>(length);
    const bool binary = plist_is_binary(data.data(), length32) != 0;
    if (binary ? !binaryNestingIsSane(data, length) : !xmlNestingIsSane(data, length)) throw PropertyListError(path);

    plist_t raw = nullptr;
    if (binary)
        plist_from_bin(data.data(), length32, &raw);
    else
        plist_from_xml(data.data(), length32, &raw);
    std::unique_ptr<void, PlistDeleter> root(raw);
    if (!raw || plist_get_node_type(raw) != PLIST_DICT) throw PropertyListError(path);

    PropertyListStrings result;
    plist_dict_iter iter = nullptr;
    plist_dict_new_iter(raw, &iter);
    if (!iter) throw PropertyListError(path);
    std::unique_ptr<void, decltype(&std::free)> iterOwner(iter, &std::free);
    for (;;) {
        char* key = nullptr;
        plist_t value = nullptr;
        plist_dict_next_item(raw, iter, &key, &value);
        std::unique_ptr<char, decltype(&std::free)> keyOwner(key, &std::free);
        if (!value) break;
        if (!key || plist_get_node_type(value) != PLIST_STRING) continue;
        std::uint64_t valueLength = 0;
        const char* text = plist_get_string_ptr(value, &valueLength);
        if (!text) continue;
        result.values.emplace(std::string(key), std::string(text, static_cast<std::size_t>(valueLength)));
    }
    return result;
}

} // namespace morvo
