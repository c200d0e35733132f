#include "MorvoCore/DiskModels.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>

using namespace morvo;

namespace {

NodeFacts folder() { return NodeFacts{true, false, 0, 0, 0, std::nullopt, FileCategory::other}; }
NodeFacts file(std::int64_t size, FileCategory category = FileCategory::other) {
    return NodeFacts{false, false, size, size, 1, std::nullopt, category};
}
NodeFacts link() { return NodeFacts{false, true, 0, 0, 0, std::nullopt, FileCategory::other}; }

// /Users/a { x (10, media), sub { y (30, documents), l -> }, }, plus /Users/ab-like sibling name
std::shared_ptr<const DiskSnapshot> sample() {
    DiskSnapshotBuilder b("/Users/a", "a", folder());
    b.add(0, "x.png", file(10, FileCategory::media));
    auto sub = b.add(0, "sub", folder());
    b.add(sub, "y.txt", file(30, FileCategory::documents));
    b.add(sub, "z.txt", file(10, FileCategory::documents));
    b.add(sub, "l", link());
    b.accumulateTotals();
    return b.finish({}, {}, {}, 3, 1, false);
}

} // namespace

TEST(DiskSnapshot, BuildsTreeWithTotalsAndIndex) {
    auto s = sample();
    EXPECT_EQ(s->nodeCount(), 6u);
    DiskNode root = s->root();
    EXPECT_EQ(root.id, "/Users/a");
    EXPECT_EQ(root.logicalSize, 50);
    EXPECT_EQ(root.fileCount, 3);
    EXPECT_EQ(root.children, (std::vector<std::string>{"/Users/a/x.png", "/Users/a/sub"}));
    auto sub = s->node("/Users/a/sub");
    ASSERT_TRUE(sub);
    EXPECT_EQ(sub->parentID, "/Users/a");
    EXPECT_EQ(sub->logicalSize, 40);
    EXPECT_EQ(sub->children.size(), 3u);
    EXPECT_EQ(sub->url.path, "/Users/a/sub");
    EXPECT_TRUE(sub->url.isDirectory);
    EXPECT_FALSE(s->node("/Users/a/nope"));
    EXPECT_FALSE(s->node("/Users/ab"));
}

TEST(DiskSnapshot, NodeWithoutChildrenHasEveryOtherFieldAndSpellsOutNoChildID) {
    auto s = sample();
    for (DiskSnapshot::Index i = 0; i < s->nodeCount(); ++i) {
        const std::uint64_t before = s->spelledOutChildIDs();
        DiskNode bare = s->nodeWithoutChildren(i);
        EXPECT_EQ(s->spelledOutChildIDs(), before) << s->path(i);
        EXPECT_TRUE(bare.children.empty());
        DiskNode full = s->node(i);
        EXPECT_EQ(s->spelledOutChildIDs(), before + s->children(i).size()) << s->path(i);
        bare.children = full.children;
        EXPECT_EQ(bare, full) << s->path(i);
    }
}

TEST(DiskSnapshot, FoldersClosedBottomUpMatchTheGenericPass) {
    // The same tree as sample(), with the folders closed by a walk instead of summed at the end.
    DiskSnapshotBuilder b("/Users/a", "a", folder());
    auto x = b.add(0, "x.png", file(10, FileCategory::media));
    auto sub = b.add(0, "sub", folder());
    auto y = b.add(sub, "y.txt", file(30, FileCategory::documents));
    auto z = b.add(sub, "z.txt", file(10, FileCategory::documents));
    auto l = b.add(sub, "l", link());
    const DiskSnapshot::Index subChildren[] = {y, z, l}, rootChildren[] = {x, sub};
    b.closeFolder(sub, subChildren);
    b.closeFolder(0, rootChildren);
    b.accumulateTotals();  // must not add the totals a second time
    auto closed = b.finish({}, {}, {}, 3, 1, false);
    auto generic = sample();
    ASSERT_EQ(closed->nodeCount(), generic->nodeCount());
    for (DiskSnapshot::Index i = 0; i < closed->nodeCount(); ++i) {
        EXPECT_EQ(closed->logicalSize(i), generic->logicalSize(i)) << closed->path(i);
        EXPECT_EQ(closed->fileCount(i), generic->fileCount(i)) << closed->path(i);
        EXPECT_TRUE(std::ranges::equal(closed->children(i), generic->children(i))) << closed->path(i);
        EXPECT_EQ(closed->indexOf(closed->path(i)), i);
    }
}

TEST(PathHash, AgreesWithTheWholePathHash) {
    // Folder and name lengths on both sides of the eight-byte steps, and the root folder.
    const std::string names[] = {"a", "1234567", "12345678", "123456789", std::string(255, 'n'), "caf\xc3\xa9"};
    const std::string folders[] = {"/", "/a", "/abcdef", "/abcdefg", "/abcdefgh/ijklmno", "/Users/someone/Library"};
    for (const auto& f : folders) {
        PathHash hash(f);
        for (const auto& n : names) {
            const std::string path = f == "/" ? "/" + n : f + "/" + n;
            EXPECT_EQ(hash.child(n), DiskSnapshot::hashPath(path)) << path;
        }
    }
}

