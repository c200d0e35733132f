#include "MorvoCore/Platform/PropertyList.h"
#include "MorvoCore/Platform/PropertyListError.h"

#include <gtest/gtest.h>
#include <plist/plist.h>

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <random>
#include <stop_token>
#include <string>
#include <vector>

using namespace morvo;

namespace {

class TempDir {
public:
    TempDir() {
        std::string tmpl = (std::filesystem::temp_directory_path() / "morvo-plist-XXXXXX").string();
        path_ = mkdtemp(tmpl.data());
    }
    ~TempDir() { std::filesystem::remove_all(path_); }
    std::string file(const std::string& name, const std::string& bytes) const {
        std::string p = path_ + "/" + name;
        std::ofstream(p, std::ios::binary) << bytes;
        return p;
    }
    const std::string& path() const { return path_; }

private:
    std::string path_;
};

const std::string kXml =
    "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
    "<!DOCTYPE plist PUBLIC \"-//Apple//DTD PLIST 1.0//EN\" \"http://www.apple.com/DTDs/PropertyList-1.0.dtd\">\n"
    "<plist version=\"1.0\"><dict>\n"
    "<key>CFBundleIdentifier</key><string>com.example.tool</string>\n"
    "<key>CFBundleName</key><string>Tool &amp; Co</string>\n"
    "<key>CFBundleVersion</key><integer>7</integer>\n"
    "<key>Nested</key><dict><key>Inner</key><string>x</string></dict>\n"
    "<!-- a comment -->\n"
    "</dict></plist>\n";

std::string binaryPlist() {
    plist_t dict = plist_new_dict();
    plist_dict_set_item(dict, "CFBundleIdentifier", plist_new_string("com.example.bin"));
    plist_dict_set_item(dict, "CFBundleDisplayName", plist_new_string("Bin \xC3\xA9"));
    plist_dict_set_item(dict, "Count", plist_new_uint(3));
    char* data = nullptr;
    uint32_t length = 0;
    plist_to_bin(dict, &data, &length);
    std::string bytes(data, length);
    std::free(data);
    plist_free(dict);
    return bytes;
}


// A binary property list built object by object (one-byte references, two-byte offsets), so that
// tests can write what no well-behaved writer would.
struct BinaryPlist {
    std::vector<std::string> objects;
    std::size_t add(std::string object) {
        objects.push_back(std::move(object));
        return objects.size() - 1;
    }
    // A marker with its count: in the low four bits, or 0xF and a one-byte integer after it.
    static std::string marker(unsigned type, std::size_t count) {
        if (count < 15) return std::string(1, static_cast<char>(type << 4 | count));
        return std::string{static_cast<char>(type << 4 | 0xF), '\x10', static_cast<char>(count)};
    }
    static std::string ascii(std::string_view text) { return marker(5, text.size()) + std::string(text); }
    // UTF-16 from code units given as 16-bit values.
    static std::string utf16(const std::vector<std::uint16_t>& units) {
        std::string out = marker(6, units.size());
        for (auto u : units) {
            out.push_back(static_cast<char>(u >> 8));
            out.push_back(static_cast<char>(u & 0xFF));
        }
        return out;
    }
    // A dictionary of up to 14 pairs: key references, then value references.
    static std::string dict(const std::vector<std::pair<std::size_t, std::size_t>>& pairs) {
        std::string out = marker(0xD, pairs.size());
        for (const auto& p : pairs) out.push_back(static_cast<char>(p.first));
        for (const auto& p : pairs) out.push_back(static_cast<char>(p.second));
        return out;
    }
    std::string bytes(std::size_t top) const {
        std::string out = "bplist00";
        std::vector<std::size_t> offsets;
        for (const auto& o : objects) {
            offsets.push_back(out.size());
            out += o;
        }
        const std::size_t table = out.size();
        for (auto o : offsets) {
            out.push_back(static_cast<char>(o >> 8));
            out.push_back(static_cast<char>(o & 0xFF));
        }
        out.append(6, '\0');
        out.push_back(2);  // offset size
        out.push_back(1);  // reference size
        auto be64 = [&](std::uint64_t v) {
            for (int i = 7; i >= 0; --i) out.push_back(static_cast<char>((v >> (8 * i)) & 0xFF));
        };
        be64(objects.size());
        be64(top);
        be64(table);
        return out;
    }
};

// A binary property list with four-byte offsets laid out by hand: the objects are raw bytes and
// the offset table is given apart from them, so that several indices can name one offset and an
// object can begin inside another.
struct RawPlist {
    std::string objects;                 // what follows "bplist00"
    std::vector<std::uint64_t> offsets;  // by object index
    int refSize = 4;
    std::uint64_t next() const { return 8 + objects.size(); }  // where the next object begins
    void be(std::uint64_t v, int width) {
        for (int i = width - 1; i >= 0; --i) objects.push_back(static_cast<char>((v >> (8 * i)) & 0xFF));
    }
    // A marker with a four-byte count after it.
    void marker(unsigned type, std::uint64_t count) {
        objects.push_back(static_cast<char>(type << 4 | 0xF));
        objects.push_back('\x12');
        be(count, 4);
    }
    void ref(std::uint64_t index) { be(index, refSize); }
    std::uint64_t ascii(std::string_view text) {
        offsets.push_back(next());
        marker(5, text.size());
        objects += text;
        return offsets.size() - 1;
    }
    std::string bytes(std::uint64_t top = 0) const {
        std::string out = "bplist00" + objects;
        auto put = [&](std::uint64_t v, int width) {
            for (int i = width - 1; i >= 0; --i) out.push_back(static_cast<char>((v >> (8 * i)) & 0xFF));
        };
        const std::uint64_t table = out.size();
        for (auto o : offsets) put(o, 4);
        out.append(6, '\0');
        out.push_back(4);
        out.push_back(static_cast<char>(refSize));
        put(offsets.size(), 8);
        put(top, 8);
        put(table, 8);
        return out;
    }
};

// A dictionary (object 0) whose keys and values are the given object indices.
RawPlist dictionaryOf(const std::vector<std::pair<std::uint64_t, std::uint64_t>>& entries, int refSize = 4) {
    RawPlist p;
    p.refSize = refSize;
    p.offsets.push_back(p.next());
    p.marker(0xD, entries.size());
    for (const auto& e : entries) p.ref(e.first);
    for (const auto& e : entries) p.ref(e.second);
    return p;
}

int posixCode(const std::string& path, std::int64_t limit) {
    try {
        readPropertyListStrings(path, limit);
    } catch (const PosixError& e) {
        return e.code();
    }
    return 0;
}

} // namespace

