#include "MorvoCore/Platform/DirectoryEnumerator.h"
#include "MorvoCore/Platform/DirectoryReader.h"
#include "MorvoCore/Platform/Path.h"

#include "Support/FakeFileSystem.h"
#include "Support/FixtureTree.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <set>

using namespace morvo;
using morvo::testing::FakeFileSystem;
using morvo::testing::FaultyReader;
using morvo::testing::FixtureTree;

namespace {

struct Seen {
    std::vector<std::string> paths;
    std::map<std::string, int> levels;
    std::vector<std::pair<std::string, int>> errors;
};

// Walks everything, skipping the contents of folders for which `skip` holds.
Seen walk(DirectoryEnumerator& e, const std::function<bool(const std::string&)>& skip = {}) {
    Seen seen;
    while (auto entry = e.next()) {
        seen.paths.push_back(entry->path);
        seen.levels[entry->path] = e.level();
        EXPECT_EQ(entry->level, e.level());
        if (skip && entry->isDirectory() && skip(entry->path)) e.skipDescendants();
    }
    return seen;
}

void makeSample(FixtureTree& t) {
    t.file("a/one.txt", 1);
    t.file("a/.hidden", 2);
    t.file("a/b/c/deep.txt", 3);
    t.file("App.app/Contents/Info.plist", 4);
    t.symlink("a", "link-to-a");
    t.fifo("pipe");
    t.file("bad-\xff-name", 5);
}

} // namespace

TEST(DirectoryEnumerator, YieldsEveryEntryParentFirstWithItsLevel) {
    FixtureTree t;
    makeSample(t);
    auto e = DirectoryEnumerator::make(t.root(), DirectoryEnumerator::Options::none, {});
    ASSERT_TRUE(e);
    Seen seen = walk(*e);

    const std::set<std::string> expected = {
        t.path("a"),        t.path("a/one.txt"), t.path("a/.hidden"),      t.path("a/b"),
        t.path("a/b/c"),    t.path("a/b/c/deep.txt"), t.path("App.app"),   t.path("App.app/Contents"),
        t.path("App.app/Contents/Info.plist"), t.path("link-to-a"), t.path("pipe"), t.path("bad-\xff-name")};
    EXPECT_EQ(std::set<std::string>(seen.paths.begin(), seen.paths.end()), expected);
    EXPECT_EQ(seen.paths.size(), expected.size());  // each once; the link to a folder is not entered

    for (std::size_t i = 0; i < seen.paths.size(); ++i) {
        const std::string& p = seen.paths[i];
        // The parent came earlier; the level counts the components below the start folder.
        const std::string parent(path::parent(p));
        if (parent != t.root()) {
            auto at = std::find(seen.paths.begin(), seen.paths.begin() + i, parent);
            EXPECT_NE(at, seen.paths.begin() + i) << p;
        }
        const std::string relative = p.substr(t.root().size() + 1);
        EXPECT_EQ(seen.levels[p], 1 + std::count(relative.begin(), relative.end(), '/')) << p;
    }
}

TEST(DirectoryEnumerator, ReportsKindsFromLstat) {
    FixtureTree t;
    makeSample(t);
    auto e = DirectoryEnumerator::make(t.root(), DirectoryEnumerator::Options::none, {});
    std::map<std::string, DirectoryEnumerator::Entry> byPath;
    while (auto entry = e->next()) byPath[entry->path] = *entry;
    EXPECT_TRUE(byPath[t.path("a")].isDirectory());
    EXPECT_TRUE(byPath[t.path("link-to-a")].metadata.isSymbolicLink());
    EXPECT_FALSE(byPath[t.path("link-to-a")].isDirectory());
    EXPECT_EQ(byPath[t.path("pipe")].metadata.type(), 0010000u);  // S_IFIFO
    EXPECT_EQ(byPath[t.path("bad-\xff-name")].metadata.size, 5);
    EXPECT_EQ(byPath[t.path("a/b/c/deep.txt")].statError, 0);
}

TEST(DirectoryEnumerator, SkipsDescendantsOnRequestAndByOption) {
    FixtureTree t;
    makeSample(t);
    auto e = DirectoryEnumerator::make(t.root(), DirectoryEnumerator::Options::none, {});
    Seen seen = walk(*e, [&](const std::string& p) { return p == t.path("a") || p == t.path("App.app/Contents"); });
    EXPECT_EQ(std::set<std::string>(seen.paths.begin(), seen.paths.end()),
              (std::set<std::string>{t.path("a"), t.path("App.app"), t.path("App.app/Contents"), t.path("link-to-a"),
                                     t.path("pipe"), t.path("bad-\xff-name")}));

    auto shallow = DirectoryEnumerator::make(t.root(), DirectoryEnumerator::Options::skipsSubdirectoryDescendants, {});
    Seen top = walk(*shallow);
    EXPECT_EQ(std::set<std::string>(top.paths.begin(), top.paths.end()),
              (std::set<std::string>{t.path("a"), t.path("App.app"), t.path("link-to-a"), t.path("pipe"),
                                     t.path("bad-\xff-name")}));
    for (const auto& [p, level] : top.levels) EXPECT_EQ(level, 1) << p;
}

