// The window from the keyboard alone: the keys of every list, and a new user's walk through a
// scan, the map, the queue, the review, the move and the rescan.
#include "Support/ShellTestSupport.h"

#include "Morvo/ApplicationsWorkspaceView.h"
#include "Morvo/CacheEntryRow.h"
#include "Morvo/CacheWorkspaceView.h"
#include "Morvo/CleanupDiscoveryState.h"
#include "Morvo/CleanupRows.h"
#include "Morvo/CleanupState.h"
#include "Morvo/CleanupWorkspaceView.h"
#include "Morvo/ContentView.h"
#include "Morvo/InventoryState.h"
#include "Morvo/InventoryViews.h"
#include "Morvo/LargeFilesView.h"
#include "Morvo/LeftoversWorkspaceView.h"

#include <QApplication>
#include <QListView>
#include <QTest>

#include <gtest/gtest.h>

using namespace morvo;
using namespace morvo::shelltest;

namespace {

// A home with files, caches, three applications and the data of three removed ones.
class KeyboardTest : public ::testing::Test {
protected:
    void SetUp() override {
        QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
        const auto home = fixture.home.path();
        for (int i = 0; i < 12; ++i) writeFile(home / "Files" / ("file" + std::to_string(i) + ".bin"), 1000 * (i + 1));
        for (const char* cache : {"alpha", "beta", "gamma", "delta"}) writeFile(home / "Library/Caches" / cache / "c.bin", 4000);
        for (const char* app : {"Able", "Baker", "Charlie"}) {
            const std::string id = std::string("com.example.") + app;
            writeText(home / "Applications" / (std::string(app) + ".app") / "Contents/Info.plist", infoPlist(id));
            writeFile(home / "Library/Application Support" / id / "data.bin", 500);
            writeFile(home / "Library/Caches" / id / "c.bin", 500);
        }
        for (const char* gone : {"com.gone.One", "com.gone.Two", "com.gone.Three"}) {
            writeFile(home / "Library/Application Support" / gone / "data.bin", 700);
            writeFile(home / "Library/Caches" / gone / "c.bin", 700);
        }
        AppServices services = fixture.services();
        services.applicationRoots = std::vector<Url>{Url::file((home / "Applications").string(), true)};
        services.trashMover = std::make_shared<FolderTrashMover>(home.parent_path() / (home.filename().string() + "-trash"));
        state = std::make_unique<AppState>(services);
        view = std::make_unique<ContentView>(*state);
        view->resize(1340, 860);
        view->show();
        view->activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(view.get()));
    }
    void TearDown() override {
        view.reset();
        state.reset();
    }

    // Presses `key` on whatever has the keyboard focus.
    static void press(int key, Qt::KeyboardModifiers modifiers = {}) {
        QWidget* target = QApplication::focusWidget();
        ASSERT_NE(target, nullptr) << "nothing has the focus";
        QTest::keyClick(target, static_cast<Qt::Key>(key), modifiers);
    }

    Fixture fixture;
    std::unique_ptr<AppState> state;
    std::unique_ptr<ContentView> view;
};

// Which row of `rows` holds the focus, or -1.
int focusedRow(const std::vector<QWidget*>& rows) {
    QWidget* focus = QApplication::focusWidget();
    for (std::size_t i = 0; i < rows.size(); ++i)
        if (focus && (rows[i] == focus || rows[i]->isAncestorOf(focus))) return static_cast<int>(i);
    return -1;
}

template <class Row>
std::vector<QWidget*> visibleRows(QWidget* root) {
    std::vector<QWidget*> rows;
    for (Row* row : root->findChildren<Row*>())
        if (row->isVisible()) rows.push_back(row);
    std::sort(rows.begin(), rows.end(), [root](QWidget* a, QWidget* b) { return a->mapTo(root, QPoint()).y() < b->mapTo(root, QPoint()).y(); });
    return rows;
}

