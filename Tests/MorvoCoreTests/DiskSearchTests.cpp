#include "MorvoCore/DiskSearch.h"

#include "MorvoCore/Platform/Text.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <random>
#include <set>
#include <thread>

using namespace morvo;
using namespace std::chrono_literals;

namespace {

NodeFacts folder() { return NodeFacts{true, false, 0, 0, 0, std::nullopt, FileCategory::other}; }
NodeFacts file(std::int64_t size, FileCategory category = FileCategory::other, std::optional<Date> date = std::nullopt) {
    return NodeFacts{false, false, size, size, 1, date, category};
}
NodeFacts link() { return NodeFacts{false, true, 0, 0, 0, std::nullopt, FileCategory::other}; }
NodeFacts fifo() { return NodeFacts{false, false, 0, 0, 0, std::nullopt, FileCategory::other}; }

// Builds a snapshot from paths relative to the root; missing folders are made on the way.
class Tree {
public:
    explicit Tree(std::string root) : builder_(root, std::string(root == "/" ? "Macintosh HD" : "root"), folder()) {
        index_[""] = 0;
    }
    Tree& add(const std::string& relative, const NodeFacts& facts) {
        const auto slash = relative.rfind('/');
        const std::string parent = slash == std::string::npos ? "" : relative.substr(0, slash);
        if (!index_.count(parent)) add(parent, folder());
        index_[relative] = builder_.add(index_[parent], relative.substr(slash == std::string::npos ? 0 : slash + 1), facts);
        return *this;
    }
    std::shared_ptr<const DiskSnapshot> finish() {
        builder_.accumulateTotals();
        return builder_.finish({}, {}, {}, 0, 0, false);
    }

private:
    DiskSnapshotBuilder builder_;
    std::map<std::string, DiskSnapshot::Index> index_;
};

std::vector<std::string> ids(const FileSearchResult& r) {
    std::vector<std::string> out;
    for (const auto& n : r.files) out.push_back(n.id);
    return out;
}

std::set<std::string> idSet(const FileSearchResult& r) {
    auto v = ids(r);
    return {v.begin(), v.end()};
}

std::shared_ptr<const DiskSnapshot> home() {
    return Tree("/Users/a")
        .add("Music/song.mp3", file(400, FileCategory::media))
        .add("Music/Live/take1.wav", file(300, FileCategory::media))
        .add("Music/shortcut", link())
        .add("Documents/RESUME.pdf", file(200, FileCategory::documents))
        .add("Documents/notes.txt", file(100, FileCategory::documents))
        .add("Caf\xC3\xA9/menu.txt", file(50, FileCategory::documents))          // Café, precomposed
        .add("bad\xFFname.bin", file(25))                                        // not UTF-8
        .add("pipe", fifo())
        .add("empty", folder())
        .finish();
}

FileSearchResult search(const DiskSnapshot& s, std::string_view query) {
    return DiskSearch::find(s, query, std::nullopt, 0, FileSort::size, 1000);
}

} // namespace

TEST(FileSort, RawValuesRoundTripAndUnknownLabelsAreRefused) {
    EXPECT_EQ(rawValue(FileSort::size), "Largest first");
    EXPECT_EQ(rawValue(FileSort::name), "Name");
    EXPECT_EQ(rawValue(FileSort::modified), "Recently modified");
    for (FileSort s : allFileSorts) EXPECT_EQ(fileSortFromRawValue(rawValue(s)), s);
    for (std::string_view bad : {"", "name", "Largest First", "size"}) EXPECT_FALSE(fileSortFromRawValue(bad)) << bad;
}

TEST(DiskSearch, QueryMatchesFoldedPaths) {
    auto s = home();
    const std::set<std::string> every = {"/Users/a/Music/song.mp3",      "/Users/a/Music/Live/take1.wav",
                                         "/Users/a/Documents/RESUME.pdf", "/Users/a/Documents/notes.txt",
                                         "/Users/a/Caf\xC3\xA9/menu.txt", "/Users/a/bad\xFFname.bin",
                                         "/Users/a/pipe"};
    struct Case {
        const char* query;
        std::set<std::string> expected;
    };
    const std::vector<Case> cases = {
        {"", every},
        {" \n\t ", every},
        {"\xCC\x81", every},                                  // a lone combining acute folds to nothing
        {" \xCC\x81\xCC\x88 ", every},
        {"users/A", every},                                    // only the root's path holds it
        {"r\xC3\xA9sum\xC3\xA9", {"/Users/a/Documents/RESUME.pdf"}},   // résumé, precomposed
        {"re\xCC\x81sume\xCC\x81", {"/Users/a/Documents/RESUME.pdf"}}, // résumé, decomposed
        {"  music ", {"/Users/a/Music/song.mp3", "/Users/a/Music/Live/take1.wav"}},
        {"MUSIC/live/", {"/Users/a/Music/Live/take1.wav"}},    // spans a separator
        {"c/so", {"/Users/a/Music/song.mp3"}},
        {"cafe/", {"/Users/a/Caf\xC3\xA9/menu.txt"}},
        {"CAF\xC3\x89", {"/Users/a/Caf\xC3\xA9/menu.txt"}},     // CAFÉ
        {"bad", {"/Users/a/bad\xFFname.bin"}},
        {"shortcut", {}},                                      // links never appear
        {"empty", {}},                                         // nor folders
        {"music/song.mp3x", {}},
    };
    for (const Case& c : cases) {
        const auto r = search(*s, c.query);
        EXPECT_EQ(idSet(r), c.expected) << "query '" << c.query << "'";
        EXPECT_EQ(r.totalCount, static_cast<std::int64_t>(c.expected.size())) << c.query;
    }
}

