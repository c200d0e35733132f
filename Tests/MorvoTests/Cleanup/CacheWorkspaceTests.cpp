// The caches workspace over a real CleanupDiscoveryState whose scan the test scripts: the first
// load, cards, search, area segments, empty states, scan notes and queueing the selection.

#include "Morvo/Cleanup/CacheEntryRow.h"
#include "Morvo/Cleanup/CacheWorkspaceView.h"
#include "Morvo/State/CleanupDiscoveryState.h"
#include "Morvo/State/CleanupState.h"
#include "Morvo/Platform/ByteCountFormatter.h"
#include "MorvoCore/Platform/Text.h"
#include "Support/SubstateFakes.h"

#include <QAction>
#include <QLineEdit>
#include <QMenu>
#include <QTest>

#include <gtest/gtest.h>

#include <atomic>
#include <memory>
#include <mutex>

using namespace morvo;
using namespace morvo::testing::substates;

namespace {

CleanupDiscoveryEntry entry(const std::string& path, CleanupArea area, std::int64_t size, std::int64_t files = 2) {
    CleanupDiscoveryEntry e;
    e.url = Url::file(path, true);
    e.title = Url::file(path).lastPathComponent();
    e.area = area;
    e.logicalSize = size;
    e.fileCount = files;
    return e;
}

// The scan returns whatever `next` holds; with `gate` set it waits there first.
struct ScriptedScan {
    std::mutex mutex;
    CleanupDiscoveryResult next;
    std::shared_ptr<Gate> gate;
    std::atomic<int> calls{0};
};

struct CacheFixture {
    std::shared_ptr<ScriptedScan> script = std::make_shared<ScriptedScan>();
    std::shared_ptr<FakeRunningApplications> running = std::make_shared<FakeRunningApplications>();
    std::shared_ptr<RecordingWorkspace> workspace = std::make_shared<RecordingWorkspace>();
    std::shared_ptr<GatedTrashService> service = std::make_shared<GatedTrashService>(
        TrashPolicy({}, 100000, 900, Url::file("/h", true)), std::make_shared<FolderMover>("/nonexistent-trash"));
    CleanupState cleanup{service, CleanupStateServices{running, "/h", workspace,
                                                       std::make_shared<FixedAppLocation>(Url::file("/opt/Morvo.app", true))}};
    CleanupDiscoveryState state{CleanupDiscoveryStateServices{
        running, "/h", [script = script](const Url&, std::int64_t, std::int64_t, std::stop_token stop) {
            ++script->calls;
            std::shared_ptr<Gate> gate;
            {
                std::lock_guard lock(script->mutex);
                gate = script->gate;
            }
            if (gate && !gate->wait(stop)) throw CancellationError();
            std::lock_guard lock(script->mutex);
            return script->next;
        }}};
    CacheWorkspaceView view{state, cleanup};

    CacheFixture() { view.resize(1000, 900); }

    void answer(CleanupDiscoveryResult result) {
        std::lock_guard lock(script->mutex);
        script->next = std::move(result);
    }
    void loadAndWait(CleanupDiscoveryResult result) {
        answer(std::move(result));
        state.load();
        QTRY_VERIFY_WITH_TIMEOUT(!state.isLoading(), 5000);
    }
    static CleanupDiscoveryResult three() {
        CleanupDiscoveryResult r;
        r.entries = {entry("/h/Library/Caches/com.big", CleanupArea::caches, 3000000),
                     entry("/h/Library/Logs/Tool", CleanupArea::logs, 2000, 1),
                     entry("/h/.cache/pip", CleanupArea::developer, 1000)};
        return r;
    }
};

} // namespace

