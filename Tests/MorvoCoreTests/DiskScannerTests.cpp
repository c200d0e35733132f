#include "MorvoCore/DiskScanner.h"
#include "MorvoCore/DiskScannerInternal.h"
#include "MorvoCore/Platform/Path.h"
#include "MorvoCore/Platform/Text.h"

#include "Support/FakeFileSystem.h"
#include "Support/FixtureTree.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cstring>
#include <filesystem>
#include <map>
#include <set>
#include <thread>

using namespace morvo;
using morvo::testing::FakeFileSystem;
using morvo::testing::FaultyReader;
using morvo::testing::FixtureTree;

namespace {

struct Recorder {
    std::vector<ScanProgress> reports;
    std::set<std::thread::id> threads;
    DiskScanner::ProgressHandler handler() {
        return [this](const ScanProgress& p) {
            reports.push_back(p);
            threads.insert(std::this_thread::get_id());
        };
    }
};

std::shared_ptr<const DiskSnapshot> scan(const DirectoryReader& reader, const std::string& path,
                                         std::int64_t maxNodes = 250000, std::int64_t maxIssues = 100,
                                         unsigned threads = 0, DiskScanner::ProgressHandler progress = {},
                                         std::stop_token stop = {}) {
    return detail::scanWith({maxNodes, maxIssues, threads}, reader, Url::file(path, true), progress, stop);
}

std::vector<std::pair<std::string, std::string>> issueTexts(const DiskSnapshot& s) {
    std::vector<std::pair<std::string, std::string>> out;
    for (const auto& i : s.issues) out.emplace_back(i.path, i.message);
    return out;
}

// Field by field, nodes in the order they were recorded; issue ids are fresh UUIDs and differ.
void expectSameSnapshot(const DiskSnapshot& a, const DiskSnapshot& b) {
    ASSERT_EQ(a.nodeCount(), b.nodeCount());
    EXPECT_EQ(a.rootID(), b.rootID());
    for (DiskSnapshot::Index i = 0; i < a.nodeCount(); ++i) {
        EXPECT_EQ(a.node(i), b.node(i)) << "node " << i << " " << a.path(i);
        // Every id finds its own node: the index is built from hashes the readers computed.
        EXPECT_EQ(a.indexOf(a.path(i)), i);
        EXPECT_EQ(b.indexOf(b.path(i)), i);
        if (::testing::Test::HasFailure()) return;
    }
    EXPECT_EQ(issueTexts(a), issueTexts(b));
    EXPECT_EQ(a.visitedFileCount, b.visitedFileCount);
    EXPECT_EQ(a.skippedLinkCount, b.skippedLinkCount);
    EXPECT_EQ(a.isPartial, b.isPartial);
}

// The pre-order an independent single-threaded walk gives: each folder's names in listing order.
void preorder(const std::string& folder, std::vector<std::string>& out) {
    const DirectoryReader& fs = DirectoryReader::system();
    int handle = fs.openDirectory(folder);
    ASSERT_GE(handle, 0) << folder;
    std::string names;
    ASSERT_EQ(fs.readNames(handle, names), 0);
    for (std::size_t at = 0; at < names.size(); at += std::strlen(names.data() + at) + 1) {
        const std::string p = path::join(folder, names.data() + at);
        out.push_back(p);
        FileMetadata m;
        ASSERT_EQ(fs.statAt(handle, names.data() + at, m), 0);
        if (m.isDirectory()) preorder(p, out);
    }
    fs.closeDirectory(handle);
}

std::int64_t allocated(const FixtureTree::Stat& s) { return s.blocks * 512; }

} // namespace

// MARK: - Sizes, kinds and structure on a real tree

