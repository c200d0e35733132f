#include "Morvo/State/CleanupDiscoveryState.h"
#include "Morvo/State/CleanupState.h"
#include "Support/SubstateFakes.h"

#include <QSignalSpy>
#include <QTest>

#include <gtest/gtest.h>

#include <atomic>

using namespace morvo;
using namespace morvo::testing::substates;

namespace {

CleanupDiscoveryEntry entry(std::string path, std::int64_t size, CleanupArea area = CleanupArea::caches,
                            std::optional<std::string> owner = std::nullopt) {
    CleanupDiscoveryEntry e;
    e.url = Url::file(path, true);
    e.title = e.url.lastPathComponent();
    e.area = area;
    e.logicalSize = size;
    e.fileCount = 1;
    e.ownerBundleIdentifier = std::move(owner);
    return e;
}

CleanupDiscoveryResult resultOf(std::vector<CleanupDiscoveryEntry> entries, bool complete = true) {
    return CleanupDiscoveryResult{std::move(entries), {}, complete};
}

// A discovery state over a fake scan that runs what the test sets (copied under a lock, as a
// worker may still be inside the previous one).
struct FakeScanFixture {
    using Next = std::function<CleanupDiscoveryResult(std::stop_token)>;
    std::shared_ptr<FakeRunningApplications> running = std::make_shared<FakeRunningApplications>();
    std::mutex mutex;
    Next nextScan = [](std::stop_token) { return CleanupDiscoveryResult{}; };
    CleanupDiscoveryState state{CleanupDiscoveryStateServices{
        running, "/Users/ann", [this](const Url&, std::int64_t, std::int64_t, std::stop_token stop) {
            Next run;
            {
                std::lock_guard lock(mutex);
                run = nextScan;
            }
            return run(stop);
        }}};

    ~FakeScanFixture() { (void)waitForBackgroundTasks(); }

    void setNext(Next next) {
        std::lock_guard lock(mutex);
        nextScan = std::move(next);
    }
    void loadWith(CleanupDiscoveryResult result) {
        setNext([result](std::stop_token) { return result; });
        state.load();
        ASSERT_TRUE(waitUntil([&] { return !state.isLoading(); }, 5000));
    }
};

std::vector<std::string> ids(const std::vector<CleanupDiscoveryEntry>& entries) {
    std::vector<std::string> out;
    for (const auto& e : entries) out.push_back(e.id());
    return out;
}

struct QueueTarget {
    TempFolder folder;
    CleanupState cleanup{std::make_shared<TrashService>(TrashPolicy({}, 100, 900, Url::file(folder.root(), true)),
                                                        std::make_shared<FolderMover>(folder.path("trash"))),
                         CleanupStateServices{std::make_shared<FakeRunningApplications>(), folder.root(),
                                              std::make_shared<RecordingWorkspace>(),
                                              std::make_shared<FixedAppLocation>(Url::file("/opt/M.app", true))}};
};

} // namespace