TEST(CacheWorkspace, FirstShowStartsOneScanAndCardsWaitForIt) {
    CacheFixture f;
    auto gate = std::make_shared<Gate>();
    f.script->gate = gate;
    EXPECT_EQ(f.view.cardValue(0), QStringLiteral("\u2014"));
    EXPECT_EQ(f.view.cardValue(1), QStringLiteral("\u2014"));
    EXPECT_EQ(f.view.cardValue(2), QStringLiteral("0 items"));
    EXPECT_EQ(f.view.cardSubtitle(2), formatByteCount(0) + QStringLiteral(" logical size"));
    EXPECT_EQ(f.view.emptyTitle(), QStringLiteral("Your cache locations, in view."));

    f.view.show();
    ASSERT_TRUE(f.state.isLoading());
    EXPECT_EQ(f.view.progressText(), QStringLiteral("Checking cache locations on this Mac…"));
    EXPECT_EQ(f.view.emptyTitle(), QStringLiteral("Looking beneath the surface…"));
    EXPECT_FALSE(f.view.scanButton()->isEnabled());
    f.answer(CacheFixture::three());
    gate->open();
    QTRY_VERIFY_WITH_TIMEOUT(!f.state.isLoading(), 5000);
    EXPECT_EQ(f.view.cardValue(0), formatByteCount(3003000));
    EXPECT_EQ(f.view.cardValue(1), QStringLiteral("3"));
    EXPECT_EQ(f.view.listCountText(), QStringLiteral("3 locations"));
    EXPECT_EQ(f.view.rowIDs(), (std::vector<std::string>{"/h/Library/Caches/com.big", "/h/Library/Logs/Tool", "/h/.cache/pip"}));

    // Showing it again, or another view of it, starts nothing.
    f.view.hide();
    f.view.show();
    CacheWorkspaceView again(f.state, f.cleanup);
    again.show();
    QCoreApplication::processEvents();
    EXPECT_EQ(f.script->calls.load(), 1);
    EXPECT_FALSE(f.state.isLoading());
}

TEST(CacheWorkspace, SearchAndAreaSegmentsFilterTheListButNotTheCards) {
    CacheFixture f;
    f.loadAndWait(CacheFixture::three());
    EXPECT_EQ(f.view.searchField()->objectName(), QStringLiteral("cache-search"));
    EXPECT_TRUE(f.view.clearSearchButton()->isHidden());
    QTest::keyClicks(f.view.searchField(), QStringLiteral("TOOL"));
    EXPECT_EQ(f.state.query(), "TOOL");
    EXPECT_EQ(f.view.listCountText(), QStringLiteral("1 location"));
    EXPECT_FALSE(f.view.clearSearchButton()->isHidden());
    EXPECT_EQ(f.view.cardValue(1), QStringLiteral("3"));
    QTest::mouseClick(f.view.clearSearchButton(), Qt::LeftButton);
    EXPECT_EQ(f.state.query(), "");
    EXPECT_EQ(f.view.searchField()->text(), QString());

    struct Case {
        int segment;
        std::optional<CleanupArea> area;
        std::vector<std::string> ids;
    };
    const Case cases[] = {
        {2, CleanupArea::logs, {"/h/Library/Logs/Tool"}},
        {3, CleanupArea::developer, {"/h/.cache/pip"}},
        {1, CleanupArea::caches, {"/h/Library/Caches/com.big"}},
        {0, std::nullopt, {"/h/Library/Caches/com.big", "/h/Library/Logs/Tool", "/h/.cache/pip"}},
    };
    EXPECT_EQ(f.view.areaPicker()->objectName(), QStringLiteral("cache-category"));
    for (const auto& c : cases) {
        QTest::mouseClick(f.view.areaSegment(c.segment), Qt::LeftButton);
        EXPECT_EQ(f.state.area(), c.area);
        EXPECT_EQ(f.view.rowIDs(), c.ids) << c.segment;
    }

    // A search that matches nothing shows the no-match state without a list header.
    f.state.setQuery("nothing here");
    EXPECT_TRUE(f.view.isShowingEmptyState());
    EXPECT_EQ(f.view.emptyTitle(), QStringLiteral("No matches in this view."));
    EXPECT_EQ(f.view.listCountText(), QString());
}

