// The storage map widget: what it draws for a folder, and what clicks, double clicks, menus,
// hover and the selection do.

#include "Morvo/Storage/StorageMapView.h"
#include "Morvo/Kit/Theme.h"

#include <QAccessible>
#include <QAction>
#include <QMenu>
#include <QTest>

#include <gtest/gtest.h>

using namespace morvo;

namespace {

NodeFacts folder() { return NodeFacts{true, false, 0, 0, 0, std::nullopt, FileCategory::other}; }
NodeFacts file(std::int64_t size, FileCategory category = FileCategory::other) {
    return NodeFacts{false, false, size, size, 1, std::nullopt, category};
}

// /r { big/ { a 3000, b 2000, c 1000 }, clip.mov 3000, zero 0, empty/ }
std::shared_ptr<const DiskSnapshot> sample() {
    DiskSnapshotBuilder b("/r", "r", folder());
    auto big = b.add(0, "big", folder());
    b.add(big, "a", file(3000));
    b.add(big, "b", file(2000));
    b.add(big, "c", file(1000));
    b.add(0, "clip.mov", file(3000, FileCategory::media));
    b.add(0, "zero", file(0));
    b.add(0, "empty", folder());
    b.accumulateTotals();
    return b.finish({}, {}, {}, 5, 0, false);
}

// /r with `count` files of distinct positive sizes.
std::shared_ptr<const DiskSnapshot> wide(int count) {
    DiskSnapshotBuilder b("/r", "r", folder());
    for (int i = 0; i < count; ++i) b.add(0, "f" + std::to_string(i), file(1000 + 10 * i));
    b.accumulateTotals();
    return b.finish({}, {}, {}, count, 0, false);
}

// What the platform delivers for a double click: press, release, double-click press, release.
void doubleClick(QWidget* widget, QPoint pos) {
    QTest::mouseClick(widget, Qt::LeftButton, {}, pos);
    QTest::mouseDClick(widget, Qt::LeftButton, {}, pos);
    QTest::mouseRelease(widget, Qt::LeftButton, {}, pos);
}

struct Calls {
    std::vector<std::string> log;
    StorageMapView::Callback select() {
        return [this](const std::string& id) { log.push_back("select " + id); };
    }
    StorageMapView::Callback open() {
        return [this](const std::string& id) { log.push_back("open " + id); };
    }
};

class StorageMapViewTest : public ::testing::Test {
protected:
    std::unique_ptr<StorageMapView> makeMap(std::shared_ptr<const DiskSnapshot> snapshot, std::string root = "/r",
                                            std::optional<std::string> selected = std::nullopt) {
        auto map = std::make_unique<StorageMapView>(std::move(snapshot), std::move(root), std::move(selected),
                                                    calls.select(), calls.open());
        map->resize(600, 267);
        map->show();
        EXPECT_TRUE(QTest::qWaitForWindowExposed(map.get()));
        return map;
    }

    static QPoint centre(const StorageMapView& map, const std::string& id) {
        auto tile = map.tileIndex(id);
        EXPECT_TRUE(tile.has_value()) << id;
        const Rect& f = map.tiles()[*tile].frame;
        return QPoint(static_cast<int>(f.x + f.width / 2), static_cast<int>(f.y + f.height / 2));
    }

    static std::vector<QString> actionTexts(QMenu* menu) {
        std::vector<QString> texts;
        for (QAction* a : menu->actions()) texts.push_back(a->text());
        return texts;
    }

    Calls calls;
};

} // namespace

TEST_F(StorageMapViewTest, EmptyStatesForMissingEmptyAndZeroFolders) {
    DiskSnapshotBuilder b("/z", "z", folder());
    b.add(0, "nothing", file(0));
    auto zeros = b.finish({}, {}, {}, 1, 0, false);
    for (auto [snapshot, root] : {std::pair{sample(), std::string("/r/missing")}, std::pair{sample(), std::string("/r/empty")},
                                  std::pair{zeros, std::string("/z")}}) {
        SCOPED_TRACE(root);
        auto map = makeMap(snapshot, root);
        EXPECT_TRUE(map->isEmptyState());
        EXPECT_TRUE(map->tiles().empty());
        EXPECT_FALSE(map->grab().isNull());  // paints the placeholder without tiles
    }
}

