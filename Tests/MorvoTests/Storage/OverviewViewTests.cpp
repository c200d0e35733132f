// The Overview screen against a real AppState whose scans return snapshots built in code.

#include "Morvo/Storage/FileRow.h"
#include "Morvo/Storage/OverviewView.h"
#include "Morvo/Platform/ByteCountFormatter.h"
#include "Morvo/Storage/StorageMapView.h"
#include "Morvo/Kit/Symbols.h"
#include "Morvo/Kit/ViewKit.h"
#include "Support/AppStateTestSupport.h"

#include <QHBoxLayout>
#include <QTest>

#include <gtest/gtest.h>

#include <future>

namespace morvo::appstatetest {
namespace {

NodeFacts folderFacts() { return NodeFacts{true, false, 0, 0, 0, std::nullopt, FileCategory::other}; }
NodeFacts fileFacts(std::int64_t size, FileCategory category = FileCategory::other) {
    return NodeFacts{false, false, size, size, 1, std::nullopt, category};
}

using namespace std::chrono_literals;

// /r { a/ { b/ { c/ { d/ { e/ { f/ { deep.bin 4000 } } } } } }, big.mov 9000, doc.txt 500, tiny 1 }
// visited 1234 files, scanned in `duration`.
std::shared_ptr<const DiskSnapshot> sample(std::chrono::milliseconds duration = 12340ms, int extraFiles = 0) {
    DiskSnapshotBuilder b("/r", "r", folderFacts());
    DiskSnapshot::Index parent = 0;
    for (const char* name : {"a", "b", "c", "d", "e", "f"}) parent = b.add(parent, name, folderFacts());
    b.add(parent, "deep.bin", fileFacts(4000));
    b.add(0, "big.mov", fileFacts(9000, FileCategory::media));
    b.add(0, "doc.txt", fileFacts(500, FileCategory::documents));
    b.add(0, "tiny", fileFacts(1));
    for (int i = 0; i < extraFiles; ++i) b.add(0, "x" + std::to_string(i), fileFacts(2));
    b.accumulateTotals();
    const Date start = Date{} + 1000s;
    return b.finish(start, start + duration, {}, 1234, 0, false);
}

std::shared_ptr<const DiskSnapshot> withFiles(int count) {
    DiskSnapshotBuilder b("/r", "r", folderFacts());
    for (int i = 0; i < count; ++i) b.add(0, "file" + std::to_string(i), fileFacts(100 * (i + 1)));
    b.accumulateTotals();
    return b.finish({}, {}, {}, count, 0, false);
}

// A scan that waits until the test lets it finish, reporting what the test sends meanwhile.
struct HeldScan {
    std::promise<void> release;
    std::shared_future<void> released = release.get_future().share();
    std::function<void(const ScanProgress&)> report;
    std::mutex mutex;
};

class OverviewViewTest : public ::testing::Test {
protected:
    void SetUp() override { home = std::make_unique<TempDir>(); }

    void makeState(std::function<std::shared_ptr<const DiskSnapshot>()> next) {
        nextSnapshot = std::move(next);
        state = std::make_unique<AppState>(services.make(
            home->string(), [this](const Url&, const DiskScanner::ProgressHandler& progress, std::stop_token) {
                if (held) {
                    {
                        std::lock_guard lock(held->mutex);
                        held->report = progress;
                    }
                    held->released.wait();
                }
                return nextSnapshot();
            }));
    }

    void scan() {
        state->startScan(Url::file("/r", true), false);
        ASSERT_TRUE(settle(*state));
        ASSERT_TRUE(waitFor([&] { return !state->overviewFiles().empty() || state->snapshot()->nodeCount() == 1; }));
    }

    std::unique_ptr<OverviewView> makeView() {
        auto view = std::make_unique<OverviewView>(*state);
        view->resize(900, 1100);
        view->show();
        EXPECT_TRUE(QTest::qWaitForWindowExposed(view.get()));
        return view;
    }

    static bool hasText(QWidget* root, const QString& text) {
        for (auto* label : root->findChildren<QLabel*>())
            if (label->text() == text && label->isVisibleTo(root)) return true;
        return false;
    }

    static void flushDeletes() { QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete); }

    TestServices services;
    std::unique_ptr<TempDir> home;
    std::unique_ptr<AppState> state;
    std::function<std::shared_ptr<const DiskSnapshot>()> nextSnapshot;
    std::shared_ptr<HeldScan> held;
};

} // namespace

