// The Large files screen against a real AppState whose scans return snapshots built in code.

#include "Morvo/State/CleanupState.h"
#include "Morvo/Storage/LargeFilesView.h"
#include "Morvo/Platform/ByteCountFormatter.h"
#include "Morvo/Kit/ViewKit.h"
#include "Support/AppStateTestSupport.h"

#include <QAction>
#include <QComboBox>
#include <QLineEdit>
#include <QListView>
#include <QMenu>
#include <QTest>

#include <gtest/gtest.h>

namespace morvo::appstatetest {
namespace {

NodeFacts folderFacts() { return NodeFacts{true, false, 0, 0, 0, std::nullopt, FileCategory::other}; }

// /r with `count` files of 100, 200, ... bytes; every fifth one a movie.
std::shared_ptr<const DiskSnapshot> withFiles(int count) {
    DiskSnapshotBuilder b("/r", "r", folderFacts());
    auto sub = b.add(0, "sub", folderFacts());
    for (int i = 0; i < count; ++i) {
        const bool movie = i % 5 == 0;
        const std::int64_t size = 100 * (i + 1);
        b.add(sub, "file" + std::to_string(i) + (movie ? ".mov" : ".txt"),
              NodeFacts{false, false, size, size, 1, std::nullopt, movie ? FileCategory::media : FileCategory::documents});
    }
    b.accumulateTotals();
    return b.finish({}, {}, {}, count, 0, false);
}

class LargeFilesViewTest : public ::testing::Test {
protected:
    void SetUp() override { home = std::make_unique<TempDir>(); }

    void makeState(int files) {
        auto snapshot = withFiles(files);
        state = std::make_unique<AppState>(services.make(
            home->string(), [snapshot](const Url&, const DiskScanner::ProgressHandler&, std::stop_token) { return snapshot; }));
    }
    void scan() {
        state->startScan(Url::file("/r", true), false);
        ASSERT_TRUE(settle(*state));
    }
    std::unique_ptr<LargeFilesView> makeView() {
        auto view = std::make_unique<LargeFilesView>(*state);
        view->resize(800, 700);
        view->show();
        EXPECT_TRUE(QTest::qWaitForWindowExposed(view.get()));
        return view;
    }
    void clickRow(LargeFilesView& view, int row) {
        QListView* list = view.list();
        const QRect rect = list->visualRect(list->model()->index(row, 0));
        QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, rect.center());
    }
    static std::vector<QString> menuTexts(QMenu* menu) {
        std::vector<QString> texts;
        for (QAction* action : menu->actions()) texts.push_back(action->text());
        return texts;
    }

    TestServices services;
    std::unique_ptr<TempDir> home;
    std::unique_ptr<AppState> state;
};

} // namespace

TEST_F(LargeFilesViewTest, BeforeAnyScanTheEmptyStateShows) {
    makeState(3);
    auto view = makeView();
    EXPECT_EQ(view->titleText(), "Find your space.");
    EXPECT_TRUE(view->emptyState()->isVisibleTo(view.get()));
    EXPECT_FALSE(view->list()->isVisibleTo(view.get()));
    EXPECT_TRUE(view->clearFiltersButton()->isVisibleTo(view.get()));
    EXPECT_EQ(view->matchCountText(), "0 files");
    EXPECT_EQ(view->matchBytesText(), "· " + formatByteCount(0) + " logical size");
    EXPECT_TRUE(view->capNoticeText().isEmpty());
    EXPECT_FALSE(view->resetButton()->isVisibleTo(view.get()));
    EXPECT_EQ(view->searchField()->objectName(), "file-search");
    EXPECT_EQ(view->searchField()->accessibleName(), "Search files");
    EXPECT_EQ(view->searchField()->placeholderText(), "Search file names or paths…");
}

TEST_F(LargeFilesViewTest, SummaryCountsAndTheCapNotice) {
    struct Case {
        int files;
        const char* count;
        const char* notice;
    };
    for (const Case& c : {Case{1, "1 file", ""}, Case{2, "2 files", ""}, Case{500, "500 files", ""},
                          Case{1234, "1,234 files", "Showing first 500"}}) {
        SCOPED_TRACE(c.files);
        makeState(c.files);
        scan();
        auto view = makeView();
        EXPECT_EQ(view->matchCountText(), c.count);
        EXPECT_EQ(view->capNoticeText(), c.notice);
        EXPECT_EQ(view->list()->model()->rowCount(), std::min(c.files, 500));
        EXPECT_EQ(view->matchBytesText(), "· " + formatByteCount(state->matchingBytes()) + " logical size");
        EXPECT_FALSE(view->emptyState()->isVisibleTo(view.get()));
    }
}