// A folder too large to rank between two frames is ranked on a worker: the map stays blank (not
// the empty state) until its entries come, shows what the rule gives, ignores a folder left
// before its entries came, and any map shows a folder of the snapshot again at once.
TEST_F(StorageMapViewTest, LargeFoldersAreRankedOnAWorkerOnlyTheNewestApplies) {
    DiskSnapshotBuilder b("/r", "r", folder());
    const auto huge = b.add(0, "huge", folder());
    const auto small = b.add(0, "small", folder());
    for (std::size_t i = 0; i <= StorageMapView::rankedInBackground; ++i)
        b.add(huge, "f" + std::to_string(i), file(static_cast<std::int64_t>(1 + i % 7)));
    b.add(small, "a", file(10));
    b.add(small, "b", file(5));
    b.accumulateTotals();
    auto snapshot = b.finish({}, {}, {}, 0, 0, false);
    const auto hugeEntries = StorageMapEntry::make(*snapshot, snapshot->children(huge), 40, "group:/r/huge");
    const auto smallEntries = StorageMapEntry::make(*snapshot, snapshot->children(small), 40, "group:/r/small");

    // Checked before any event is handled: the worker's result may arrive while the window shows.
    auto map = std::make_unique<StorageMapView>(snapshot, "/r/huge", std::nullopt, calls.select(), calls.open());
    EXPECT_TRUE(map->isRanking());
    EXPECT_FALSE(map->isEmptyState());
    EXPECT_TRUE(map->tiles().empty());
    map->resize(600, 267);
    map->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(map.get()));
    ASSERT_TRUE(QTest::qWaitFor([&] { return !map->isRanking(); }, 10000));
    EXPECT_EQ(map->entries(), hugeEntries);
    EXPECT_FALSE(map->tiles().empty());

    map->setRootID("/r");  // holds the huge folder: ranked on a worker too
    EXPECT_TRUE(map->isRanking());
    map->setRootID("/r/small");
    EXPECT_FALSE(map->isRanking());
    taskPool(TaskPriority::userInitiated).waitForDone();
    QCoreApplication::processEvents();
    EXPECT_EQ(map->entries(), smallEntries) << "the result for the folder left is dropped";

    map->setRootID("/r/huge");
    EXPECT_FALSE(map->isRanking()) << "kept from the first time";
    EXPECT_EQ(map->entries(), hugeEntries);
    auto another = makeMap(snapshot, "/r");
    EXPECT_FALSE(another->isRanking()) << "kept for every map of the snapshot, though its map had left it";
    EXPECT_EQ(another->entries(), StorageMapEntry::make(*snapshot, snapshot->children(0), 40, "group:/r"));
}

TEST_F(StorageMapViewTest, FoldersPastFortyChildrenGetAGroupTile) {
    auto map = makeMap(wide(45));
    ASSERT_EQ(map->entries().size(), 40u);
    EXPECT_EQ(map->entries().back().id, "group:/r");
    EXPECT_EQ(map->entries().back().name, "6 smaller items");
    EXPECT_EQ(makeMap(wide(40))->entries().back().id, "/r/f0");

    // The group tile takes no clicks and has no menu, but explains itself on hover.
    auto group = map->tileIndex("group:/r");
    ASSERT_TRUE(group.has_value());
    {
        const Rect& f = map->tiles()[*group].frame;
        QTest::mouseClick(map.get(), Qt::LeftButton, {}, QPoint(int(f.x + f.width / 2), int(f.y + f.height / 2)));
        EXPECT_TRUE(calls.log.empty());
        EXPECT_EQ(map->makeContextMenu(*group), nullptr);
        EXPECT_TRUE(map->accessibleActionNames(*group).isEmpty());
        EXPECT_TRUE(map->toolTipText(*group).endsWith(
            "\nGrouped to keep the map readable. Use the file list to inspect individual items."));
        EXPECT_TRUE(map->accessibleLabel(*group).startsWith("6 smaller items, "));
        EXPECT_TRUE(map->accessibleLabel(*group).endsWith(", grouped for display"));
    }
}