TEST(DirectoryEnumerator, UnopenableFoldersGoToTheErrorHandler) {
    FixtureTree t;
    t.file("a/locked/secret", 1);
    t.file("a/open/x", 1);
    t.file("z/locked/secret", 1);
    t.file("z/after", 1);
    FaultyReader reader(DirectoryReader::system());
    reader.failOpen = [](const std::string& p) { return path::lastComponent(p) == "locked" ? EACCES : 0; };

    // Going on: the folders are neither yielded nor entered; everything else is.
    std::vector<std::pair<std::string, int>> errors;
    auto e = makeDirectoryEnumerator(t.root(), DirectoryEnumerator::Options::none,
                                     [&](const std::string& p, const PosixError& error) {
                                         errors.emplace_back(p, error.code());
                                         EXPECT_EQ(error.path(), p);
                                         return true;
                                     },
                                     reader);
    Seen seen = walk(*e);
    EXPECT_EQ(std::set<std::string>(seen.paths.begin(), seen.paths.end()),
              (std::set<std::string>{t.path("a"), t.path("a/open"), t.path("a/open/x"), t.path("z"),
                                     t.path("z/after")}));
    using Failures = std::set<std::pair<std::string, int>>;
    EXPECT_EQ(Failures(errors.begin(), errors.end()),
              (Failures{{t.path("a/locked"), EACCES}, {t.path("z/locked"), EACCES}}));

    // Stopping: the handler's false ends the enumeration for good.
    int calls = 0;
    auto stopping = makeDirectoryEnumerator(t.root(), DirectoryEnumerator::Options::none,
                                            [&](const std::string&, const PosixError&) { return ++calls, false; },
                                            reader);
    Seen partial = walk(*stopping);
    EXPECT_EQ(calls, 1);
    EXPECT_LT(partial.paths.size(), seen.paths.size());
    EXPECT_FALSE(stopping->next());

    // With the option, subfolders are not opened, so a locked one is simply listed.
    auto shallow = makeDirectoryEnumerator(t.path("a"), DirectoryEnumerator::Options::skipsSubdirectoryDescendants,
                                           [&](const std::string&, const PosixError&) { return ADD_FAILURE(), true; },
                                           reader);
    EXPECT_EQ(walk(*shallow).paths.size(), 2u);
}

TEST(DirectoryEnumerator, StartFolderThatCannotBeOpenedGivesNoEnumerator) {
    FixtureTree t;
    t.file("plain", 1);
    EXPECT_FALSE(DirectoryEnumerator::make(t.path("missing"), DirectoryEnumerator::Options::none, {}));
    EXPECT_FALSE(DirectoryEnumerator::make(t.path("plain"), DirectoryEnumerator::Options::none, {}));
    t.symlink(t.root(), "link");
    EXPECT_FALSE(DirectoryEnumerator::make(t.path("link"), DirectoryEnumerator::Options::none, {}));
}

TEST(DirectoryEnumerator, ListingErrorsAndLstatFailuresReachTheCaller) {
    FakeFileSystem fs;
    fs.folder("/r");
    fs.folder("/r/sub");
    fs.file("/r/sub/f", 1);
    fs.file("/r/gone", 1);
    fs.item("/r/gone").statError = ENOENT;
    FaultyReader reader(fs);
    reader.failRead = [](const std::string& p) { return p == "/r/sub" ? EIO : 0; };

    std::vector<std::string> errors;
    auto e = makeDirectoryEnumerator("/r", DirectoryEnumerator::Options::none,
                                     [&](const std::string& p, const PosixError&) { return errors.push_back(p), true; },
                                     reader);
    std::map<std::string, int> statErrors;
    while (auto entry = e->next()) statErrors[entry->path] = entry->statError;
    EXPECT_EQ(errors, std::vector<std::string>{"/r/sub"});
    EXPECT_EQ(statErrors, (std::map<std::string, int>{{"/r/sub", 0}, {"/r/sub/f", 0}, {"/r/gone", ENOENT}}));
    e.reset();
    EXPECT_EQ(fs.openHandles(), 0u);

    // Root "/" joins without a doubled slash; an enumerator dropped midway closes what it opened.
    fs.folder("/r/sub/deeper");
    auto fromRoot = makeDirectoryEnumerator("/", DirectoryEnumerator::Options::none, {}, fs);
    auto first = fromRoot->next();
    ASSERT_TRUE(first);
    EXPECT_EQ(first->path, "/r");
    fromRoot->next();
    fromRoot.reset();
    EXPECT_EQ(fs.openHandles(), 0u);
}

// A folder's names are read as they are walked, a read at a time: a walk that stops early has read
// little of a large folder, and one that goes on yields every entry once, in listing order.
TEST(DirectoryEnumerator, ReadsALargeFolderOnlyAsFarAsItIsWalked) {
    FakeFileSystem fs;
    fs.folder("/r");
    std::vector<std::string> expected;
    for (int i = 0; i < 1000; ++i) {
        expected.push_back("/r/f" + std::to_string(i));
        fs.file(expected.back(), 1);
        if (i == 500) {
            expected.push_back("/r/sub");
            fs.folder("/r/sub");
            for (int k = 0; k < 40; ++k) {
                expected.push_back("/r/sub/g" + std::to_string(k));
                fs.file(expected.back(), 1);
            }
        }
    }

    auto partly = makeDirectoryEnumerator("/r", DirectoryEnumerator::Options::none, {}, fs);
    for (int i = 0; i < 20; ++i) ASSERT_TRUE(partly->next());
    EXPECT_LE(fs.namesRead(), 20 + fs.namesPerRead);
    partly.reset();

    auto whole = makeDirectoryEnumerator("/r", DirectoryEnumerator::Options::none, {}, fs);
    EXPECT_EQ(walk(*whole).paths, expected);
    whole.reset();
    EXPECT_EQ(fs.openHandles(), 0u);
}
