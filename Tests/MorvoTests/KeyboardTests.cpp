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
#include "Morvo/MorvoApp.h"
#include "Morvo/SidebarView.h"
#include "Morvo/StorageMapView.h"

#include <QMessageBox>
#include <QPushButton>
#include <QTemporaryDir>

#include <QApplication>
#include <QListView>
#include <QScrollArea>
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

// Presses Tab on the focused widget until `wanted` holds for it; the names of the stops passed
// go to `trail` for the failure message.
bool tabTo(const std::function<bool(QWidget*)>& wanted, std::string& trail, int limit = 80) {
    trail.clear();
    for (int i = 0; i < limit; ++i) {
        QWidget* focus = QApplication::focusWidget();
        if (focus && wanted(focus)) return true;
        if (!focus) return false;
        trail += std::string(focus->metaObject()->className()) + "(" + focus->accessibleName().toStdString() + ") ";
        // The scroll areas draw no focus ring; their controls take the focus instead.
        if (qobject_cast<QAbstractScrollArea*>(focus)) ADD_FAILURE() << "Tab stopped on a scroll area: " << trail;
        QTest::keyClick(focus, Qt::Key_Tab);
    }
    return false;
}

bool labelled(QWidget* w, const QString& label) {
    auto* button = qobject_cast<QAbstractButton*>(w);
    if (!button) return false;
    if (button->accessibleName() == label || button->toolTip() == label || button->text() == label) return true;
    auto* kit = qobject_cast<KitButton*>(w);
    return kit && kit->labelText() == label;
}

