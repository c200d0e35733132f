#include "MorvoCore/Platform/PropertyList.h"

#include "MorvoCore/Platform/Errors.h"
#include "MorvoCore/Platform/PropertyListError.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <bit>
#include <cerrno>
#include <cstring>
#include <unordered_map>
#include <vector>

namespace morvo {

namespace {

// Real Info.plists nest a handful of levels; deeper input is refused rather than walked.
constexpr std::size_t kMaxNesting = 512;

// Raised inside the parsers; the public functions turn it into PropertyListError.
struct Malformed {};
[[noreturn]] void malformed() { throw Malformed{}; }

void appendUtf8(std::string& out, std::uint32_t cp) {
    if (cp < 0x80) {
        out.push_back(static_cast<char>(cp));
    } else if (cp < 0x800) {
        out.push_back(static_cast<char>(0xC0 | (cp >> 6)));
        out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else if (cp < 0x10000) {
        out.push_back(static_cast<char>(0xE0 | (cp >> 12)));
        out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else {
        out.push_back(static_cast<char>(0xF0 | (cp >> 18)));
        out.push_back(static_cast<char>(0x80 | ((cp >> 12) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    }
}

bool isValidUtf8(std::string_view s) {
    const auto* p = reinterpret_cast<const unsigned char*>(s.data());
    const std::size_t n = s.size();
    std::size_t i = 0;
    while (i < n) {
        const unsigned c = p[i];
        if (c < 0x80) {
            ++i;
            continue;
        }
        std::size_t extra;
        std::uint32_t cp, min;
        if (c >= 0xC2 && c <= 0xDF) extra = 1, cp = c & 0x1F, min = 0x80;
        else if (c >= 0xE0 && c <= 0xEF) extra = 2, cp = c & 0x0F, min = 0x800;
        else if (c >= 0xF0 && c <= 0xF4) extra = 3, cp = c & 0x07, min = 0x10000;
        else return false;
        if (n - i - 1 < extra) return false;
        for (std::size_t k = 1; k <= extra; ++k) {
            const unsigned d = p[i + k];
            if ((d & 0xC0) != 0x80) return false;
            cp = (cp << 6) | (d & 0x3F);
        }
        if (cp < min || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return false;
        i += extra + 1;
    }
    return true;
}

// Where the bytes of 0x80 and above lie, so that checking an ASCII string costs the same however
// long it is and however many strings share its bytes: one bit per byte, and for each 64-byte block
// the first such byte at or after its start.
class HighBytes {
public:
    HighBytes() = default;
    HighBytes(const unsigned char* b, std::size_t n) : bits_(n / 64 + 2, 0), next_(bits_.size(), n) {
        for (std::size_t i = 0; i < n; ++i)
            if (b[i] >= 0x80) bits_[i / 64] |= std::uint64_t{1} << (i % 64);
        for (std::size_t k = bits_.size() - 1; k-- > 0;)
            next_[k] = bits_[k] ? k * 64 + static_cast<std::size_t>(std::countr_zero(bits_[k])) : next_[k + 1];
    }
    // Whether [from, to) holds such a byte; `to` is at most the length given.
    bool any(std::size_t from, std::size_t to) const {
        if (from >= to) return false;
        const std::uint64_t rest = bits_[from / 64] >> (from % 64);
        const std::size_t first = rest ? from + static_cast<std::size_t>(std::countr_zero(rest)) : next_[from / 64 + 1];
        return first < to;
    }

private:
    std::vector<std::uint64_t> bits_;
    std::vector<std::size_t> next_;
};

// --- Binary ("bplist00"): a header, objects, an offset table and a 32-byte trailer. ---
//
// Objects are told apart by where they lie, not by their index: several indices may name one
// offset, and a crafted list refers to one long string from every entry. Each object is checked
// once however often it is referred to, and the strings read and copied into the result are
// counted against a budget proportional to the input.

class BinaryReader {
public:
    BinaryReader(std::string_view bytes, const std::stop_token& stop)
        : b_(reinterpret_cast<const unsigned char*>(bytes.data())),
          n_(bytes.size()),
          stop_(stop),
          budget_(kOutputPerInputByte * bytes.size() + kOutputAllowance) {}

    PropertyListStrings read() {
        checkStop();
        readTrailer();
        high_ = HighBytes(b_, table_);  // objects lie before the offset table
        checkGraph();
        return topLevelStrings();
    }

private:
    // The strings read and copied into the result may total this many bytes per input byte, plus
    // the allowance: far beyond any real list, which reads each string once and copies it once.
    static constexpr std::size_t kOutputPerInputByte = 4;
    static constexpr std::size_t kOutputAllowance = 1 << 20;
    // The stop token is looked at once per this many steps of a loop.
    static constexpr std::uint64_t kStopInterval = 4096;

    struct Object {
        unsigned type = 0;
        std::size_t body = 0;     // first byte after the marker and any count
        std::uint64_t count = 0;  // strings, data, containers: their length (a dictionary: pairs)
    };

    void checkStop() const {
        if (stop_.stop_requested()) throw CancellationError();
    }

    void spend(std::uint64_t bytes) {
        if (bytes > budget_) malformed();
        budget_ -= static_cast<std::size_t>(bytes);
    }

    std::uint64_t be(std::size_t at, unsigned width) const {
        std::uint64_t v = 0;
        for (unsigned k = 0; k < width; ++k) v = (v << 8) | b_[at + k];
        return v;
    }

    void readTrailer() {
        constexpr std::size_t kTrailer = 32;
        if (n_ < 8 + 1 + kTrailer) malformed();
        const std::size_t trailer = n_ - kTrailer;
        offsetSize_ = b_[trailer + 6];
        refSize_ = b_[trailer + 7];
        if (offsetSize_ < 1 || offsetSize_ > 8 || refSize_ < 1 || refSize_ > 8) malformed();
        count_ = be(trailer + 8, 8);
        top_ = be(trailer + 16, 8);
        const std::uint64_t table = be(trailer + 24, 8);
        if (table < 9 || table > trailer) malformed();
        table_ = static_cast<std::size_t>(table);
        if (count_ == 0 || top_ >= count_ || count_ > (trailer - table_) / offsetSize_) malformed();
    }

    // Where object `index` lies; always before the offset table.
    std::size_t offsetOf(std::uint64_t index) const {
        const std::uint64_t offset = be(table_ + static_cast<std::size_t>(index) * offsetSize_, offsetSize_);
        if (offset < 8 || offset >= table_) malformed();
        return static_cast<std::size_t>(offset);
    }

    // Reads and bounds-checks the object at `offset`; its contents lie before the offset table.
    Object object(std::size_t offset) const {
        std::size_t p = offset;
        const unsigned marker = b_[p++];
        const unsigned info = marker & 0xF;
        Object o;
        o.type = marker >> 4;
        auto length = [&]() -> std::uint64_t {
            if (info != 0xF) return info;
            if (p >= table_ || (b_[p] >> 4) != 0x1 || (b_[p] & 0xF) > 3) malformed();
            const unsigned width = 1u << (b_[p] & 0xF);
            if (width > table_ - p - 1) malformed();
            const std::uint64_t v = be(p + 1, width);
            p += 1 + width;
            return v;
        };
        auto need = [&](std::uint64_t units, std::uint64_t unitSize) {
            if (units > (table_ - p) / unitSize) malformed();
        };
        switch (o.type) {
        case 0x0:  // only true and false are property-list values
            if (info != 0x8 && info != 0x9) malformed();
            break;
        case 0x1:  // integer of 2^info bytes
            if (info > 4) malformed();
            need(1u << info, 1);
            break;
        case 0x2:  // real of 4 or 8 bytes
            if (info != 2 && info != 3) malformed();
            need(1u << info, 1);
            break;
        case 0x3:  // date
            if (info != 3) malformed();
            need(8, 1);
            break;
        case 0x4:  // data
        case 0x5:  // ASCII string
            o.count = length();
            need(o.count, 1);
            break;
        case 0x6:  // UTF-16 string, big-endian units
            o.count = length();
            need(o.count, 2);
            break;
        case 0x8:  // UID
            need(info + 1, 1);
            break;
        case 0xA:  // array
        case 0xC:  // set
            o.count = length();
            need(o.count, refSize_);
            break;
        case 0xD:  // dictionary: keys, then values
            o.count = length();
            need(o.count, 2 * refSize_);
            break;
        default: malformed();
        }
        o.body = p;
        if (o.type == 0x5 && high_.any(p, p + static_cast<std::size_t>(o.count))) malformed();
        return o;
    }

    static bool isContainer(const Object& o) { return o.type == 0xA || o.type == 0xC || o.type == 0xD; }
    static std::uint64_t refCount(const Object& o) { return o.type == 0xD ? 2 * o.count : o.count; }
    static bool isString(unsigned type) { return type == 0x5 || type == 0x6; }

    std::uint64_t ref(const Object& o, std::uint64_t k) const {
        const std::uint64_t r = be(o.body + static_cast<std::size_t>(k) * refSize_, refSize_);
        if (r >= count_) malformed();
        return r;
    }

    // Every object reachable from the top is checked once; a reference back into the current
    // path is a cycle, and no path may be longer than kMaxNesting. Shared objects are allowed,
    // so each object remembers the height of what lies below it.
    void checkGraph() const {
        constexpr std::uint16_t kUnseen = 0, kOnPath = 0xFFFF;
        std::vector<std::uint16_t> mark(table_, kUnseen);  // by offset: kUnseen, kOnPath or the height
        struct Frame {
            std::size_t offset;
            Object object;
            std::uint64_t next;
            std::size_t height;
        };
        std::vector<Frame> stack;
        auto visit = [&](std::size_t offset) {
            const Object o = object(offset);
            if (stack.size() + 1 > kMaxNesting) malformed();
            if (isContainer(o)) {
                mark[offset] = kOnPath;
                stack.push_back({offset, o, 0, 1});
            } else {
                mark[offset] = 1;
                if (!stack.empty()) stack.back().height = std::max<std::size_t>(stack.back().height, 2);
            }
        };
        visit(offsetOf(top_));
        for (std::uint64_t step = 1; !stack.empty(); ++step) {
            if (step % kStopInterval == 0) checkStop();
            Frame& f = stack.back();
            if (f.next == refCount(f.object)) {
                const std::size_t h = f.height;
                mark[f.offset] = static_cast<std::uint16_t>(h);
                stack.pop_back();
                if (!stack.empty()) stack.back().height = std::max(stack.back().height, h + 1);
                continue;
            }
            const std::size_t child = offsetOf(ref(f.object, f.next++));
            if (mark[child] == kOnPath) malformed();
            if (mark[child] != kUnseen) {
                if (stack.size() + mark[child] > kMaxNesting) malformed();
                f.height = std::max<std::size_t>(f.height, mark[child] + 1u);
                continue;
            }
            visit(child);
        }
    }

    std::string text(const Object& o) {
        spend(o.type == 0x5 ? o.count : 2 * o.count);
        if (o.type == 0x5) return std::string(reinterpret_cast<const char*>(b_ + o.body), static_cast<std::size_t>(o.count));
        std::string out;
        out.reserve(static_cast<std::size_t>(o.count));
        for (std::uint64_t k = 0; k < o.count; ++k) {
            std::uint32_t u = static_cast<std::uint32_t>(be(o.body + 2 * static_cast<std::size_t>(k), 2));
            if (u >= 0xD800 && u <= 0xDBFF && k + 1 < o.count) {
                const auto low = static_cast<std::uint32_t>(be(o.body + 2 * static_cast<std::size_t>(k + 1), 2));
                if (low >= 0xDC00 && low <= 0xDFFF) {
                    appendUtf8(out, 0x10000 + ((u - 0xD800) << 10) + (low - 0xDC00));
                    ++k;
                    continue;
                }
            }
            if (u >= 0xD800 && u <= 0xDFFF) u = 0xFFFD;  // a lone surrogate has no UTF-8 form
            appendUtf8(out, u);
        }
        return out;
    }

    // Every object is checked by now, so only the entries that decide the result are read again.
    PropertyListStrings topLevelStrings() {
        const Object root = object(offsetOf(top_));
        if (root.type != 0xD) return {};
        // A repeated key: the later entry wins, as in a dictionary built entry by entry. So of the
        // entries whose keys are one object only the last counts; keys of equal text in different
        // objects meet in the map.
        std::vector<bool> seen(table_);
        std::vector<std::uint64_t> deciding;  // from the last entry to the first
        for (std::uint64_t k = root.count; k-- > 0;) {
            if (k % kStopInterval == 0) checkStop();
            const std::size_t key = offsetOf(ref(root, k));
            if (!isString(b_[key] >> 4)) return {};  // not a dictionary with string keys
            if (!seen[key]) {
                seen[key] = true;
                deciding.push_back(k);
            }
        }
        PropertyListStrings result;
        std::unordered_map<std::size_t, std::string> values;  // by offset, each read once
        std::uint64_t step = 0;
        for (auto k = deciding.rbegin(); k != deciding.rend(); ++k) {
            if (++step % kStopInterval == 0) checkStop();
            std::string key = text(object(offsetOf(ref(root, *k))));
            const std::size_t at = offsetOf(ref(root, root.count + *k));
            const Object value = object(at);
            if (!isString(value.type)) {
                result.values.erase(key);
                continue;
            }
            auto [known, fresh] = values.try_emplace(at);
            if (fresh) known->second = text(value);
            spend(known->second.size());
            result.values.insert_or_assign(std::move(key), known->second);
        }
        return result;
    }

    const unsigned char* b_;
    std::size_t n_;
    const std::stop_token& stop_;
    std::size_t budget_;
    HighBytes high_;
    unsigned offsetSize_ = 0, refSize_ = 0;
    std::uint64_t count_ = 0, top_ = 0;
    std::size_t table_ = 0;
};

// --- XML: the plist document type, in UTF-8, with the predefined and numeric entities only. ---

bool isSpace(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r'; }

std::string_view trimmed(std::string_view s) {
    while (!s.empty() && isSpace(s.front())) s.remove_prefix(1);
    while (!s.empty() && isSpace(s.back())) s.remove_suffix(1);
    return s;
}

bool isDigit(char c) { return c >= '0' && c <= '9'; }
bool isHexDigit(char c) { return isDigit(c) || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F'); }

bool validInteger(std::string_view s) {
    s = trimmed(s);
    if (!s.empty() && (s.front() == '+' || s.front() == '-')) s.remove_prefix(1);
    if (s.size() > 2 && s[0] == '0' && (s[1] == 'x' || s[1] == 'X'))
        return std::all_of(s.begin() + 2, s.end(), isHexDigit);
    return !s.empty() && std::all_of(s.begin(), s.end(), isDigit);
}

bool validReal(std::string_view s) {
    s = trimmed(s);
    if (!s.empty() && (s.front() == '+' || s.front() == '-')) s.remove_prefix(1);
    std::string lower(s);
    for (char& c : lower) c = static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
    if (lower == "nan" || lower == "inf" || lower == "infinity") return true;
    std::size_t i = 0, digits = 0;
    while (i < s.size() && isDigit(s[i])) ++i, ++digits;
    if (i < s.size() && s[i] == '.') {
        ++i;
        while (i < s.size() && isDigit(s[i])) ++i, ++digits;
    }
    if (digits == 0) return false;
    if (i < s.size() && (s[i] == 'e' || s[i] == 'E')) {
        ++i;
        if (i < s.size() && (s[i] == '+' || s[i] == '-')) ++i;
        const std::size_t start = i;
        while (i < s.size() && isDigit(s[i])) ++i;
        if (i == start) return false;
    }
    return i == s.size();
}

bool validDate(std::string_view s) {
    s = trimmed(s);
    static constexpr std::string_view pattern = "dddd-dd-ddTdd:dd:ddZ";
    if (s.size() != pattern.size()) return false;
    for (std::size_t i = 0; i < s.size(); ++i)
        if (pattern[i] == 'd' ? !isDigit(s[i]) : s[i] != pattern[i]) return false;
    return true;
}

bool validData(std::string_view s) {
    return std::all_of(s.begin(), s.end(), [](char c) {
        return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || isDigit(c) || c == '+' || c == '/' ||
               c == '=' || isSpace(c);
    });
}

class XmlReader {
public:
    XmlReader(std::string_view text, const std::stop_token& stop) : s_(text), stop_(stop) {}

    PropertyListStrings read() {
        checkStop();
        if (!isValidUtf8(s_)) malformed();
        if (startsWith("\xEF\xBB\xBF")) i_ += 3;
        skipMisc();
        if (startsWith("<!DOCTYPE")) {
            skipDoctype();
            skipMisc();
        }
        if (atEnd() || s_[i_] != '<') malformed();
        const Tag first = startTag();
        if (first.name == "plist") {
            if (first.empty) malformed();
            stack_.push_back({Kind::plist});
        } else {
            value(first);
        }
        for (std::uint64_t step = 1; !stack_.empty(); ++step) {
            if (step % kStopInterval == 0) checkStop();
            skipMisc();
            if (atEnd() || s_[i_] != '<') malformed();
            if (startsWith("</")) {
                close();
                continue;
            }
            const Tag tag = startTag();
            Frame& f = stack_.back();
            if (f.kind == Kind::dict && !f.haveKey) {
                if (tag.name != "key") malformed();
                std::string key = tag.empty ? std::string() : content("key");
                f.haveKey = true;
                if (inRootDictionary()) key_ = std::move(key);
                continue;
            }
            if (f.kind == Kind::plist && f.values == 1) malformed();
            value(tag);
        }
        skipMisc();
        if (!atEnd()) malformed();
        return std::move(result_);
    }

private:
    // The stop token is looked at once per this many elements.
    static constexpr std::uint64_t kStopInterval = 4096;

    enum class Kind { plist, array, dict };
    struct Frame {
        Kind kind;
        bool haveKey = false;
        std::size_t values = 0;
    };
    struct Tag {
        std::string_view name;
        bool empty = false;
    };

    void checkStop() const {
        if (stop_.stop_requested()) throw CancellationError();
    }
    bool atEnd() const { return i_ >= s_.size(); }
    bool startsWith(std::string_view t) const { return s_.substr(i_).starts_with(t); }
    void skipSpace() {
        while (!atEnd() && isSpace(s_[i_])) ++i_;
    }
    void skipPast(std::string_view terminator) {
        const auto end = s_.find(terminator, i_);
        if (end == std::string_view::npos) malformed();
        i_ = end + terminator.size();
    }
    // White space, comments and processing instructions.
    void skipMisc() {
        for (;;) {
            skipSpace();
            if (startsWith("<!--")) {
                i_ += 4;
                skipPast("-->");
            } else if (startsWith("<?")) {
                i_ += 2;
                skipPast("?>");
            } else {
                return;
            }
        }
    }
    // The document type is skipped, internal subset and all: its entities are never expanded.
    void skipDoctype() {
        char quote = 0;
        bool subset = false;
        for (i_ += 9; i_ < s_.size(); ++i_) {
            const char c = s_[i_];
            if (quote) {
                if (c == quote) quote = 0;
            } else if (subset) {
                if (c == ']') subset = false;
            } else if (c == '"' || c == '\'') {
                quote = c;
            } else if (c == '[') {
                subset = true;
            } else if (c == '>') {
                ++i_;
                return;
            }
        }
        malformed();
    }
    std::string_view name() {
        const std::size_t start = i_;
        while (!atEnd()) {
            const char c = s_[i_];
            if (isSpace(c) || c == '>' || c == '/' || c == '=' || c == '<' || c == '"' || c == '\'' || c == '&') break;
            ++i_;
        }
        if (i_ == start) malformed();
        return s_.substr(start, i_ - start);
    }
    Tag startTag() {
        ++i_;  // "<"
        Tag tag{name()};
        for (;;) {
            const std::size_t before = i_;
            skipSpace();
            if (atEnd()) malformed();
            if (startsWith("/>")) {
                i_ += 2;
                tag.empty = true;
                return tag;
            }
            if (s_[i_] == '>') {
                ++i_;
                return tag;
            }
            if (i_ == before) malformed();  // attributes are separated by white space
            name();
            skipSpace();
            if (atEnd() || s_[i_] != '=') malformed();
            ++i_;
            skipSpace();
            if (atEnd() || (s_[i_] != '"' && s_[i_] != '\'')) malformed();
            const char quote = s_[i_++];
            const auto end = s_.find(quote, i_);
            if (end == std::string_view::npos || s_.substr(i_, end - i_).find('<') != std::string_view::npos)
                malformed();
            i_ = end + 1;
        }
    }
    void endTag(std::string_view expected) {
        i_ += 2;  // "</"
        if (name() != expected) malformed();
        skipSpace();
        if (atEnd() || s_[i_] != '>') malformed();
        ++i_;
    }
    // The text of a leaf element up to its end tag, entities decoded, CDATA kept, comments dropped.
    std::string content(std::string_view element) {
        std::string out;
        for (;;) {
            const auto stop = s_.find_first_of("<&", i_);
            if (stop == std::string_view::npos) malformed();
            out.append(s_.substr(i_, stop - i_));
            i_ = stop;
            if (s_[i_] == '&') {
                entity(out);
            } else if (startsWith("<!--")) {
                i_ += 4;
                skipPast("-->");
            } else if (startsWith("<![CDATA[")) {
                i_ += 9;
                const auto end = s_.find("]]>", i_);
                if (end == std::string_view::npos) malformed();
                out.append(s_.substr(i_, end - i_));
                i_ = end + 3;
            } else if (startsWith("</")) {
                endTag(element);
                return out;
            } else {
                malformed();
            }
        }
    }
    void entity(std::string& out) {
        const auto end = s_.find(';', i_);
        if (end == std::string_view::npos || end - i_ > 10) malformed();
        const std::string_view e = s_.substr(i_ + 1, end - i_ - 1);
        i_ = end + 1;
        if (e == "lt") out.push_back('<');
        else if (e == "gt") out.push_back('>');
        else if (e == "amp") out.push_back('&');
        else if (e == "quot") out.push_back('"');
        else if (e == "apos") out.push_back('\'');
        else if (e.size() >= 2 && e[0] == '#') {
            const bool hex = e[1] == 'x';
            const std::string_view digits = e.substr(hex ? 2 : 1);
            if (digits.empty()) malformed();
            std::uint32_t cp = 0;
            for (char c : digits) {
                if (hex ? !isHexDigit(c) : !isDigit(c)) malformed();
                const std::uint32_t d = isDigit(c) ? c - '0' : (c | 0x20) - 'a' + 10;
                cp = cp * (hex ? 16 : 10) + d;
                if (cp > 0x10FFFF) malformed();
            }
            const bool allowed = cp == 0x9 || cp == 0xA || cp == 0xD || (cp >= 0x20 && cp <= 0xD7FF) ||
                                 (cp >= 0xE000 && cp <= 0xFFFD) || cp >= 0x10000;
            if (!allowed) malformed();
            appendUtf8(out, cp);
        } else {
            malformed();
        }
    }
    // Whether the innermost open element is the top-level dictionary.
    bool inRootDictionary() const { return rootDictionaryDepth_ != 0 && stack_.size() == rootDictionaryDepth_; }

    void value(const Tag& tag) {
        const bool isRoot = stack_.empty() || stack_.back().kind == Kind::plist;
        const bool entryOfRoot = inRootDictionary();
        if (!stack_.empty()) {
            stack_.back().haveKey = false;
            ++stack_.back().values;
        }
        if (tag.name == "dict" || tag.name == "array") {
            const Kind kind = tag.name == "dict" ? Kind::dict : Kind::array;
            if (entryOfRoot) result_.values.erase(key_);
            if (!tag.empty) {
                stack_.push_back({kind});
                if (stack_.size() > kMaxNesting) malformed();
                if (isRoot && kind == Kind::dict) rootDictionaryDepth_ = stack_.size();
            }
            return;
        }
        std::string text = tag.empty ? std::string() : content(tag.name);
        bool valid;
        if (tag.name == "string") valid = true;
        else if (tag.name == "integer") valid = validInteger(text);
        else if (tag.name == "real") valid = validReal(text);
        else if (tag.name == "true" || tag.name == "false") valid = trimmed(text).empty();
        else if (tag.name == "date") valid = validDate(text);
        else if (tag.name == "data") valid = validData(text);
        else valid = false;
        if (!valid) malformed();
        if (!entryOfRoot) return;
        // A repeated key: the later entry wins, as in a dictionary built entry by entry.
        if (tag.name == "string")
            result_.values[key_] = std::move(text);
        else
            result_.values.erase(key_);
    }
    void close() {
        const Frame& f = stack_.back();
        const std::string_view expected = f.kind == Kind::plist ? "plist" : f.kind == Kind::dict ? "dict" : "array";
        endTag(expected);
        if ((f.kind == Kind::plist && f.values != 1) || (f.kind == Kind::dict && f.haveKey)) malformed();
        if (inRootDictionary()) rootDictionaryDepth_ = 0;
        stack_.pop_back();
    }

    std::string_view s_;
    const std::stop_token& stop_;
    std::size_t i_ = 0;
    std::vector<Frame> stack_;
    std::size_t rootDictionaryDepth_ = 0;  // stack size while the top-level dictionary is innermost
    std::string key_;                      // the last key read in the top-level dictionary
    PropertyListStrings result_;
};

struct FdCloser {
    int fd;
    ~FdCloser() {
        if (fd >= 0) ::close(fd);
    }
};

std::string readBounded(const std::string& path, std::int64_t maxBytes) {
    if (maxBytes < 0) maxBytes = 0;
    int fd = ::open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
    if (fd < 0) throw PosixError(errno, path);
    FdCloser closer{fd};

    struct stat st {};
    if (::fstat(fd, &st) != 0) throw PosixError(errno, path);
    if (!S_ISREG(st.st_mode)) throw PosixError(EINVAL, path);
    if (st.st_size < 0 || st.st_size > maxBytes) throw PosixError(EFBIG, path);

    // Read until the end or one byte beyond the limit, so that a file that grew after fstat is
    // noticed; memory follows what is read, not the limit.
    std::string buffer;
    buffer.reserve(static_cast<std::size_t>(st.st_size) + 1);
    char chunk[65536];
    for (;;) {
        const std::size_t room = static_cast<std::size_t>(
            std::min<std::int64_t>(sizeof chunk, maxBytes + 1 - static_cast<std::int64_t>(buffer.size())));
        if (room == 0) break;
        const ssize_t n = ::read(fd, chunk, room);
        if (n < 0) {
            if (errno == EINTR) continue;
            throw PosixError(errno, path);
        }
        if (n == 0) break;
        buffer.append(chunk, static_cast<std::size_t>(n));
    }
    if (static_cast<std::int64_t>(buffer.size()) > maxBytes) throw PosixError(EFBIG, path);
    return buffer;
}

} // namespace

PropertyListStrings parsePropertyListStrings(std::string_view bytes, const std::string& path, std::stop_token stop) {
    try {
        if (bytes.starts_with("bplist00")) return BinaryReader(bytes, stop).read();
        return XmlReader(bytes, stop).read();
    } catch (const Malformed&) {
        throw PropertyListError(path);
    }
}

PropertyListStrings readPropertyListStrings(const std::string& path, std::int64_t maxBytes, std::stop_token stop) {
    const std::string data = readBounded(path, maxBytes);
    return parsePropertyListStrings(data, path, std::move(stop));
}

} // namespace morvo
