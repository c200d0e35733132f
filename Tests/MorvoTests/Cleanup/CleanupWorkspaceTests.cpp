// The cleanup workspace over a real CleanupState: queue rows and removal, the header metrics, the
// empty state, the footer while busy, and the results of a move.

#include "Morvo/Cleanup/CleanupRows.h"
#include "Morvo/State/CleanupState.h"
#include "Morvo/Cleanup/CleanupWorkspaceView.h"
#include "Morvo/Platform/ByteCountFormatter.h"
#include "MorvoCore/Platform/Text.h"
#include "Support/SubstateFakes.h"

#include <QAction>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QMenu>
#include <QTest>

#include <gtest/gtest.h>

#include <cstdio>

using namespace morvo;
using namespace morvo::testing::substates;

namespace {

struct WorkspaceFixture {
    TempFolder folder;
    std::string home = folder.folder("home");
    std::shared_ptr<FolderMover> mover = std::make_shared<FolderMover>(folder.path("trash"));
    std::shared_ptr<GatedTrashService> service = std::make_shared<GatedTrashService>(
        TrashPolicy({}, 100000, 900, Url::file(home, true)), mover);
    std::shared_ptr<RecordingWorkspace> workspace = std::make_shared<RecordingWorkspace>();
    CleanupState state{service, CleanupStateServices{std::make_shared<FakeRunningApplications>(), home, workspace,
                                                     std::make_shared<FixedAppLocation>(Url::file("/opt/Morvo.app", true))}};
    int findFiles = 0;
    int findApplications = 0;
    CleanupWorkspaceView view{state, [this] { ++findFiles; }, [this] { ++findApplications; }};

    WorkspaceFixture() { view.resize(900, 700); }

    CleanupCandidate candidate(const std::string& path, std::optional<std::int64_t> size = std::nullopt) {
        return CleanupCandidate{Url::file(path), Url::file(path).lastPathComponent(), "Because", "File", "doc", size, {}};
    }
    std::string file(const std::string& name, std::int64_t size = 10) { return folder.file("home/" + name, size); }
};

} // namespace

TEST(CleanupWorkspace, EmptyQueueShowsTheEmptyStateAndAnIdleDisabledFooter) {
    WorkspaceFixture f;
    EXPECT_EQ(f.view.objectName(), QStringLiteral("cleanup-workspace"));
    EXPECT_TRUE(f.view.isShowingEmptyState());
    EXPECT_EQ(f.view.shownQueueCount(), QStringLiteral("0 items"));
    EXPECT_EQ(f.view.shownKnownSize(), QStringLiteral("\u2014"));
    EXPECT_TRUE(f.view.clearQueueButton()->isHidden());
    EXPECT_FALSE(f.view.reviewButton()->isHidden());
    EXPECT_FALSE(f.view.reviewButton()->isEnabled());
    EXPECT_TRUE(f.view.cancelButton()->isHidden() || !f.view.cancelButton()->isVisibleTo(&f.view));
    EXPECT_EQ(f.view.reviewButton()->objectName(), QStringLiteral("cleanup-prepare-review"));

    QTest::mouseClick(f.view.findFilesButton(), Qt::LeftButton);
    QTest::mouseClick(f.view.findApplicationsButton(), Qt::LeftButton);
    EXPECT_EQ(f.findFiles, 1);
    EXPECT_EQ(f.findApplications, 1);
}

TEST(CleanupWorkspace, HeaderCountsItemsAndSumsOnlyKnownSizes) {
    WorkspaceFixture f;
    f.state.add(f.candidate("/x/a"));
    EXPECT_EQ(f.view.shownQueueCount(), QStringLiteral("1 item"));
    EXPECT_EQ(f.view.shownKnownSize(), QStringLiteral("\u2014")) << "no candidate has a size";
    f.state.add(f.candidate("/x/b", 0));
    EXPECT_EQ(f.view.shownKnownSize(), formatByteCount(0)) << "a known zero is a size";
    f.state.add(f.candidate("/x/c", 1500000));
    EXPECT_EQ(f.view.shownQueueCount(), QStringLiteral("3 items"));
    EXPECT_EQ(f.view.shownKnownSize(), formatByteCount(1500000));
    EXPECT_FALSE(f.view.isShowingEmptyState());
    EXPECT_FALSE(f.view.clearQueueButton()->isHidden());
    EXPECT_TRUE(f.view.reviewButton()->isEnabled());
    EXPECT_EQ(CleanupWorkspaceView::queueCountText(1250), QString::fromStdString(text::formatInteger(1250)) + " items");
}