TEST(PropertyList, ReadsTopLevelStringsOfXmlAndBinary) {
    TempDir dir;
    auto xml = readPropertyListStrings(dir.file("a.plist", kXml), 1 << 20);
    EXPECT_EQ(xml.string("CFBundleIdentifier"), "com.example.tool");
    EXPECT_EQ(xml.string("CFBundleName"), "Tool & Co");
    EXPECT_FALSE(xml.string("CFBundleVersion"));  // not a string
    EXPECT_FALSE(xml.string("Nested"));
    EXPECT_FALSE(xml.string("Inner"));            // only the top level counts

    auto bin = readPropertyListStrings(dir.file("b.plist", binaryPlist()), 1 << 20);
    EXPECT_EQ(bin.string("CFBundleIdentifier"), "com.example.bin");
    EXPECT_EQ(bin.string("CFBundleDisplayName"), "Bin \xC3\xA9");
    EXPECT_FALSE(bin.string("Count"));
}

TEST(PropertyList, RefusesWhatIsNotAPropertyList) {
    TempDir dir;
    const std::string head = "<?xml version=\"1.0\"?><plist version=\"1.0\">";
    const std::string cases[] = {
        "",
        "not a plist at all",
        head + "<dict><key>a</key>",
        "bplist00",
        kXml.substr(0, kXml.size() / 2),
        head + "<dict><key>a</key><string>x</string></dict></plist>trailing",
        head + "<dict><key>a</key><string>x</string><string>no key</string></dict></plist>",
        head + "<dict><key>a</key></dict></plist>",                       // a key without a value
        head + "<dict><key>a</key><string>x</dict></plist>",              // crossed end tags
        head + "<dict><key>a</key><integer>12a</integer></dict></plist>",
        head + "<dict><key>a</key><date>yesterday</date></dict></plist>",
        head + "<dict><key>a</key><widget/></dict></plist>",
        head + "<dict><key>a</key><string>&unknown;</string></dict></plist>",
        head + "<dict><key>a</key><string>&#0;</string></dict></plist>",
        head + "<dict><key>a</key><string>\xC3(</string></dict></plist>",  // not UTF-8
        head + "<array/><array/></plist>",
        // Entities of an internal subset are never expanded, so none can multiply.
        "<!DOCTYPE plist [<!ENTITY a \"aaaaaaaa\"><!ENTITY b \"&a;&a;&a;&a;\">]>" + head +
            "<dict><key>a</key><string>&b;</string></dict></plist>",
    };
    int i = 0;
    for (const auto& bytes : cases) {
        auto p = dir.file("c" + std::to_string(i++), bytes);
        EXPECT_THROW(readPropertyListStrings(p, 1 << 20), PropertyListError) << bytes;
    }
}