TEST(CacheWorkspace, CardsShowBlockedPartialNotesAndLinks) {
    CacheFixture f;
    CleanupDiscoveryResult r;
    auto partial = entry("/h/Library/Caches/partial", CleanupArea::caches, 10, 0);
    partial.isPartial = true;
    auto owned = entry("/h/Library/Caches/com.run.app", CleanupArea::caches, 20, 1);
    owned.ownerBundleIdentifier = "com.run.app";
    auto documented = entry("/h/.gradle/caches", CleanupArea::developer, 30);
    documented.note = "Gradle downloads these again.";
    documented.documentationURL = Url::parse("https://docs.example.org/gradle");
    r.entries = {documented, owned, partial};
    f.running->set({FakeRunningApplications::app("com.run.app.helper")});
    f.loadAndWait(r);

    CacheEntryRow* p = f.view.row("/h/Library/Caches/partial");
    ASSERT_NE(p, nullptr);
    EXPECT_EQ(p->shownCountLine(), QStringLiteral("0 files · partial measurement"));
    ASSERT_NE(p->blockedLine(), nullptr);
    EXPECT_EQ(p->blockedLine()->text(),
              QStringLiteral("This item couldn\u2019t be read completely. Scan again before reviewing it for cleanup."));
    EXPECT_FALSE(p->checkBox()->isEnabled());

    CacheEntryRow* o = f.view.row("/h/Library/Caches/com.run.app");
    EXPECT_EQ(o->shownCountLine(), QStringLiteral("1 file"));
    ASSERT_NE(o->blockedLine(), nullptr);
    EXPECT_EQ(o->checkBox()->objectName(), QStringLiteral("cache-select-/h/Library/Caches/com.run.app"));
    EXPECT_EQ(o->checkBox()->accessibleName(), QStringLiteral("Include com.run.app, /h/Library/Caches/com.run.app"));
    EXPECT_EQ(o->objectName(), QStringLiteral("cache-entry-/h/Library/Caches/com.run.app"));

    CacheEntryRow* d = f.view.row("/h/.gradle/caches");
    EXPECT_EQ(d->shownAreaLabel(), QStringLiteral("Developer"));
    EXPECT_EQ(d->blockedLine(), nullptr);
    ASSERT_NE(d->noteLine(), nullptr);
    ASSERT_NE(d->documentationLink(), nullptr);
    EXPECT_EQ(d->documentationLink()->toolTip(), QStringLiteral("https://docs.example.org/gradle"));
    QTest::mouseClick(d->documentationLink(), Qt::LeftButton);
    EXPECT_EQ(p->noteLine(), nullptr);
    EXPECT_EQ(p->documentationLink(), nullptr);

    // Reveal works from the button and the menu, also while the view is busy.
    f.state.load();
    EXPECT_FALSE(d->checkBox()->isEnabled());
    QTest::mouseClick(d->revealButton(), Qt::LeftButton);
    std::unique_ptr<QMenu> menu(d->makeContextMenu());
    menu->actions()[0]->trigger();
    ASSERT_EQ(f.workspace->revealed.size(), 2u);
    EXPECT_EQ(f.workspace->revealed[1][0].path, "/h/.gradle/caches");
    QTRY_VERIFY_WITH_TIMEOUT(!f.state.isLoading(), 5000);
}

TEST(CacheWorkspace, AddQueuesOnlyPendingSelectedEntries) {
    CacheFixture f;
    f.loadAndWait(CacheFixture::three());
    EXPECT_EQ(f.view.addButton()->labelText(), QStringLiteral("Add 0 to queue"));
    EXPECT_FALSE(f.view.addButton()->isEnabled());
    EXPECT_TRUE(f.view.clearSelectionButton()->isHidden());

    QTest::mouseClick(f.view.row("/h/Library/Caches/com.big")->checkBox(), Qt::LeftButton);
    QTest::mouseClick(f.view.row("/h/Library/Logs/Tool")->checkBox(), Qt::LeftButton);
    EXPECT_EQ(f.view.addButton()->labelText(), QStringLiteral("Add 2 to queue"));
    EXPECT_EQ(f.view.cardValue(2), QStringLiteral("2 items"));
    EXPECT_EQ(f.view.cardSubtitle(2), formatByteCount(3002000) + QStringLiteral(" logical size"));
    EXPECT_TRUE(f.view.row("/h/Library/Logs/Tool")->isHighlighted());
    QTest::mouseClick(f.view.addButton(), Qt::LeftButton);
    EXPECT_TRUE(f.cleanup.contains(Url::file("/h/Library/Logs/Tool")));
    EXPECT_EQ(f.cleanup.queue().size(), 2u);
    EXPECT_TRUE(f.view.row("/h/Library/Logs/Tool")->showsQueuedMark());
    EXPECT_FALSE(f.view.row("/h/.cache/pip")->showsQueuedMark());
    EXPECT_EQ(f.view.noteText(), QString::fromStdString(*f.state.statusMessage()));
    EXPECT_FALSE(f.view.noteIsError());

    // A selection of already queued entries counts 0 and leaves "Clear selection" usable.
    f.state.setSelectedIDs({"/h/Library/Logs/Tool"});
    EXPECT_EQ(f.view.addButton()->labelText(), QStringLiteral("Add 0 to queue"));
    EXPECT_FALSE(f.view.addButton()->isEnabled());
    EXPECT_FALSE(f.view.clearSelectionButton()->isHidden());
    EXPECT_TRUE(f.view.clearSelectionButton()->isEnabled());
    EXPECT_TRUE(f.view.row("/h/Library/Logs/Tool")->checkBox()->isEnabled()) << "being queued does not disable";
    QTest::mouseClick(f.view.clearSelectionButton(), Qt::LeftButton);
    EXPECT_TRUE(f.state.selectedIDs().empty());
}