TEST_F(StorageMapViewTest, ClickSelectsAndDoubleClickOpensOnlyFolders) {
    auto map = makeMap(sample());
    ASSERT_EQ(map->entries().size(), 2u);  // zero-sized and empty children get no tile

    QTest::mouseClick(map.get(), Qt::LeftButton, {}, centre(*map, "/r/clip.mov"));
    EXPECT_EQ(calls.log, (std::vector<std::string>{"select /r/clip.mov"}));

    calls.log.clear();
    doubleClick(map.get(), centre(*map, "/r/clip.mov"));
    EXPECT_EQ(calls.log, (std::vector<std::string>{"select /r/clip.mov", "select /r/clip.mov"}));

    calls.log.clear();
    doubleClick(map.get(), centre(*map, "/r/big"));
    EXPECT_EQ(calls.log, (std::vector<std::string>{"select /r/big", "select /r/big", "open /r/big"}));

    // A click in the gap between tiles selects nothing.
    calls.log.clear();
    QTest::mouseClick(map.get(), Qt::LeftButton, {}, QPoint(1, 1));
    EXPECT_TRUE(calls.log.empty());
}

TEST_F(StorageMapViewTest, ContextMenusAndAccessibilityFollowTheKindOfTile) {
    auto map = makeMap(sample());
    const std::size_t folderTile = *map->tileIndex("/r/big");
    const std::size_t fileTile = *map->tileIndex("/r/clip.mov");

    std::unique_ptr<QMenu> folderMenu(map->makeContextMenu(folderTile));
    ASSERT_TRUE(folderMenu);
    EXPECT_EQ(actionTexts(folderMenu.get()), (std::vector<QString>{"Open folder", "View details"}));
    folderMenu->actions()[0]->trigger();
    folderMenu->actions()[1]->trigger();
    EXPECT_EQ(calls.log, (std::vector<std::string>{"open /r/big", "select /r/big"}));

    std::unique_ptr<QMenu> fileMenu(map->makeContextMenu(fileTile));
    EXPECT_EQ(actionTexts(fileMenu.get()), (std::vector<QString>{"View details"}));

    EXPECT_TRUE(map->accessibleLabel(folderTile).endsWith(", folder"));
    EXPECT_TRUE(map->accessibleLabel(fileTile).startsWith("clip.mov, "));
    EXPECT_TRUE(map->accessibleLabel(fileTile).endsWith(", file"));
    EXPECT_EQ(map->accessibleHint(folderTile), "Select for details. Double-click to explore folder.");
    EXPECT_EQ(map->accessibleHint(fileTile), "Select to view file details.");
    EXPECT_EQ(map->accessibleActionNames(folderTile), (QStringList{"View details", "Open folder"}));
    EXPECT_EQ(map->accessibleActionNames(fileTile), (QStringList{"View details", "Select file"}));
    EXPECT_TRUE(map->toolTipText(folderTile).endsWith("\nDouble-click to explore"));
    EXPECT_FALSE(map->toolTipText(fileTile).contains('\n'));
    EXPECT_TRUE(map->toolTipText(fileTile).startsWith(QString::fromUtf8("clip.mov \u00B7 ")));
    EXPECT_EQ(map->accessibleName(), "Storage map");

    calls.log.clear();
    map->performAccessibleAction(fileTile, "Select file");
    map->performAccessibleAction(folderTile, "Open folder");
    EXPECT_EQ(calls.log, (std::vector<std::string>{"select /r/clip.mov", "open /r/big"}));
}