// A well-formed list whose top level is not a dictionary with string keys has no values: callers
// report a missing identifier, not a format error.
TEST(PropertyList, OtherTopLevelValuesHaveNoStrings) {
    TempDir dir;
    BinaryPlist bin;
    const auto one = bin.add("\x10\x01");
    const auto text = bin.add(BinaryPlist::ascii("com.example.x"));
    const auto intKeyed = bin.add(BinaryPlist::dict({{one, text}}));
    const auto array = bin.add("\xA1" + std::string(1, static_cast<char>(text)));
    const std::string cases[] = {
        "<?xml version=\"1.0\"?><plist version=\"1.0\"><array><string>a</string></array></plist>",
        "<?xml version=\"1.0\"?><plist version=\"1.0\"><string>a</string></plist>",
        bin.bytes(intKeyed),
        bin.bytes(array),
    };
    int i = 0;
    for (const auto& bytes : cases) {
        auto read = readPropertyListStrings(dir.file("o" + std::to_string(i++), bytes), 1 << 20);
        EXPECT_TRUE(read.values.empty()) << i;
    }
}

TEST(PropertyList, XmlTextForms) {
    auto read = parsePropertyListStrings(
        "\xEF\xBB\xBF<!-- a --><dict>"
        "<key>entities</key><string>&lt;&#65;&#x42;&gt; &quot;&apos;&#x1F600;</string>"
        "<key>cdata</key><string><![CDATA[<b>&amp;</b>]]></string>"
        "<key>empty</key><string/>"
        "<key>twice</key><string>first</string><key>twice</key><string>second</string>"
        "<key>replaced</key><string>x</string><key>replaced</key><array/>"
        "<key>n</key><integer> -0x1F </integer><key>r</key><real>-1.5e3</real><key>t</key><true/>"
        "<key>d</key><date>2024-01-02T03:04:05Z</date><key>b</key><data>AAEC\nAw==</data>"
        "</dict>");
    EXPECT_EQ(read.string("entities"), "<AB> \"'\xF0\x9F\x98\x80");
    EXPECT_EQ(read.string("cdata"), "<b>&amp;</b>");
    EXPECT_EQ(read.string("empty"), "");
    EXPECT_EQ(read.string("twice"), "second");
    EXPECT_FALSE(read.string("replaced"));
    EXPECT_EQ(read.values.size(), 4u);
}

