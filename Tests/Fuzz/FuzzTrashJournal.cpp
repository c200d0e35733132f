// The Trash mover's journal as recovery reads it back. Any bytes give reservations made of the
// input's own whole lines, each opened by its "reserve" line. A journal written as the mover
// writes it (reservations of any paths and content, created and temporary notes, settles, in any
// order, with foreign lines between and the last line cut short) reads back as exactly the
// reservations no "done" line settled, with every path and content byte for byte.
#include "FuzzSupport.h"
#include "MorvoCore/Platform/TrashMover.h"
#include "MorvoCore/Platform/TrashNaming.h"

#include <algorithm>
#include <cstdint>
#include <map>
#include <set>
#include <string>
#include <string_view>
#include <vector>

using namespace morvo;

namespace {

// Reads the input as a script: bytes, and short byte strings with a length in front.
struct Script {
    std::string_view rest;
    bool empty() const { return rest.empty(); }
    std::uint8_t byte() {
        if (rest.empty()) return 0;
        const auto b = static_cast<std::uint8_t>(rest.front());
        rest.remove_prefix(1);
        return b;
    }
    std::string bytes() {
        const std::size_t n = std::min<std::size_t>(byte() % 24, rest.size());
        std::string out(rest.substr(0, n));
        rest.remove_prefix(n);
        return out;
    }
};

void checkAnyBytes(std::string_view input) {
    std::set<std::string_view> wholeLines;
    for (std::size_t position = 0; position < input.size();) {
        const std::size_t end = input.find('\n', position);
        if (end == std::string_view::npos) break;
        wholeLines.insert(input.substr(position, end - position + 1));
        position = end + 1;
    }
    const auto found = unsettledTrashReservations(input);
    CHECK(found.size() <= wholeLines.size());
    for (const auto& r : found) {
        CHECK(r.lines.starts_with("reserve "));
        for (std::size_t position = 0; position < r.lines.size();) {
            const std::size_t end = r.lines.find('\n', position);
            CHECK(end != std::string::npos);
            CHECK(wholeLines.count(std::string_view(r.lines).substr(position, end - position + 1)));
            position = end + 1;
        }
    }
}

void checkWrittenJournal(Script script) {
    std::map<std::uint64_t, UnsettledTrashReservation> expected;
    std::string journal;
    std::uint64_t lastID = 0;
    while (!script.empty()) {
        const std::uint8_t op = script.byte();
        const std::uint64_t id = lastID == 0 ? 1 : 1 + script.byte() % (lastID + 1);  // may name none
        std::string line;
        switch (op % 5) {
        case 0: {
            UnsettledTrashReservation r;
            r.info = script.bytes();
            r.files = script.bytes();
            r.content = script.bytes();
            line = "reserve " + std::to_string(++lastID) + " " + trashPercentEncode(r.info) + " " +
                   trashPercentEncode(r.files) + " " + trashPercentEncode(r.content) + "\n";
            r.lines = line;
            expected[lastID] = r;
            break;
        }
        case 1: {
            const std::uint64_t device = script.byte(), inode = script.byte() * 7919u;
            line = "created " + std::to_string(id) + " " + std::to_string(device) + " " + std::to_string(inode) + "\n";
            if (auto r = expected.find(id); r != expected.end()) {
                r->second.device = device;
                r->second.inode = inode;
                r->second.created = true;
                r->second.lines += line;
            }
            break;
        }
        case 2: {
            const std::uint64_t device = script.byte();
            const std::string path = script.bytes();
            line = "temp " + std::to_string(id) + " " + std::to_string(device) + " " + trashPercentEncode(path) + "\n";
            if (auto r = expected.find(id); r != expected.end()) {
                r->second.temporaryDevice = device;
                r->second.temporary = path;
                r->second.lines += line;
            }
            break;
        }
        case 3:
            line = "done " + std::to_string(id) + "\n";
            expected.erase(id);
            break;
        default: {
            // A line of another kind: no word of the journal's own, so it must change nothing.
            std::string other = "x" + script.bytes();
            for (char& c : other)
                if (c == '\n') c = ' ';
            line = other + "\n";
            break;
        }
        }
        journal += line;
    }
    // The last line cut short by a crash: never read as a reservation.
    journal += "reserve " + std::to_string(lastID + 1) + " /a /b c";

    const auto found = unsettledTrashReservations(journal);
    CHECK(found.size() == expected.size());
    auto want = expected.begin();
    for (const auto& r : found) {
        const UnsettledTrashReservation& w = want->second;
        CHECK(r.info == w.info && r.files == w.files && r.content == w.content);
        CHECK(r.created == w.created && r.device == w.device && r.inode == w.inode);
        CHECK(r.temporary == w.temporary && r.temporaryDevice == w.temporaryDevice);
        CHECK(r.lines == w.lines);
        ++want;
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view input(reinterpret_cast<const char*>(data), size);
    checkAnyBytes(input);
    checkWrittenJournal(Script{input});
    return 0;
}