TEST(DiskScanner, RecordsEveryItemWithTheSizeRule) {
    FixtureTree t;
    t.file("docs/report.pdf", 5000);
    t.file("docs/.hidden", 10);
    t.file("docs/shared.bin", 4096);
    t.hardLink("docs/shared.bin", "docs/shared-again.bin");
    t.sparseFile("big.iso", 64ll << 20, 4096);
    t.symlink("docs", "to-docs");
    t.symlink("no/such/target", "dangling");
    t.fifo("pipe");
    t.file(std::string("bad-\xff\xfe-name.txt"), 7);
    t.folder("empty");

    Recorder progress;
    auto s = scan(DirectoryReader::system(), t.root() + "/", 250000, 100, 0, progress.handler());

    EXPECT_EQ(s->rootID(), t.root());
    EXPECT_EQ(s->nodeCount(), 12u);
    EXPECT_FALSE(s->isPartial);
    EXPECT_TRUE(s->issues.empty());
    EXPECT_EQ(s->visitedFileCount, 6);
    EXPECT_EQ(s->skippedLinkCount, 2);

    struct Expected {
        std::string relative;
        bool directory, link;
        std::int64_t logical, allocated, files;
    };
    const auto shared = t.stat("docs/shared.bin");
    const auto sparse = t.stat("big.iso");
    ASSERT_LT(allocated(sparse), 64ll << 20) << "the file system made no hole";
    // Exactly one name of the hard-linked pair carries the blocks: the one recorded first.
    auto first = s->indexOf(t.path("docs/shared.bin"));
    auto second = s->indexOf(t.path("docs/shared-again.bin"));
    ASSERT_TRUE(first && second);
    if (*first > *second) std::swap(first, second);
    EXPECT_EQ(s->allocatedSize(*first), allocated(shared));
    EXPECT_EQ(s->allocatedSize(*second), 0);
    EXPECT_EQ(s->logicalSize(*second), 4096);

    const std::int64_t docsAllocated = allocated(t.stat("docs/report.pdf")) + allocated(t.stat("docs/.hidden")) +
                                       allocated(shared);
    const std::vector<Expected> table = {
        {"docs", true, false, 5000 + 10 + 4096 * 2, docsAllocated, 4},
        {"docs/report.pdf", false, false, 5000, allocated(t.stat("docs/report.pdf")), 1},
        {"docs/.hidden", false, false, 10, allocated(t.stat("docs/.hidden")), 1},
        {"big.iso", false, false, 64ll << 20, allocated(sparse), 1},
        {"to-docs", false, true, 0, 0, 0},
        {"dangling", false, true, 0, 0, 0},
        {"pipe", false, false, 0, 0, 0},
        {"bad-\xff\xfe-name.txt", false, false, 7, allocated(t.stat("bad-\xff\xfe-name.txt")), 1},
        {"empty", true, false, 0, 0, 0},
    };
    for (const auto& row : table) {
        SCOPED_TRACE(row.relative);
        auto n = s->node(t.path(row.relative));
        ASSERT_TRUE(n);
        EXPECT_EQ(n->isDirectory, row.directory);
        EXPECT_EQ(n->isSymbolicLink, row.link);
        EXPECT_EQ(n->logicalSize, row.logical);
        EXPECT_EQ(n->allocatedSize, row.allocated);
        EXPECT_EQ(n->fileCount, row.files);
        EXPECT_EQ(n->name, std::string(path::lastComponent(n->id)));
        EXPECT_EQ(n->parentID, std::string(path::parent(n->id)));
        EXPECT_EQ(n->category, classify(n->id, n->isDirectory));
        EXPECT_TRUE(n->modificationDate.has_value());
        EXPECT_EQ(n->id.find("//"), std::string::npos);
    }
    // The link to a folder is not followed: nothing is recorded below it.
    EXPECT_TRUE(s->node(t.path("to-docs"))->children.empty());
    EXPECT_FALSE(s->contains(t.path("to-docs/report.pdf")));

    const DiskNode root = s->root();
    EXPECT_EQ(root.name, std::string(path::lastComponent(t.root())));
    EXPECT_EQ(root.logicalSize, 5000 + 10 + 4096 * 2 + (64ll << 20) + 7);
    EXPECT_EQ(root.fileCount, 6);
    EXPECT_EQ(root.children.size(), 7u);

    // Exact modification time, to the nanosecond.
    struct stat st {};
    ASSERT_EQ(::lstat(t.path("docs/report.pdf").c_str(), &st), 0);
    const auto expectedDate =
        Date(std::chrono::duration_cast<Date::duration>(std::chrono::seconds(st.st_mtim.tv_sec) +
                                                        std::chrono::nanoseconds(st.st_mtim.tv_nsec)));
    EXPECT_EQ(s->node(t.path("docs/report.pdf"))->modificationDate, expectedDate);

    // Progress: one report first and one last, both on the root, all on the calling thread.
    ASSERT_GE(progress.reports.size(), 2u);
    EXPECT_EQ(progress.reports.front(), (ScanProgress{0, 1, 0, t.root()}));
    EXPECT_EQ(progress.reports.back(), (ScanProgress{6, 12, root.logicalSize, t.root()}));
    EXPECT_EQ(progress.threads, std::set<std::thread::id>{std::this_thread::get_id()});
}

TEST(DiskScanner, SingleItemRoots) {
    FixtureTree t;
    t.file("one.txt", 300);
    t.symlink("/etc/passwd", "link");
    t.hardLink("one.txt", "two.txt");

    Recorder progress;
    auto file = scan(DirectoryReader::system(), t.path("one.txt"), 250000, 100, 0, progress.handler());
    EXPECT_EQ(file->nodeCount(), 1u);
    EXPECT_EQ(file->root().fileCount, 1);
    EXPECT_EQ(file->root().logicalSize, 300);
    EXPECT_EQ(file->root().allocatedSize, allocated(t.stat("one.txt")));  // counted although linked
    EXPECT_EQ(file->visitedFileCount, 1);
    EXPECT_EQ(progress.reports, (std::vector<ScanProgress>{{1, 1, 300, t.path("one.txt")},
                                                             {1, 1, 300, t.path("one.txt")}}));

    auto link = scan(DirectoryReader::system(), t.path("link"));
    EXPECT_EQ(link->nodeCount(), 1u);
    EXPECT_TRUE(link->root().isSymbolicLink);
    EXPECT_EQ(link->root().logicalSize, 0);
    EXPECT_EQ(link->root().allocatedSize, 0);
    EXPECT_EQ(link->skippedLinkCount, 1);
    EXPECT_EQ(link->visitedFileCount, 0);
}