TEST(PropertyList, BoundedReadRefusesLinksSpecialFilesAndOversizedFiles) {
    TempDir dir;
    auto good = dir.file("Info.plist", kXml);
    const auto size = static_cast<std::int64_t>(kXml.size());
    EXPECT_EQ(posixCode(good, size), 0);           // exactly at the limit
    EXPECT_EQ(posixCode(good, size - 1), EFBIG);
    EXPECT_EQ(posixCode(good, -1), EFBIG);

    auto link = dir.path() + "/link.plist";
    ASSERT_EQ(symlink(good.c_str(), link.c_str()), 0);
    EXPECT_EQ(posixCode(link, 1 << 20), ELOOP);

    EXPECT_EQ(posixCode(dir.path(), 1 << 20), EINVAL);  // a folder
    auto fifo = dir.path() + "/fifo";
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    EXPECT_EQ(posixCode(fifo, 1 << 20), EINVAL);  // opened without blocking, then refused
    EXPECT_EQ(posixCode(dir.path() + "/missing", 1 << 20), ENOENT);
}

TEST(PropertyList, DeepNestingIsRefusedNotACrash) {
    TempDir dir;
    std::string deep = "<?xml version=\"1.0\"?><plist version=\"1.0\">";
    for (int i = 0; i < 200000; ++i) deep += "<array>";
    auto p = dir.file("deep.plist", deep);
    EXPECT_THROW(readPropertyListStrings(p, 4 << 20), PropertyListError);
    // Markup that hides the nesting from a naive count: ">" inside quotes, stray closing tags.
    for (const std::string unit : {"<array a=\"/>\">", "<array a='/>'>", "<array></x>", "<!-- --><array>"}) {
        std::string hidden = "<?xml version=\"1.0\"?><plist version=\"1.0\">";
        for (int i = 0; i < 100000; ++i) hidden += unit;
        EXPECT_THROW(readPropertyListStrings(dir.file("hidden.plist", hidden), 4 << 20), PropertyListError) << unit;
    }

    // Binary: a chain of one-element arrays, and a dictionary whose value refers back to itself.
    auto binary = [](std::uint32_t count, bool cycle) {
        auto be = [](std::string& out, std::uint64_t v, int width) {
            for (int i = width - 1; i >= 0; --i) out.push_back(static_cast<char>((v >> (8 * i)) & 0xFF));
        };
        std::string out = "bplist00";
        std::vector<std::uint64_t> offsets;
        if (cycle) {
            offsets.push_back(out.size());
            out += "\xD1";  // dict of one pair: key 1, value 0 (itself)
            be(out, 1, 4);
            be(out, 0, 4);
            offsets.push_back(out.size());
            out += "\x51k";
            count = 2;
        } else {
            for (std::uint32_t i = 0; i < count; ++i) {
                offsets.push_back(out.size());
                if (i + 1 < count) {
                    out.push_back('\xA1');
                    be(out, i + 1, 4);
                } else {
                    out.push_back('\xA0');
                }
            }
        }
        std::uint64_t table = out.size();
        for (auto o : offsets) be(out, o, 4);
        out.append(6, '\0');
        out.push_back(4);
        out.push_back(4);
        be(out, count, 8);
        be(out, 0, 8);
        be(out, table, 8);
        return out;
    };
    EXPECT_THROW(readPropertyListStrings(dir.file("deep.bin", binary(200000, false)), 4 << 20), PropertyListError);
    EXPECT_THROW(readPropertyListStrings(dir.file("cycle.bin", binary(0, true)), 4 << 20), PropertyListError);
    // Shallow nesting is fine: a list whose top level is an array, so without strings.
    EXPECT_TRUE(readPropertyListStrings(dir.file("shallow.bin", binary(10, false)), 4 << 20).values.empty());
}