TEST_F(LargeFilesViewTest, FiltersShowResetAndResetClearsThem) {
    makeState(10);
    scan();
    auto view = makeView();

    // The sort order alone is not a filter.
    emit view->sortPicker()->activated(1);
    EXPECT_EQ(state->sort(), FileSort::name);
    emit view->sortPicker()->activated(0);
    EXPECT_FALSE(view->resetButton()->isVisibleTo(view.get()));

    // One blank is a query: the clear button and Reset both show.
    view->searchField()->setFocus();
    QTest::keyClick(view->searchField(), Qt::Key_Space);
    EXPECT_EQ(state->query(), " ");
    EXPECT_TRUE(state->isSearching());
    EXPECT_TRUE(view->clearButton()->isVisibleTo(view.get()));
    EXPECT_TRUE(view->resetButton()->isVisibleTo(view.get()));

    // The clear button empties the query, hides itself and searches again.
    ASSERT_TRUE(settle(*state));
    QTest::mouseClick(view->clearButton(), Qt::LeftButton);
    EXPECT_EQ(state->query(), "");
    EXPECT_TRUE(state->isSearching());
    EXPECT_FALSE(view->clearButton()->isVisibleTo(view.get()));
    EXPECT_FALSE(view->resetButton()->isVisibleTo(view.get()));

    emit view->sizePicker()->activated(2);
    EXPECT_EQ(state->minimumSize(), 1000000000);
    EXPECT_TRUE(view->resetButton()->isVisibleTo(view.get()));
    ASSERT_TRUE(settle(*state));
    EXPECT_TRUE(view->emptyState()->isVisibleTo(view.get()));  // nothing that large

    state->showFiles(FileCategory::media);
    state->setSort(FileSort::modified);
    EXPECT_EQ(view->titleText(), "Media");
    QTest::mouseClick(view->resetButton(), Qt::LeftButton);
    EXPECT_EQ(state->query(), "");
    EXPECT_FALSE(state->category().has_value());
    EXPECT_EQ(state->minimumSize(), 0);
    EXPECT_EQ(state->sort(), FileSort::size);
    EXPECT_EQ(view->titleText(), "Find your space.");
    EXPECT_FALSE(view->resetButton()->isVisibleTo(view.get()));
    EXPECT_EQ(view->sizePicker()->currentText(), "Any size");
    EXPECT_EQ(view->sortPicker()->currentText(), "Largest first");

    // "Clear filters" in the empty state does the same.
    state->setQuery("no such file");
    ASSERT_TRUE(settle(*state));
    ASSERT_TRUE(view->emptyState()->isVisibleTo(view.get()));
    QTest::mouseClick(view->clearFiltersButton(), Qt::LeftButton);
    EXPECT_EQ(state->query(), "");
    ASSERT_TRUE(settle(*state));
    EXPECT_EQ(view->list()->model()->rowCount(), 10);
}

TEST_F(LargeFilesViewTest, RowClicksMoveTheSelection) {
    makeState(4);
    scan();
    auto view = makeView();
    clickRow(*view, 0);
    EXPECT_EQ(state->selectedID(), "/r/sub/file3.txt");
    clickRow(*view, 2);
    EXPECT_EQ(state->selectedID(), "/r/sub/file1.txt");
    EXPECT_EQ(view->list()->model()->index(0, 0).data(Qt::AccessibleTextRole).toString(),
              "file3.txt, " + formatByteCount(400));
}

TEST_F(LargeFilesViewTest, RowMenuQueuesRevealsAndCopies) {
    makeState(4);
    scan();
    auto view = makeView();
    std::unique_ptr<QMenu> menu(view->makeRowMenu(0));
    ASSERT_TRUE(menu);
    EXPECT_EQ(menuTexts(menu.get()), (std::vector<QString>{"Add to cleanup", "Reveal in Finder", "Copy path"}));
    EXPECT_TRUE(menu->actions()[0]->isEnabled());
    menu->actions()[0]->trigger();
    EXPECT_TRUE(state->cleanup().contains(Url::file("/r/sub/file3.txt")));
    menu->actions()[1]->trigger();
    ASSERT_EQ(services.workspace->revealed.size(), 1u);
    EXPECT_EQ(services.workspace->revealed[0], (std::vector<Url>{Url::file("/r/sub/file3.txt")}));
    menu->actions()[2]->trigger();
    EXPECT_EQ(services.pasteboard->operations, (std::vector<std::string>{"clear", "set:/r/sub/file3.txt"}));

    // Once queued the item says so and cannot be used again.
    menu.reset(view->makeRowMenu(0));
    EXPECT_EQ(menu->actions()[0]->text(), "In cleanup queue");
    EXPECT_FALSE(menu->actions()[0]->isEnabled());
    EXPECT_EQ(view->makeRowMenu(9), nullptr);

    // While a review is being prepared no row can be added.
    state->cleanup().prepareReview();
    ASSERT_TRUE(state->cleanup().isPreparing());
    menu.reset(view->makeRowMenu(1));
    EXPECT_EQ(menu->actions()[0]->text(), "Add to cleanup");
    EXPECT_FALSE(menu->actions()[0]->isEnabled());
    state->cleanup().cancelOperation();
}

TEST_F(LargeFilesViewTest, SearchOutlineFollowsFocus) {
    makeState(3);
    scan();
    auto view = makeView();
    view->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(view.get()));
    // A lone window hands its first field the focus; take it elsewhere first.
    view->sortPicker()->setFocus();
    EXPECT_FALSE(view->searchFocused());
    QTest::mouseClick(view->searchField(), Qt::LeftButton);
    EXPECT_TRUE(view->searchFocused());
    view->sortPicker()->setFocus();
    EXPECT_FALSE(view->searchFocused());
}

} // namespace morvo::appstatetest