TEST(DiskSearch, FiltersByCategoryAndMinimumSize) {
    auto s = home();
    struct Case {
        std::optional<FileCategory> category;
        std::int64_t minimum;
        std::vector<std::string> expected;
        std::int64_t bytes;
    };
    const std::vector<Case> cases = {
        {FileCategory::media, 0, {"/Users/a/Music/song.mp3", "/Users/a/Music/Live/take1.wav"}, 700},
        {FileCategory::documents, 100, {"/Users/a/Documents/RESUME.pdf", "/Users/a/Documents/notes.txt"}, 300},
        {std::nullopt, 300, {"/Users/a/Music/song.mp3", "/Users/a/Music/Live/take1.wav"}, 700},
        {FileCategory::applications, 0, {}, 0},
    };
    for (const Case& c : cases) {
        const auto r = DiskSearch::find(*s, "", c.category, c.minimum, FileSort::size, 10);
        EXPECT_EQ(ids(r), c.expected) << c.minimum;
        EXPECT_EQ(r.totalBytes, c.bytes);
    }
}

TEST(DiskSearch, OrdersBreakTiesOnPath) {
    const Date early = Date(1000s), late = Date(2000s);
    auto s = Tree("/r")
                 .add("b/file10", file(5, FileCategory::other, early))
                 .add("b/file2", file(5, FileCategory::other, late))
                 .add("a/file10", file(9))
                 .add("a/File2", file(5, FileCategory::other, early))
                 .add("c/x", file(1))
                 .finish();
    struct Case {
        FileSort sort;
        std::vector<std::string> expected;
    };
    const std::vector<Case> cases = {
        {FileSort::size, {"/r/a/file10", "/r/a/File2", "/r/b/file10", "/r/b/file2", "/r/c/x"}},
        // Digit runs by value, case ignored; equal names by path.
        {FileSort::name, {"/r/a/File2", "/r/b/file2", "/r/a/file10", "/r/b/file10", "/r/c/x"}},
        // Latest first; no date counts as the distant past, those by path.
        {FileSort::modified, {"/r/b/file2", "/r/a/File2", "/r/b/file10", "/r/a/file10", "/r/c/x"}},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(ids(DiskSearch::find(*s, "", std::nullopt, 0, c.sort, 100)), c.expected) << rawValue(c.sort);
        // A page is the head of the whole order.
        const std::vector<std::string> head(c.expected.begin(), c.expected.begin() + 2);
        EXPECT_EQ(ids(DiskSearch::find(*s, "", std::nullopt, 0, c.sort, 2)), head) << rawValue(c.sort);
    }
}

TEST(DiskSearch, LimitCapsThePageButNotTheTotals) {
    auto s = home();
    for (std::int64_t limit : {0, -5}) {
        const auto r = DiskSearch::find(*s, "", std::nullopt, 0, FileSort::size, limit);
        EXPECT_TRUE(r.files.empty());
        EXPECT_EQ(r.totalCount, 7);
        EXPECT_EQ(r.totalBytes, 1075);
    }
    const auto r = DiskSearch::find(*s, "music", std::nullopt, 0, FileSort::size, 1);
    EXPECT_EQ(ids(r), std::vector<std::string>{"/Users/a/Music/song.mp3"});
    EXPECT_EQ(r.totalCount, 2);
    EXPECT_EQ(r.totalBytes, 700);
    // The page carries whole nodes.
    const DiskNode& song = r.files.at(0);
    EXPECT_EQ(song, *s->node("/Users/a/Music/song.mp3"));
    EXPECT_EQ(song.parentID, "/Users/a/Music");
    EXPECT_EQ(song.category, FileCategory::media);
}

TEST(DiskSearch, TotalBytesSaturate) {
    auto s = Tree("/r").add("a", file(INT64_MAX / 2 + 1)).add("b", file(INT64_MAX / 2 + 1)).add("c", file(7)).finish();
    const auto r = DiskSearch::find(*s, "", std::nullopt, 0, FileSort::size, 10);
    EXPECT_EQ(r.totalCount, 3);
    EXPECT_EQ(r.totalBytes, INT64_MAX);
}

