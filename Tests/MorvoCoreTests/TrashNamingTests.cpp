#include "MorvoCore/Platform/TrashNaming.h"

#include <gtest/gtest.h>

#include <string>

using namespace morvo;

namespace {

std::string repeat(const std::string& piece, std::size_t times) {
    std::string out;
    for (std::size_t i = 0; i < times; ++i) out += piece;
    return out;
}

} // namespace

TEST(TrashNaming, CandidateNames) {
    struct Case {
        const char* label;
        std::string name;
        int attempt;
        std::string expected;
    };
    const Case cases[] = {
        {"fits", "report.txt", 1, "report.txt"},
        {"numbered before the extension", "report.txt", 3, "report.3.txt"},
        {"no extension", "folder", 2, "folder.2"},
        {"hidden name keeps its dot", ".config", 2, ".config.2"},
        {"long extension is not kept apart", "a." + std::string(40, 'e'), 2, "a." + std::string(40, 'e') + ".2"},
        {"cut between UTF-8 characters", std::string(240, 'n') + "\xC3\xA9\xC3\xA9.txt", 1,
         std::string(240, 'n') + ".txt"},
        {"cut keeps a whole three-byte character", std::string(242, 'n') + "\xE2\x82\xAC\xE2\x82\xAC", 1,
         std::string(242, 'n') + "\xE2\x82\xAC"},
        // Not UTF-8: continuation bytes alone are cut where the limit falls, never down to nothing.
        {"continuation bytes only", std::string(250, '\x80'), 1, std::string(245, '\x80')},
        {"continuation bytes, numbered", std::string(250, '\x80'), 2, std::string(243, '\x80') + ".2"},
        {"stray lead bytes", repeat("\xE2", 250), 1, repeat("\xE2", 245)},
    };
    for (const Case& c : cases) {
        const std::string got = trashCandidateName(c.name, c.attempt);
        EXPECT_EQ(got, c.expected) << c.label;
        EXPECT_FALSE(got.empty()) << c.label;
        EXPECT_LE(got.size(), kTrashNameLimit) << c.label;
    }
}

TEST(TrashNaming, InfoContentEncodesThePath) {
    EXPECT_EQ(trashInfoContent("/home/ann/My file%#\xE9\n.txt", "2024-05-06T07:08:09"),
              "[Trash Info]\nPath=/home/ann/My%20file%25%23%E9%0A.txt\nDeletionDate=2024-05-06T07:08:09\n");
}