// Random, truncated and mutated input must end in a value or PropertyListError, never a crash.
TEST(PropertyList, SurvivesRandomTruncatedAndMutatedInput) {
    TempDir dir;
    std::mt19937 rng(12345);
    const std::string seeds[] = {kXml, binaryPlist()};
    const std::string path = dir.path() + "/fuzz.plist";
    auto attempt = [&](const std::string& bytes) {
        dir.file("fuzz.plist", bytes);
        try {
            readPropertyListStrings(path, 1 << 20);
        } catch (const PropertyListError&) {
        }
    };
    for (const auto& seed : seeds) {
        for (std::size_t cut = 0; cut <= seed.size(); ++cut) attempt(seed.substr(0, cut));
        for (int round = 0; round < 1500; ++round) {
            std::string bytes = seed;
            int flips = 1 + static_cast<int>(rng() % 8);
            for (int f = 0; f < flips; ++f) {
                std::size_t at = rng() % bytes.size();
                switch (rng() % 3) {
                case 0: bytes[at] = static_cast<char>(rng()); break;
                case 1: bytes.erase(at, 1 + rng() % 4); break;
                default: bytes.insert(at, 1, static_cast<char>(rng())); break;
                }
                if (bytes.empty()) break;
            }
            attempt(bytes);
        }
    }
    for (int round = 0; round < 500; ++round) {
        std::string bytes(rng() % 256, '\0');
        for (auto& c : bytes) c = static_cast<char>(rng());
        if (round % 2) bytes.replace(0, 0, "bplist00");
        attempt(bytes);
    }
}

// Keys with an embedded NUL once aborted the process inside the parser; such a key is just a key
// that no caller asks for.
TEST(PropertyList, BinaryKeysWithNulAreReadNotFatal) {
    TempDir dir;
    BinaryPlist p;
    const auto idKey = p.add(BinaryPlist::ascii("CFBundleIdentifier"));
    const auto id = p.add(BinaryPlist::ascii("com.example.nul"));
    const auto asciiKey = p.add(BinaryPlist::ascii(std::string_view("a\0b", 3)));
    const auto utf16Key = p.add(BinaryPlist::utf16({'c', 0, 0xE9}));
    const auto root = p.add(BinaryPlist::dict({{asciiKey, id}, {utf16Key, id}, {idKey, id}}));
    auto read = readPropertyListStrings(dir.file("nul.plist", p.bytes(root)), 1 << 20);
    EXPECT_EQ(read.string("CFBundleIdentifier"), "com.example.nul");
    EXPECT_EQ(read.string(std::string("a\0b", 3)), "com.example.nul");
    EXPECT_EQ(read.string(std::string("c\0\xC3\xA9", 4)), "com.example.nul");
}

// Lists crafted so that a reader that decodes every reference, or compares whole keys per entry,
// works for minutes: a dictionary of 1.9 MB whose keys and values all refer to one long string,
// and one whose entries each have an object index of their own, all naming that string's offset.
// Read once, each is one entry.
TEST(PropertyList, SharedObjectsAreReadOnce) {
    constexpr std::size_t kBytes = 1900000;
    const std::string text(kBytes / 3, 'k');
    std::vector<std::pair<std::uint64_t, std::uint64_t>> entries(kBytes / 3 / 2, {1, 1});
    RawPlist shared = dictionaryOf(entries, 1);
    shared.ascii(text);

    entries.resize(kBytes / 3 / 8);
    for (std::uint64_t k = 0; k < entries.size(); ++k) entries[k] = {1 + k, 1 + k};
    RawPlist aliased = dictionaryOf(entries);
    aliased.ascii(text);
    aliased.offsets.resize(1 + entries.size(), aliased.offsets.back());

    for (const RawPlist* p : {&shared, &aliased}) {
        const std::string bytes = p->bytes();
        ASSERT_LT(bytes.size(), 2000000u);
        const auto read = parsePropertyListStrings(bytes);
        EXPECT_EQ(read.values, (std::map<std::string, std::string>{{text, text}}));
    }
}