TEST_F(OverviewViewTest, FirstScanPanelFollowsTheFirstScanOnly) {
    makeState([] { return sample(); });
    auto view = makeView();
    EXPECT_TRUE(view->firstScanPanel()->isVisibleTo(view.get()));
    EXPECT_FALSE(view->metricsRow()->isVisibleTo(view.get()));
    EXPECT_TRUE(hasText(view.get(), "Choose where to look."));
    const char* reading = "Reading the files on your Mac. Everything here comes from your storage.";
    EXPECT_FALSE(hasText(view.get(), reading)) << "nothing is read before a scan starts";
    EXPECT_TRUE(hasText(view.get(), "Your files, seen from a different perspective."));
    EXPECT_TRUE(hasText(view.get(), "Scan a folder or disk to build its storage map and find large files."));
    auto* path = view->findChild<PathText*>();
    ASSERT_NE(path, nullptr);
    EXPECT_EQ(path->text().toStdString(), state->snapshot()->root().url.path);  // no scan URL yet
    for (auto* button : view->findChildren<KitButton*>())
        if (button->labelText() == "Choose a folder") QTest::mouseClick(button, Qt::LeftButton);
    EXPECT_EQ(services.folderPanel->shown.size(), 1u);
    services.folderPanel->finish(std::nullopt);

    held = std::make_shared<HeldScan>();
    state->startScan(Url::file("/r", true), false);
    EXPECT_TRUE(hasText(view.get(), "Getting to know your storage."));
    EXPECT_TRUE(hasText(view.get(), reading));
    EXPECT_TRUE(hasText(view.get(), "0 files found"));
    EXPECT_TRUE(hasText(view.get(), formatByteCount(0) + " indexed so far"));
    EXPECT_EQ(path->text(), "/r");
    EXPECT_FALSE(hasText(view.get(), "Scan a folder or disk to build its storage map and find large files."));

    ASSERT_TRUE(waitFor([&] {
        std::lock_guard lock(held->mutex);
        return bool(held->report);
    }));
    {
        std::lock_guard lock(held->mutex);
        held->report(ScanProgress{1234, 1300, 5000000, "/r/a"});
    }
    EXPECT_TRUE(waitFor([&] { return hasText(view.get(), "1,234 files found"); }));
    EXPECT_TRUE(hasText(view.get(), "5 MB indexed so far"));

    held->release.set_value();
    ASSERT_TRUE(settle(*state));
    EXPECT_FALSE(view->firstScanPanel()->isVisibleTo(view.get()));
    EXPECT_TRUE(view->metricsRow()->isVisibleTo(view.get()));
    EXPECT_TRUE(hasText(view.get(), "Your files, seen from a different perspective."));

    // A second scan keeps the last results on screen.
    held = std::make_shared<HeldScan>();
    state->startScan(Url::file("/r", true), false);
    EXPECT_TRUE(state->isScanning());
    EXPECT_FALSE(view->firstScanPanel()->isVisibleTo(view.get()));
    EXPECT_TRUE(view->metricsRow()->isVisibleTo(view.get()));
    held->release.set_value();
    ASSERT_TRUE(settle(*state));
}

TEST_F(OverviewViewTest, MetricsShowTheWholeScan) {
    struct Case {
        std::chrono::milliseconds duration;
        const char* text;
    };
    for (const Case& c : {Case{12340ms, "12.3s"}, Case{40ms, "0.0s"}}) {
        makeState([d = c.duration] { return sample(d); });
        scan();
        auto view = makeView();
        const auto& metrics = view->metricViews();
        ASSERT_EQ(metrics.size(), 3u);
        EXPECT_EQ(metrics[0]->title(), "SCANNED SIZE");
        EXPECT_EQ(metrics[0]->value(), formatByteCount(13501));
        EXPECT_EQ(metrics[0]->subtitle(), "Logical file size");
        EXPECT_EQ(metrics[1]->title(), "FILES INDEXED");
        EXPECT_EQ(metrics[1]->value(), "1,234");
        EXPECT_EQ(metrics[2]->title(), "SCAN TIME");
        EXPECT_EQ(metrics[2]->value(), c.text);

        // The map panel's size follows the folder; the metric stays the whole scan.
        state->navigate("/r/a");
        EXPECT_TRUE(hasText(view.get(), formatByteCount(4000)));
        EXPECT_EQ(metrics[0]->value(), formatByteCount(13501));
    }
}

