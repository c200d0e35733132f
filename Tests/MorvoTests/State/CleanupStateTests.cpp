#include "Morvo/State/CleanupState.h"
#include "Support/SubstateFakes.h"

#include <QSignalSpy>
#include <QTest>

#include <gtest/gtest.h>

using namespace morvo;
using namespace morvo::testing::substates;

namespace {

// A fixture home with a real Trash service whose mover renames into a folder of the fixture.
struct CleanupFixture {
    TempFolder folder;
    std::string home = folder.folder("home");
    std::shared_ptr<FolderMover> mover = std::make_shared<FolderMover>(folder.path("trash"));
    std::shared_ptr<GatedTrashService> service = std::make_shared<GatedTrashService>(
        TrashPolicy({}, 100000, 900, Url::file(home, true)), mover);
    std::shared_ptr<FakeRunningApplications> running = std::make_shared<FakeRunningApplications>();
    std::shared_ptr<RecordingWorkspace> workspace = std::make_shared<RecordingWorkspace>();
    CleanupState state{service,
                       CleanupStateServices{running, home, workspace,
                                            std::make_shared<FixedAppLocation>(Url::file("/opt/Morvo.app", true))}};

    std::string file(const std::string& relative, std::int64_t size = 10) { return folder.file("home/" + relative, size); }

    CleanupCandidate candidate(const std::string& path, std::optional<std::int64_t> size = std::nullopt,
                               std::optional<std::string> owner = std::nullopt, std::string kind = "File") {
        return CleanupCandidate{Url::file(path), Url::file(path).lastPathComponent(), "Because", kind, "doc",
                                size, owner};
    }

    void prepareAndWait() {
        state.prepareReview();
        ASSERT_TRUE(waitUntil([&] { return !state.isPreparing(); }, 5000));
    }
    void confirmAndWait() {
        state.confirmTrash();
        ASSERT_TRUE(waitUntil([&] { return !state.isTrashing(); }, 5000));
    }
};

std::vector<std::string> ids(const CleanupQueue& queue) {
    std::vector<std::string> out;
    for (const auto& c : queue) out.push_back(c.id());
    return out;
}

} // namespace

TEST(CleanupQueue, AddAppendsOncePerPathAndMergesOnlyANewOwner) {
    CleanupFixture f;
    QSignalSpy queueChanged(&f.state, &CleanupState::queueChanged);
    f.state.add(f.candidate("/x/a", 5));
    f.state.add(f.candidate("/x/b"));
    ASSERT_EQ(ids(f.state.queue()), (std::vector<std::string>{"/x/a", "/x/b"}));
    EXPECT_EQ(queueChanged.count(), 2);

    // Same path, no owner: nothing changes, no notification.
    auto again = f.candidate("/x/a", 99);
    again.title = "Other";
    f.state.add(again);
    EXPECT_EQ(f.state.queue()[0].title, "a");
    EXPECT_EQ(queueChanged.count(), 2);

    // Same path with an owner replaces the entry in place, keeping the known size.
    auto owned = f.candidate("/x/a", 99, "com.example.app", "Application");
    owned.title = "Example";
    f.state.add(owned);
    ASSERT_EQ(ids(f.state.queue()), (std::vector<std::string>{"/x/a", "/x/b"}));
    EXPECT_EQ(f.state.queue()[0].title, "Example");
    EXPECT_EQ(f.state.queue()[0].kind, "Application");
    EXPECT_EQ(f.state.queue()[0].logicalSize, 5);
    EXPECT_EQ(f.state.queue()[0].ownerBundleID, "com.example.app");

    // An unknown size is taken from the newcomer.
    f.state.add(f.candidate("/x/b", 7, "com.example.other"));
    EXPECT_EQ(f.state.queue()[1].logicalSize, 7);

    // Once owned, an entry is never replaced again.
    f.state.add(f.candidate("/x/a", 1, "com.example.third"));
    EXPECT_EQ(f.state.queue()[0].ownerBundleID, "com.example.app");

    EXPECT_TRUE(f.state.contains(Url::file("/x/b")));
    EXPECT_FALSE(f.state.contains(Url::file("/x/B")));
    EXPECT_EQ(f.state.queueBytes(), 12);
}

