// The large-files search of the application state (debounce, limits, filters) and the totals
// derived from each snapshot.

#include "Support/AppStateTestSupport.h"

#include <QSignalSpy>

#include <gtest/gtest.h>

#include "MorvoCore/Platform/Path.h"

#include <algorithm>
#include <condition_variable>
#include <mutex>

namespace morvo::appstatetest {
namespace {

class AppStateSearchTest : public ScannedStateTest {
protected:
    static std::vector<std::string> names(const std::vector<DiskNode>& nodes) {
        std::vector<std::string> out;
        for (const DiskNode& node : nodes) out.push_back(node.name);
        return out;
    }
};

TEST_F(AppStateSearchTest, RapidChangesRunOneSearchWithTheLastValues) {
    fs::path root = home->path() / "scan";
    writeFile(root / "alpha.txt", 100);
    writeFile(root / "beta.txt", 200);
    writeFile(root / "gamma.mp4", 300);
    auto state = scannedState(root);
    ASSERT_EQ(state->matchingCount(), 3);

    QSignalSpy filesSpy(state.get(), &AppState::filesChanged);
    QSignalSpy countSpy(state.get(), &AppState::matchingCountChanged);
    QSignalSpy searchingSpy(state.get(), &AppState::isSearchingChanged);
    // Spread over a few turns of the event loop, each change well within the debounce of the last.
    state->setQuery("alpha");
    QTest::qWait(20);
    state->setCategory(FileCategory::media);
    QTest::qWait(20);
    state->setQuery("a");   // matches alpha, beta, gamma; with media only gamma
    EXPECT_TRUE(state->isSearching());
    ASSERT_TRUE(settle(*state));

    EXPECT_EQ(names(state->files()), std::vector<std::string>{"gamma.mp4"});
    EXPECT_EQ(state->matchingCount(), 1);
    EXPECT_EQ(state->matchingBytes(), 300);
    EXPECT_EQ(filesSpy.count(), 1);        // one applied search, no intermediate results
    EXPECT_EQ(countSpy.count(), 1);
    EXPECT_EQ(searchingSpy.count(), 2);    // on once, off once
}

TEST_F(AppStateSearchTest, AssigningAnUnchangedFilterStillSearches) {
    fs::path root = home->path() / "scan";
    writeFile(root / "one.txt", 10);
    auto state = scannedState(root);
    QSignalSpy querySpy(state.get(), &AppState::queryChanged);
    QSignalSpy searchingSpy(state.get(), &AppState::isSearchingChanged);

    state->setQuery(state->query());
    EXPECT_EQ(querySpy.count(), 0);
    EXPECT_TRUE(state->isSearching());
    ASSERT_TRUE(settle(*state));
    EXPECT_EQ(searchingSpy.count(), 2);

    state->setQuery(" \n\t ");   // blank after trimming: every file
    ASSERT_TRUE(settle(*state));
    EXPECT_EQ(state->matchingCount(), 1);
}

TEST_F(AppStateSearchTest, ListIsCappedWhileCountsCoverEveryMatch) {
    fs::path root = home->path() / "many";
    for (int i = 0; i < 600; ++i) writeFile(root / ("f" + std::to_string(i) + ".txt"), i + 1);
    auto state = scannedState(root);

    ASSERT_EQ(state->files().size(), 500u);
    EXPECT_EQ(state->matchingCount(), 600);
    EXPECT_EQ(state->matchingBytes(), 600 * 601 / 2);
    EXPECT_EQ(state->files().front().logicalSize, 600);   // largest first
    EXPECT_TRUE(std::is_sorted(state->files().begin(), state->files().end(),
                               [](const DiskNode& a, const DiskNode& b) { return a.logicalSize > b.logicalSize; }));
    // Only files pass the filter.
    EXPECT_TRUE(std::none_of(state->files().begin(), state->files().end(),
                             [](const DiskNode& n) { return n.isDirectory || n.isSymbolicLink; }));

    state->setMinimumSize(551);
    ASSERT_TRUE(settle(*state));
    EXPECT_EQ(state->matchingCount(), 50);
}

TEST_F(AppStateSearchTest, TotalsHaveOneKeyPerCategoryPresentAndTheThreeLargestFiles) {
    fs::path root = home->path() / "scan";
    writeFile(root / "a.txt", 100);
    writeFile(root / "sub/b.pdf", 250);
    writeFile(root / "c.mp4", 1000);
    writeFile(root / "sub/d.mov", 400);
    fs::create_symlink(root / "c.mp4", root / "link.mp4");   // links count nowhere
    auto state = scannedState(root);
    ASSERT_TRUE(waitFor([&] { return !state->categoryTotals().empty(); }));

    const CategoryTotalsMap expected{{FileCategory::documents, 350}, {FileCategory::media, 1400}};
    EXPECT_EQ(state->categoryTotals(), expected);
    EXPECT_EQ(names(state->overviewFiles()), (std::vector<std::string>{"c.mp4", "d.mov", "b.pdf"}));
}

// Two snapshots finished at the same instant: only the pass of the current one may apply.
TEST_F(AppStateSearchTest, ATotalsPassOfAReplacedSnapshotIsDropped) {
    const Date instant = std::chrono::system_clock::now();
    auto scan = [instant](const Url& url, const DiskScanner::ProgressHandler&, std::stop_token) {
        NodeFacts folder;
        folder.isDirectory = true;
        DiskSnapshotBuilder builder(url.path, std::string(path::lastComponent(url.path)), folder);
        NodeFacts file;
        file.logicalSize = url.path.ends_with("first") ? 10 : 20;
        file.category = url.path.ends_with("first") ? FileCategory::archives : FileCategory::documents;
        builder.add(DiskSnapshot::rootIndex, "item", file);
        builder.accumulateTotals();
        return builder.finish(instant, instant, {}, 1, 0, false);
    };
    auto state = std::make_unique<AppState>(services.make(home->string(), scan));
    ASSERT_TRUE(waitFor([&] { return !state->isSearching(); }));
    QTest::qWait(30);   // the placeholder's own totals pass

    // Hold the utility pool so that both passes are still pending when the second scan lands.
    QThreadPool& utility = taskPool(TaskPriority::utility);
    std::mutex mutex;
    std::condition_variable released;
    bool open = false;
    for (int i = 0; i < utility.maxThreadCount(); ++i)
        utility.start([&] {
            std::unique_lock lock(mutex);
            released.wait(lock, [&] { return open; });
        });

    QSignalSpy totalsSpy(state.get(), &AppState::categoryTotalsChanged);
    state->startScan(Url::file("/nowhere/first", true), false);
    ASSERT_TRUE(waitFor([&] { return state->hasScannedFolder(); }));
    state->startScan(Url::file("/nowhere/second", true), false);
    ASSERT_TRUE(settle(*state));
    {
        std::unique_lock lock(mutex);
        open = true;
    }
    released.notify_all();
    ASSERT_TRUE(waitFor([&] { return !state->categoryTotals().empty(); }));
    utility.waitForDone();
    QTest::qWait(30);

    EXPECT_EQ(state->categoryTotals(), (CategoryTotalsMap{{FileCategory::documents, 20}}));
    EXPECT_EQ(totalsSpy.count(), 1);
}

TEST_F(AppStateSearchTest, ResetFiltersRestoresEveryFilterAndScanKeepsTheSort) {
    fs::path root = home->path() / "scan";
    writeFile(root / "a.txt", 100);
    auto state = scannedState(root);
    state->setQuery("q");
    state->setCategory(FileCategory::archives);
    state->setMinimumSize(5);
    state->setSort(FileSort::modified);
    ASSERT_TRUE(settle(*state));
    EXPECT_EQ(state->matchingCount(), 0);

    QSignalSpy filesSpy(state.get(), &AppState::filesChanged);
    state->resetFilters();
    EXPECT_EQ(state->query(), "");
    EXPECT_EQ(state->category(), std::nullopt);
    EXPECT_EQ(state->minimumSize(), 0);
    EXPECT_EQ(state->sort(), FileSort::size);
    ASSERT_TRUE(settle(*state));
    EXPECT_EQ(state->matchingCount(), 1);
    EXPECT_EQ(filesSpy.count(), 1);
}

} // namespace
} // namespace morvo::appstatetest