TEST(DiskScanner, FollowsNoLinkAndSurvivesALinkLoop) {
    FixtureTree t;
    t.file("a/f", 10);
    t.symlink("..", "a/up");
    t.symlink(t.root(), "a/self");
    auto s = scan(DirectoryReader::system(), t.root());
    EXPECT_EQ(s->nodeCount(), 5u);
    EXPECT_EQ(s->skippedLinkCount, 2);
    EXPECT_EQ(s->root().logicalSize, 10);
}

TEST(DiskScanner, ScansATreeDeeperThanThePathLimit) {
    FixtureTree t;
    // Made one level at a time through descriptors: the leaf's absolute path is longer than
    // PATH_MAX, so no call may be handed the whole of it.
    std::string relative;
    int fd = ::open(t.root().c_str(), O_RDONLY | O_DIRECTORY);
    for (int i = 0; i < 24; ++i) {
        const std::string name(200, static_cast<char>('a' + i));
        relative += (i ? "/" : "") + name;
        ASSERT_EQ(::mkdirat(fd, name.c_str(), 0755), 0);
        int next = ::openat(fd, name.c_str(), O_RDONLY | O_DIRECTORY);
        ::close(fd);
        fd = next;
        ASSERT_GE(fd, 0);
    }
    ASSERT_GT(t.path(relative).size(), 4096u);
    int leaf = ::openat(fd, "leaf.bin", O_WRONLY | O_CREAT, 0644);
    ASSERT_EQ(::write(leaf, "12345", 5), 5);
    ::close(leaf);
    ::close(fd);

    for (unsigned threads : {1u, 4u}) {
        auto s = scan(DirectoryReader::system(), t.root(), 250000, 100, threads);
        EXPECT_EQ(s->nodeCount(), 26u);
        EXPECT_FALSE(s->isPartial) << (s->issues.empty() ? "" : s->issues[0].message);
        EXPECT_EQ(s->root().logicalSize, 5);
        EXPECT_TRUE(s->contains(t.path(relative + "/leaf.bin")));
    }
}

// A chain of `depth` folders "d" below `root`, made one level at a time through descriptors
// (the deep end is beyond PATH_MAX). `atLevel(fd, level)` adds entries beside each level's "d".
template <typename Extra>
void makeChain(const std::string& root, int depth, Extra atLevel) {
    int fd = ::open(root.c_str(), O_RDONLY | O_DIRECTORY);
    ASSERT_GE(fd, 0);
    for (int level = 1; level <= depth; ++level) {
        ASSERT_EQ(::mkdirat(fd, "d", 0755), 0);
        int next = ::openat(fd, "d", O_RDONLY | O_DIRECTORY);
        ::close(fd);
        ASSERT_GE(next, 0);
        fd = next;
        atLevel(fd, level);
    }
    ::close(fd);
}

void makeFileAt(int folder, const char* name, std::size_t size) {
    int f = ::openat(folder, name, O_WRONLY | O_CREAT | O_EXCL, 0644);
    ASSERT_GE(f, 0) << name;
    const std::string bytes(size, 'x');
    ASSERT_EQ(::write(f, bytes.data(), bytes.size()), static_cast<ssize_t>(bytes.size()));
    ::close(f);
}

std::size_t openDescriptorCount() {
    const std::filesystem::directory_iterator entries("/proc/self/fd");
    return static_cast<std::size_t>(std::distance(begin(entries), end(entries)));
}

std::string chainPath(std::string path, int levels) {
    for (int i = 0; i < levels; ++i) path += "/d";
    return path;
}