// Keys that are one object count once, at their last entry; keys of equal text in different
// objects (ASCII and UTF-16) still replace each other in the order of the entries.
TEST(PropertyList, LaterEntriesOfEqualKeysWin) {
    // Objects: 1 "a" in ASCII, 2 "a" in UTF-16, 3 "x", 4 "y", 5 the integer 1.
    auto list = [](const std::vector<std::pair<std::uint64_t, std::uint64_t>>& entries) {
        RawPlist p = dictionaryOf(entries);
        p.ascii("a");
        p.offsets.push_back(p.next());
        p.objects += std::string("\x61\x00\x61", 3);
        p.ascii("x");
        p.ascii("y");
        p.offsets.push_back(p.next());
        p.objects += "\x10\x01";
        return parsePropertyListStrings(p.bytes()).values;
    };
    using Values = std::map<std::string, std::string>;
    EXPECT_EQ(list({{1, 3}, {2, 4}, {1, 5}}), Values{});
    EXPECT_EQ(list({{1, 3}, {2, 4}, {1, 3}}), (Values{{"a", "x"}}));
    EXPECT_EQ(list({{1, 3}, {1, 5}, {2, 4}}), (Values{{"a", "y"}}));
    EXPECT_EQ(list({{2, 3}, {1, 4}, {2, 4}, {1, 5}}), Values{});
}

// The strings a list yields, with every copy, are bounded by its size: a list that shares a long
// value among many keys, or lays its keys inside each other's bytes, is refused instead of
// growing without end. A value shared by a few keys, as writers do, is read as usual.
TEST(PropertyList, ResultsFarLargerThanTheListAreRefused) {
    const std::string value(64 * 1024, 'v');
    std::vector<std::pair<std::uint64_t, std::uint64_t>> entries;
    for (std::uint64_t k = 0; k < 300; ++k) entries.push_back({2 + k, 1});
    RawPlist fanOut = dictionaryOf(entries);
    fanOut.ascii(value);
    for (std::uint64_t k = 0; k < 300; ++k) fanOut.ascii("key" + std::to_string(k));

    // Four-byte cells, each an ASCII string of 0x7F7F bytes that begins in the one before it; each
    // is a key whose value is an integer.
    entries.clear();
    for (std::uint64_t k = 0; k < 200; ++k) entries.push_back({2 + k, 1});
    RawPlist overlapping = dictionaryOf(entries);
    overlapping.offsets.push_back(overlapping.next());
    overlapping.objects += "\x10\x01";
    for (std::uint64_t k = 0; k < 200; ++k) {
        overlapping.offsets.push_back(overlapping.next());
        overlapping.objects += "\x5F\x11\x7F\x7F";
    }
    overlapping.objects.append(0x7F7F, 'k');

    EXPECT_THROW(parsePropertyListStrings(fanOut.bytes()), PropertyListError);
    EXPECT_THROW(parsePropertyListStrings(overlapping.bytes()), PropertyListError);

    RawPlist few = dictionaryOf({{2, 1}, {3, 1}, {4, 1}});
    few.ascii(value);
    for (const char* key : {"CFBundleName", "CFBundleDisplayName", "CFBundleExecutable"}) few.ascii(key);
    const auto read = parsePropertyListStrings(few.bytes());
    EXPECT_EQ(read.values.size(), 3u);
    EXPECT_EQ(read.string("CFBundleDisplayName"), value);
}

TEST(PropertyList, StopEndsTheRead) {
    TempDir dir;
    std::stop_source source;
    source.request_stop();
    for (const std::string& bytes : {kXml, binaryPlist()}) {
        EXPECT_THROW(parsePropertyListStrings(bytes, "", source.get_token()), CancellationError);
        EXPECT_THROW(readPropertyListStrings(dir.file("Info.plist", bytes), 1 << 20, source.get_token()),
                     CancellationError);
        EXPECT_NO_THROW(parsePropertyListStrings(bytes, "", std::stop_source().get_token()));
    }
}