TEST_F(StorageMapViewTest, TilesAreAccessibleElementsOfTheMap) {
    auto map = makeMap(sample());
    QAccessibleInterface* container = QAccessible::queryAccessibleInterface(map.get());
    ASSERT_NE(container, nullptr);
    EXPECT_EQ(container->text(QAccessible::Name), "Storage map");
    ASSERT_EQ(container->childCount(), 2);
    const int folderIndex = static_cast<int>(*map->tileIndex("/r/big"));
    QAccessibleInterface* folderTile = container->child(folderIndex);
    ASSERT_NE(folderTile, nullptr);
    EXPECT_EQ(container->indexOfChild(folderTile), folderIndex);
    EXPECT_EQ(folderTile->text(QAccessible::Name), map->accessibleLabel(folderIndex));
    EXPECT_EQ(folderTile->text(QAccessible::Description), "Select for details. Double-click to explore folder.");
    ASSERT_NE(folderTile->actionInterface(), nullptr);
    EXPECT_EQ(folderTile->actionInterface()->actionNames(), (QStringList{"View details", "Open folder"}));
    folderTile->actionInterface()->doAction("Open folder");
    EXPECT_EQ(calls.log, (std::vector<std::string>{"open /r/big"}));

    // A new folder on the map drops the old elements.
    map->setRootID("/r/big");
    EXPECT_EQ(container->childCount(), 3);
    EXPECT_TRUE(container->child(0)->isValid());
}

TEST_F(StorageMapViewTest, LargeFolderTileShowsItsNestedMap) {
    auto map = makeMap(sample());
    const auto& tile = map->tiles()[*map->tileIndex("/r/big")];
    ASSERT_GT(tile.cell.width, 195);
    ASSERT_GT(tile.cell.height, 205);
    ASSERT_EQ(tile.children.size(), 2u);
    EXPECT_EQ(tile.children[0].id, "/r/big/a");
    EXPECT_EQ(tile.children[1].id, "nested:/r/big");
    EXPECT_EQ(tile.children[1].name, "2 smaller items");
    EXPECT_TRUE(map->tiles()[*map->tileIndex("/r/clip.mov")].children.empty());  // a file has none
}

TEST_F(StorageMapViewTest, SelectionBorderOnlyForADirectChildOnTheMap) {
    auto map = makeMap(sample(), "/r", std::string("/r/clip.mov"));
    EXPECT_TRUE(map->isSelected(*map->tileIndex("/r/clip.mov")));
    EXPECT_FALSE(map->isSelected(*map->tileIndex("/r/big")));

    map->setSelectedID(std::string("/r/big/a"));  // a grandchild: no tile shows it
    for (std::size_t i = 0; i < map->tiles().size(); ++i) EXPECT_FALSE(map->isSelected(i));

    // A folded child is not selected either.
    auto folded = makeMap(wide(45), "/r", std::string("/r/f0"));
    for (std::size_t i = 0; i < folded->tiles().size(); ++i) EXPECT_FALSE(folded->isSelected(i));
}

TEST_F(StorageMapViewTest, NavigatingRebuildsEntriesForTheNewFolder) {
    auto map = makeMap(sample());
    map->setRootID("/r/big");
    ASSERT_EQ(map->entries().size(), 3u);
    EXPECT_EQ(map->entries()[0].id, "/r/big/a");
    map->setSnapshot(wide(3));
    EXPECT_TRUE(map->isEmptyState());  // /r/big is not in the new scan
}

TEST_F(StorageMapViewTest, HoverEasesInUnlessMotionIsReduced) {
    auto map = makeMap(sample());
    const std::size_t tile = *map->tileIndex("/r/clip.mov");
    QTest::mouseMove(map.get(), centre(*map, "/r/clip.mov"));
    EXPECT_LT(map->hoverProgress(tile), 1.0);
    EXPECT_TRUE(QTest::qWaitFor([&] { return map->hoverProgress(tile) == 1.0; }, 2000));

    map->setReduceMotion(true);
    QTest::mouseMove(map.get(), centre(*map, "/r/big"));
    EXPECT_EQ(map->hoverProgress(*map->tileIndex("/r/big")), 1.0);
    EXPECT_EQ(map->hoverProgress(tile), 0.0);
}