// A new user's walk with the keyboard alone, through the menus' shortcuts and Tab, arrows,
// Space and Return.
TEST_F(KeyboardTest, ANewUserWalksTheWholeApplicationWithTheKeyboard) {
    QTemporaryDir settingsDir;
    auto settings = std::make_shared<QSettings>(settingsDir.filePath("morvo.ini"), QSettings::IniFormat);
    view.reset();
    state.reset();
    const auto home = fixture.home.path();
    writeFile(home / "Files" / "Old" / "huge.iso", 200000);
    AppServices services = fixture.services();
    services.applicationRoots = std::vector<Url>{};
    services.trashMover = std::make_shared<FolderTrashMover>(home.parent_path() / (home.filename().string() + "-trash"));
    MorvoApp app({{"morvo"}, services, settings});
    AppState& s = app.state();
    app.show();
    ASSERT_TRUE(QTest::qWaitForWindowActive(app.mainWindow()));
    ASSERT_TRUE(waitFor([&] { return s.hasScannedFolder() && !s.isScanning(); })) << "the start-up scan of the home folder";
    EXPECT_EQ(QApplication::focusWidget(), app.contentView()) << "no control shows a ring before the first key";
    std::string trail;
    auto key = [](int k, Qt::KeyboardModifiers m = {}) {
        QWidget* focus = QApplication::focusWidget() ? QApplication::focusWidget() : QApplication::activeWindow();
        ASSERT_NE(focus, nullptr);
        QTest::keyClick(focus, static_cast<Qt::Key>(k), m);
    };

    // 1. Scan a folder: Ctrl+O, the panel answers with the folder the user picked.
    key(Qt::Key_O, Qt::ControlModifier);
    ASSERT_EQ(fixture.panel->shown.size(), 1u);
    fixture.panel->finish(Url::file((home / "Files").string(), true));
    ASSERT_TRUE(waitFor([&] { return s.snapshot()->rootID() == (home / "Files").string() && !s.isScanning(); }));
    ASSERT_TRUE(settle(s));

    // 2. Explore: Tab to the storage map, arrows to the folder "Old", Space selects it.
    app.mainWindow()->activateWindow();
    ASSERT_TRUE(tabTo([](QWidget* w) { return qobject_cast<StorageMapView*>(w) != nullptr; }, trail)) << trail;
    auto* map = qobject_cast<StorageMapView*>(QApplication::focusWidget());
    const std::string old = (home / "Files" / "Old").string();
    for (int i = 0; i < 40 && map->focusedTileIndex() != map->tileIndex(old); ++i) key(Qt::Key_Right);
    ASSERT_EQ(map->focusedTileIndex(), map->tileIndex(old));
    key(Qt::Key_Space);
    EXPECT_EQ(s.selectedID(), old);
    // The inspector's "Explore folder" opens it on the map.
    ASSERT_TRUE(tabTo([](QWidget* w) { return labelled(w, "Explore folder"); }, trail)) << trail;
    key(Qt::Key_Space);
    EXPECT_EQ(s.mapRootID(), old);

    // 3. Queue: back to the map (Shift+Tab), the file tile, Space; Tab to "Add to cleanup", Space.
    ASSERT_TRUE(tabTo([](QWidget* w) { return qobject_cast<StorageMapView*>(w) != nullptr; }, trail)) << trail;
    map = qobject_cast<StorageMapView*>(QApplication::focusWidget());
    key(Qt::Key_Home);
    key(Qt::Key_Space);
    const std::string iso = old + "/huge.iso";
    EXPECT_EQ(s.selectedID(), iso);
    ASSERT_TRUE(tabTo([](QWidget* w) { return w->objectName() == "add-to-cleanup"; }, trail)) << trail;
    key(Qt::Key_Space);
    ASSERT_TRUE(s.cleanup().contains(Url::file(iso)));

    // 4. Review: Ctrl+Shift+K opens the queue; Tab to "Review for Trash", Space.
    key(Qt::Key_K, Qt::ControlModifier | Qt::ShiftModifier);
    ASSERT_EQ(s.section(), AppSection::cleanup);
    ASSERT_TRUE(tabTo([](QWidget* w) { return w->objectName() == "cleanup-prepare-review"; }, trail)) << trail;
    key(Qt::Key_Space);
    ASSERT_TRUE(waitFor([&] { return app.contentView()->presentedReviewSheet() && !s.cleanup().isPreparing(); }));
    QDialog* sheet = app.contentView()->presentedReviewSheet();
    ASSERT_TRUE(QTest::qWaitForWindowActive(sheet));
    ASSERT_EQ(s.cleanup().selectedRows().size(), 1u) << "the item is ticked";

    // 5. Move: Tab to the move button, Space opens the confirmation; Tab to the confirm button, Space.
    ASSERT_TRUE(tabTo([](QWidget* w) { return w->objectName() == "cleanup-open-confirmation"; }, trail)) << trail;
    key(Qt::Key_Space);
    QMessageBox* confirmation = nullptr;
    ASSERT_TRUE(waitFor([&] { return (confirmation = sheet->findChild<QMessageBox*>()) && confirmation->isVisible(); }));
    // The X11 platform activates a modal window when it is shown; the offscreen one does not.
    confirmation->activateWindow();
    ASSERT_TRUE(waitFor([&] { return QApplication::activeWindow() == confirmation; }));
    ASSERT_TRUE(tabTo([](QWidget* w) { return w->objectName() == "cleanup-confirm-trash"; }, trail)) << trail;
    key(Qt::Key_Space);
    ASSERT_TRUE(waitFor([&] { return !s.cleanup().isTrashing() && !s.cleanup().results().empty(); }));
    EXPECT_EQ(s.cleanup().results()[0].status, CleanupOutcomeStatus::moved);
    EXPECT_FALSE(fs::exists(iso));

    // 6. Rescan: the move already rescanned the folder; Ctrl+R scans it again from the keyboard.
    ASSERT_TRUE(waitFor([&] { return app.contentView()->presentedReviewSheet() == nullptr && !s.isScanning(); }));
    app.mainWindow()->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(app.mainWindow()));
    ASSERT_TRUE(tabTo([](QWidget* w) { return qobject_cast<SidebarRow*>(w) && w->accessibleName() == "Overview"; }, trail))
        << trail;
    key(Qt::Key_Space);
    ASSERT_EQ(s.section(), AppSection::overview);
    key(Qt::Key_R, Qt::ControlModifier);
    EXPECT_TRUE(s.isScanning());
    ASSERT_TRUE(settle(s));
    EXPECT_FALSE(s.snapshot()->indexOf(iso).has_value());
}

} // namespace