TEST(DiskSearch, StoppedSearchReturnsTheEmptyResult) {
    auto s = home();
    std::stop_source source;
    source.request_stop();
    for (std::string_view query : {"", "music"}) {
        const auto r = DiskSearch::find(*s, query, std::nullopt, 0, FileSort::size, 10, source.get_token());
        EXPECT_EQ(r, FileSearchResult{}) << query;
    }
}

TEST(DiskSearch, RootedAtSlashAndSingleFileSnapshots) {
    auto root = Tree("/").add("etc/hosts", file(3)).add("Home/x", file(4)).finish();
    EXPECT_EQ(ids(search(*root, "/etc/")), std::vector<std::string>{"/etc/hosts"});
    EXPECT_EQ(ids(search(*root, "/home/x")), std::vector<std::string>{"/Home/x"});
    EXPECT_EQ(search(*root, "/").totalCount, 2);

    auto lone = makeSingleNodeSnapshot("/tmp/One.iso", "One.iso", file(9), {}, {}, {}, false);
    EXPECT_EQ(ids(search(*lone, "one")), std::vector<std::string>{"/tmp/One.iso"});
    EXPECT_EQ(search(*lone, "two").totalCount, 0);
}

// Random trees and queries: the per-node incremental match agrees with folding every full path
// and searching it, including queries that cross separators or reach into the root's path, and
// names and queries long enough to take several blocks or to span several folders.
TEST(DiskSearch, AgreesWithFoldingWholePaths) {
    std::mt19937 random(11);
    const std::vector<std::string> parts = {"a",  "B",      "ab", "\xC3\xA9", "E\xCC\x81",
                                            "x1", "/",      "\xFF", "Ab",     "LongerPartOfAName-0123456789"};
    auto randomName = [&] {
        std::string name;
        const int k = 1 + static_cast<int>(random() % 3);
        for (int j = 0; j < k; ++j) {
            std::string p = parts[random() % parts.size()];
            if (p != "/") name += p;
        }
        return name.empty() ? std::string("z") : name;
    };
    for (const std::string rootPath : {"/", "/Ab/e", "/x"}) {
        Tree tree(rootPath);
        std::vector<std::string> folders = {""};
        std::set<std::string> used;
        for (int k = 0; k < 300; ++k) {
            const std::string& parent = folders[random() % folders.size()];
            const std::string rel = (parent.empty() ? "" : parent + "/") + randomName();
            if (!used.insert(rel).second) continue;
            if (random() % 3 == 0) {
                tree.add(rel, folder());
                folders.push_back(rel);
            } else {
                tree.add(rel, file(1 + random() % 50));
            }
        }
        auto s = tree.finish();
        for (int q = 0; q < 160; ++q) {
            std::string query;
            if (q % 2 == 0) {
                const int k = 1 + static_cast<int>(random() % 4);
                for (int j = 0; j < k; ++j) query += parts[random() % parts.size()];
            } else {
                // A piece of some node's folded path: it matches somewhere, often across folders.
                const std::string path = text::foldForSearch(s->path(random() % s->nodeCount()));
                const std::size_t length = 1 + random() % std::min<std::size_t>(path.size(), 100);
                query = path.substr(random() % (path.size() - length + 1), length);
            }
            const std::string needle = text::foldForSearch(query);
            if (text::trim(query).empty()) continue;
            std::set<std::string> expected;
            for (DiskSnapshot::Index i = 0; i < s->nodeCount(); ++i)
                if (!s->isDirectory(i) && text::foldForSearch(s->path(i)).find(needle) != std::string::npos)
                    expected.insert(std::string(s->path(i)));
            const auto r = DiskSearch::find(*s, query, std::nullopt, 0, FileSort::name, 100000);
            EXPECT_EQ(idSet(r), expected) << "root " << rootPath << " query '" << query << "'";
        }
    }
}

TEST(DiskSearch, ConcurrentFirstSearchesAgree) {
    Tree tree("/big");
    std::int64_t expectedCount = 0;
    for (int k = 0; k < 2000; ++k) {
        tree.add("d" + std::to_string(k % 37) + "/F\xC3\xA9" + std::to_string(k), file(k));
        expectedCount += k % 37 == 3;
    }
    auto s = tree.finish();
    // Every thread may be the one that builds the folded index.
    std::vector<FileSearchResult> results(8);
    {
        std::vector<std::jthread> threads;
        for (auto& r : results)
            threads.emplace_back([&] { r = DiskSearch::find(*s, "D3/fe", std::nullopt, 0, FileSort::size, 5); });
    }
    for (const auto& r : results) {
        EXPECT_EQ(r, results[0]);
        EXPECT_EQ(r.totalCount, expectedCount);
    }
}