TEST_F(StorageMapViewTest, HoverFollowsTheRoundedShapeThatTakesClicks) {
    auto map = makeMap(sample());
    map->setReduceMotion(true);
    const std::size_t tile = *map->tileIndex("/r/clip.mov");
    const Rect& f = map->tiles()[tile].frame;
    const QPoint corner(static_cast<int>(f.x) + 1, static_cast<int>(f.y) + 1);  // inside the frame, outside the rounding
    struct Case {
        QPoint at;
        bool onTile;
    } cases[] = {{centre(*map, "/r/clip.mov"), true}, {corner, false}, {centre(*map, "/r/clip.mov"), true}};
    for (const Case& c : cases) {
        QTest::mouseMove(map.get(), c.at);
        EXPECT_EQ(map->tileAt(QPointF(c.at)) == tile, c.onTile);
        EXPECT_EQ(map->hoverProgress(tile), c.onTile ? 1.0 : 0.0) << c.at.x() << "," << c.at.y();
    }
    QTest::mouseClick(map.get(), Qt::LeftButton, {}, corner);
    EXPECT_TRUE(calls.log.empty()) << "the corner takes neither hover nor clicks";
}

TEST_F(StorageMapViewTest, NodeTilesAreButtonsForTheKeyboard) {
    auto map = makeMap(wide(45));
    std::vector<std::string> buttons;  // node tiles in tile order; the group tile is no button
    for (const auto& tile : map->tiles())
        if (!map->entries()[tile.entry].isGroup()) buttons.push_back(map->entries()[tile.entry].id);
    ASSERT_EQ(buttons.size(), 39u);
    auto focused = [&]() -> std::string {
        auto tile = map->focusedTileIndex();
        return tile ? map->entries()[map->tiles()[*tile].entry].id : std::string("none");
    };
    EXPECT_EQ(map->focusPolicy() & Qt::TabFocus, Qt::TabFocus);
    map->setFocus(Qt::TabFocusReason);
    ASSERT_TRUE(map->hasFocus());
    EXPECT_EQ(focused(), buttons.front()) << "Tab enters at the first tile";

    struct Step {
        int key;
        std::string focus;
        std::vector<std::string> calls;
    } steps[] = {
        {Qt::Key_Right, buttons[1], {}},
        {Qt::Key_Down, buttons[2], {}},
        {Qt::Key_Left, buttons[1], {}},
        {Qt::Key_Space, buttons[1], {"select " + buttons[1]}},
        {Qt::Key_End, buttons.back(), {}},
        {Qt::Key_Right, buttons.back(), {}},
        {Qt::Key_Return, buttons.back(), {"select " + buttons.back()}},
        {Qt::Key_Home, buttons.front(), {}},
        {Qt::Key_Up, buttons.front(), {}},
        {Qt::Key_Tab, buttons[1], {}},
        {Qt::Key_Backtab, buttons[0], {}},
    };
    for (const Step& s : steps) {
        calls.log.clear();
        QTest::keyClick(map.get(), static_cast<Qt::Key>(s.key));
        EXPECT_EQ(focused(), s.focus) << QKeySequence(s.key).toString().toStdString();
        EXPECT_EQ(calls.log, s.calls) << QKeySequence(s.key).toString().toStdString();
    }
    QAccessibleInterface* first = map->accessibleTile(*map->tileIndex(buttons.front()));
    EXPECT_TRUE(first->state().focusable);
    EXPECT_TRUE(first->state().focused);

    // The menu key opens the keyboard tile's menu (a file: "View details" only).
    std::unique_ptr<QMenu> menu(map->makeContextMenu(*map->focusedTileIndex()));
    ASSERT_NE(menu, nullptr);
    EXPECT_EQ(menu->actions().size(), 1);
}

TEST(StorageMapColors, DarkAppearanceColoursPerCategory) {
    const QColor media = mapColor(FileCategory::media);
    EXPECT_NEAR(media.redF(), 0.22, 1e-3);
    EXPECT_NEAR(media.greenF(), 0.76, 1e-3);
    EXPECT_NEAR(media.blueF(), 0.77, 1e-3);
    EXPECT_EQ(media.alphaF(), 1.0);
    EXPECT_NEAR(mapColor(FileCategory::developer).blueF(), 1.0, 1e-3);
}