TEST(CleanupQueue, DerivedValuesAndRemoval) {
    CleanupFixture f;
    EXPECT_EQ(f.state.queueBytes(), 0);
    EXPECT_FALSE(f.state.canPrepare());
    f.state.add(f.candidate("/x/a"));
    f.state.add(f.candidate("/x/b"));
    EXPECT_EQ(f.state.queueBytes(), 0);  // unknown sizes count 0
    EXPECT_TRUE(f.state.canPrepare());
    EXPECT_FALSE(f.state.canConfirm());

    f.state.remove("/x/a");
    EXPECT_EQ(ids(f.state.queue()), (std::vector<std::string>{"/x/b"}));
    f.state.clear();
    EXPECT_TRUE(f.state.queue().empty());
}

TEST(CleanupQueue, AnyQueueChangeDropsThePreparedReview) {
    CleanupFixture f;
    f.state.add(f.candidate(f.file("a.txt"), 10));
    f.prepareAndWait();
    ASSERT_TRUE(f.state.review());

    // Removing an id that is not queued still drops the review.
    f.state.remove("/not/queued");
    EXPECT_FALSE(f.state.review());
    EXPECT_TRUE(f.state.selectedPreviewIDs().empty());
    EXPECT_FALSE(f.state.canConfirm());

    // Adding an already-queued path without a new owner keeps a review.
    f.prepareAndWait();
    ASSERT_TRUE(f.state.review());
    f.state.add(f.candidate(f.folder.path("home/a.txt")));
    EXPECT_TRUE(f.state.review());
    f.state.add(f.candidate(f.file("b.txt")));
    EXPECT_FALSE(f.state.review());
}

TEST(CleanupQueue, BusyRulesWhilePreparing) {
    CleanupFixture f;
    const std::string a = f.file("a.txt");
    f.state.add(f.candidate(a, 10));
    f.service->hold();
    f.state.prepareReview();
    ASSERT_TRUE(f.state.isPreparing());
    EXPECT_FALSE(f.state.canPrepare());

    f.state.add(f.candidate("/x/new"));
    f.state.remove(a);
    EXPECT_EQ(ids(f.state.queue()), (std::vector<std::string>{a}));

    // Cancelling ends the preparation with its message; the late preview is dropped.
    QSignalSpy reviewChanged(&f.state, &CleanupState::reviewChanged);
    f.state.cancelOperation();
    EXPECT_FALSE(f.state.isPreparing());
    EXPECT_EQ(f.state.statusMessage(), "Preview cancelled. No files were moved.");
    f.service->open();
    QTest::qWait(100);
    EXPECT_FALSE(f.state.review());
    EXPECT_EQ(reviewChanged.count(), 0);

    // With nothing running, cancelling changes nothing visible.
    QSignalSpy status(&f.state, &CleanupState::statusMessageChanged);
    f.state.cancelOperation();
    EXPECT_EQ(status.count(), 0);
}

TEST(CleanupQueue, ClearDuringPreparationEndsItSilently) {
    CleanupFixture f;
    f.state.add(f.candidate(f.file("a.txt"), 10));
    f.service->hold();
    f.state.prepareReview();
    f.state.clear();
    EXPECT_FALSE(f.state.isPreparing());
    EXPECT_TRUE(f.state.queue().empty());
    f.service->open();
    QTest::qWait(100);
    EXPECT_FALSE(f.state.review());
    EXPECT_EQ(f.state.statusMessage(), std::nullopt);
}