TEST_F(KeyboardTest, ListsTakeTheKeysOfThePlatformsLists) {
    state->startScan(Url::file(fixture.home.string(), true), true);
    ASSERT_TRUE(settle(*state));
    state->inventory().load();
    state->cacheDiscovery().load();
    ASSERT_TRUE(waitFor([&] { return !state->inventory().isLoading() && !state->cacheDiscovery().isLoading(); }));
    for (const char* name : {"file0.bin", "file1.bin", "file2.bin"}) {
        CleanupCandidate c;
        c.url = Url::file(fixture.home / (std::string("Files/") + name));
        c.title = name;
        state->cleanup().add(c);
    }
    state->inventory().setSelectedAppID(state->inventory().result().apps.front().id());

    // Each list: how to show it, its rows top to bottom, what Space and Return did to a row.
    struct List {
        const char* name;
        AppSection section;
        std::function<std::vector<QWidget*>()> rows;
        std::function<bool(int row)> activated;  // null: the rows have no action of their own
    };
    auto* host = view.get();
    auto fileIndex = [&](int row) { return state->files()[static_cast<std::size_t>(row)].id; };
    const List lists[] = {
        {"queue", AppSection::cleanup, [&] { return visibleRows<CleanupQueueRow>(host); }, nullptr},
        {"caches", AppSection::caches, [&] { return visibleRows<CacheEntryRow>(host); },
         [&](int row) {
             auto* entry = static_cast<CacheEntryRow*>(visibleRows<CacheEntryRow>(host)[static_cast<std::size_t>(row)]);
             return state->cacheDiscovery().selectedIDs().count(entry->entry().url.path) > 0;
         }},
        {"applications", AppSection::applications, [&] { return visibleRows<ApplicationRow>(host); },
         [&](int row) {
             auto* app = static_cast<ApplicationRow*>(visibleRows<ApplicationRow>(host)[static_cast<std::size_t>(row)]);
             return state->inventory().selectedAppID() == app->objectName().mid(12).toStdString();
         }},
        {"leftovers", AppSection::leftovers, [&] { return visibleRows<InventoryRelatedRow>(host); },
         [&](int row) {
             auto* related = static_cast<InventoryRelatedRow*>(visibleRows<InventoryRelatedRow>(host)[static_cast<std::size_t>(row)]);
             return related->checkBox()->isSelected();
         }},
    };
    for (const List& list : lists) {
        state->setSection(list.section);
        QTest::qWait(50);
        view->activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(view.get()));
        const auto rows = list.rows();
        ASSERT_GE(rows.size(), 3u) << list.name;
        const int last = static_cast<int>(rows.size()) - 1;
        QWidget* first = rows[0];
        if (auto* entry = qobject_cast<CacheEntryRow*>(first)) entry->checkBox()->setFocus();
        else if (auto* related = qobject_cast<InventoryRelatedRow*>(first)) related->checkBox()->setFocus();
        else first->setFocus();
        ASSERT_EQ(focusedRow(rows), 0) << list.name;
        struct Step {
            int key;
            int row;
        } steps[] = {{Qt::Key_Down, 1}, {Qt::Key_Down, 2}, {Qt::Key_Up, 1}, {Qt::Key_End, last},
                     {Qt::Key_Down, last}, {Qt::Key_Home, 0}, {Qt::Key_Up, 0}};
        for (const Step& s : steps) {
            press(s.key);
            EXPECT_EQ(focusedRow(list.rows()), s.row) << list.name << " " << QKeySequence(s.key).toString().toStdString();
        }
        press(Qt::Key_PageDown);
        EXPECT_GT(focusedRow(list.rows()), 0) << list.name << ": Page Down";
        press(Qt::Key_PageUp);
        EXPECT_EQ(focusedRow(list.rows()), 0) << list.name << ": Page Up";
        if (!list.activated) continue;
        press(Qt::Key_Down);
        EXPECT_FALSE(list.activated(1)) << list.name;
        press(Qt::Key_Return);
        EXPECT_TRUE(list.activated(1)) << list.name << ": Return";
        press(Qt::Key_Down);
        press(Qt::Key_Space);
        EXPECT_TRUE(list.activated(2)) << list.name << ": Space";
    }

    // The files list: the selection follows the current row.
    state->setSection(AppSection::largeFiles);
    QTest::qWait(50);
    auto* files = host->findChild<LargeFilesView*>()->list();
    ASSERT_GE(state->files().size(), 12u);
    files->setFocus(Qt::TabFocusReason);
    EXPECT_EQ(files->currentIndex().row(), 0) << "focus lands on the first row";
    EXPECT_EQ(state->selectedID(), fileIndex(0));
    struct Step {
        int key;
        int row;
    } steps[] = {{Qt::Key_Down, 1}, {Qt::Key_Down, 2}, {Qt::Key_End, static_cast<int>(state->files().size()) - 1},
                 {Qt::Key_Home, 0}, {Qt::Key_PageDown, -1}, {Qt::Key_Up, -2}};
    int previous = 0;
    for (const Step& s : steps) {
        press(s.key);
        const int current = files->currentIndex().row();
        if (s.row >= 0) EXPECT_EQ(current, s.row) << QKeySequence(s.key).toString().toStdString();
        else if (s.row == -1) EXPECT_GT(current, previous + 1) << "Page Down moves a page";
        else EXPECT_EQ(current, previous - 1);
        EXPECT_EQ(state->selectedID(), fileIndex(current)) << QKeySequence(s.key).toString().toStdString();
        previous = current;
    }
}

} // namespace