TEST(CleanupWorkspace, RowsFollowTheQueueAreReusedAndRemoveTheirItem) {
    WorkspaceFixture f;
    f.state.add(f.candidate("/x/a", 1));
    f.state.add(f.candidate("/x/b", 2));
    CleanupQueueRow* a = f.view.queueRow("/x/a");
    ASSERT_NE(a, nullptr);
    f.state.add(f.candidate("/x/c", 3));
    EXPECT_EQ(f.view.queueRow("/x/a"), a) << "an unchanged item keeps its row";
    EXPECT_EQ(f.view.queueRowCount(), 3u);

    QTest::mouseClick(f.view.queueRow("/x/b")->removeButton(), Qt::LeftButton);
    EXPECT_EQ(f.state.queue().size(), 2u);
    EXPECT_EQ(f.view.queueRow("/x/b"), nullptr);
    EXPECT_EQ(f.view.shownQueueCount(), QStringLiteral("2 items"));

    std::unique_ptr<QMenu> menu(f.view.queueRow("/x/a")->makeContextMenu());
    menu->actions()[0]->trigger();
    ASSERT_EQ(f.workspace->revealed.size(), 1u);
    EXPECT_EQ(f.workspace->revealed[0][0].path, "/x/a");

    QTest::mouseClick(f.view.clearQueueButton(), Qt::LeftButton);
    EXPECT_TRUE(f.state.queue().empty());
    EXPECT_TRUE(f.view.isShowingEmptyState());
    EXPECT_EQ(f.view.queueRowCount(), 0u);
}

TEST(CleanupWorkspace, FooterWhilePreparingThenCancelShowsTheStatusLine) {
    WorkspaceFixture f;
    f.state.add(f.candidate(f.file("a")));
    f.service->hold();
    QTest::mouseClick(f.view.reviewButton(), Qt::LeftButton);
    ASSERT_TRUE(f.state.isPreparing());
    EXPECT_EQ(f.view.busyText(), QStringLiteral("Checking your selection…"));
    EXPECT_EQ(f.view.cancelButton()->labelText(), QStringLiteral("Cancel"));
    EXPECT_EQ(f.view.cancelButton()->objectName(), QStringLiteral("cleanup-cancel-operation"));
    EXPECT_FALSE(f.view.clearQueueButton()->isEnabled());
    EXPECT_FALSE(f.view.queueRow(f.state.queue()[0].id())->removeButton()->isEnabled());
    EXPECT_FALSE(f.view.reviewButton()->isVisibleTo(&f.view));

    QTest::mouseClick(f.view.cancelButton(), Qt::LeftButton);
    f.service->open();
    EXPECT_FALSE(f.state.isPreparing());
    EXPECT_EQ(f.view.busyText(), QString());
    ASSERT_NE(f.view.statusLine(), nullptr);
    EXPECT_EQ(f.view.statusLine()->text(), QStringLiteral("Preview cancelled. No files were moved."));
    EXPECT_TRUE(f.view.queueRow(f.state.queue()[0].id())->removeButton()->isEnabled());
}

TEST(CleanupWorkspace, MoveShowsStopRemainingThenTheResultsWithSummaryAndReveal) {
    WorkspaceFixture f;
    const std::string a = f.file("a");
    const std::string b = f.file("b");
    f.state.add(f.candidate(a));
    f.state.add(f.candidate(b));
    f.mover->failFor(b);
    f.state.prepareReview();
    QTRY_VERIFY_WITH_TIMEOUT(f.state.review().has_value(), 5000);

    f.mover->holdMoves();
    f.state.confirmTrash();
    ASSERT_TRUE(f.mover->waitUntilHeld());
    EXPECT_EQ(f.view.busyText(), QStringLiteral("Moving selected items…"));
    EXPECT_EQ(f.view.cancelButton()->labelText(), QStringLiteral("Stop remaining"));
    f.mover->release();
    QTRY_VERIFY_WITH_TIMEOUT(!f.state.isTrashing(), 5000);

    ASSERT_EQ(f.state.results().size(), 2u);
    EXPECT_EQ(f.view.shownResultSummary(), QStringLiteral("1 moved · 1 not moved"));
    EXPECT_TRUE(f.view.isShowingResults());
    EXPECT_TRUE(f.view.isShowingQueue()) << "the failed item stays queued";
    EXPECT_EQ(f.view.resultListTopPadding(), 8);
    ASSERT_NE(f.view.resultRow(a), nullptr);
    ASSERT_NE(f.view.resultRow(a)->revealButton(), nullptr);
    EXPECT_EQ(f.view.resultRow(b)->revealButton(), nullptr);
    QTest::mouseClick(f.view.resultRow(a)->revealButton(), Qt::LeftButton);
    ASSERT_EQ(f.workspace->revealedInTrash.size(), 1u);
    EXPECT_EQ(f.workspace->revealedInTrash[0].path, f.state.results()[0].trashURL->path);

    // With the queue emptied, the results stand alone at the top.
    f.state.clear();
    EXPECT_FALSE(f.view.isShowingEmptyState());
    EXPECT_FALSE(f.view.isShowingQueue());
    EXPECT_EQ(f.view.resultListTopPadding(), 0);
}

