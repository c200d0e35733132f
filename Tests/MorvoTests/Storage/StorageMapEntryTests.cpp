#include "Morvo/Platform/ByteCountFormatter.h"
#include "Morvo/Storage/StorageMapEntry.h"

#include <gtest/gtest.h>

#include <QString>

#include <algorithm>
#include <string>
#include <vector>

using namespace morvo;

namespace {

DiskNode node(const std::string& id, std::int64_t size, bool isDirectory = false,
              FileCategory category = FileCategory::other, std::int64_t fileCount = 1) {
    DiskNode n;
    n.id = id;
    n.url = Url::file(id, isDirectory);
    n.name = id.substr(id.rfind('/') + 1);
    n.isDirectory = isDirectory;
    n.logicalSize = size;
    n.fileCount = fileCount;
    n.category = category;
    return n;
}

std::vector<DiskNode> numbered(int count) {
    std::vector<DiskNode> nodes;
    for (int i = 0; i < count; ++i) nodes.push_back(node("/r/n" + std::to_string(i), 1000 + i));
    return nodes;
}

std::vector<std::string> ids(const std::vector<StorageMapEntry>& entries) {
    std::vector<std::string> out;
    for (const auto& e : entries) out.push_back(e.id);
    return out;
}

} // namespace

TEST(StorageMapEntry, EntryAndGroupCountsFollowTheLimit) {
    struct Case {
        const char* name;
        int nodes;
        int limit;
        std::size_t ownEntries;
        std::int64_t grouped;  // 0: no group
    };
    const Case cases[] = {
        {"empty", 0, 40, 0, 0},         {"exactly the limit", 40, 40, 40, 0}, {"one past the limit", 41, 40, 39, 2},
        {"limit 2 of 3", 3, 2, 1, 2},   {"limit 2 of 2", 2, 2, 2, 0},         {"limit 1", 5, 1, 0, 5},
        {"limit 0", 3, 0, 0, 3},        {"negative limit", 3, -4, 0, 3},      {"limit 0, nothing", 0, 0, 0, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        auto entries = StorageMapEntry::make(numbered(c.nodes), c.limit, "group:/r");
        const std::size_t total = c.ownEntries + (c.grouped ? 1 : 0);
        ASSERT_EQ(entries.size(), total);
        for (std::size_t i = 0; i < c.ownEntries; ++i) EXPECT_TRUE(entries[i].nodeID.has_value());
        if (c.grouped) {
            const auto& group = entries.back();
            EXPECT_FALSE(group.nodeID.has_value());
            EXPECT_EQ(group.id, "group:/r");
            EXPECT_EQ(group.itemCount, c.grouped);
            EXPECT_EQ(group.name, std::to_string(c.grouped) + " smaller items");
            EXPECT_EQ(group.category, FileCategory::other);
            EXPECT_FALSE(group.isDirectory);
        }
        if (c.limit >= 1) {
            EXPECT_LE(entries.size(), static_cast<std::size_t>(c.limit));
        }
    }
}

TEST(StorageMapEntry, GroupHoldsTheSmallestAndSumsThem) {
    // Given out of order: the rule sorts before it cuts.
    std::vector<DiskNode> nodes = {node("/r/b", 200), node("/r/c", 100), node("/r/a", 300, true, FileCategory::media, 12)};
    auto entries = StorageMapEntry::make(nodes, 2, "nested:/r");
    ASSERT_EQ(entries.size(), 2u);
    EXPECT_EQ(entries[0].id, "/r/a");
    EXPECT_EQ(entries[0].nodeID, "/r/a");
    EXPECT_EQ(entries[0].name, "a");
    EXPECT_EQ(entries[0].bytes, 300.0);
    EXPECT_EQ(entries[0].category, FileCategory::media);
    EXPECT_TRUE(entries[0].isDirectory);
    EXPECT_EQ(entries[0].itemCount, 12);
    EXPECT_EQ(entries[1].name, "2 smaller items");
    EXPECT_EQ(entries[1].bytes, 300.0);
    EXPECT_EQ(entries[1].itemCount, 2);

    // 41 children: the group takes the two smallest.
    auto many = StorageMapEntry::make(numbered(41), 40, "group:/r");
    EXPECT_EQ(many.back().bytes, 1000.0 + 1001.0);
    EXPECT_EQ(many.front().id, "/r/n40");
}

TEST(StorageMapEntry, DropsEmptyAndNegativeSizesEntirely) {
    EXPECT_TRUE(StorageMapEntry::make({node("/r/a", 0), node("/r/b", 0)}, 40, "group:/r").empty());
    auto entries = StorageMapEntry::make({node("/r/a", 50), node("/r/neg", -1000), node("/r/b", 30), node("/r/c", 20)}, 0,
                                         "group:/r");
    ASSERT_EQ(entries.size(), 1u);
    EXPECT_EQ(entries[0].itemCount, 3);
    EXPECT_EQ(entries[0].bytes, 100.0);
}

TEST(StorageMapEntry, TiesAreOrderedByIdInCodePointOrder) {
    EXPECT_EQ(ids(StorageMapEntry::make({node("/a/y", 5), node("/a/x", 5)}, 40, "g")),
              (std::vector<std::string>{"/a/x", "/a/y"}));
    // A folder and a file of one size are treated alike: the id alone decides.
    EXPECT_EQ(ids(StorageMapEntry::make({node("/a/b", 5, true), node("/a/a", 5)}, 40, "g")),
              (std::vector<std::string>{"/a/a", "/a/b"}));
    // A decomposed "é" compares as the composed U+00E9, which sorts after "f" (its bytes would not).
    const std::string decomposed = "/a/e\xCC\x81";
    EXPECT_EQ(ids(StorageMapEntry::make({node(decomposed, 5), node("/a/f", 5)}, 40, "g")),
              (std::vector<std::string>{"/a/f", decomposed}));
    // Canonically equal but distinct names still get a fixed order.
    const std::string composed = "/a/\xC3\xA9";
    EXPECT_TRUE(storageMapIDLess(decomposed, composed) != storageMapIDLess(composed, decomposed));
}

TEST(StorageMapEntry, GroupNameUsesDigitGrouping) {
    auto entries = StorageMapEntry::make(numbered(1234), 1, "group:/r");
    ASSERT_EQ(entries.size(), 1u);
    EXPECT_EQ(entries[0].name, "1,234 smaller items");
}

TEST(StorageMapEntry, SnapshotIndicesGiveTheSameEntriesAsNodes) {
    NodeFacts folder{true, false, 0, 0, 0, std::nullopt, FileCategory::other};
    auto file = [](std::int64_t size, FileCategory c) { return NodeFacts{false, false, size, size, 1, std::nullopt, c}; };
    DiskSnapshotBuilder b("/r", "r", folder);
    b.add(0, "small.txt", file(10, FileCategory::documents));
    auto sub = b.add(0, "sub", folder);
    b.add(sub, "big.mov", file(500, FileCategory::media));
    b.add(0, "empty", file(0, FileCategory::other));
    b.add(0, "zip.zip", file(40, FileCategory::archives));
    b.accumulateTotals();
    auto snapshot = b.finish({}, {}, {}, 4, 0, false);

    std::vector<DiskNode> nodes;
    for (const auto& id : snapshot->root().children) nodes.push_back(*snapshot->node(id));
    for (int limit : {40, 2, 0}) {
        SCOPED_TRACE(limit);
        EXPECT_EQ(StorageMapEntry::make(*snapshot, snapshot->children(DiskSnapshot::rootIndex), limit, "group:/r"),
                  StorageMapEntry::make(nodes, limit, "group:/r"));
    }
}

namespace {

// The rule as first written, kept as the reference: every kept node sorted with the composed ids
// compared inside the comparator, the group summed in that order.
bool referenceLess(const DiskNode& a, const DiskNode& b) {
    if (a.logicalSize != b.logicalSize) return a.logicalSize > b.logicalSize;
    auto ascii = [](const std::string& s) {
        return std::all_of(s.begin(), s.end(), [](char c) { return static_cast<unsigned char>(c) < 0x80; });
    };
    if (ascii(a.id) && ascii(b.id)) return a.id < b.id;
    auto composed = [](const std::string& s) {
        return QString::fromUtf8(s.data(), static_cast<qsizetype>(s.size())).normalized(QString::NormalizationForm_C).toUtf8();
    };
    const QByteArray ca = composed(a.id), cb = composed(b.id);
    const int order = std::string_view(ca.constData(), ca.size()).compare(std::string_view(cb.constData(), cb.size()));
    if (order != 0) return order < 0;
    return a.id < b.id;
}

std::vector<StorageMapEntry> referenceEntries(std::vector<DiskNode> nodes, int limit, const std::string& groupID) {
    std::erase_if(nodes, [](const DiskNode& n) { return n.logicalSize <= 0; });
    std::sort(nodes.begin(), nodes.end(), referenceLess);
    const std::size_t n = nodes.size();
    std::size_t own = n;
    if (n > static_cast<std::size_t>(std::max(limit, 0))) own = limit > 1 ? static_cast<std::size_t>(limit - 1) : 0;
    std::vector<StorageMapEntry> entries;
    for (std::size_t i = 0; i < own; ++i)
        entries.push_back({nodes[i].id, nodes[i].id, nodes[i].name, static_cast<double>(nodes[i].logicalSize),
                           nodes[i].category, nodes[i].isDirectory, nodes[i].fileCount});
    if (own < n) {
        StorageMapEntry group;
        group.id = groupID;
        group.name = std::to_string(n - own) + " smaller items";  // below 1,000 in these tables
        for (std::size_t i = own; i < n; ++i) group.bytes += static_cast<double>(nodes[i].logicalSize);
        group.itemCount = static_cast<std::int64_t>(n - own);
        entries.push_back(group);
    }
    return entries;
}

} // namespace

TEST(StorageMapEntry, OrderAndGroupMatchTheReferenceRule) {
    // Names that tie on size in every way the order can go wrong: precomposed and decomposed
    // accents (equal once composed), a mark that reorders, Hangul syllables and their jamo, Latin
    // letters up to U+02FF, bytes that are no UTF-8, and plain ASCII around them.
    const std::vector<std::string> names = {
        "cafe", "caf\xC3\xA9", "cafe\xCC\x81", "cafe\xCC\x81\xCC\xA3", "cafe\xCC\xA3\xCC\x81", "caf\xE1\xBA\xB9\xCC\x81",
        "cafg", "cafd", "Caf\xC3\xA9", "\xC3\x85ngstr\xC3\xB6m", "A\xCC\x8Angstro\xCC\x88m", "\xE2\x84\xABngstr\xC3\xB6m",
        "\xEA\xB0\x80", "\xE1\x84\x80\xE1\x85\xA1", "\xC9\x90", "\xCB\xBF", "\xC2\xA0x", "x\xFFy", "x\xC0\xAFy",
        "x\xE2\x82", "\xCC\x81lead", "z", "a", "a b", "a-b", "\xEF\xAC\x81le", "fi" "le"};
    const std::int64_t huge = std::int64_t{1} << 61;
    std::vector<DiskNode> nodes;
    for (std::size_t i = 0; i < names.size(); ++i) {
        nodes.push_back(node("/r/" + names[i], static_cast<std::int64_t>(1 + i % 3), i % 4 == 0));
        nodes.push_back(node("/r/big " + names[i], huge + static_cast<std::int64_t>(i % 2) * 3));
    }
    for (int limit : {-1, 0, 1, 2, 3, 5, 40, 1000}) {
        SCOPED_TRACE(limit);
        EXPECT_EQ(StorageMapEntry::make(nodes, limit, "group:/r"), referenceEntries(nodes, limit, "group:/r"));
    }
    // Past 2^53 a sum of doubles depends on the order of its terms: largest first, 2^53 + 1 + 1
    // stays 2^53.
    const std::vector<DiskNode> rounding = {node("/r/1", 1), node("/r/2", 1), node("/r/3", 1), node("/r/4", 1),
                                            node("/r/5", std::int64_t{1} << 53)};
    EXPECT_EQ(StorageMapEntry::make(rounding, 0, "g"), referenceEntries(rounding, 0, "g"));

    // The same names as the children of one folder, and spread over two folders, in a snapshot.
    NodeFacts folder{true, false, 0, 0, 0, std::nullopt, FileCategory::other};
    DiskSnapshotBuilder b("/r", "r", folder);
    const auto other = b.add(0, "r\xCC\x81", folder);
    for (std::size_t i = 0; i < names.size(); ++i) {
        const std::int64_t size = static_cast<std::int64_t>(1 + i % 3);
        b.add(0, names[i], NodeFacts{false, false, size, size, 1, std::nullopt, FileCategory::other});
        b.add(other, names[i], NodeFacts{false, false, size, size, 1, std::nullopt, FileCategory::other});
    }
    b.accumulateTotals();
    auto snapshot = b.finish({}, {}, {}, 0, 0, false);
    std::vector<DiskSnapshot::Index> mixed(snapshot->children(other).begin(), snapshot->children(other).end());
    for (DiskSnapshot::Index i : snapshot->children(0))
        if (i != other) mixed.push_back(i);
    for (const auto& indexes : {std::vector<DiskSnapshot::Index>(snapshot->children(0).begin(), snapshot->children(0).end()), mixed}) {
        std::vector<DiskNode> given;
        for (DiskSnapshot::Index i : indexes) given.push_back(snapshot->node(i));
        for (int limit : {0, 2, 7, 40}) {
            SCOPED_TRACE(limit);
            EXPECT_EQ(StorageMapEntry::make(*snapshot, indexes, limit, "group:/r"), referenceEntries(given, limit, "group:/r"));
        }
    }
}

TEST(StorageMapEntry, SizeLabelFormatsTheClampedByteCount) {
    StorageMapEntry e;
    e.bytes = 1536;
    EXPECT_EQ(e.sizeLabel(), formatByteCount(1536));
    EXPECT_EQ(StorageMapEntry::byteCount(1536.9), 1536);
    EXPECT_EQ(StorageMapEntry::byteCount(1e30), 9223372036854773760LL);
    EXPECT_EQ(StorageMapEntry::byteCount(9223372036854775807.0), 9223372036854773760LL);
}

TEST(ByteCountFormatter, FileStyleTexts) {
    const std::pair<std::int64_t, const char*> cases[] = {
        {0, "Zero KB"},          {1, "1 byte"},           {999, "999 bytes"},         {1000, "1 KB"},
        {1536, "2 KB"},          {999499, "999 KB"},      {999500, "1 MB"},           {1000000, "1 MB"},
        {1500000, "1.5 MB"},     {1234567890, "1.23 GB"}, {1200000000, "1.2 GB"},     {999996000, "1 GB"},
        {5000000000000, "5 TB"}, {-1536, "-2 KB"},        {INT64_MAX, "9.22 EB"},     {INT64_MIN, "-9.22 EB"},
    };
    for (const auto& [bytes, text] : cases) EXPECT_EQ(formatByteCount(bytes).toStdString(), text) << bytes;
}