TEST(CleanupReview, RowsComeFromTheQueueAndMovableOnesStartSelected) {
    CleanupFixture f;
    const std::string a = f.file("a.txt", 10);
    const std::string b = f.file("Downloads/b.bin", 20);
    auto first = f.candidate(a, 10);
    first.title = "Alpha";
    first.reason = "Selected from your storage scan";
    f.state.add(first);
    f.state.add(f.candidate(b));
    f.state.add(f.candidate(f.folder.path("home/missing")));

    QSignalSpy reviewChanged(&f.state, &CleanupState::reviewChanged);
    f.prepareAndWait();
    ASSERT_TRUE(f.state.review());
    const auto& review = *f.state.review();
    ASSERT_EQ(review.items.size(), 3u);
    EXPECT_EQ(review.notes, (std::vector<std::string>{
                                "Morvo checks each item again before moving it. Changed or unavailable items stay in place."}));
    EXPECT_EQ(review.items[0].title, "Alpha");
    EXPECT_EQ(review.items[0].reason, "Selected from your storage scan");
    EXPECT_EQ(review.items[0].logicalSize, 10);
    EXPECT_EQ(review.items[0].fileCount, 1);
    EXPECT_EQ(review.items[1].logicalSize, 20);
    EXPECT_TRUE(review.items[2].blockedReason);  // vanished: blocked, unselected
    EXPECT_EQ(f.state.selectedPreviewIDs(), (CleanupIDSet{a, b}));
    EXPECT_EQ(f.state.statusMessage(), std::nullopt);
    EXPECT_GE(reviewChanged.count(), 1);

    // Blocked and unknown rows cannot be toggled; movable ones can.
    f.state.togglePreviewItem(review.items[2].id);
    f.state.togglePreviewItem("/not/in/review");
    EXPECT_EQ(f.state.selectedPreviewIDs(), (CleanupIDSet{a, b}));
    f.state.togglePreviewItem(a);
    f.state.togglePreviewItem(b);
    EXPECT_TRUE(f.state.selectedRows().empty());
    EXPECT_FALSE(f.state.canConfirm());
    f.state.togglePreviewItem(b);
    ASSERT_EQ(f.state.selectedRows().size(), 1u);
    EXPECT_TRUE(f.state.canConfirm());
}

TEST(CleanupReview, ConfirmMovesTheTickedRowsAndPrunesTheQueue) {
    CleanupFixture f;
    const std::string folder = f.folder.folder("home/Project");
    const std::string inside = f.file("Project/build.log", 5);
    const std::string kept = f.file("kept.txt", 3);
    const std::string other = f.file("other.txt", 4);
    f.state.add(f.candidate(folder));
    f.state.add(f.candidate(inside));
    f.state.add(f.candidate(kept));
    f.state.add(f.candidate(other));

    std::vector<std::vector<Url>> reported;
    f.state.setDidMoveFiles([&](const std::vector<Url>& urls) { reported.push_back(urls); });
    f.prepareAndWait();
    ASSERT_TRUE(f.state.review());
    // The nested selection is folded into its folder: three rows.
    ASSERT_EQ(f.state.review()->items.size(), 3u);
    f.state.togglePreviewItem(kept);

    QSignalSpy trashing(&f.state, &CleanupState::isTrashingChanged);
    f.state.confirmTrash();
    EXPECT_TRUE(f.state.isTrashing());
    EXPECT_TRUE(f.state.results().empty());
    // Busy while moving.
    f.state.add(f.candidate("/x/late"));
    f.state.clear();
    EXPECT_EQ(f.state.queue().size(), 4u);
    ASSERT_TRUE(waitUntil([&] { return !f.state.isTrashing(); }, 5000));
    EXPECT_EQ(trashing.count(), 2);

    EXPECT_FALSE(f.folder.exists("home/Project"));
    EXPECT_FALSE(f.folder.exists("home/other.txt"));
    EXPECT_TRUE(f.folder.exists("home/kept.txt"));
    EXPECT_EQ(ids(f.state.queue()), (std::vector<std::string>{kept}));  // the item inside the folder left too
    EXPECT_FALSE(f.state.review());
    EXPECT_EQ(f.state.statusMessage(), "2 items moved to Trash. Your Trash has not been emptied.");

    ASSERT_EQ(f.state.results().size(), 3u);
    std::map<std::string, CleanupOutcome> byID;
    for (const auto& r : f.state.results()) byID[r.id] = r;
    EXPECT_EQ(byID[folder].status, CleanupOutcomeStatus::moved);
    EXPECT_EQ(byID[folder].title, "Project");
    ASSERT_TRUE(byID[folder].trashURL);
    EXPECT_EQ(byID[folder].trashURL->path, f.folder.path("trash/Project"));
    EXPECT_EQ(byID[kept].status, CleanupOutcomeStatus::skipped);
    EXPECT_EQ(byID[kept].message, "This item was not confirmed.");
    EXPECT_FALSE(byID[kept].trashURL);

    ASSERT_EQ(reported.size(), 1u);
    ASSERT_EQ(reported[0].size(), 2u);

    // Reveal shows a moved item; an outcome without a Trash place does nothing.
    f.state.revealTrash(byID[folder]);
    f.state.revealTrash(byID[kept]);
    ASSERT_EQ(f.workspace->revealedInTrash.size(), 1u);
    EXPECT_EQ(f.workspace->revealedInTrash[0], *byID[folder].trashURL);
}