// Folders far below PATH_MAX: same snapshot on one thread and on eight, ids spelled in full,
// issues on deep items, budget cuts and a cancellation while readers work below deep frames,
// and every descriptor closed however the scan ended.
TEST(DiskScanner, ChainFarBeyondThePathLimitScansTheSameOnAnyThreads) {
    FixtureTree t;
    constexpr int kDepth = 2100;  // 2 bytes a level: paths of over 4,200 bytes
    makeChain(t.root(), kDepth, [](int fd, int level) {
        if (level % 100 == 0) {
            makeFileAt(fd, "f", static_cast<std::size_t>(level / 100));
            ASSERT_EQ(::mkdirat(fd, "side", 0755), 0);  // a branch the readers may take ahead
            int side = ::openat(fd, "side", O_RDONLY | O_DIRECTORY);
            makeFileAt(side, "g", 1);
            ::close(side);
        }
        if (level == 1500) ASSERT_EQ(::mkdirat(fd, "locked", 0755), 0);
        if (level == 1800) makeFileAt(fd, "bad", 1);
        if (level == kDepth) makeFileAt(fd, "leaf.bin", 5);
    });
    ASSERT_GT(chainPath(t.root(), kDepth).size(), 4096u);
    FaultyReader reader(DirectoryReader::system());
    reader.failOpen = [](const std::string& p) { return path::lastComponent(p) == "locked" ? EACCES : 0; };
    reader.failStat = [](const std::string& p) { return path::lastComponent(p) == "bad" ? EIO : 0; };
    const std::size_t descriptors = openDescriptorCount();

    auto reference = scan(reader, t.root(), 250000, 100, 1);
    // The root, the chain, 21 × (f, side, side/g), the leaf.
    EXPECT_EQ(reference->nodeCount(), 1u + kDepth + 21 * 3 + 1);
    const std::string leaf = chainPath(t.root(), kDepth) + "/leaf.bin";
    ASSERT_TRUE(reference->indexOf(leaf));
    EXPECT_EQ(reference->path(*reference->indexOf(leaf)), leaf);
    EXPECT_EQ(reference->root().logicalSize, 5 + 21 + (1 + 2 + 3 + 4 + 5 + 6 + 7 + 8 + 9 + 10 + 11 + 12 + 13 + 14 + 15 +
                                                       16 + 17 + 18 + 19 + 20 + 21));
    EXPECT_EQ(issueTexts(*reference),
              (std::vector<std::pair<std::string, std::string>>{
                  {chainPath(t.root(), 1500) + "/locked", "Permission denied"},
                  {chainPath(t.root(), 1800) + "/bad", "Input/output error"}}));
    for (int run = 0; run < 3; ++run) expectSameSnapshot(*reference, *scan(reader, t.root(), 250000, 100, 8));

    for (std::int64_t budget : {700, 2000}) {
        SCOPED_TRACE(budget);
        expectSameSnapshot(*scan(reader, t.root(), budget, 100, 1), *scan(reader, t.root(), budget, 100, 8));
    }

    std::stop_source source;
    std::atomic<int> stats{0};
    FaultyReader stopping(DirectoryReader::system());
    stopping.failStat = [&](const std::string&) {
        if (++stats == 1200) source.request_stop();
        return 0;
    };
    EXPECT_THROW(scan(stopping, t.root(), 250000, 100, 8, {}, source.get_token()), CancellationError);
    EXPECT_EQ(openDescriptorCount(), descriptors);
}

// Over the scan's share of descriptors, folders open through an older ancestor: a comb (every
// level holds the chain's next folder and a side folder) keeps more folders waiting than the
// share allows.
TEST(DiskScanner, FewDescriptorsLeftStillScanTheWholeTree) {
    FixtureTree t;
    makeChain(t.root(), 80, [](int fd, int level) {
        ASSERT_EQ(::mkdirat(fd, "e", 0755), 0);
        int side = ::openat(fd, "e", O_RDONLY | O_DIRECTORY);
        makeFileAt(side, level == 60 ? "bad" : "g", 2);
        if (level == 70) ASSERT_EQ(::mkdirat(side, "locked", 0755), 0);
        ::close(side);
    });
    FaultyReader reader(DirectoryReader::system());
    reader.failOpen = [](const std::string& p) { return path::lastComponent(p) == "locked" ? EACCES : 0; };
    reader.failStat = [](const std::string& p) { return path::lastComponent(p) == "bad" ? EIO : 0; };
    std::vector<std::string> order;
    preorder(t.root(), order);

    rlimit saved{};
    ASSERT_EQ(::getrlimit(RLIMIT_NOFILE, &saved), 0);
    rlimit low = saved;
    low.rlim_cur = std::min<rlim_t>(saved.rlim_cur, 128);  // a share of 32
    ASSERT_EQ(::setrlimit(RLIMIT_NOFILE, &low), 0);
    auto reference = scan(reader, t.root(), 250000, 100, 1);
    auto parallel = scan(reader, t.root(), 250000, 100, 8);
    ASSERT_EQ(::setrlimit(RLIMIT_NOFILE, &saved), 0);

    // Everything but the two failures, in the plain pre-order.
    std::vector<std::string> ids;
    for (DiskSnapshot::Index i = 1; i < reference->nodeCount(); ++i) ids.push_back(reference->path(i));
    std::erase_if(order, [](const std::string& p) {
        return path::lastComponent(p) == "bad" || path::lastComponent(p) == "locked";
    });
    EXPECT_EQ(ids, order);
    EXPECT_EQ(issueTexts(*reference),
              (std::vector<std::pair<std::string, std::string>>{
                  {chainPath(t.root(), 60) + "/e/bad", "Input/output error"},
                  {chainPath(t.root(), 70) + "/e/locked", "Permission denied"}}));
    expectSameSnapshot(*reference, *parallel);
}

