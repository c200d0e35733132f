#include "MorvoCore/Platform/Digest.h"
#include "MorvoCore/TrashRecords.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

using namespace morvo;

TEST(TrashPolicy, ClampsItemBudgetAndLifetime) {
    struct Case {
        std::int64_t maxItems;
        double lifetime;
        std::int64_t expectedItems;
        double expectedLifetime;
    };
    const Case cases[] = {
        {0, 0, 1, 1.0},
        {-3, -5, 1, 1.0},
        {1, std::nan(""), 1, 1.0},
        {100000, 900, 100000, 900},
        {2, 1.5, 2, 1.5},
        {5, std::numeric_limits<double>::infinity(), 5, std::numeric_limits<double>::infinity()},
    };
    for (const auto& c : cases) {
        TrashPolicy policy({Url::file("/data")}, c.maxItems, c.lifetime, Url::file("/home/ann"));
        EXPECT_EQ(policy.maxItems(), c.expectedItems) << c.maxItems;
        EXPECT_EQ(policy.previewLifetime(), c.expectedLifetime) << c.lifetime;
        EXPECT_EQ(policy.homeDirectory().path, "/home/ann");
        ASSERT_EQ(policy.allowedRoots().size(), 1u);
    }
}

TEST(TrashRecords, CanMoveTestsPresenceOfReasonAndStatusRawValuesAreExact) {
    TrashPreviewItem item;
    EXPECT_TRUE(item.canMove());
    item.blockedReason = "";
    EXPECT_FALSE(item.canMove());

    for (auto status : {TrashItemStatus::moved, TrashItemStatus::failed, TrashItemStatus::skipped})
        EXPECT_EQ(trashItemStatusFromRawValue(rawValue(status)), status);
    EXPECT_EQ(rawValue(TrashItemStatus::moved), "moved");
    EXPECT_FALSE(trashItemStatusFromRawValue("Moved"));
    EXPECT_FALSE(trashItemStatusFromRawValue(""));
}

TEST(TrashMetadata, SignatureJoinsTwelveFieldsInOrder) {
    TrashMetadata m{1, 2, 33188, 10, 1, 3, 4, 5, 6, 7, 8, 9};
    EXPECT_EQ(m.signature(), "1:2:33188:10:1:3:4:5:6:7:8:9");
    TrashMetadata negative{0, 0, 0, -1, 0, -2, 0, 0, 0, 0, 0, 0};
    EXPECT_EQ(negative.signature(), "0:0:0:-1:0:-2:0:0:0:0:0:0");
    TrashMetadata big = m;
    big.device = std::numeric_limits<std::uint64_t>::max();
    EXPECT_EQ(big.signature().substr(0, 21), "18446744073709551615:");
}

TEST(Digest, Sha256MatchesKnownVectorsFedInPieces) {
    auto hex = [](const Sha256::Digest& d) {
        static const char* digits = "0123456789abcdef";
        std::string out;
        for (auto b : d) {
            out.push_back(digits[b >> 4]);
            out.push_back(digits[b & 15]);
        }
        return out;
    };
    EXPECT_EQ(hex(Sha256::of("")), "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855");
    Sha256 pieces;
    pieces.update("a");
    pieces.update(std::string_view("bc"));
    EXPECT_EQ(hex(pieces.finish()), "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad");
}