TEST(CacheWorkspace, CleanupBusyDisablesSelectionButNotSearch) {
    CacheFixture f;
    f.loadAndWait(CacheFixture::three());
    f.state.setSelectedIDs({"/h/.cache/pip"});
    f.cleanup.add(CleanupCandidate{Url::file("/h/x"), "x", "r", "File", "doc", 1, {}});
    f.service->hold();
    f.cleanup.prepareReview();
    ASSERT_TRUE(f.cleanup.isPreparing());
    EXPECT_FALSE(f.view.scanButton()->isEnabled());
    EXPECT_FALSE(f.view.addButton()->isEnabled());
    EXPECT_FALSE(f.view.clearSelectionButton()->isEnabled());
    EXPECT_FALSE(f.view.row("/h/.cache/pip")->checkBox()->isEnabled());
    EXPECT_TRUE(f.view.searchField()->isEnabled());
    EXPECT_TRUE(f.view.areaPicker()->isEnabled());
    f.cleanup.cancelOperation();
    f.service->open();
    EXPECT_TRUE(f.view.addButton()->isEnabled());
}

TEST(CacheWorkspace, NoticesErrorsOverStatusAndScanNotesStayWhileRescanning) {
    CacheFixture f;
    CleanupDiscoveryResult r = CacheFixture::three();
    r.warnings = {"Couldn’t read Library/Caches/x", "Couldn’t read Library/Caches/x"};
    r.isComplete = false;
    f.loadAndWait(r);
    ASSERT_TRUE(f.view.scanNotesShown());
    EXPECT_EQ(static_cast<KitButton*>(f.view.scanNotesToggle())->labelText(), QStringLiteral("Scan notes · 2"));
    EXPECT_FALSE(f.view.scanNotesExpanded());
    QTest::mouseClick(f.view.scanNotesToggle(), Qt::LeftButton);
    EXPECT_TRUE(f.view.scanNotesExpanded());
    EXPECT_EQ(f.view.scanNoteTexts().size(), 2u);
    EXPECT_FALSE(f.view.noteText().isEmpty()) << "an incomplete scan says so";

    auto gate = std::make_shared<Gate>();
    f.script->gate = gate;
    f.state.load();
    EXPECT_EQ(f.view.progressText(), QStringLiteral("Checking cache locations… showing previous results until complete."));
    EXPECT_TRUE(f.view.scanNotesShown());
    EXPECT_EQ(f.view.noteText(), QString()) << "the progress row takes the note's place";
    EXPECT_EQ(f.view.cancelScanButton()->objectName(), QStringLiteral("cache-cancel-scan"));
    QTest::mouseClick(f.view.cancelScanButton(), Qt::LeftButton);
    EXPECT_EQ(f.view.noteText(), QStringLiteral("Scan cancelled. Previous results are still here."));
    EXPECT_EQ(f.view.rowIDs().size(), 3u);
    gate->open();
}