TEST(CleanupReview, ARunThatMovesNothingStillEndsTheReview) {
    CleanupFixture f;
    const std::string a = f.file("a.txt");
    f.mover->failFor(a);
    f.state.add(f.candidate(a));
    bool called = false;
    f.state.setDidMoveFiles([&](const std::vector<Url>&) { called = true; });
    f.prepareAndWait();
    f.confirmAndWait();
    ASSERT_EQ(f.state.results().size(), 1u);
    EXPECT_EQ(f.state.results()[0].status, CleanupOutcomeStatus::failed);
    EXPECT_EQ(f.state.statusMessage(), "0 items moved to Trash. Your Trash has not been emptied.");
    EXPECT_FALSE(called);
    EXPECT_FALSE(f.state.review());
    EXPECT_EQ(ids(f.state.queue()), (std::vector<std::string>{a}));
}

// "Stop remaining" during a move: the report still arrives and ends the run, so isTrashing
// cannot stay set; what moved before the stop leaves the queue.
TEST(CleanupReview, StoppingAMoveAppliesItsReport) {
    CleanupFixture f;
    const std::string a = f.file("a.txt");
    const std::string b = f.file("b.txt");
    f.state.add(f.candidate(a));
    f.state.add(f.candidate(b));
    f.prepareAndWait();
    f.mover->holdMoves();
    f.state.confirmTrash();
    ASSERT_TRUE(f.mover->waitUntilHeld());
    f.state.cancelOperation();
    EXPECT_TRUE(f.state.isTrashing());  // only asked to stop
    f.mover->release();
    ASSERT_TRUE(waitUntil([&] { return !f.state.isTrashing(); }, 5000));
    ASSERT_EQ(f.state.results().size(), 2u);
    EXPECT_EQ(f.state.results()[0].status, CleanupOutcomeStatus::moved);
    EXPECT_EQ(f.state.results()[1].status, CleanupOutcomeStatus::skipped);
    EXPECT_EQ(f.state.statusMessage(), "Stopped remaining items. 1 moved to Trash; see each result below.");
    EXPECT_EQ(ids(f.state.queue()), (std::vector<std::string>{b}));
}

TEST(CleanupReview, DataOfAQueuedApplicationDependsOnIt) {
    CleanupFixture f;
    const std::string app = f.folder.bundle("home/Apps/Example.app", "com.example.app");
    const std::string cache = f.file("Library/Caches/com.example.app/blob", 8);
    const std::string cacheFolder = f.folder.path("home/Library/Caches/com.example.app");
    const std::string prefs = f.file("Library/Preferences/com.example.app.plist", 4);
    const std::string unrelated = f.file("notes.txt", 2);
    (void)cache;
    f.state.add(f.candidate(app, std::nullopt, "com.example.app", "Application"));
    f.state.add(f.candidate(cacheFolder));                       // tied by its Library location
    f.state.add(f.candidate(prefs, 4, "com.example.app", "Preferences"));  // tied by its owner
    f.state.add(f.candidate(unrelated));
    f.prepareAndWait();
    ASSERT_TRUE(f.state.review());
    ASSERT_TRUE(f.state.selectedPreviewIDs().count(app)) << f.state.review()->items[0].blockedReason.value_or("");

    EXPECT_EQ(f.state.dependencyMap(), (std::map<std::string, std::string>{{cacheFolder, app}, {prefs, app}}));
    f.confirmAndWait();
    EXPECT_EQ(f.service->lastDependencies(), (std::map<std::string, std::string>{{cacheFolder, app}, {prefs, app}}));
    EXPECT_EQ(f.state.results().size(), 4u);
    for (const auto& r : f.state.results()) EXPECT_EQ(r.status, CleanupOutcomeStatus::moved) << r.id << ": " << r.message;
    // The application went first.
    EXPECT_EQ(f.mover->movedPaths().front(), app);
}