// The real discovery scanner over a fixture home.
TEST(CleanupDiscoveryState, LoadsTheHomeFolderAndBlocksWhatMayNotBeQueued) {
    TempFolder home;
    home.file("Library/Caches/com.example.editor/data", 100);
    home.file("Library/Caches/Thing/x", 50);
    home.file("Library/Logs/Reports/a.log", 20);
    home.file("Library/Developer/Xcode/DerivedData/Proj-abc/out.o", 30);
    home.file(".cache/uv/wheel", 10);
    auto running = std::make_shared<FakeRunningApplications>();
    running->set({FakeRunningApplications::app("com.example.editor.helper"),
                  FakeRunningApplications::app("com.apple.dt.Xcodex")});
    CleanupDiscoveryState state(CleanupDiscoveryStateServices{running, home.root(), {}});
    EXPECT_FALSE(state.hasStartedInitialLoad());
    EXPECT_FALSE(state.result().isComplete);

    QSignalSpy loading(&state, &CleanupDiscoveryState::isLoadingChanged);
    state.load();
    EXPECT_TRUE(state.hasStartedInitialLoad());
    EXPECT_TRUE(state.isLoading());
    ASSERT_TRUE(waitUntil([&] { return !state.isLoading(); }, 10000));
    EXPECT_EQ(loading.count(), 2);
    EXPECT_TRUE(state.hasLoaded());
    EXPECT_EQ(state.statusMessage(), std::nullopt);
    EXPECT_EQ(state.errorMessage(), std::nullopt);

    std::map<std::string, CleanupDiscoveryEntry> byTitle;
    for (const auto& e : state.result().entries) byTitle[e.title] = e;
    ASSERT_EQ(byTitle.size(), 5u) << state.result().warnings.size();
    EXPECT_EQ(state.totalBytes(), 210);
    // Owner com.example.editor runs as a helper below it.
    EXPECT_EQ(state.blockedReason(byTitle["com.example.editor"]),
              "The owning application is running. Quit it before adding this item to the queue.");
    EXPECT_EQ(state.blockedReason(byTitle["Thing"]), std::nullopt);
    // "com.apple.dt.Xcodex" merely begins with the owner's letters.
    EXPECT_EQ(state.blockedReason(byTitle["Proj-abc"]), std::nullopt);
    EXPECT_EQ(state.blockedReason(byTitle["uv package cache"]), byTitle["uv package cache"].blockedReason);
    ASSERT_TRUE(state.blockedReason(byTitle["uv package cache"]));

    // A vendor-managed or running-owner entry cannot be ticked.
    state.toggle(byTitle["uv package cache"].id());
    state.toggle(byTitle["com.example.editor"].id());
    state.toggle("/no/such/entry");
    EXPECT_TRUE(state.selectedIDs().empty());
    state.toggle(byTitle["Proj-abc"].id());
    EXPECT_EQ(state.selectedBytes(), 30);

    // When Xcode itself starts, the ticked entry drops out of the selection but stays ticked.
    running->set({FakeRunningApplications::app("com.apple.dt.Xcode")});
    ASSERT_TRUE(waitUntil([&] { return state.runningBundleIdentifiers().count("com.apple.dt.Xcode"); }));
    EXPECT_TRUE(state.selectedEntries().empty());
    EXPECT_EQ(state.selectedBytes(), 0);
    EXPECT_EQ(state.selectedIDs().size(), 1u);
}

TEST(CleanupDiscoveryState, PartialEntriesAreBlockedAndAnIncompleteScanSaysSo) {
    FakeScanFixture f;
    auto partial = entry("/h/Library/Caches/big", 5);
    partial.isPartial = true;
    f.loadWith(resultOf({partial}, false));
    EXPECT_EQ(f.state.statusMessage(), "Some locations couldn\u2019t be checked completely. Affected items are unavailable "
                                       "for cleanup; review the scan notes.");
    EXPECT_EQ(f.state.blockedReason(partial),
              "This item couldn\u2019t be read completely. Scan again before reviewing it for cleanup.");
    auto own = partial;
    own.blockedReason = "Its own reason";
    EXPECT_EQ(f.state.blockedReason(own), "Its own reason");
}

TEST(CleanupDiscoveryState, FilteringAndOrder) {
    FakeScanFixture f;
    f.loadWith(resultOf({
        entry("/h/Library/Caches/b-small", 10),
        entry("/h/Library/Caches/a-big", 300),
        entry("/h/Library/Logs/zeta", 50, CleanupArea::logs),
        entry("/h/Library/Caches/aZ", 50),
        entry("/h/Library/Caches/AZ", 50),
    }));
    // Equal sizes in plain path order: upper-case before lower-case.
    EXPECT_EQ(ids(f.state.filteredEntries()),
              (std::vector<std::string>{"/h/Library/Caches/a-big", "/h/Library/Caches/AZ", "/h/Library/Caches/aZ",
                                        "/h/Library/Logs/zeta", "/h/Library/Caches/b-small"}));
    f.state.setArea(CleanupArea::logs);
    EXPECT_EQ(ids(f.state.filteredEntries()), (std::vector<std::string>{"/h/Library/Logs/zeta"}));
    f.state.setArea(std::nullopt);
    f.state.setQuery("  \n ");
    EXPECT_EQ(f.state.filteredEntries().size(), 5u);
    f.state.setQuery("A-BIG");
    EXPECT_EQ(ids(f.state.filteredEntries()), (std::vector<std::string>{"/h/Library/Caches/a-big"}));
    f.state.setQuery("library/logs");  // only the path matches
    EXPECT_EQ(ids(f.state.filteredEntries()), (std::vector<std::string>{"/h/Library/Logs/zeta"}));

    QSignalSpy queryChanged(&f.state, &CleanupDiscoveryState::queryChanged);
    f.state.setQuery("library/logs");
    EXPECT_EQ(queryChanged.count(), 0);
}