TEST(CleanupWorkspace, ResultSummaryCountsMovedAndTheRest) {
    auto outcome = [](CleanupOutcomeStatus status) { return CleanupOutcome{"/p", Url::file("/p"), "p", status, "", {}}; };
    using S = CleanupOutcomeStatus;
    const std::pair<std::vector<CleanupOutcome>, QString> cases[] = {
        {{outcome(S::moved), outcome(S::moved), outcome(S::moved)}, QStringLiteral("3 moved")},
        {{outcome(S::failed)}, QStringLiteral("0 moved · 1 not moved")},
        {{outcome(S::moved), outcome(S::skipped), outcome(S::failed)}, QStringLiteral("1 moved · 2 not moved")},
    };
    for (const auto& [results, expected] : cases) EXPECT_EQ(CleanupWorkspaceView::resultSummary(results), expected);
}

// Queuing one more item lays out and paints only what is new: the rows already shown are not
// moved, resized or painted again (else each item takes longer than the last in a long queue).
TEST(CleanupWorkspace, QueuingAnItemLeavesTheRowsAlreadyShownAlone) {
    WorkspaceFixture f;
    f.view.show();
    for (int i = 0; i < 30; ++i) f.state.add(f.candidate("/x/item-" + std::to_string(i), i));
    QTest::qWait(20);
    struct Touches : QObject {
        int count = 0;
        bool eventFilter(QObject*, QEvent* event) override {
            if (event->type() == QEvent::Resize || event->type() == QEvent::Move || event->type() == QEvent::Paint) ++count;
            return false;
        }
    } touches;
    std::vector<QRect> before;
    for (int i = 0; i < 30; ++i) {
        QWidget* row = f.view.queueRow("/x/item-" + std::to_string(i));
        row->installEventFilter(&touches);
        before.push_back(row->geometry());
    }
    f.state.add(f.candidate("/x/item-30", 30));
    QTest::qWait(20);
    EXPECT_EQ(touches.count, 0);
    for (int i = 0; i < 30; ++i) EXPECT_EQ(f.view.queueRow("/x/item-" + std::to_string(i))->geometry(), before[i]);
    const QRect added = f.view.queueRow("/x/item-30")->geometry();
    EXPECT_EQ(added.top(), before.back().bottom() + 1 + 9) << "the new row comes 9 points below the last";
    EXPECT_EQ(added.width(), before.back().width());
    EXPECT_EQ(added.height(), before.back().height());
}

TEST(CleanupWorkspace, ThousandsOfQueuedItemsKeepTheirRowsOnAChange) {
    struct {
        CleanupState state{std::make_shared<TrashService>(TrashPolicy({}, 100000, 900, Url::file("/nonexistent", true))),
                           CleanupStateServices{std::make_shared<FakeRunningApplications>(), "/nonexistent",
                                                std::make_shared<RecordingWorkspace>(),
                                                std::make_shared<FixedAppLocation>(Url::file("/opt/Morvo.app", true))}};
    } f;
    for (int i = 0; i < 3000; ++i)
        f.state.add(CleanupCandidate{Url::file("/q/item-" + std::to_string(i)), "item", "Because", "File", "doc", i, {}});
    // As when the section is shown with a long queue.
    QElapsedTimer timer;
    timer.start();
    CleanupWorkspaceView view(f.state, {}, {});
    view.resize(900, 700);
    view.show();
    QCoreApplication::processEvents();
    const auto built = timer.restart();
    ASSERT_EQ(view.queueRowCount(), 3000u);
    QWidget* first = view.queueRow("/q/item-0");
    QWidget* last = view.queueRow("/q/item-2999");
    f.state.remove("/q/item-1500");
    QCoreApplication::processEvents();
    const auto removed = timer.elapsed();
    EXPECT_EQ(view.queueRowCount(), 2999u);
    EXPECT_EQ(view.queueRow("/q/item-0"), first);
    EXPECT_EQ(view.queueRow("/q/item-2999"), last);
    RecordProperty("build_ms", static_cast<int>(built));
    RecordProperty("remove_ms", static_cast<int>(removed));
    std::printf("3000 rows: built and shown in %lld ms, one removal in %lld ms\n", static_cast<long long>(built),
                static_cast<long long>(removed));
}
