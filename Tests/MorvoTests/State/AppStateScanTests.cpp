// Scan life cycle of the application state: start, progress, result, failure, cancellation,
// superseded scans, folder choice, rescan and the refresh after items went to the Trash.

#include "Support/AppStateTestSupport.h"

#include "Morvo/State/CleanupDiscoveryState.h"
#include "Morvo/State/CleanupState.h"
#include "Morvo/State/InventoryState.h"

#include <QSignalSpy>

#include <gtest/gtest.h>

namespace morvo::appstatetest {
namespace {

class AppStateScanTest : public ::testing::Test {
protected:
    void SetUp() override {
        home = std::make_unique<TempDir>();
        scanned = home->path() / "scanned";
        writeFile(scanned / "b.txt", 300);
        writeFile(scanned / "a/c.mp4", 500);
        writeFile(scanned / "a/d.zip", 200);
    }

    std::unique_ptr<AppState> makeState(AppServices::ScanFunction scan = {}) {
        return std::make_unique<AppState>(services.make(home->string(), std::move(scan)));
    }

    bool scanAndWait(AppState& state, const fs::path& folder, bool preservingSection = false) {
        state.startScan(Url::file(folder.string(), true), preservingSection);
        return settle(state);
    }

    TestServices services;
    std::unique_ptr<TempDir> home;
    fs::path scanned;
};

TEST_F(AppStateScanTest, ConstructionShowsThePlaceholderOfTheHomeFolder) {
    auto state = makeState();
    const DiskNode root = state->snapshot()->root();
    EXPECT_EQ(root.id, home->string());
    EXPECT_TRUE(root.isDirectory);
    EXPECT_EQ(state->snapshot()->nodeCount(), 1u);
    EXPECT_EQ(state->mapRootID(), home->string());
    EXPECT_EQ(state->mapRoot().id, home->string());
    EXPECT_FALSE(state->hasScannedFolder());
    EXPECT_EQ(state->section(), AppSection::overview);
    EXPECT_TRUE(state->isSearching());   // construction schedules the first search

    ASSERT_TRUE(settle(*state));
    EXPECT_TRUE(state->files().empty());
    EXPECT_EQ(state->matchingCount(), 0);
    EXPECT_TRUE(state->categoryTotals().empty());
}

TEST_F(AppStateScanTest, SuccessfulScanPublishesSnapshotAndResetsFilters) {
    auto state = makeState();
    state->setSection(AppSection::cleanup);
    state->setQuery("zzz");
    state->setCategory(FileCategory::media);
    state->setMinimumSize(10);
    state->setSort(FileSort::name);
    QSignalSpy progressSpy(state.get(), &AppState::progressChanged);
    QSignalSpy scanningSpy(state.get(), &AppState::isScanningChanged);

    state->startScan(Url::file(scanned.string(), true), false);
    EXPECT_TRUE(state->isScanning());
    ASSERT_TRUE(state->scanURL());
    EXPECT_EQ(state->scanURL()->path, scanned.string());
    EXPECT_FALSE(state->progress());
    ASSERT_TRUE(settle(*state));

    EXPECT_TRUE(state->hasScannedFolder());
    EXPECT_EQ(state->snapshot()->rootID(), scanned.string());
    EXPECT_EQ(state->mapRootID(), scanned.string());
    // The first child in the scanner's order becomes the selection.
    EXPECT_EQ(state->selectedID(), state->snapshot()->root().children.front());
    EXPECT_EQ(state->section(), AppSection::overview);
    EXPECT_EQ(state->query(), "");
    EXPECT_EQ(state->category(), std::nullopt);
    EXPECT_EQ(state->minimumSize(), 0);
    EXPECT_EQ(state->sort(), FileSort::name);   // the order is kept
    EXPECT_EQ(scanningSpy.count(), 2);          // on, then off
    // Progress arrived and keeps the last report after the scan.
    EXPECT_GE(progressSpy.count(), 2);
    ASSERT_TRUE(state->progress());
    EXPECT_EQ(state->progress()->fileCount, 3);
    EXPECT_EQ(state->matchingCount(), 3);
}

TEST_F(AppStateScanTest, PreservingTheSectionAndEmptyRoot) {
    auto state = makeState();
    fs::create_directories(home->path() / "empty");
    state->setSection(AppSection::largeFiles);
    ASSERT_TRUE(scanAndWait(*state, home->path() / "empty", true));
    EXPECT_EQ(state->section(), AppSection::largeFiles);
    EXPECT_EQ(state->selectedID(), std::nullopt);
}

TEST_F(AppStateScanTest, FailuresBecomeTheAlertMessageAndKeepPreviousResults) {
    auto state = makeState();
    ASSERT_TRUE(scanAndWait(*state, scanned));
    const SnapshotPtr before = state->snapshot();

    struct Case {
        Url url;
        std::string message;
    };
    const Case cases[] = {
        {Url::file(home->string() + "/missing", true), "No such file or directory"},
        {Url::parse("https://example.com/folder"), "Choose a folder or volume on this Mac."},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.url.absoluteString());
        state->startScan(c.url, false);
        ASSERT_TRUE(waitFor([&] { return !state->isScanning(); }));
        EXPECT_EQ(state->errorMessage(), c.message);
        EXPECT_EQ(state->notice(), std::nullopt);
        EXPECT_EQ(state->snapshot(), before);
        EXPECT_TRUE(state->hasScannedFolder());
    }