TEST(CleanupDiscoveryState, TotalsSaturate) {
    FakeScanFixture f;
    EXPECT_EQ(f.state.totalBytes(), 0);
    f.loadWith(resultOf({entry("/h/a", INT64_MAX - 5), entry("/h/b", 10), entry("/h/c", -4)}));
    EXPECT_EQ(f.state.totalBytes(), INT64_MAX);
}

TEST(CleanupDiscoveryState, QueueingSelectedEntries) {
    FakeScanFixture f;
    QueueTarget target;
    auto xcode = entry("/h/Library/Developer/Xcode/DerivedData/P", 30, CleanupArea::developer, "com.apple.dt.Xcode");
    xcode.note = "Quit Xcode first.";
    f.loadWith(resultOf({entry("/h/Library/Caches/one", 10), entry("/h/Library/Logs/two", 5, CleanupArea::logs), xcode}));

    f.state.queueSelected(target.cleanup);
    EXPECT_EQ(f.state.statusMessage(),
              "No new items were added. Check the selection and close any running owner applications.");

    f.state.toggle("/h/Library/Caches/one");
    f.state.queueSelected(target.cleanup);
    EXPECT_EQ(f.state.statusMessage(),
              "Added 1 item to the cleanup queue. Review the exact selection before moving anything to Trash.");
    EXPECT_TRUE(f.state.selectedIDs().empty());
    ASSERT_EQ(target.cleanup.queue().size(), 1u);
    const auto& cache = target.cleanup.queue()[0];
    EXPECT_EQ(cache.kind, "Caches");
    EXPECT_EQ(cache.symbol, "square.stack.3d.up");
    EXPECT_EQ(cache.reason, "App cache selected for review. The app may download or rebuild this data on its next launch.");
    EXPECT_EQ(cache.logicalSize, 10);

    // One already queued, two new: only the new ones are added and counted; the queued one stays ticked.
    f.state.setSelectedIDs({"/h/Library/Caches/one", "/h/Library/Logs/two", xcode.id()});
    f.state.queueSelected(target.cleanup);
    EXPECT_EQ(f.state.statusMessage(),
              "Added 2 items to the cleanup queue. Review the exact selection before moving anything to Trash.");
    EXPECT_EQ(f.state.selectedIDs(), (DiscoveryIDSet{"/h/Library/Caches/one"}));
    ASSERT_EQ(target.cleanup.queue().size(), 3u);
    EXPECT_EQ(target.cleanup.queue()[1].kind, "Logs");
    EXPECT_EQ(target.cleanup.queue()[1].symbol, "doc.text");
    const auto& developer = target.cleanup.queue()[2];
    EXPECT_EQ(developer.kind, "Developer");
    EXPECT_EQ(developer.symbol, "curlybraces");
    EXPECT_EQ(developer.reason, "Developer cache selected for review. Tools may rebuild or download data on the next "
                                "run; close active builds first. Quit Xcode first.");
    EXPECT_EQ(developer.ownerBundleID, "com.apple.dt.Xcode");
}