TEST_F(OverviewViewTest, ParentButtonAndBreadcrumbsNavigate) {
    makeState([] { return sample(); });
    scan();
    auto view = makeView();
    EXPECT_FALSE(view->parentButton()->isEnabled());
    EXPECT_EQ(view->storageMap()->rootID(), "/r");

    state->navigate("/r/a");
    EXPECT_TRUE(view->parentButton()->isEnabled());
    EXPECT_EQ(view->storageMap()->rootID(), "/r/a");
    QTest::mouseClick(view->parentButton(), Qt::LeftButton);
    EXPECT_EQ(state->mapRootID(), "/r");
    EXPECT_EQ(view->storageMap()->rootID(), "/r");

    state->navigate("/r/a/b/c/d/e/f");  // six levels down: seven crumbs, four shown
    flushDeletes();
    auto crumbs = view->breadcrumbButtons();
    ASSERT_EQ(crumbs.size(), 4u);
    std::vector<QString> names;
    for (auto* crumb : crumbs) names.push_back(crumb->labelText());
    EXPECT_EQ(names, (std::vector<QString>{"c", "d", "e", "f"}));
    EXPECT_EQ(crumbs.back()->parts()[0].color, Theme::text);
    EXPECT_EQ(crumbs.front()->parts()[0].color, Theme::secondary);
    int chevrons = 0;
    for (auto* symbol : view->findChildren<SymbolView*>())
        if (symbol->symbol() == "chevron.right") ++chevrons;
    EXPECT_EQ(chevrons, 3);  // none before the first crumb shown

    // The crumb of the map root keeps the map where it is and selects that folder.
    state->setSelectedID(std::nullopt);
    QTest::mouseClick(crumbs.back(), Qt::LeftButton);
    EXPECT_EQ(state->mapRootID(), "/r/a/b/c/d/e/f");
    EXPECT_EQ(state->selectedID(), "/r/a/b/c/d/e/f");
    flushDeletes();
    QTest::mouseClick(view->breadcrumbButtons().front(), Qt::LeftButton);
    EXPECT_EQ(state->mapRootID(), "/r/a/b/c");
}

TEST_F(OverviewViewTest, LargestFilesRowsDividersAndSelection) {
    struct Case {
        int files;
        std::size_t rows;
        int dividers;
    };
    for (const Case& c : {Case{1, 1, 0}, Case{2, 2, 1}, Case{5, 3, 2}}) {
        SCOPED_TRACE(c.files);
        makeState([n = c.files] { return withFiles(n); });
        scan();
        auto view = makeView();
        ASSERT_EQ(view->fileRows().size(), c.rows);
        EXPECT_EQ(view->dividerCount(), c.dividers);
        EXPECT_TRUE(view->fileRows()[0]->isCompact());
        EXPECT_EQ(view->fileRows()[0]->content().name, "file" + QString::number(c.files - 1));
    }

    // Clicking a row selects its file; selecting it on the map highlights the row too.
    auto view = makeView();
    FileRow* second = view->fileRows()[1];
    QTest::mouseClick(second, Qt::LeftButton);
    EXPECT_EQ(state->selectedID(), second->nodeID());
    EXPECT_TRUE(second->isSelected());
    EXPECT_FALSE(view->fileRows()[0]->isSelected());
    state->setSelectedID(view->fileRows()[0]->nodeID());
    EXPECT_TRUE(view->fileRows()[0]->isSelected());
    EXPECT_FALSE(second->isSelected());
    EXPECT_TRUE(view->storageMap()->isSelected(*view->storageMap()->tileIndex(view->fileRows()[0]->nodeID())));
}

TEST_F(OverviewViewTest, EmptyScanShowsNoFilesAndTheFullLegend) {
    DiskSnapshotBuilder b("/r", "r", folderFacts());
    b.add(0, "empty", folderFacts());
    auto empty = b.finish({}, {}, {}, 0, 0, false);
    makeState([empty] { return empty; });
    state->startScan(Url::file("/r", true), false);
    ASSERT_TRUE(settle(*state));
    auto view = makeView();
    EXPECT_TRUE(view->fileRows().empty());
    EXPECT_TRUE(hasText(view.get(), "No files to show yet."));
    EXPECT_TRUE(view->storageMap()->isEmptyState());
    for (const char* name : {"Applications", "Developer", "Documents", "Media", "Archives", "Other"})
        EXPECT_TRUE(hasText(view.get(), name)) << name;
}

TEST_F(OverviewViewTest, ViewAllFilesAndMapCallbacksReachTheState) {
    makeState([] { return sample(); });
    scan();
    state->setCategory(FileCategory::media);
    auto view = makeView();
    KitButton* viewAll = nullptr;
    for (auto* button : view->findChildren<KitButton*>())
        if (button->labelText() == "View all files") viewAll = button;
    ASSERT_NE(viewAll, nullptr);
    QTest::mouseClick(viewAll, Qt::LeftButton);
    EXPECT_EQ(state->section(), AppSection::largeFiles);
    EXPECT_FALSE(state->category().has_value());

    // Selecting and opening a tile of the map.
    StorageMapView* map = view->storageMap();
    const Rect& frame = map->tiles()[*map->tileIndex("/r/a")].frame;
    const QPoint centre(int(frame.x + frame.width / 2), int(frame.y + frame.height / 2));
    QTest::mouseClick(map, Qt::LeftButton, {}, centre);
    EXPECT_EQ(state->selectedID(), "/r/a");
    QTest::mouseClick(map, Qt::LeftButton, {}, centre);
    QTest::mouseDClick(map, Qt::LeftButton, {}, centre);
    QTest::mouseRelease(map, Qt::LeftButton, {}, centre);
    EXPECT_EQ(state->mapRootID(), "/r/a");
    EXPECT_EQ(state->section(), AppSection::overview);
}

} // namespace morvo::appstatetest