TEST(DiskSnapshot, CategoryTotalsSkipFoldersAndLinks) {
    auto s = sample();
    auto totals = s->categoryTotals();
    EXPECT_EQ(totals[FileCategory::media], 10);
    EXPECT_EQ(totals[FileCategory::documents], 40);
    EXPECT_EQ(totals[FileCategory::other], 0);

    auto lone = makeSingleNodeSnapshot("/", "Macintosh HD", folder(), {}, {}, {}, false);
    for (FileCategory c : allFileCategories) EXPECT_EQ(lone->categoryTotals()[c], 0);
    EXPECT_EQ(lone->duration(), 0.0);
    EXPECT_EQ(lone->root().name, "Macintosh HD");
}

TEST(DiskSnapshot, FilesMatchingScopesQueriesAndOrders) {
    auto s = sample();
    auto ids = [](const std::vector<DiskNode>& nodes) {
        std::vector<std::string> out;
        for (auto& n : nodes) out.push_back(n.id);
        return out;
    };
    EXPECT_EQ(ids(s->files("  ", 0, std::nullopt, std::nullopt)),
              (std::vector<std::string>{"/Users/a/sub/y.txt", "/Users/a/sub/z.txt", "/Users/a/x.png"}));
    EXPECT_EQ(ids(s->files("Y.TXT", 0, std::nullopt, std::nullopt)), (std::vector<std::string>{"/Users/a/sub/y.txt"}));
    EXPECT_EQ(ids(s->files("", 11, std::nullopt, std::nullopt)), (std::vector<std::string>{"/Users/a/sub/y.txt"}));
    EXPECT_EQ(ids(s->files("", 0, FileCategory::media, std::nullopt)), (std::vector<std::string>{"/Users/a/x.png"}));
    EXPECT_EQ(s->files("", 0, std::nullopt, std::string_view("/Users/a/sub")).size(), 2u);
    EXPECT_EQ(s->files("", 0, std::nullopt, std::string_view("/Users/a/su")).size(), 0u);
    EXPECT_EQ(s->files("", 0, std::nullopt, std::string_view("/")).size(), 3u);
}

// Paths are spelled out from the names; comparing and matching them without spelling them out
// must agree with the spelled-out strings, at "/" and below it, for names that are prefixes of
// one another and for bytes on either side of "/" and above 0x7F.
TEST(DiskSnapshot, PathsComparedAndMatchedWithoutSpellingThemOut) {
    for (const std::string root : {"/", "/x", "/x/y"}) {
        DiskSnapshotBuilder b(root, "root", folder());
        using Index = DiskSnapshot::Index;
        std::vector<Index> nodes = {DiskSnapshot::rootIndex};
        const std::vector<std::string> names = {"ab", "abc", "ab-", "ab.", "ab0", "a", "\xC3\xA9", "b"};
        std::vector<Index> folders = {DiskSnapshot::rootIndex};
        for (int level = 0; level < 2; ++level) {
            std::vector<Index> next;
            for (Index f : folders)
                for (const auto& n : names) {
                    const Index i = b.add(f, n, n.size() == 2 ? folder() : file(1));
                    nodes.push_back(i);
                    if (n.size() == 2) next.push_back(i);
                }
            folders = next;
        }
        b.accumulateTotals();
        auto s = b.finish({}, {}, {}, 0, 0, false);
        EXPECT_EQ(s->path(DiskSnapshot::rootIndex), root);
        EXPECT_EQ(s->path(1), (root == "/" ? "" : root) + "/ab");
        for (Index a : nodes) {
            const std::string pa = s->path(a);
            EXPECT_EQ(s->pathLength(a), pa.size());
            EXPECT_TRUE(s->pathEquals(a, pa)) << pa;
            EXPECT_EQ(s->indexOf(pa), a) << pa;
            for (Index c : nodes) {
                const std::string pc = s->path(c);
                const int expected = pa.compare(pc);
                const int got = s->comparePaths(a, c);
                EXPECT_EQ((got > 0) - (got < 0), (expected > 0) - (expected < 0)) << pa << " vs " << pc;
                if (pc.size() == pa.size() && pc != pa) {
                    EXPECT_FALSE(s->pathEquals(a, pc)) << pa << " vs " << pc;
                }
            }
        }
        EXPECT_FALSE(s->indexOf(root + "/ab/ab/nothing"));
        EXPECT_FALSE(s->indexOf((root == "/" ? "" : root) + "/ab-ab"));   // same length as "/ab/ab"
    }
}

TEST(ScanError, Descriptions) {
    EXPECT_EQ(ScanError::cannotEnumerate("/Volumes/X").description(),
              "Morvo couldn\u2019t read /Volumes/X. Choose another folder or check its access permissions.");
    EXPECT_EQ(ScanError::notAFileURL().description(), "Choose a folder or volume on this Mac.");
}