TEST(CleanupDiscoveryState, QueueingIsRefreshedAgainstRunningOwnersAndIgnoredWhileBusy) {
    FakeScanFixture f;
    QueueTarget target;
    f.loadWith(resultOf({entry("/h/Library/Caches/com.example.tool", 10, CleanupArea::caches, "com.example.tool")}));
    f.state.toggle("/h/Library/Caches/com.example.tool");
    // Launched without a notification yet: the refresh before queueing still sees it.
    f.running->blockSignals(true);
    f.running->set({FakeRunningApplications::app("com.example.tool")});
    f.running->blockSignals(false);
    f.state.queueSelected(target.cleanup);
    EXPECT_TRUE(target.cleanup.queue().empty());
    EXPECT_EQ(f.state.statusMessage(),
              "No new items were added. Check the selection and close any running owner applications.");

    f.running->set({});
    f.setNext([](std::stop_token stop) {
        while (!stop.stop_requested()) std::this_thread::sleep_for(std::chrono::milliseconds(5));
        throw CancellationError();
        return CleanupDiscoveryResult{};
    });
    f.state.load();
    QSignalSpy status(&f.state, &CleanupDiscoveryState::statusMessageChanged);
    f.state.queueSelected(target.cleanup);  // loading: silent no-op
    EXPECT_EQ(status.count(), 0);
    EXPECT_TRUE(target.cleanup.queue().empty());
    f.state.cancel();
}

TEST(CleanupDiscoveryState, CancelMessagesAndKeptResults) {
    Gate gate;  // outlives the fixture, which waits for the scan that reads it
    FakeScanFixture f;
    f.setNext([&](std::stop_token stop) {
        gate.wait(stop);
        throw CancellationError();
        return CleanupDiscoveryResult{};
    });
    f.state.load();
    f.state.cancel();
    EXPECT_FALSE(f.state.isLoading());
    EXPECT_EQ(f.state.statusMessage(), "Scan cancelled. Start another scan when you\u2019re ready.");

    f.loadWith(resultOf({entry("/h/a", 1)}));
    EXPECT_EQ(f.state.statusMessage(), std::nullopt);
    f.setNext([&](std::stop_token stop) {
        gate.wait(stop);
        return resultOf({});
    });
    f.state.load();
    f.state.cancel();
    EXPECT_EQ(f.state.statusMessage(), "Scan cancelled. Previous results are still here.");
    QTest::qWait(50);
    EXPECT_EQ(f.state.result().entries.size(), 1u);
}

TEST(CleanupDiscoveryState, OnlyTheNewestOfTwoLoadsIsApplied) {
    Gate gate;  // outlives the fixture, which waits for the scan that reads it
    std::atomic<bool> firstSawStop{false};
    FakeScanFixture f;
    // A superseded scan notices its stop and still returns a result, which must be dropped; the
    // current one finishes when the gate opens.
    f.setNext([&](std::stop_token stop) {
        if (!gate.wait(stop)) {
            firstSawStop = true;
            return resultOf({entry("/h/first", 1)});
        }
        return resultOf({entry("/h/second", 2)});
    });
    QSignalSpy resultChanged(&f.state, &CleanupDiscoveryState::resultChanged);
    f.state.load();
    f.state.load();
    ASSERT_TRUE(waitUntil([&] { return firstSawStop.load(); }));
    QTest::qWait(50);
    EXPECT_TRUE(f.state.isLoading());
    EXPECT_EQ(resultChanged.count(), 0);
    gate.open();
    ASSERT_TRUE(waitUntil([&] { return !f.state.isLoading(); }));
    EXPECT_EQ(resultChanged.count(), 1);
    EXPECT_EQ(ids(f.state.result().entries), (std::vector<std::string>{"/h/second"}));
}

TEST(CleanupDiscoveryState, AFailedScanKeepsThePreviousResult) {
    FakeScanFixture f;
    f.loadWith(resultOf({entry("/h/a", 1)}));
    f.state.toggle("/h/a");
    f.setNext([](std::stop_token) -> CleanupDiscoveryResult { throw PosixError(EIO, "/h"); });
    f.state.load();
    ASSERT_TRUE(waitUntil([&] { return !f.state.isLoading(); }));
    EXPECT_EQ(f.state.errorMessage(), "Input/output error");
    EXPECT_EQ(f.state.result().entries.size(), 1u);
    EXPECT_EQ(f.state.selectedIDs(), (DiscoveryIDSet{"/h/a"}));
}