TEST(DiskScanner, RootGivenWithTrailingSlashesKeepsCleanIds) {
    FixtureTree t;
    t.file("Music/song.mp3", 3);
    auto s = scan(DirectoryReader::system(), t.path("Music") + "//");
    EXPECT_EQ(s->rootID(), t.path("Music"));
    ASSERT_EQ(s->root().children.size(), 1u);
    EXPECT_EQ(s->root().children[0], t.path("Music/song.mp3"));
}

// MARK: - Errors

TEST(DiskScanner, ErrorsThatEndTheScan) {
    FixtureTree t;
    t.folder("locked");
    DiskScanner scanner(10, 10);

    EXPECT_THROW(scanner.scan(Url::parse("https://example.com/x"), {}), ScanError);
    try {
        scanner.scan(Url::parse("https://example.com/x"), {});
    } catch (const ScanError& e) {
        EXPECT_EQ(e.kind(), ScanError::Kind::notAFileURL);
    }

    try {
        scanner.scan(Url::file(t.path("missing")), {});
        ADD_FAILURE() << "no error";
    } catch (const PosixError& e) {
        EXPECT_EQ(e.code(), ENOENT);
        EXPECT_EQ(e.path(), t.path("missing"));
    }

    // A relative root while the current folder is deleted: an error, not a scan of "/" + root.
    {
        const int home = ::open(".", O_RDONLY | O_DIRECTORY);
        ASSERT_GE(home, 0);
        const std::string gone = t.folder("gone");
        ASSERT_EQ(::chdir(gone.c_str()), 0);
        ASSERT_EQ(::rmdir(gone.c_str()), 0);
        const Url relative = Url::file("etc", true);
        EXPECT_EQ(relative.path, "etc");
        try {
            scanner.scan(relative, {});
            ADD_FAILURE() << "no error";
        } catch (const PosixError& e) {
            EXPECT_EQ(e.code(), ENOENT);
            EXPECT_EQ(e.description(),
                      "The relative path \u201Cetc\u201D can\u2019t be used because the current folder is no longer "
                      "available.");
        }
        EXPECT_THROW(path::absolute(""), UnresolvablePathError);
        EXPECT_EQ(path::absolute("/a//b/"), "/a/b");  // absolute paths need no current folder
        ASSERT_EQ(::fchdir(home), 0);
        ::close(home);
    }

    FaultyReader reader(DirectoryReader::system());
    reader.failOpen = [&](const std::string& p) { return p == t.path("locked") ? EACCES : 0; };
    Recorder progress;
    try {
        scan(reader, t.path("locked"), 10, 10, 0, progress.handler());
        ADD_FAILURE() << "no error";
    } catch (const ScanError& e) {
        EXPECT_EQ(e.kind(), ScanError::Kind::cannotEnumerate);
        EXPECT_EQ(e.path(), t.path("locked"));
    }
    EXPECT_EQ(progress.reports.size(), 1u);  // the start report was already given

    std::stop_source stopped;
    stopped.request_stop();
    Recorder none;
    EXPECT_THROW(scanner.scan(Url::file(t.root()), none.handler(), stopped.get_token()), CancellationError);
    EXPECT_TRUE(none.reports.empty());
}

TEST(DiskScanner, LimitsAreRaisedToOne) {
    DiskScanner scanner(0, -5);
    EXPECT_EQ(scanner.maxNodeCount(), 1);
    EXPECT_EQ(scanner.maxIssueCount(), 1);
    FixtureTree t;
    t.file("a", 1);
    t.file("b", 1);
    auto s = scanner.scan(Url::file(t.root()), {});
    EXPECT_EQ(s->nodeCount(), 1u);
    ASSERT_EQ(s->issues.size(), 1u);
    EXPECT_TRUE(s->isPartial);
}

TEST(DiskScanner, NodeBudgetCutsThePreOrderAndSaysSo) {
    FixtureTree t;
    for (int i = 0; i < 5; ++i) t.file("a/f" + std::to_string(i), 100);
    t.file("b/c/g", 1);
    t.file("h", 1);
    std::vector<std::string> order;
    preorder(t.root(), order);
    ASSERT_EQ(order.size(), 10u);

    for (std::int64_t budget : {1, 4, 10, 11}) {
        SCOPED_TRACE(budget);
        auto s = scan(DirectoryReader::system(), t.root(), budget, 100, 1);
        const std::size_t kept = std::min<std::size_t>(budget, order.size() + 1);
        ASSERT_EQ(s->nodeCount(), kept);
        for (std::size_t i = 1; i < kept; ++i) EXPECT_EQ(s->path(static_cast<DiskSnapshot::Index>(i)), order[i - 1]);
        // The walk only ends early when an entry is left over.
        const bool cut = budget <= static_cast<std::int64_t>(order.size());
        EXPECT_EQ(s->isPartial, cut);
        if (cut) {
            ASSERT_EQ(s->issues.size(), 1u);
            EXPECT_EQ(s->issues[0].path, t.root());
            EXPECT_EQ(s->issues[0].message, "The scan reached its " + text::formatInteger(budget) +
                                                "-item memory limit. Scan a smaller folder to explore the "
                                                "remaining files.");
        }
        // Totals cover exactly what was kept.
        std::int64_t bytes = 0;
        for (DiskSnapshot::Index i = 0; i < s->nodeCount(); ++i)
            if (s->isRegularFile(i)) bytes += s->logicalSize(i);
        EXPECT_EQ(s->root().logicalSize, bytes);
    }
    EXPECT_EQ(text::formatInteger(250000).size(), 7u);  // grouped, e.g. "250,000"
}

