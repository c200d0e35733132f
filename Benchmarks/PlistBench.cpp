#include "BenchCommands.h"

#include "MorvoCore/Platform/Errors.h"
#include "MorvoCore/Platform/PropertyList.h"

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>
#include <vector>

namespace morvo::bench {

namespace {

int usage() {
    std::fprintf(stderr,
                 "usage: morvo-bench plist [--repeat N] FILE\n"
                 "       morvo-bench plist --write KIND BYTES FILE\n"
                 "KIND: shared, aliased, overlapping, xml-deep, xml-keys\n");
    return 2;
}

// The largest Info.plist the Trash rules read.
constexpr std::int64_t kReadLimit = 1999999;

void be(std::string& out, std::uint64_t value, int width) {
    for (int i = width - 1; i >= 0; --i) out.push_back(static_cast<char>((value >> (8 * i)) & 0xFF));
}

// A marker whose count follows as a four-byte integer.
void marker(std::string& out, unsigned type, std::uint64_t count) {
    out.push_back(static_cast<char>(type << 4 | 0xF));
    out.push_back('\x12');
    be(out, count, 4);
}

// Header, objects (already in `out`), offset table of four-byte entries and trailer.
std::string finish(std::string out, const std::vector<std::uint64_t>& offsets, int refSize) {
    const std::uint64_t table = out.size();
    for (auto offset : offsets) be(out, offset, 4);
    out.append(6, '\0');
    out.push_back(4);
    out.push_back(static_cast<char>(refSize));
    be(out, offsets.size(), 8);
    be(out, 0, 8);
    be(out, table, 8);
    return out;
}

// The lists that made the binary and the XML reader slow: every key and value one long string; every
// entry through an object index of its own that all lead to one string; string objects lying inside
// each other's bytes; arrays nested as deep as allowed, over and over; long keys, over and over.
std::string crafted(const std::string& kind, std::size_t bytes) {
    if (kind == "shared") {
        const std::size_t pairs = bytes / 3, length = bytes / 3;
        std::string out = "bplist00";
        marker(out, 0xD, pairs);
        out.append(2 * pairs, '\x01');
        const std::uint64_t text = out.size();
        marker(out, 0x5, length);
        out.append(length, 'k');
        return finish(std::move(out), {8, text}, 1);
    }
    if (kind == "aliased") {
        const std::size_t pairs = bytes / 3 / 12, length = bytes - 12 * pairs;
        std::string out = "bplist00";
        marker(out, 0xD, pairs);
        for (int half = 0; half < 2; ++half)
            for (std::size_t k = 0; k < pairs; ++k) be(out, 1 + k, 4);
        const std::uint64_t text = out.size();
        marker(out, 0x5, length);
        out.append(length, 'k');
        std::vector<std::uint64_t> offsets{8};
        offsets.resize(1 + pairs, text);
        return finish(std::move(out), offsets, 4);
    }
    if (kind == "overlapping") {
        // Four-byte cells "5F 11 7F 7F": each an ASCII string of 32,639 bytes that starts in the
        // previous one's text; each a key whose value is the integer 1.
        const std::size_t span = 0x7F7F, cells = bytes > span ? (bytes - span) / 16 : 1;
        std::string out = "bplist00";
        marker(out, 0xD, cells);
        for (std::size_t k = 0; k < cells; ++k) be(out, 2 + k, 4);
        for (std::size_t k = 0; k < cells; ++k) be(out, 1, 4);
        std::vector<std::uint64_t> offsets{8, out.size()};
        out += "\x10\x01";
        for (std::size_t k = 0; k < cells; ++k) {
            offsets.push_back(out.size());
            out += "\x5F\x11\x7F\x7F";
        }
        out.append(span, 'k');
        return finish(std::move(out), offsets, 4);
    }
    const std::string head = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<plist version=\"1.0\">\n<dict>\n";
    std::string out = head;
    if (kind == "xml-deep") {
        std::string nest;
        for (int i = 0; i < 510; ++i) nest += "<array>";
        for (int i = 0; i < 510; ++i) nest += "</array>";
        const std::string entry = "<key>n</key>" + nest;
        while (out.size() + entry.size() < bytes) out += entry;
    } else if (kind == "xml-keys") {
        const std::string entry = "<key>" + std::string(bytes / 64, 'k') + "</key><string>v</string>\n";
        while (out.size() + entry.size() < bytes) out += entry;
    } else {
        return {};
    }
    return out + "</dict>\n</plist>\n";
}

} // namespace

// Reads FILE as the Trash rules do (at most 1,999,999 bytes) N times (1 by default) and prints the
// median and the fastest time, the number of strings read, or the error that ended the read.
// --write makes one of the crafted lists of about BYTES bytes.
int plistCommand(int argc, char** argv) {
    if (argc == 5 && std::strcmp(argv[1], "--write") == 0) {
        const std::string bytes = crafted(argv[2], std::strtoull(argv[3], nullptr, 10));
        if (bytes.empty()) return usage();
        std::ofstream(argv[4], std::ios::binary) << bytes;
        std::printf("{\"kind\":\"%s\",\"bytes\":%zu}\n", argv[2], bytes.size());
        return 0;
    }
    int repeat = 1;
    const char* file = nullptr;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--repeat") == 0 && i + 1 < argc) {
            repeat = std::max(1, std::atoi(argv[++i]));
        } else if (!file && argv[i][0] != '-') {
            file = argv[i];
        } else {
            return usage();
        }
    }
    if (!file) return usage();
    std::vector<double> seconds;
    std::size_t strings = 0;
    std::string error;
    for (int i = 0; i < repeat; ++i) {
        const auto start = std::chrono::steady_clock::now();
        try {
            strings = readPropertyListStrings(file, kReadLimit).values.size();
        } catch (const std::exception& e) {
            error = errorDescription(e);
        }
        seconds.push_back(std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
    }
    std::sort(seconds.begin(), seconds.end());
    std::printf("{\"runs\":%d,\"median_seconds\":%.6f,\"min_seconds\":%.6f,\"strings\":%zu,\"error\":\"%s\"}\n",
                repeat, seconds[seconds.size() / 2], seconds.front(), strings, error.c_str());
    return 0;
}

} // namespace morvo::bench