TEST(CleanupReview, DeselectedApplicationPassesNoDependencies) {
    CleanupFixture f;
    const std::string app = f.folder.bundle("home/Apps/Example.app", "com.example.app");
    const std::string cache = f.folder.folder("home/Library/Caches/com.example.app");
    f.state.add(f.candidate(app, std::nullopt, "com.example.app", "Application"));
    f.state.add(f.candidate(cache));
    f.prepareAndWait();
    f.state.togglePreviewItem(app);
    EXPECT_TRUE(f.state.dependencyMap().empty());
    f.confirmAndWait();
    EXPECT_TRUE(f.service->lastDependencies().empty());
    EXPECT_TRUE(f.folder.exists("home/Apps/Example.app"));
    EXPECT_FALSE(f.folder.exists("home/Library/Caches/com.example.app"));
}

// Running applications, their data and this application are handed to the service as protected:
// their rows are blocked in the review, which still opens.
TEST(CleanupReview, RunningApplicationsAndTheirDataAreProtected) {
    CleanupFixture f;
    const std::string app = f.folder.bundle("home/Apps/Running.app", "com.example.running");
    const std::string data = f.folder.folder("home/Library/Application Support/com.example.running");
    const std::string helperData = f.folder.folder("home/Library/Caches/com.example.tool");
    const std::string free = f.file("free.txt");
    f.running->set({FakeRunningApplications::app("com.example.running", app),
                    FakeRunningApplications::app("com.example.tool.helper")});
    f.state.add(f.candidate(app, std::nullopt, "com.example.running", "Application"));
    f.state.add(f.candidate(data));
    f.state.add(f.candidate(helperData));  // owner guessed from the Library location; its helper runs
    f.state.add(f.candidate(free));
    f.prepareAndWait();
    ASSERT_TRUE(f.state.review());

    const auto protectedURLs = f.service->lastProtected();
    auto isProtected = [&](const std::string& p) {
        return std::any_of(protectedURLs.begin(), protectedURLs.end(), [&](const Url& u) { return u.path == p; });
    };
    EXPECT_TRUE(isProtected(app));
    EXPECT_TRUE(isProtected("/opt/Morvo.app"));
    EXPECT_TRUE(isProtected(data));
    EXPECT_TRUE(isProtected(helperData));
    EXPECT_FALSE(isProtected(free));

    for (const auto& row : f.state.review()->items) {
        if (row.id == free) {
            EXPECT_FALSE(row.blockedReason);
        } else {
            EXPECT_EQ(row.blockedReason, "This item contains, or belongs to, a protected or running application.") << row.id;
        }
    }
    EXPECT_EQ(f.state.selectedPreviewIDs(), (CleanupIDSet{free}));
}

TEST(CleanupReview, ASecondConfirmationOfTheSamePreviewIsRefused) {
    CleanupFixture f;
    const std::string a = f.file("a.txt");
    f.state.add(f.candidate(a));
    f.prepareAndWait();
    f.confirmAndWait();
    ASSERT_EQ(f.state.results().size(), 1u);
    // The review is gone after a run, so nothing can be confirmed again from this state.
    f.state.confirmTrash();
    EXPECT_FALSE(f.state.isTrashing());
}

TEST(CleanupState, DestroyedMidPreparationIsLeftAlone) {
    TempFolder folder;
    const std::string home = folder.folder("home");
    const std::string a = folder.file("home/a.txt", 3);
    auto service = std::make_shared<GatedTrashService>(TrashPolicy({}, 100000, 900, Url::file(home, true)),
                                                       std::make_shared<FolderMover>(folder.path("trash")));
    service->hold();
    {
        CleanupState state(service, CleanupStateServices{std::make_shared<FakeRunningApplications>(), home,
                                                         std::make_shared<RecordingWorkspace>(),
                                                         std::make_shared<FixedAppLocation>(Url::file("/opt/M.app"))});
        state.add(CleanupCandidate{Url::file(a), "a", "r", "File", "doc", 3, std::nullopt});
        state.prepareReview();
        ASSERT_TRUE(waitUntil([&] { return service->prepareCalls() == 1; }));
    }
    service->open();
    QTest::qWait(100);  // the late preview finds no state and touches nothing
    SUCCEED();
}