// MARK: - Folders far larger than the budget

namespace {

struct ExpectedWalk {
    std::vector<std::string> recorded;  // below the root, in order
    std::vector<std::string> unreadable;
    bool limited = false;
    std::int64_t bytes = 0, files = 0;
};

// The plain single-threaded walk of a made-up tree, as the scan defines it: each folder's names in
// listing order; before each entry, the walk ends if the budget is used up; an entry whose lstat
// fails is an issue and no node.
void expectedWalk(FakeFileSystem& fs, const std::string& folder, std::int64_t budget, ExpectedWalk& out) {
    for (const auto& name : fs.item(folder).names) {
        if (out.limited) return;
        if (static_cast<std::int64_t>(out.recorded.size()) + 1 >= budget) {
            out.limited = true;
            return;
        }
        const std::string p = path::join(folder, name);
        const auto& item = fs.item(p);
        if (item.statError != 0) {
            out.unreadable.push_back(p);
            continue;
        }
        out.recorded.push_back(p);
        if (item.metadata.isRegular()) out.bytes += item.metadata.size, ++out.files;
        if (item.metadata.isDirectory()) expectedWalk(fs, p, budget, out);
    }
}

} // namespace

// A folder many times the budget is read only as far as the budget reaches: a listing takes at
// most the budget's names (to the end of a read), and goes on past them only while entries it
// holds could not be recorded. The snapshot is the plain walk cut at the budget, on any threads.
TEST(DiskScanner, FolderFarLargerThanTheBudgetIsReadOnlyAsFarAsTheBudget) {
    struct Case {
        const char* name;
        const char* big;  // the large folder
        int entries;
        int unreadableFirst;   // the first entries of the large folder fail their lstat
        std::int64_t budget;
    };
    const std::vector<Case> cases = {
        {"at the root", "/r", 2000, 0, 100},
        {"below the root", "/r/big", 2000, 0, 100},
        {"unreadable first entries", "/r/big", 2000, 300, 100},
        {"unreadable, ends within the budget", "/r/big", 400, 380, 100},
        {"budget of one", "/r", 2000, 0, 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        FakeFileSystem fs;
        fs.folder("/r");
        const std::string big = c.big;
        if (big != "/r") {
            for (int i = 0; i < 3; ++i) fs.file("/r/a" + std::to_string(i), 1000);
            fs.folder(big);
        }
        for (int i = 0; i < c.entries; ++i) {
            const std::string p = big + "/f" + std::to_string(i);
            fs.file(p, i);
            if (i < c.unreadableFirst) fs.item(p).statError = EIO;
            if (i == c.unreadableFirst + 50) {
                fs.folder(big + "/sub");  // a folder among the entries read past a cut
                for (int k = 0; k < 5; ++k) fs.file(big + "/sub/g" + std::to_string(k), 7);
            }
        }
        if (big != "/r") fs.file("/r/z", 1);
        ExpectedWalk expected;
        expectedWalk(fs, "/r", c.budget, expected);

        for (unsigned threads : {1u, 8u, 8u}) {
            SCOPED_TRACE(threads);
            const std::size_t namesBefore = fs.namesRead(), statsBefore = fs.stats();
            auto s = scan(fs, "/r", c.budget, 1000, threads);
            const std::size_t names = fs.namesRead() - namesBefore, stats = fs.stats() - statsBefore;
            EXPECT_LE(names, static_cast<std::size_t>(c.budget + c.unreadableFirst) + 5 * fs.namesPerRead + 10);
            EXPECT_LE(stats, names + 1);
            EXPECT_EQ(fs.openHandles(), 0u);

            std::vector<std::string> recorded;
            for (DiskSnapshot::Index i = 1; i < s->nodeCount(); ++i) recorded.push_back(s->path(i));
            EXPECT_EQ(recorded, expected.recorded);
            std::vector<std::pair<std::string, std::string>> issues;
            for (const auto& p : expected.unreadable) issues.emplace_back(p, "Input/output error");
            if (expected.limited)
                issues.emplace_back("/r", "The scan reached its " + text::formatInteger(c.budget) +
                                              "-item memory limit. Scan a smaller folder to explore the remaining "
                                              "files.");
            EXPECT_EQ(issueTexts(*s), issues);
            EXPECT_EQ(s->isPartial, expected.limited || !expected.unreadable.empty());
            EXPECT_EQ(s->visitedFileCount, expected.files);
            EXPECT_EQ(s->root().logicalSize, expected.bytes);
            EXPECT_EQ(s->root().fileCount, expected.files);
        }
    }
}

// MARK: - Unreadable entries (fault injection)

TEST(DiskScanner, UnreadableEntriesBecomeCappedIssues) {
    FixtureTree t;
    t.file("locked/inside", 50);
    t.file("locked/deeper/more", 50);
    for (int i = 0; i < 10; ++i) t.file("bad" + std::to_string(i), 1);
    t.file("good", 2);
    t.file("half/kept", 3);

    FaultyReader reader(DirectoryReader::system());
    reader.failOpen = [&](const std::string& p) { return p == t.path("locked") ? EACCES : 0; };
    reader.failStat = [&](const std::string& p) {
        return path::lastComponent(p).starts_with("bad") ? EIO : 0;
    };
    reader.failRead = [&](const std::string& p) { return p == t.path("half") ? EIO : 0; };

    for (unsigned threads : {1u, 8u}) {
        SCOPED_TRACE(threads);
        auto all = scan(reader, t.root(), 1000, 100, threads);
        EXPECT_TRUE(all->isPartial);
        // The locked folder gets no node and nothing below it is visited.
        EXPECT_FALSE(all->contains(t.path("locked")));
        EXPECT_FALSE(all->contains(t.path("locked/inside")));
        EXPECT_EQ(all->nodeCount(), 4u);  // root, good, half, half/kept
        EXPECT_EQ(all->root().logicalSize, 5);
        std::map<std::string, std::string> byPath;
        for (const auto& i : all->issues) byPath[i.path] = i.message;
        EXPECT_EQ(all->issues.size(), 12u);
        EXPECT_EQ(byPath[t.path("locked")], "Permission denied");
        EXPECT_EQ(byPath[t.path("bad3")], "Input/output error");
        EXPECT_EQ(byPath[t.path("half")], "Input/output error");  // its listing broke off; kept what came

        auto capped = scan(reader, t.root(), 1000, 3, threads);
        EXPECT_EQ(capped->issues.size(), 3u);
        EXPECT_TRUE(capped->isPartial);
        auto firstThree = issueTexts(*all);
        firstThree.resize(3);
        EXPECT_EQ(issueTexts(*capped), firstThree);  // the first ones met are the ones kept
    }
}

// MARK: - Same snapshot whatever the threads

TEST(DiskScanner, ParallelScanEqualsSingleThreadedField_by_field) {
    FixtureTree t;
    // A folder of several reading chunks, with folders among its files.
    for (int i = 0; i < 700; ++i) t.file("big/f" + std::to_string(i) + (i % 3 ? ".txt" : ".jpg"), i);
    for (int d = 0; d < 6; ++d)
        for (int i = 0; i < 30; ++i) t.file("big/sub" + std::to_string(d) + "/g" + std::to_string(i), 7);
    t.file("deep/a/b/c/d/e/f/leaf.c", 11);
    t.file("x/shared.bin", 8192);
    t.hardLink("x/shared.bin", "big/shared-link.bin");
    t.hardLink("x/shared.bin", "deep/a/shared-link.bin");
    t.symlink("../x", "big/sub2/to-x");
    t.fifo("deep/pipe");
    t.file("big/sub4/locked/hidden", 1);
    t.file("deep/a/locked/hidden", 1);
    for (int i = 0; i < 4; ++i) t.file("big/sub1/bad" + std::to_string(i), 1);

    FaultyReader reader(DirectoryReader::system());
    reader.failOpen = [](const std::string& p) { return path::lastComponent(p) == "locked" ? EACCES : 0; };
    reader.failStat = [](const std::string& p) { return path::lastComponent(p).starts_with("bad") ? EIO : 0; };

    std::vector<std::string> order;
    preorder(t.root(), order);

    for (std::int64_t budget : {2, 40, 257, 600, 800, 100000}) {
        SCOPED_TRACE(budget);
        auto reference = scan(reader, t.root(), budget, 4, 1);
        // The single-threaded snapshot is the plain pre-order walk minus what could not be read.
        std::size_t at = 0;
        for (DiskSnapshot::Index i = 1; i < reference->nodeCount(); ++i) {
            while (at < order.size() && order[at] != reference->path(i)) ++at;
            ASSERT_LT(at, order.size()) << "out of order: " << reference->path(i);
        }
        for (unsigned threads : {2u, 3u, 8u}) {
            SCOPED_TRACE(threads);
            for (int run = 0; run < 3; ++run) expectSameSnapshot(*reference, *scan(reader, t.root(), budget, 4, threads));
        }
    }
}

// A snapshot large enough that its id index is filled by several threads.
TEST(DiskScanner, LargeParallelScanEqualsSingleThreaded) {
    FakeFileSystem fs;
    fs.folder("/big");
    for (int d = 0; d < 300; ++d) {
        const std::string folder = "/big/d" + std::to_string(d);
        fs.folder(folder);
        for (int f = 0; f < 250; ++f) fs.file(folder + "/f" + std::to_string(f), d * 1000 + f);
    }
    for (std::int64_t budget : {70000, 250000}) {
        SCOPED_TRACE(budget);
        auto reference = scan(fs, "/big", budget, 4, 1);
        auto parallel = scan(fs, "/big", budget, 4, 8);
        EXPECT_EQ(reference->nodeCount(), static_cast<std::size_t>(std::min<std::int64_t>(budget, 75301)));
        expectSameSnapshot(*reference, *parallel);
        EXPECT_FALSE(parallel->indexOf("/big/d0/f250"));
        EXPECT_FALSE(parallel->indexOf("/big/d"));
    }
}

// MARK: - Cancellation

TEST(DiskScanner, CancellingDuringTheWalkThrowsPromptly) {
    FixtureTree t;
    for (int d = 0; d < 20; ++d)
        for (int i = 0; i < 50; ++i) t.file("d" + std::to_string(d) + "/f" + std::to_string(i), 1);
    for (unsigned threads : {1u, 8u}) {
        SCOPED_TRACE(threads);
        std::stop_source source;
        std::atomic<int> stats{0};
        FaultyReader reader(DirectoryReader::system());
        reader.failStat = [&](const std::string&) {
            if (++stats == 300) source.request_stop();
            return 0;
        };
        Recorder progress;
        EXPECT_THROW(scan(reader, t.root(), 250000, 100, threads, progress.handler(), source.get_token()),
                     CancellationError);
        EXPECT_LT(stats.load(), 1020);  // the walk stopped instead of reading everything
        ASSERT_FALSE(progress.reports.empty());
        EXPECT_NE(progress.reports.back().itemCount, 1021);  // no end report
    }
}

// MARK: - Scans of "/" (an invented tree)

TEST(DiskScanner, StartupDiskScanLeavesOutVolumesAndSystemFolders) {
    FakeFileSystem fs;
    fs.folder("/Volumes");
    fs.folder("/Volumes/Backup", 7);
    fs.file("/Volumes/Backup/data", 100, -1, 7);
    fs.folder("/System");
    fs.folder("/System/Volumes");
    fs.file("/System/Volumes/x", 100);
    fs.file("/System/kernel", 10);
    for (const char* p : {"/proc", "/sys", "/dev", "/run"}) {
        fs.folder(p, 2);
        fs.file(std::string(p) + "/inner", 100, -1, 2);
    }
    fs.folder("/home");
    fs.file("/home/notes.txt", 20);
    fs.folder("/home/usb", 9);  // another file system mounted below "/"
    fs.file("/home/usb/photo.jpg", 100, -1, 9);
    fs.file("/home/bind-mounted-file", 5, -1, 9);  // only folders are left out by device

    for (unsigned threads : {1u, 4u}) {
        SCOPED_TRACE(threads);
        auto s = scan(fs, "/", 1000, 100, threads);
        EXPECT_EQ(s->root().name, "Macintosh HD");
        std::set<std::string> ids;
        for (DiskSnapshot::Index i = 0; i < s->nodeCount(); ++i) ids.insert(std::string(s->path(i)));
        EXPECT_EQ(ids, (std::set<std::string>{"/", "/System", "/System/kernel", "/home", "/home/notes.txt",
                                              "/home/bind-mounted-file"}));
        EXPECT_TRUE(s->isPartial);
        std::vector<std::string> issuePaths;
        for (const auto& i : s->issues) {
            issuePaths.push_back(i.path);
            EXPECT_EQ(i.message,
                      "Mounted volumes are excluded from a startup-disk scan to avoid counting duplicate or external "
                      "volumes. Scan a mounted volume directly to inspect it.");
        }
        EXPECT_EQ(issuePaths, (std::vector<std::string>{"/Volumes", "/System/Volumes", "/proc", "/sys", "/dev",
                                                        "/run", "/home/usb"}));
        EXPECT_EQ(s->root().logicalSize, 35);
        EXPECT_EQ(fs.openHandles(), 0u);
    }

    auto volume = scan(fs, "/Volumes/Backup");
    EXPECT_EQ(volume->nodeCount(), 2u);
    EXPECT_FALSE(volume->isPartial);
}

TEST(DiskScanner, SizesSaturateInsteadOfOverflowing) {
    FakeFileSystem fs;
    fs.folder("/v");
    fs.file("/v/a", INT64_MAX, INT64_MAX / 256);
    fs.file("/v/b", INT64_MAX, 10);
    fs.file("/v/neg", -5, -5);
    auto s = scan(fs, "/v");
    EXPECT_EQ(s->root().logicalSize, INT64_MAX);
    EXPECT_EQ(s->root().allocatedSize, INT64_MAX);
    EXPECT_EQ(s->node("/v/a")->allocatedSize, INT64_MAX);
    EXPECT_EQ(s->node("/v/neg")->logicalSize, 0);
    EXPECT_EQ(s->node("/v/neg")->allocatedSize, 0);
}