    // A new scan clears the message at once.
    state->startScan(Url::file(scanned.string(), true), false);
    EXPECT_EQ(state->errorMessage(), std::nullopt);
    ASSERT_TRUE(settle(*state));
}

TEST_F(AppStateScanTest, CancelKeepsResultsAndDropsTheLateOutcome) {
    auto gate = std::make_shared<GatedScan>(scanned.string());
    auto state = makeState(gate->function());
    state->startScan(Url::file(scanned.string(), true), false);
    ASSERT_TRUE(waitFor([&] { return state->progress() == gate->early; }));
    const SnapshotPtr before = state->snapshot();

    state->cancelScan();
    EXPECT_FALSE(state->isScanning());
    EXPECT_EQ(state->progress(), std::nullopt);
    EXPECT_EQ(state->notice(), "Scan cancelled. Your previous results are still here.");

    QSignalSpy snapshotSpy(state.get(), &AppState::snapshotChanged);
    QSignalSpy progressSpy(state.get(), &AppState::progressChanged);
    gate->release();
    gate->waitUntilFinished();
    QTest::qWait(50);   // let the late report and result reach the event loop
    EXPECT_EQ(snapshotSpy.count(), 0);
    EXPECT_EQ(progressSpy.count(), 0);
    EXPECT_EQ(state->snapshot(), before);
    EXPECT_FALSE(state->hasScannedFolder());
    EXPECT_FALSE(state->isScanning());
}

TEST_F(AppStateScanTest, CancelWithoutAScanStillShowsTheNotice) {
    auto state = makeState();
    state->cancelScan();
    EXPECT_EQ(state->notice(), "Scan cancelled. Your previous results are still here.");
    EXPECT_EQ(state->progress(), std::nullopt);
    EXPECT_FALSE(state->isScanning());
}

TEST_F(AppStateScanTest, SupersededScanAndItsLateProgressAreDropped) {
    fs::path other = home->path() / "other";
    writeFile(other / "x.pdf", 700);
    auto gate = std::make_shared<GatedScan>(scanned.string());
    auto state = makeState(gate->function());

    state->startScan(Url::file(scanned.string(), true), false);
    ASSERT_TRUE(waitFor([&] { return state->progress() == gate->early; }));
    state->startScan(Url::file(other.string(), true), false);
    ASSERT_TRUE(settle(*state));
    ASSERT_EQ(state->snapshot()->rootID(), other.string());

    std::vector<ScanProgress> seen;
    QObject::connect(state.get(), &AppState::progressChanged, [&] {
        if (state->progress()) seen.push_back(*state->progress());
    });
    QSignalSpy snapshotSpy(state.get(), &AppState::snapshotChanged);
    gate->release();
    gate->waitUntilFinished();
    QTest::qWait(50);
    EXPECT_TRUE(seen.empty());
    EXPECT_EQ(snapshotSpy.count(), 0);
    EXPECT_EQ(state->snapshot()->rootID(), other.string());
}

TEST_F(AppStateScanTest, ChooseFolderAsksWithThePanelAndScansTheChoice) {
    auto state = makeState();
    state->chooseFolder();
    ASSERT_EQ(services.folderPanel->shown.size(), 1u);
    const FolderPanelOptions& options = services.folderPanel->shown.front();
    EXPECT_EQ(options.title, "Choose a folder or disk to scan");
    EXPECT_EQ(options.prompt, "Scan folder");
    EXPECT_EQ(options.message,
              "Scanning reads file names and sizes. Cleanup is a separate action that always requires your review.");
    EXPECT_FALSE(options.canChooseFiles);
    EXPECT_TRUE(options.canChooseDirectories);
    EXPECT_FALSE(options.allowsMultipleSelection);
    EXPECT_TRUE(options.showsHiddenFiles);
    EXPECT_EQ(options.directory.path, home->string());

    services.folderPanel->finish(std::nullopt);   // cancelled: nothing happens
    QTest::qWait(20);
    EXPECT_FALSE(state->isScanning());

    state->setSection(AppSection::applications);
    state->chooseFolder();
    services.folderPanel->finish(Url::file(scanned.string(), true));
    ASSERT_TRUE(waitFor([&] { return state->hasScannedFolder(); }));
    EXPECT_EQ(state->snapshot()->rootID(), scanned.string());
    EXPECT_EQ(state->section(), AppSection::overview);
}

TEST_F(AppStateScanTest, RescanFollowsTheSection) {
    auto state = makeState();
    ASSERT_TRUE(scanAndWait(*state, scanned));

    state->setSection(AppSection::cleanup);
    state->rescan();
    EXPECT_FALSE(state->isScanning());

    state->setSection(AppSection::largeFiles);
    state->rescan();
    EXPECT_TRUE(state->isScanning());
    EXPECT_EQ(state->scanURL()->path, scanned.string());
    ASSERT_TRUE(settle(*state));
    EXPECT_EQ(state->section(), AppSection::largeFiles);

    state->setSection(AppSection::applications);
    state->rescan();
    EXPECT_TRUE(state->inventory().isLoading());
    EXPECT_FALSE(state->isScanning());
    ASSERT_TRUE(waitFor([&] { return !state->inventory().isLoading(); }));
}

// The refresh after a move decides from the moved paths whether the scanned folder is affected.
TEST_F(AppStateScanTest, RefreshAfterCleanupRescansOnlyWhenTheScannedFolderIsTouched) {
    fs::path scannedB = home->path() / "a/b";
    writeFile(scannedB / "x/f.txt", 10);
    fs::create_directories(home->path() / "a/bc");
    auto state = makeState();
    ASSERT_TRUE(scanAndWait(*state, scannedB));

    const std::string a = (home->path() / "a").string();
    const std::string b = scannedB.string();
    struct Case {
        std::string moved;
        bool rescans;
    };
    const Case cases[] = {
        {a + "/bc", false},
        {a + "/b-other/x", false},
        {b + "/x", true},
        {b, true},   // the folder itself, still there
        {a, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.moved);
        AppStateTestPeer::refreshAfterCleanup(*state, {Url::file(c.moved)});
        EXPECT_EQ(state->isScanning(), c.rescans);
        ASSERT_TRUE(settle(*state));
        EXPECT_EQ(state->snapshot()->rootID(), b);
    }
}

TEST_F(AppStateScanTest, RefreshWithTheRootScannedCountsEveryPath) {
    // A stand-in scan of "/" keeps the test fast; the path rule is what is under test.
    auto state = makeState([](const Url& url, const DiskScanner::ProgressHandler&, std::stop_token) {
        NodeFacts facts;
        facts.isDirectory = true;
        return makeSingleNodeSnapshot(url.path, "/", facts, {}, {}, {}, false);
    });
    ASSERT_TRUE(scanAndWait(*state, "/"));
    ASSERT_EQ(state->snapshot()->rootID(), "/");
    AppStateTestPeer::refreshAfterCleanup(*state, {Url::file("/tmp/anything")});
    EXPECT_TRUE(state->isScanning());
    ASSERT_TRUE(settle(*state));
}

TEST_F(AppStateScanTest, RefreshBeforeAnyScanChangesNothing) {
    auto state = makeState();
    ASSERT_TRUE(settle(*state));
    AppStateTestPeer::refreshAfterCleanup(*state, {Url::file(home->string())});
    EXPECT_FALSE(state->isScanning());
    EXPECT_EQ(state->notice(), std::nullopt);
}

TEST_F(AppStateScanTest, RefreshReloadsOnlyTheListsThatHadLoaded) {
    auto state = makeState();
    state->inventory().load();
    ASSERT_TRUE(waitFor([&] { return state->inventory().hasLoaded() && !state->inventory().isLoading(); }));

    AppStateTestPeer::refreshAfterCleanup(*state, {Url::file(home->string() + "/elsewhere")});
    EXPECT_TRUE(state->inventory().isLoading());
    EXPECT_FALSE(state->cacheDiscovery().isLoading());
    EXPECT_FALSE(state->isScanning());
    ASSERT_TRUE(waitFor([&] { return !state->inventory().isLoading(); }));
}

TEST_F(AppStateScanTest, MovedScannedFolderLeavesAOneNodePartialSnapshot) {
    auto state = makeState();
    ASSERT_TRUE(scanAndWait(*state, scanned));
    ASSERT_TRUE(waitFor([&] { return !state->categoryTotals().empty(); }));
    const DiskNode oldRoot = state->snapshot()->root();

    fs::remove_all(scanned);   // as the Trash move would have left it
    AppStateTestPeer::refreshAfterCleanup(*state, {Url::file(scanned.string(), true)});

    const SnapshotPtr& snapshot = state->snapshot();
    EXPECT_FALSE(state->isScanning());
    EXPECT_EQ(snapshot->nodeCount(), 1u);
    EXPECT_TRUE(snapshot->isPartial);
    const DiskNode root = snapshot->root();
    EXPECT_EQ(root.id, oldRoot.id);
    EXPECT_EQ(root.name, oldRoot.name);
    EXPECT_TRUE(root.isDirectory);
    EXPECT_EQ(root.logicalSize, 0);
    EXPECT_EQ(root.fileCount, 0);
    EXPECT_TRUE(root.children.empty());
    EXPECT_EQ(snapshot->visitedFileCount, 0);
    EXPECT_EQ(snapshot->skippedLinkCount, 0);
    ASSERT_EQ(snapshot->issues.size(), 1u);
    EXPECT_EQ(snapshot->issues[0].path, scanned.string());
    EXPECT_EQ(snapshot->issues[0].message,
              "This scanned folder was moved to Trash. Choose another folder to continue.");
    EXPECT_EQ(state->notice(), "The scanned folder was moved to Trash. Choose another folder to continue.");
    EXPECT_EQ(state->mapRootID(), root.id);
    EXPECT_EQ(state->selectedID(), std::nullopt);
    EXPECT_TRUE(state->hasScannedFolder());
    EXPECT_TRUE(state->overviewFiles().empty());
    EXPECT_TRUE(state->categoryTotals().empty());
    ASSERT_TRUE(settle(*state));
    EXPECT_TRUE(state->files().empty());
    EXPECT_EQ(state->matchingCount(), 0);
    QTest::qWait(30);
    EXPECT_TRUE(state->categoryTotals().empty());   // not recomputed

    // Rescanning in Overview tries that path again and fails with the scanner's error.
    state->rescan();
    ASSERT_TRUE(waitFor([&] { return !state->isScanning(); }));
    EXPECT_EQ(state->errorMessage(), "No such file or directory");
}

// A cleanup that finishes while a scan of another folder runs leaves that scan alone unless a
// moved path touches the folder being scanned.
TEST_F(AppStateScanTest, RefreshLeavesARunningScanOfAnotherFolderAlone) {
    fs::path other = home->path() / "other";
    writeFile(other / "y.txt", 5);
    auto gate = std::make_shared<GatedScan>(other.string());
    auto state = makeState(gate->function());
    ASSERT_TRUE(scanAndWait(*state, scanned));

    state->startScan(Url::file(other.string(), true), false);
    ASSERT_TRUE(waitFor([&] { return gate->hasEntered(); }));
    QSignalSpy scanURLSpy(state.get(), &AppState::scanURLChanged);
    QSignalSpy snapshotSpy(state.get(), &AppState::snapshotChanged);

    // The old scanned folder went to the Trash: the running scan will replace it anyway.
    fs::remove_all(scanned);
    AppStateTestPeer::refreshAfterCleanup(*state, {Url::file(scanned.string(), true)});
    EXPECT_TRUE(state->isScanning());
    EXPECT_EQ(state->scanURL()->path, other.string());
    EXPECT_EQ(snapshotSpy.count(), 0);
    EXPECT_EQ(state->notice(), std::nullopt);

    // A move inside the folder being scanned restarts that scan.
    AppStateTestPeer::refreshAfterCleanup(*state, {Url::file((other / "y.txt").string())});
    EXPECT_TRUE(state->isScanning());
    gate->release();
    ASSERT_TRUE(settle(*state));
    EXPECT_EQ(state->snapshot()->rootID(), other.string());
}

TEST_F(AppStateScanTest, MoveThroughTheCleanupQueueRefreshesTheScan) {
    TempDir trash;
    services.mover = std::make_shared<FolderTrashMover>(trash.path() / "files");
    auto state = makeState();
    ASSERT_TRUE(scanAndWait(*state, scanned));
    const auto file = state->snapshot()->node((scanned / "b.txt").string());
    ASSERT_TRUE(file);

    state->queueForCleanup(*file);
    CleanupState& cleanup = state->cleanup();
    ASSERT_EQ(cleanup.queue().size(), 1u);
    cleanup.prepareReview();
    ASSERT_TRUE(waitFor([&] { return cleanup.review().has_value(); }));
    ASSERT_TRUE(cleanup.canConfirm());
    QSignalSpy scanningSpy(state.get(), &AppState::isScanningChanged);
    cleanup.confirmTrash();
    // While files move, no scan can start.
    state->startScan(Url::file(scanned.string(), true), true);
    EXPECT_FALSE(state->isScanning());

    ASSERT_TRUE(waitFor([&] { return !cleanup.isTrashing() && scanningSpy.count() >= 2 && !state->isScanning(); }));
    ASSERT_EQ(cleanup.results().size(), 1u);
    EXPECT_EQ(cleanup.results()[0].status, CleanupOutcomeStatus::moved);
    EXPECT_FALSE(state->snapshot()->contains((scanned / "b.txt").string()));
    EXPECT_TRUE(state->snapshot()->contains((scanned / "a/c.mp4").string()));
}

TEST_F(AppStateScanTest, DestroyingTheStateMidScanIsSafe) {
    auto gate = std::make_shared<GatedScan>(scanned.string());
    auto state = makeState(gate->function());
    state->startScan(Url::file(scanned.string(), true), false);
    ASSERT_TRUE(waitFor([&] { return gate->hasEntered(); }));
    state.reset();
    gate->release();
    gate->waitUntilFinished();
    QTest::qWait(50);   // late progress and the result find no state and are dropped
    SUCCEED();
}

} // namespace
} // namespace morvo::appstatetest
